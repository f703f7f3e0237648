// What the desktop hands the window: the icon, and a file from "Open with" (`kelvarin FILE`).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QListWidget>

#include "support/test_files.h"
#include "ui/ids.h"
#include "ui/qt/desktop.h"
#include "ui/qt/main_window.h"

namespace kelvarin::qt {
namespace {

class FixedClock final : public Clock {
public:
    LocalDateTime now() const override { return {2026, 12, 7, 10, 20, 30, 0}; }
};

// The built-in icon must reach the program from the static library that holds it.
TEST(Desktop, IconIsThereWithoutAnInstalledTheme) {
    const QIcon icon = applicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 256}) EXPECT_EQ(icon.pixmap(size).width(), size) << size;
}

TEST(Desktop, FileTypesOpenWithTheirCommand) {
    const std::pair<const char*, int> cases[] = {
        {"render.tif", ids::OpenImage}, {"RENDER.TIFF", ids::OpenImage}, {"sky.hdr", ids::OpenHdr},
        {"sky.PIC", ids::OpenHdr},      {"ridge.pgm", ids::PgmToTif},    {"valley.raw", ids::RawToTif},
        {"crater.bin", ids::BinToTif},  {"no-extension", ids::OpenImage}, {"map.png", ids::OpenImage},
        {"sky.exr", ids::OpenImage}};
    for (const auto& [name, command] : cases) EXPECT_EQ(commandForFile(QString::fromUtf8(name)), command) << name;
}

// `kelvarin ridge.pgm` from the file's folder: the PGM command runs with that file as its source
// (absolute, as a dialog returns it), asks only for the destination, and a later command asks
// for its source again.
TEST(Desktop, FileOnTheCommandLineIsTheFirstCommandsSource) {
    test::TempDir dir;
    const std::string source = dir.file("ridge.pgm");
    test::writeBytes(source, {'P', '5', '\n', '2', ' ', '1', '\n', '6', '5', '5', '3', '5', '\n', 1, 2, 3, 4});
    FixedClock clock;
    MainWindow window(clock);
    std::vector<std::string> dialogs;
    std::vector<MessageBoxRequest> boxes;
    window.openFileDialog = [&](const FileDialogRequest& request) -> std::optional<std::string> {
        dialogs.push_back(request.title);
        return std::nullopt;
    };
    window.saveFileDialog = [&](const FileDialogRequest& request) -> std::optional<std::string> {
        dialogs.push_back(request.title);
        return dir.file("ridge.tif");
    };
    window.messageBox = [&](const MessageBoxRequest& request) {
        boxes.push_back(request);
        return MessageAnswer::Ok;
    };
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.file("")));
    openFileOnStart(window, QStringLiteral("ridge.pgm"));
    QDir::setCurrent(before);
    EXPECT_TRUE(dialogs.empty()) << "the command waits for the event loop";
    QCoreApplication::processEvents();

    EXPECT_EQ(dialogs, std::vector<std::string>{"KELVARIN Save"});
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "KELVARIN - Success.");
    EXPECT_TRUE(test::exists(dir.file("ridge.tif")));
    ASSERT_GE(window.logList()->count(), 2);
    EXPECT_EQ(window.logList()->item(1)->text().toStdString(), source);

    window.runCommand(ids::PgmToTif);
    EXPECT_EQ(dialogs.back(), "KELVARIN Open PGM");
}

}  // namespace
}  // namespace kelvarin::qt
