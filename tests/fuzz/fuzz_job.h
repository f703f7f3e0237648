// One conversion job on bytes from outside, driven through the scripted port on files in memory,
// followed by the checks every job must pass. A broken check prints what broke and traps, so
// libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/conversion_options.h"
#include "support/job_check.h"

namespace kelvarin::fuzz {

struct FuzzJob {
    int command = 0;
    ConversionOptions options;
    const std::uint8_t* data = nullptr;  // the source file's bytes
    std::size_t size = 0;
    bool withHeader = false;             // a BIN job: these are the header file's bytes
    const std::uint8_t* header = nullptr;
    std::size_t headerSize = 0;
    test::OutputKind output = test::OutputKind::GreyTiff;
    // RAW sources: the samples written are the source's bytes, unchanged.
    bool samplesAreSource = false;
    // The largest single allocation allowed, beyond a fixed 16 MiB, per byte of input: sources
    // that may hold their whole image (interlaced PNG, OpenEXR) inflate to it first.
    std::size_t allocationPerInputByte = 256;
    // The conversion's threads; 0 as many as the machine has. Starting threads costs more than
    // converting most fuzz inputs, so only the jobs that try the bands on threads have them.
    unsigned threads = 0;
};

// Runs the job and traps when a guarantee is broken. In the TE>Raw mode the expected export size
// is taken from what the reader logged (the TIFF entries 256 and 257, the PGM image size, the RAW
// file size).
// Returns the destination's bytes when the job succeeded.
std::optional<test::Bytes> runAndCheck(const FuzzJob& job);

// The Swap option chooses the destination's byte order and nothing else: a job with it must
// end as the job without it, with the same samples, byte-swapped when the byte orders differ.
void checkSwapOnlyReorders(const std::optional<test::Bytes>& plain, const std::optional<test::Bytes>& swapped);

// Option sets worth a run each: everything the pixel pipeline offers (Swap included), and TE>Raw.
ConversionOptions styledOptions();
ConversionOptions teRawOptions();

// A source opened by content (File > Open...): the job with the default options, with every
// option, and with Swap, which may only reorder the samples. With `onlyPlain` the first alone:
// for a large image, whose passes cost far more than the options add.
void runOpenJobs(const std::uint8_t* data, std::size_t size, std::size_t allocationPerInputByte = 256,
                 bool onlyPlain = false);

}  // namespace kelvarin::fuzz
