// The conversion commands' table against what follows it: the menus hold each command and grey it
// during a job, names and kinds are each one command's, and the desktop entry opens exactly the
// MIME types of the table.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "ui/help_pages.h"
#include "ui/ids.h"
#include "ui/source_commands.h"
#include "ui/window_description.h"

namespace kelvarin {
namespace {

std::set<std::string> desktopMimeTypes() {
    const std::string here = __FILE__;
    std::ifstream desktop(here.substr(0, here.find_last_of('/')) + "/../data/kelvarin.desktop");
    std::set<std::string> types;
    for (std::string line; std::getline(desktop, line);) {
        if (line.rfind("MimeType=", 0) != 0) continue;
        std::istringstream list(line.substr(9));
        for (std::string type; std::getline(list, type, ';');)
            if (!type.empty()) {
                EXPECT_TRUE(types.insert(type).second) << type << " twice";
            }
    }
    return types;
}

TEST(SourceCommands, MenusNamesKindsAndTheDesktopEntryFollowTheTable) {
    std::set<std::string> names, mime;
    std::set<SourceKind> kinds;
    for (const SourceCommand& command : sourceCommands()) {
        SCOPED_TRACE(std::string(command.cliName));
        EXPECT_NE(window::findMenuCommand(command.commandId), nullptr);
        EXPECT_TRUE(window::isConversionCommand(command.commandId));
        EXPECT_NE(window::findMenuCommand(command.helpId), nullptr);
        EXPECT_NE(findHelpPage(command.helpId), nullptr);
        EXPECT_TRUE(names.insert(std::string(command.cliName)).second);
        if (command.kind != SourceKind::None) {
            EXPECT_TRUE(kinds.insert(command.kind).second);
        }
        EXPECT_EQ(findSourceCommand(command.cliName), &command);
        EXPECT_EQ(findSourceCommand(command.commandId), &command);
        for (std::string_view extension : command.batchExtensions) EXPECT_EQ(extension.front(), '.');
        for (std::string_view type : command.mimeTypes) EXPECT_TRUE(mime.insert(std::string(type)).second) << type;
    }
    EXPECT_EQ(kinds.size(), 6u);  // Image, Tif, Rgbe, Pgm, Raw, Bin
    EXPECT_EQ(desktopMimeTypes(), mime);
    EXPECT_EQ(findSourceCommand("nothing"), nullptr);
    EXPECT_EQ(findSourceCommand(ids::Quit), nullptr);
}

}  // namespace
}  // namespace kelvarin
