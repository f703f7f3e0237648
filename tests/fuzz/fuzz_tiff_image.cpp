// The general TIFF reader on its own: open, then every row, and the first pieces again from
// row 0, in runs of a few rows, on the input's bytes in memory. An accepted file must describe
// a usable layout; a refused one must say why; a decoder that fails must say why too. Then whole
// File > Open... jobs, which take the TIFF reader's path or, past its shapes, this reader's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/byte_source.h"
#include "formats/tiff_image_reader.h"
#include "fuzz_job.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "fuzz_tiff_image: %s\n", what);
    std::abort();
}

// Returns the bytes the decoded image holds (0 when it was refused).
std::size_t checkReader(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin;
    if (!sniffTiffImage(std::span<const std::uint8_t>(data, size < 64 ? size : 64))) return 0;
    MemoryBytes source(data, size);
    OpenedSource opened = openTiffImage(source);
    if (opened.report.refused()) {
        if (opened.rows || opened.report.refusal->text.empty()) broken("a refusal without its reason, or with rows");
        return 0;
    }
    const PixelLayout& l = opened.layout;
    if (!opened.rows || opened.width == 0 || opened.length == 0 || l.channels < 1 || l.channels > 4 ||
        (l.bits != 8 && l.bits != 16 && l.bits != 32 && l.bits != 64))
        broken("an accepted file with an unusable layout");
    const std::size_t rowBytes = std::size_t{opened.width} * l.bytesPerPixel();
    // Huge images that the file claims honestly are left alone: the fuzzer's memory is small.
    if (rowBytes > (std::size_t{1} << 22)) return rowBytes * opened.length;
    const std::uint32_t run = 3;
    std::vector<std::uint8_t> rows(rowBytes * run);
    // The second pass goes back to row 0 and on into the second piece: a decoder that keeps
    // state from the end of the image shows there. The jobs' Boost pass reads it all again.
    const std::uint64_t again = std::uint64_t{opened.rows->rowsPerPiece()} * 2 + run;
    for (int pass = 0; pass < 2; ++pass) {
        const auto end =
            static_cast<std::uint32_t>(pass == 0 ? opened.length : std::min<std::uint64_t>(opened.length, again));
        for (std::uint32_t y = 0; y < end; y += run) {
            const std::uint32_t count = end - y < run ? end - y : run;
            if (!opened.rows->readRows(y, count, rows.data())) {
                if (opened.rows->failure().empty()) broken("a failed decode without its reason");
                break;
            }
        }
    }
    return rowBytes * opened.length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t decoded = checkReader(data, size);
    // A strip or a row of tiles is held decoded, and LZW may make 4096 bytes of one. A file this
    // reader refuses is one for the TIFF reader's path or for none, and fuzz_tiff runs that path
    // with every option: here it gets the plain job only, which leaves the fuzzer its time for
    // the files this reader takes.
    kelvarin::fuzz::runOpenJobs(data, size, 4200, decoded == 0 || decoded > (std::size_t{1} << 20));
    return 0;
}
