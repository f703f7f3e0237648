#include "pixels/report_json.h"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "base/mixed_text.h"

namespace kelvarin {

namespace {

class JsonWriter {
public:
    explicit JsonWriter(int indent) : indent_(indent) {}

    void open(char bracket) {
        text_ += bracket;
        ++indent_;
        first_ = true;
    }
    void close(char bracket) {
        --indent_;
        if (!first_) newline();  // an empty one stays on its line: []
        text_ += bracket;
        first_ = false;
    }
    void key(std::string_view name) {
        if (!first_) text_ += ',';
        first_ = false;
        newline();
        string(name);
        text_ += ": ";
    }
    void string(std::string_view value) {
        text_ += '"';
        for (const char c : utf8FromMixed(value)) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                text_.append(1, '\\').append(1, c);
            } else if (byte < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                text_.append("\\u00").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
            } else {
                text_ += c;
            }
        }
        text_ += '"';
    }
    template <class Number>
    void number(Number value) {
        if constexpr (std::is_floating_point_v<Number>) {
            if (!std::isfinite(value)) {  // JSON has no infinities: say that there is no number
                text_ += "null";
                return;
            }
        }
        char digits[64];
        const auto written = std::to_chars(digits, digits + sizeof digits, value);
        text_.append(digits, written.ptr);
    }
    void raw(std::string_view text) { text_ += text; }
    // The next element of an array, on a line of its own.
    void item() {
        if (!first_) text_ += ',';
        first_ = false;
        newline();
    }
    std::string take() { return std::move(text_); }

private:
    void newline() { text_.append(1, '\n').append(static_cast<std::size_t>(2 * indent_), ' '); }

    std::string text_;
    int indent_;
    bool first_ = true;
};

void writeAnalysis(JsonWriter& json, const SourceAnalysis& analysis) {
    json.open('{');
    json.key("lowest");
    if (analysis.singlePrecision) {
        json.number(static_cast<float>(analysis.lowest));
    } else {
        json.number(analysis.lowest);
    }
    json.key("highest");
    if (analysis.singlePrecision) {
        json.number(static_cast<float>(analysis.highest));
    } else {
        json.number(analysis.highest);
    }
    json.close('}');
}

// The heights of an elevation source: the range the levels span, what the file held, and where
// it lies when the file says.
void writeHeights(JsonWriter& json, const HeightSummary& heights) {
    json.key("heights");
    json.open('{');
    json.key("low"), json.number(heights.used.low);
    json.key("high"), json.number(heights.used.high);
    json.key("step"), json.number(heights.step());
    json.key("voids"), json.number(heights.voids);
    json.key("clipped"), json.number(heights.clipped);
    json.key("found");
    if (heights.found) {
        json.open('{');
        json.key("low"), json.number(heights.found->low);
        json.key("high"), json.number(heights.found->high);
        json.close('}');
    } else {
        json.raw("null");
    }
    json.key("unit"), json.string(heights.unit);
    json.key("vertical_scale"), json.string(verticalScaleText(heights));
    json.close('}');
    json.key("geo");
    if (!heights.placement) {
        json.raw("null");
        return;
    }
    const GroundPlacement& p = *heights.placement;
    json.open('{');
    json.key("pixel_width"), json.number(p.pixelWidth);
    json.key("pixel_height"), json.number(p.pixelHeight);
    json.key("origin_x"), json.number(p.originX);
    json.key("origin_y"), json.number(p.originY);
    json.key("units"), json.string(p.units);
    json.close('}');
}

void writeReport(JsonWriter& json, const HeightReport& report) {
    const SampleFigures& figures = report.figures;
    json.open('{');
    json.key("output"), json.string(report.output);
    json.key("width"), json.number(report.width);
    json.key("length"), json.number(report.length);
    json.key("min"), json.number(figures.min);
    json.key("max"), json.number(figures.max);
    json.key("mean"), json.number(figures.mean);
    json.key("distinct_levels"), json.number(figures.distinctLevels);
    json.key("range_used"), json.number(figures.rangeUsed());
    json.key("at_zero"), json.number(figures.atZero);
    json.key("at_full"), json.number(figures.atFull);
    json.key("histogram");
    json.raw("[");
    bool first = true;
    for (const std::uint64_t bin : figures.histogram) {
        if (!first) json.raw(", ");
        first = false;
        json.number(bin);
    }
    json.raw("]");
    json.key("source");
    json.open('{');
    json.key("kind"), json.string(report.source.kind);
    json.key("bits_per_sample"), json.number(report.source.bitsPerSample);
    json.key("sample_format"), json.string(sampleFormatName(report.source.sampleFormat));
    // The extremes before any stretch; null when no analysis ran (the samples were not stretched).
    json.key("analysis");
    if (report.source.analysis) {
        writeAnalysis(json, *report.source.analysis);
    } else {
        json.raw("null");
    }
    if (report.source.heights) writeHeights(json, *report.source.heights);
    json.close('}');
    json.key("warnings");
    json.open('[');
    for (const ReportWarning& warning : report.warnings) {
        json.item();
        json.open('{');
        json.key("code"), json.string(warning.code);
        json.key("text"), json.string(warning.text);
        json.close('}');
    }
    json.close(']');
    if (report.vertical) {
        const VerticalScale& v = *report.vertical;
        json.key("vertical");
        json.open('{');
        json.key("span_m"), json.number(v.spanMetres);
        json.key("z_scale_percent"), json.number(v.zScalePercent);
        json.key("terrain_height_m"), json.number(v.terrainHeightMetres);
        if (v.spacingMetres) json.key("spacing_m"), json.number(*v.spacingMetres);
        json.close('}');
    }
    if (!report.tiles.empty()) {
        json.key("tiles");
        json.open('[');
        for (const TileFigures& tile : report.tiles) {
            json.item();
            json.open('{');
            json.key("name"), json.string(tile.name);
            json.key("x"), json.number(tile.x);
            json.key("y"), json.number(tile.y);
            json.key("width"), json.number(tile.width);
            json.key("length"), json.number(tile.length);
            json.key("min"), json.number(tile.min);
            json.key("max"), json.number(tile.max);
            json.close('}');
        }
        json.close(']');
    }
    json.close('}');
}

}  // namespace

std::string reportJson(const HeightReport& report) {
    JsonWriter json(0);
    writeReport(json, report);
    return json.take() + "\n";
}

std::string terrainReportJson(std::span<const HeightReport> tiles) {
    JsonWriter json(0);
    json.open('{');
    json.key("tiles");
    json.open('[');
    for (const HeightReport& tile : tiles) {
        json.item();
        writeReport(json, tile);
    }
    json.close(']');
    json.close('}');
    return json.take() + "\n";
}

}  // namespace kelvarin
