// What a reader has to say about a file: its lines for the log, in order, and when it refuses
// the file, why. The job layer logs the lines, shows the refusal's box (with the error icon) and
// logs its stop lines after it; readers never reach a log or a window themselves.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvarin {

struct Refusal {
    std::string text;     // the message box's text
    std::string caption;  // and its caption
    std::vector<std::string> lines;  // logged after the box, the last one a ">>> ... STOP!"
};

struct ReaderReport {
    std::vector<std::string> lines;
    std::optional<Refusal> refusal;

    void say(std::string line) { lines.push_back(std::move(line)); }
    // Records why the file is refused. Returns false, so that a reader can `return refuse(...)`.
    bool refuse(Refusal why) {
        refusal = std::move(why);
        return false;
    }
    bool refused() const { return refusal.has_value(); }
};

}  // namespace kelvarin
