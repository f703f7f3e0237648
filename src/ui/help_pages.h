// The help and about pages, in menu order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

struct HelpPage {
    int commandId;
    std::string_view menuPath;  // e.g. "Help > Options > f-stop"
    std::string_view caption;   // the message box caption
    std::string text;           // CR LF line ends, UTF-8
};

const std::vector<HelpPage>& helpPages();
// Nullptr when the id is not a help command.
const HelpPage* findHelpPage(int commandId);

}  // namespace kelvarin
