#include "fuzz_job.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "formats/memory_file_system.h"
#include "ui/ids.h"

namespace kelvarin::fuzz {

namespace {

// The largest single allocation made while a job runs. A reader must check what a file claims
// against the file's real size before it allocates for it, so nothing a small input can make
// may be far larger than the input.
std::atomic<bool> tracking{false};
std::atomic<std::size_t> largestAllocation{0};

void mallocHook(const volatile void*, std::size_t size) {
    if (!tracking.load(std::memory_order_relaxed)) return;
    std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
}

void freeHook(const volatile void*) {}

const bool hooksInstalled = __sanitizer_install_malloc_and_free_hooks(mallocHook, freeHook) != 0;

// Files in memory: no job touches the disk, so nothing is left behind by a stopped fuzzer and
// parallel fuzzing jobs never share files.
const std::string kSource = "/fuzz/source.dat";
const std::string kHeader = "/fuzz/header.hdr";

[[noreturn]] void fail(const std::vector<std::string>& broken, const test::ScriptedPort& port) {
    std::fprintf(stderr, "\n==== broken job guarantees:\n");
    for (const std::string& line : broken) std::fprintf(stderr, "  %s\n", line.c_str());
    std::fprintf(stderr, "==== message boxes:\n");
    for (const std::string& text : port.boxTexts()) std::fprintf(stderr, "  %s\n", text.c_str());
    std::fprintf(stderr, "==== log:\n");
    for (const std::string& line : port.log) std::fprintf(stderr, "  %s\n", line.c_str());
    __builtin_trap();
}

// PGM, BIN and Radiance headers log their own text lines, so a file may carry lines that look
// like another reader's. The reader is named by the job's fifth line, behind the two
// "Input file opened:" pairs; only that reader's lines count.
bool readerWas(const std::vector<std::string>& log, const char* line) { return log.size() > 4 && log[4] == line; }

bool tiffWasRead(const std::vector<std::string>& log) {
    return readerWas(log, "Source data type big endian (Intel) 1") ||
           readerWas(log, "Data type little endian (Motorola) 0");
}

std::optional<std::uint64_t> expectedExport(const test::Harness& h, std::uint64_t sourceSize) {
    const auto& log = h.port.log;
    if (tiffWasRead(log)) {
        const auto width = test::lastLoggedNumber(log, " 256 ImageWidth =");
        const auto length = test::lastLoggedNumber(log, " 257 ImageLength =");
        if (width && length) return 2 * *width * *length;
    }
    if (readerWas(log, "P5 16-bit Portable Grey Map.") || readerWas(log, "P2 Text Portable Grey Map.")) {
        if (const auto samples = test::lastLoggedNumber(log, "Image size:")) return 2 * *samples;
    }
    if (readerWas(log, "Deriving size from RAW file")) return sourceSize;
    return std::nullopt;
}

}  // namespace

ConversionOptions styledOptions() {
    ConversionOptions options;
    options.colourWeighting = ColourWeighting::HDTV;
    options.boostContrast = true;
    options.invert = true;
    options.swapByteOrder = true;
    options.fStopX2 = true;
    options.fStopX4 = true;
    options.posteriseSteps = 12;
    return options;
}

ConversionOptions teRawOptions() {
    ConversionOptions options;
    options.teRawMode = true;
    return options;
}

std::optional<test::Bytes> runAndCheck(const FuzzJob& job) {
    (void)hooksInstalled;
    MemoryFileSystem files;
    test::JobCheck check;
    check.memory = &files;
    check.sourcePath = kSource;
    check.sourceBytes.assign(job.data, job.data + job.size);
    check.destinationPath = job.options.teRawMode ? "/fuzz/destination.raw" : "/fuzz/destination.tif";
    check.output = job.options.teRawMode ? test::OutputKind::RawExport : job.output;
    files.put(check.sourcePath, check.sourceBytes);
    std::vector<std::optional<std::string>> answers{check.sourcePath};
    if (job.withHeader) {
        check.headerPath = kHeader;
        check.headerBytes.assign(job.header, job.header + job.headerSize);
        files.put(check.headerPath, check.headerBytes);
        answers.push_back(check.headerPath);
    }
    answers.push_back(check.destinationPath);

    test::Harness h(files);
    h.session.options = job.options;
    h.session.conversionThreads = job.threads;
    largestAllocation = 0;
    tracking = true;
    const int result = h.run(job.command, answers);
    tracking = false;

    if (check.output == test::OutputKind::RawExport) check.exportBytes = expectedExport(h, job.size);
    std::vector<std::string> broken = test::checkJobOutcome(h, result, check);
    const std::size_t limit = (16u << 20) + job.allocationPerInputByte * (job.size + job.headerSize);
    if (largestAllocation > limit) {
        broken.push_back("one allocation of " + std::to_string(largestAllocation) + " bytes for an input of " +
                         std::to_string(job.size + job.headerSize));
    }
    if (result == 1 && broken.empty() && check.output != test::OutputKind::RawExport) {
        // The destination's size is the one the reader found and logged.
        const auto info = test::readGreyTiffInfo(files.contents(check.destinationPath).value_or(test::Bytes{}));
        const auto& log = h.port.log;
        // Only the size lines of the reader that ran count; for a Radiance file the size written
        // must be among the sizes logged, not necessarily the last.
        std::vector<std::pair<const char*, const char*>> logged;
        if (tiffWasRead(log)) logged.emplace_back(" 256 ImageWidth =", " 257 ImageLength =");
        if (readerWas(log, "96-bit RGBE HDRI.")) logged.emplace_back("Image Width =", "Image Length =");
        if (readerWas(log, "Deriving size from RAW file")) logged.emplace_back("Width: ", "Length: ");
        const auto among = [](const std::vector<std::uint64_t>& numbers, std::uint64_t value) {
            return numbers.empty() || std::find(numbers.begin(), numbers.end(), value) != numbers.end();
        };
        for (const auto& [widthLine, lengthLine] : logged) {
            if (info && (!among(test::loggedNumbers(log, widthLine), info->width) ||
                         !among(test::loggedNumbers(log, lengthLine), info->length))) {
                broken.push_back("the destination is " + std::to_string(info->width) + " x " +
                                 std::to_string(info->length) + " but the reader logged another size");
            }
        }
    }
    if (job.samplesAreSource && result == 1 && broken.empty()) {
        const test::Bytes out = files.contents(check.destinationPath).value_or(test::Bytes{});
        const std::size_t header = check.output == test::OutputKind::RawExport ? 0 : 302;
        if (out.size() < header || !std::equal(out.begin() + static_cast<std::ptrdiff_t>(header), out.end(),
                                                check.sourceBytes.begin(), check.sourceBytes.end())) {
            broken.push_back("the samples written are not the source's bytes");
        }
    }
    if (!broken.empty()) fail(broken, h.port);
    if (result != 1) return std::nullopt;
    return files.contents(check.destinationPath);
}

void runOpenJobs(const std::uint8_t* data, std::size_t size, std::size_t allocationPerInputByte, bool onlyPlain) {
    FuzzJob job{.command = ids::OpenImage, .data = data, .size = size};
    job.allocationPerInputByte = allocationPerInputByte;
    // Three threads for one input in four (chosen by its bytes, so a crash replays): bands
    // decoded on threads of their own, in an order that is not the rows'. Starting threads
    // costs more than most inputs' whole job, so the others run on one.
    job.threads = size > 0 && data[size / 2] % 4 == 0 ? 3 : 1;
    const std::optional<test::Bytes> plain = runAndCheck(job);
    if (onlyPlain) return;
    job.threads = 1;
    job.options = styledOptions();
    (void)runAndCheck(job);
    job.options = ConversionOptions{};
    job.options.swapByteOrder = true;
    checkSwapOnlyReorders(plain, runAndCheck(job));
}

void checkSwapOnlyReorders(const std::optional<test::Bytes>& plain, const std::optional<test::Bytes>& swapped) {
    std::string broken;
    if (plain.has_value() != swapped.has_value()) {
        broken = "the Swap option changed the job's result";
    } else if (plain) {
        const test::Bytes& a = *plain;
        const test::Bytes& b = *swapped;
        const bool reordered = a[0] != b[0];
        bool same = a.size() == b.size();
        for (std::size_t i = 302; same && i < a.size(); ++i) {
            const std::size_t partner = reordered ? (i % 2 == 0 ? i + 1 : i - 1) : i;
            same = partner < b.size() && a[i] == b[partner];
        }
        if (!same) broken = "the Swap option changed the samples, not only their byte order";
    }
    if (broken.empty()) return;
    std::fprintf(stderr, "\n==== %s\n", broken.c_str());
    __builtin_trap();
}

}  // namespace kelvarin::fuzz
