#include "support/rgbe_encoding.h"

namespace kelvarin::test {

void appendScanlineHeader(Bytes& out, std::uint32_t width) {
    out.push_back(2);
    out.push_back(2);
    out.push_back(static_cast<std::uint8_t>(width >> 8));
    out.push_back(static_cast<std::uint8_t>(width & 255));
}

void appendRun(Bytes& out, std::uint32_t count, std::uint8_t value) {
    out.push_back(static_cast<std::uint8_t>(128 + count));
    out.push_back(value);
}

void appendFlatRow(Bytes& out, const std::vector<RgbePixel>& row) {
    for (const RgbePixel& p : row) out.insert(out.end(), {p.r, p.g, p.b, p.e});
}

void appendOldRleRow(Bytes& out, const std::vector<RgbePixel>& row) {
    const auto same = [](const RgbePixel& a, const RgbePixel& b) {
        return a.r == b.r && a.g == b.g && a.b == b.b && a.e == b.e;
    };
    for (std::size_t x = 0; x < row.size();) {
        const RgbePixel& p = row[x];
        out.insert(out.end(), {p.r, p.g, p.b, p.e});
        std::size_t repeats = 0;
        while (x + 1 + repeats < row.size() && same(row[x + 1 + repeats], p)) ++repeats;
        for (std::size_t left = repeats; left > 0; left >>= 8) out.insert(out.end(), {1, 1, 1, static_cast<std::uint8_t>(left & 255)});
        x += 1 + repeats;
    }
}

void appendLiteral(Bytes& out, const std::uint8_t* values, std::size_t count) {
    out.push_back(static_cast<std::uint8_t>(count));
    out.insert(out.end(), values, values + count);
}

void encodeComponent(const std::vector<std::uint8_t>& values, Bytes& out) {
    std::size_t i = 0;
    const std::size_t n = values.size();
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 127 && values[i + run] == values[i]) ++run;
        if (run >= 3) {
            appendRun(out, static_cast<std::uint32_t>(run), values[i]);
            i += run;
            continue;
        }
        const std::size_t start = i;
        std::size_t count = 0;
        while (i < n && count < 128) {
            std::size_t ahead = 1;
            while (i + ahead < n && ahead < 3 && values[i + ahead] == values[i]) ++ahead;
            if (ahead >= 3) break;
            ++i;
            ++count;
        }
        appendLiteral(out, values.data() + start, count);
    }
}

Bytes encodeRgbe(const std::string& header, std::uint32_t width, std::uint32_t length,
                 const std::vector<RgbePixel>& pixels) {
    Bytes out(header.begin(), header.end());
    std::vector<std::uint8_t> values(width);
    for (std::uint32_t row = 0; row < length; ++row) {
        appendScanlineHeader(out, width);
        for (int c = 0; c < 4; ++c) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const RgbePixel& p = pixels[static_cast<std::size_t>(row) * width + x];
                values[x] = c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.e;
            }
            encodeComponent(values, out);
        }
    }
    return out;
}

Bytes uniformScanline(std::uint32_t width, RgbePixel colour) {
    Bytes out;
    appendScanlineHeader(out, width);
    for (std::uint8_t value : {colour.r, colour.g, colour.b, colour.e}) {
        for (std::uint32_t left = width; left > 0;) {
            const std::uint32_t n = left > 127 ? 127 : left;
            appendRun(out, n, value);
            left -= n;
        }
    }
    return out;
}

}  // namespace kelvarin::test
