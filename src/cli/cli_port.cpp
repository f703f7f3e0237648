#include "cli/cli_port.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "formats/file.h"
#include "job/block_scheduler.h"
#include "job/session.h"

namespace kelvarin {

namespace {

// The variable's value when it is a whole number from `least` to `most`.
std::optional<std::uint64_t> environmentNumber(const char* name, std::uint64_t least, std::uint64_t most) {
    const char* text = std::getenv(name);
    if (!text) return std::nullopt;
    std::uint64_t n = 0;
    const char* end = text + std::strlen(text);
    if (std::from_chars(text, end, n).ptr != end || n < least || n > most) return std::nullopt;
    return n;
}

}  // namespace

void applyRunSettings(Session& session, unsigned jobsAtOnce) {
    const unsigned cores = defaultConversionThreads();
    session.conversionThreads = jobsAtOnce > 1 ? std::max(1u, cores / jobsAtOnce) : 0;
    // Jobs side by side share the memory one job may keep greys in.
    session.heldGreyBytes = defaultHeldGreyBytes() / std::max(1u, jobsAtOnce);
    if (const auto threads = environmentNumber("KELVARIN_THREADS", 1, 256))
        session.conversionThreads = static_cast<unsigned>(*threads);
    if (const auto mib = environmentNumber("KELVARIN_HELD_MIB", 0, std::uint64_t{1} << 20))
        session.heldGreyBytes = *mib << 20;
    if (const char* map = std::getenv("KELVARIN_MAP"))
        session.sourceAccess = std::strcmp(map, "0") == 0 ? SourceAccess::Read : SourceAccess::Map;
    session.countReports = !reportsTurnedOff();
}

bool reportsTurnedOff() {
    const char* report = std::getenv("KELVARIN_REPORT");
    return report && std::strcmp(report, "0") == 0;
}

namespace {
constexpr int kBarCells = 40;
}

std::optional<std::string> CliPort::nextAnswer() {
    if (answers_.empty()) return std::nullopt;
    std::string path = std::move(answers_.front());
    answers_.pop_front();
    // A dialog hands back a full path.
    std::error_code error;
    const auto absolute = std::filesystem::absolute(pathFromUtf8(path), error);
    if (!error) {
        const std::u8string text = absolute.u8string();
        path.assign(text.begin(), text.end());
    }
    return path;
}

std::optional<std::string> CliPort::askOpenFile(const FileDialogRequest&) { return nextAnswer(); }
std::optional<std::string> CliPort::askSaveFile(const FileDialogRequest&) { return nextAnswer(); }

MessageAnswer CliPort::showMessage(const MessageBoxRequest& request) {
    eraseProgress();
    // Keep boxes and log lines in their true order when both streams go to one place.
    std::fflush(stdout);
    std::string text;
    for (char c : request.text)
        if (c != '\r') text += c;
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), text.c_str());
    std::fflush(stderr);
    return MessageAnswer::Ok;
}

void CliPort::appendLogLine(std::string_view text) {
    eraseProgress();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    if (drawProgress_) std::fflush(stdout);
}

void CliPort::setProgressRange(std::int32_t minimum, std::int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    lastCells_ = -1;
}

void CliPort::setProgressPosition(std::int32_t position) {
    if (!drawProgress_) return;
    const double span = static_cast<double>(maximum_) - minimum_;
    double fraction = span > 0 ? (static_cast<double>(position) - minimum_ + 1) / (span + 1) : 1.0;
    if (position <= 0) fraction = 0;
    fraction = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    const int cells = static_cast<int>(fraction * kBarCells);
    if (cells == lastCells_ && progressShown_) return;
    lastCells_ = cells;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(cells), '#').c_str(),
                 std::string(static_cast<std::size_t>(kBarCells - cells), ' ').c_str(),
                 static_cast<int>(fraction * 100));
    std::fflush(stderr);
    progressShown_ = true;
}

void CliPort::eraseProgress() {
    if (!progressShown_) return;
    std::fprintf(stderr, "\r%*s\r", kBarCells + 8, "");
    std::fflush(stderr);
    progressShown_ = false;
}

}  // namespace kelvarin
