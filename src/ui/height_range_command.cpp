#include "ui/height_range_command.h"

#include <string>

namespace kelvarin {

void askHeightRange(Session& session) {
    std::optional<HeightRange>& range = session.options.heightRange;
    const auto answer = session.port.askText(
        {"KELVARIN Height Range",
         "Lowest and highest height, LO:HI, for the levels 1 and 65535 of elevation files (empty: each file's own):",
         range ? heightRangeText(*range) : std::string()});
    if (!answer) return;
    if (answer->find_first_not_of(" \t") == std::string::npos) {
        range.reset();
        return;
    }
    const HeightRangeParse parsed = parseHeightRange(*answer);
    if (!parsed.range) {
        session.port.showMessage(noticeBox(parsed.refusal, "KELVARIN - Height Range", MessageIcon::Exclamation));
        return;
    }
    range = parsed.range;
}

}  // namespace kelvarin
