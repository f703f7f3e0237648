#include "job/height_scan.h"

#include <algorithm>
#include <vector>

#include "formats/byte_source.h"
#include "formats/source_format.h"
#include "job/height_steps.h"
#include "pixels/height_mapping.h"

namespace kelvarin {

HeightScan scanHeights(FileSystem& files, const std::string& path) {
    HeightScan scan;
    std::unique_ptr<File> file = files.open(path, File::Mode::Read);
    if (!file) {
        scan.refusal = "cannot be opened";
        return scan;
    }
    SharedFileBytes bytes(*file);
    const SourceFormat* format = findSourceFormat(bytes, path);
    if (format == nullptr) {
        scan.refusal = "not a file of heights KELVARIN can read";
        return scan;
    }
    OpenedSource opened = openSourceFormat(*format, bytes, path);
    if (opened.report.refused()) {
        scan.refusal = opened.report.refusal->text;
        return scan;
    }
    if (!opened.rows || !holdsHeights(opened.layout) || !mapsHeights(opened.layout)) {
        scan.refusal = "holds no heights (one channel of signed or floating-point samples)";
        return scan;
    }
    const HeightSampler sampler(opened.layout, opened.heights.noData);
    // Bands of about a million samples.
    const std::uint32_t band = std::max<std::uint32_t>(1, (1u << 20) / std::max<std::uint32_t>(opened.width, 1));
    std::vector<std::uint8_t> rows(std::size_t{std::min(band, opened.length)} * opened.width * opened.layout.bytesPerPixel());
    HeightTally found;
    for (std::uint32_t first = 0; first < opened.length; first += band) {
        const std::uint32_t count = std::min(band, opened.length - first);
        if (!opened.rows->readRows(first, count, rows.data())) {
            scan.refusal = opened.rows->failure();
            return scan;
        }
        sampler.tally(rows.data(), std::size_t{count} * opened.width, found);
    }
    scan.range = found.range();
    scan.voids = found.voids;
    return scan;
}

std::optional<HeightRange> commonRange(const std::vector<HeightScan>& scans) {
    std::optional<HeightRange> common;
    for (const HeightScan& scan : scans) {
        if (!scan.range) continue;
        if (!common) common = scan.range;
        common->low = std::min(common->low, scan.range->low);
        common->high = std::max(common->high, scan.range->high);
    }
    return common;
}

}  // namespace kelvarin
