#include "support/job_check.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace kelvarin::test {

namespace {

struct Reader {
    const Bytes& bytes;
    bool intel;
    bool has(std::uint64_t at, std::uint64_t count) const { return at <= bytes.size() && count <= bytes.size() - at; }
    std::uint32_t u16(std::size_t at) const {
        return intel ? bytes[at] | bytes[at + 1] << 8 : bytes[at] << 8 | bytes[at + 1];
    }
    std::uint32_t u32(std::size_t at) const {
        return intel ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    }
};

}  // namespace

std::optional<GreyTiffInfo> readGreyTiffInfo(const Bytes& file) {
    if (file.size() < 8) return std::nullopt;
    const bool intel = file[0] == 'I' && file[1] == 'I';
    if (!intel && !(file[0] == 'M' && file[1] == 'M')) return std::nullopt;
    const Reader r{file, intel};
    if (r.u16(2) != 42) return std::nullopt;
    const std::uint32_t ifd = r.u32(4);
    if (!r.has(ifd, 2)) return std::nullopt;
    const std::uint32_t count = r.u16(ifd);
    if (!r.has(ifd + 2ull, 12ull * count)) return std::nullopt;
    GreyTiffInfo info;
    int found = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = ifd + 2 + 12 * i;
        const std::uint32_t tag = r.u16(at), type = r.u16(at + 2), n = r.u32(at + 4);
        if (tag != 256 && tag != 257 && tag != 273 && tag != 279) continue;
        if (n != 1 || (type != 3 && type != 4)) return std::nullopt;
        const std::uint32_t value = type == 3 ? r.u16(at + 8) : r.u32(at + 8);
        switch (tag) {
            case 256: info.width = value; break;
            case 257: info.length = value; break;
            case 273: info.stripOffset = value; break;
            default: info.stripByteCounts = value; break;
        }
        ++found;
    }
    if (found != 4) return std::nullopt;
    return info;
}

std::vector<MessageBoxRequest> refusalBoxes(const ScriptedPort& port) {
    std::vector<MessageBoxRequest> refusals;
    for (std::size_t i = 0; i < port.boxes.size(); ++i) {
        const MessageBoxRequest& box = port.boxes[i];
        const bool last = i + 1 == port.boxes.size();
        if (box.caption == "KELVARIN - Warning.") continue;
        if (last && (box.caption == "KELVARIN - Success." || box.text == "There were errors.")) continue;
        refusals.push_back(box);
    }
    return refusals;
}

std::vector<std::uint64_t> loggedNumbers(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::uint64_t> numbers;
    for (const std::string& line : log) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const char* text = line.c_str() + prefix.size();
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text, &end, 10);
        if (end != text) numbers.push_back(value);
    }
    return numbers;
}

std::optional<std::uint64_t> lastLoggedNumber(const std::vector<std::string>& log, const std::string& prefix) {
    const auto numbers = loggedNumbers(log, prefix);
    if (numbers.empty()) return std::nullopt;
    return numbers.back();
}

std::vector<std::string> checkJobOutcome(const Harness& harness, int result, const JobCheck& check) {
    std::vector<std::string> broken;
    const auto present = [&check](const std::string& path) {
        return check.memory ? check.memory->exists(path) : exists(path);
    };
    const auto bytesOf = [&check](const std::string& path) {
        return check.memory ? check.memory->contents(path).value_or(Bytes{}) : readBytes(path);
    };
    if (!present(check.sourcePath) || bytesOf(check.sourcePath) != check.sourceBytes) {
        broken.push_back("the source file changed");
    }
    if (!check.headerPath.empty() && (!present(check.headerPath) || bytesOf(check.headerPath) != check.headerBytes)) {
        broken.push_back("the BIN header file changed");
    }
    const FileState& files = harness.session.files;
    if (files.source) broken.push_back("the source is still open");
    if (files.header) broken.push_back("the BIN header is still open");
    if (files.destination) broken.push_back("the destination is still open");
    if (!harness.port.commandsEnabled) broken.push_back("the commands are still greyed");
    if (check.memory) {
        if (check.memory->pendingDestinations() != 0) broken.push_back("a destination was left open, half-written");
        for (const std::string& name : check.memory->names()) {
            if (name != check.sourcePath && name != check.headerPath && name != check.destinationPath)
                broken.push_back("a stray file: " + name);
        }
    } else {
        const std::string folder = std::filesystem::path(check.destinationPath).parent_path().string();
        for (const std::string& name : temporaryFilesIn(folder)) broken.push_back("a temporary file stayed behind: " + name);
    }

    const bool written = present(check.destinationPath);
    if (result == 0) {
        if (written) broken.push_back("a failed job left its destination behind");
        const std::size_t refusals = refusalBoxes(harness.port).size();
        if (refusals == 0) broken.push_back("a failed job showed no message box of its own");
        if (refusals > 1) broken.push_back("a failed job showed " + std::to_string(refusals) + " message boxes");
        // The source's closing lines tell the user the file was let go.
        const auto& log = harness.port.log;
        bool closed = false;
        for (std::size_t i = 0; i + 1 < log.size() && !closed; ++i) {
            closed = log[i] == "Closed file:" && log[i + 1] == check.sourcePath;
        }
        if (!closed) broken.push_back("a failed job did not log \"Closed file:\" and the source path");
        // Every stop names itself in a ">>> ... STOP!" line, but for the few whose wording is fixed:
        // unrecognised first bytes and the Radiance scanline-header faults.
        const bool stopLine = std::any_of(log.begin(), log.end(), [](const std::string& line) {
            return (line.rfind(">>>", 0) == 0 && line.size() >= 5 && line.compare(line.size() - 5, 5, "STOP!") == 0) ||
                   line == "STOP - No Job!" ||
                   line == "RLE type 2 header error.";
        });
        if (!stopLine) broken.push_back("a failed job logged no \">>> ... STOP!\" line");
        return broken;
    }
    if (result != 1) {
        broken.push_back("the result is neither 0 nor 1");
        return broken;
    }
    for (const MessageBoxRequest& box : harness.port.boxes) {
        if (box.icon == MessageIcon::Error) broken.push_back("a successful job showed an error box: " + box.text);
    }
    if (!written) {
        broken.push_back("a successful job wrote no destination");
        return broken;
    }
    const Bytes out = bytesOf(check.destinationPath);
    if (check.output == OutputKind::RawExport) {
        if (check.exportBytes && out.size() != *check.exportBytes) {
            broken.push_back("the RAW export holds " + std::to_string(out.size()) + " bytes, not " +
                             std::to_string(*check.exportBytes));
        }
        return broken;
    }
    const auto info = readGreyTiffInfo(out);
    if (!info) {
        broken.push_back("the destination has no sound greyscale TIFF header");
        return broken;
    }
    if (info->width == 0 || info->length == 0) broken.push_back("the destination has no pixels");
    if (info->stripOffset != 302 || out.size() < 302) {
        broken.push_back("the destination's data does not start at 302");
        return broken;
    }
    const std::uint64_t data = out.size() - 302;
    const std::uint64_t samples = 2ull * info->width * info->length;
    if (info->stripByteCounts != data) {
        broken.push_back("the destination holds " + std::to_string(data) + " data bytes but its header says " +
                         std::to_string(info->stripByteCounts));
    }
    const bool sizeOk = check.output == OutputKind::RawTiff ? data >= samples : data == samples;
    if (!sizeOk) {
        broken.push_back("the destination holds " + std::to_string(data) + " data bytes for " +
                         std::to_string(info->width) + " x " + std::to_string(info->length) + " pixels");
    }
    return broken;
}

}  // namespace kelvarin::test
