// What every finished conversion job must guarantee, whatever bytes it was fed: the source is
// unchanged, every file is closed, a failure is a clear refusal that leaves no destination behind,
// and a success leaves a complete destination. Shared by the GoogleTest suites and the fuzzers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/memory_file_system.h"
#include "support/scripted_port.h"
#include "support/test_files.h"

namespace kelvarin::test {

// The numbers of a written 16-bit greyscale TIFF, read from its own header.
struct GreyTiffInfo {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t stripOffset = 0;
    std::uint32_t stripByteCounts = 0;
};

// Reads the header of a greyscale TIFF as written by the job: byte order, first IFD, and the
// entries 256, 257, 273 and 279. Nothing when the header is not sound.
std::optional<GreyTiffInfo> readGreyTiffInfo(const Bytes& file);

enum class OutputKind {
    GreyTiff,  // 302-byte header followed by exactly 2 x width x length bytes
    RawTiff,   // the TIFF of a RAW source: the whole file is copied, so at least 2 x width x length
    RawExport  // TE>Raw: the bare samples
};

struct JobCheck {
    std::string sourcePath;
    Bytes sourceBytes;
    std::string headerPath;  // BIN only
    Bytes headerBytes;
    std::string destinationPath;
    OutputKind output = OutputKind::GreyTiff;
    // The size a TE>Raw export must have, when the caller knows it.
    std::optional<std::uint64_t> exportBytes;
    // The job ran on files in memory: the paths above name files there, not on the disk.
    MemoryFileSystem* memory = nullptr;
};

// Every broken guarantee as a line of text; empty when the job behaved.
std::vector<std::string> checkJobOutcome(const Harness& harness, int result, const JobCheck& check);

// The message boxes of a finished command other than the mode warning and the result box:
// the refusals.
std::vector<MessageBoxRequest> refusalBoxes(const ScriptedPort& port);

// The last number logged on a line that begins with `prefix`, when there is one.
std::optional<std::uint64_t> lastLoggedNumber(const std::vector<std::string>& log, const std::string& prefix);
// Every number logged behind the prefix, in log order.
std::vector<std::uint64_t> loggedNumbers(const std::vector<std::string>& log, const std::string& prefix);

}  // namespace kelvarin::test
