// A source opened through the table of formats straight from the input's bytes, and every row of
// it decoded twice, as the job's two passes ask for them. A refusal must name its reason and end
// with a stop line, a failed decode must say why; anything else broken traps, so libFuzzer keeps
// the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin::fuzz {

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

inline void decodeEveryRowTwice(const std::uint8_t* data, std::size_t size) {
    MemoryBytes source(data, size);
    const SourceFormat* format = sniffSourceFormat(source);
    if (!format) return;
    OpenedSource opened = format->open(source);
    if (opened.report.refused()) {
        check(!opened.report.refusal->text.empty() && !opened.report.refusal->lines.empty(), "refusal without reason");
        check(!opened.rows, "refused source with a decoder");
        return;
    }
    check(opened.rows != nullptr, "accepted source without a decoder");
    check(opened.width >= 1 && opened.width <= 65535 && opened.length >= 1 && opened.length <= 65535, "size");
    const std::size_t rowBytes = std::size_t{opened.width} * opened.layout.bytesPerPixel();
    constexpr std::uint32_t kRun = 16;
    std::vector<std::uint8_t> rows(rowBytes * kRun);
    for (int pass = 0; pass < 2; ++pass)
        for (std::uint32_t first = 0; first < opened.length; first += kRun) {
            const std::uint32_t count = opened.length - first < kRun ? opened.length - first : kRun;
            if (!opened.rows->readRows(first, count, rows.data())) {
                check(!opened.rows->failure().empty(), "failed decode without reason");
                return;
            }
        }
}

}  // namespace kelvarin::fuzz
