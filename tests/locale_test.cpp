// The core gives the same log lines and the same bytes whatever the C library's locale: the Qt
// window takes its locale from the environment, the CLI stays in "C".
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include "base/number_text.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

// Sets the C library's locale for the life of the object, then puts the one before back.
class LocaleSwitch {
public:
    LocaleSwitch() : before_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleSwitch() { std::setlocale(LC_ALL, before_.c_str()); }
    LocaleSwitch(const LocaleSwitch&) = delete;
    LocaleSwitch& operator=(const LocaleSwitch&) = delete;
    bool use(const char* name) { return std::setlocale(LC_ALL, name) != nullptr; }

private:
    std::string before_;
};

struct Outcome {
    std::vector<std::string> lines;
    Bytes destination;
};

Outcome numberTexts(const TempDir&) {
    Outcome outcome;
    const double values[] = {0.25, -0.5, 2.5, 65535.0 / 7.0, -1234.5678, 1.0 / 3.0, 1.5e20, 2.4325e-34, 1e-8, 100};
    for (double value : values) {
        outcome.lines.push_back(numberText(value));
        outcome.lines.push_back(numberText(static_cast<float>(value)));
    }
    return outcome;
}

Outcome job(const TempDir& dir, int command, const Bytes& source) {
    writeBytes(dir.file("source"), source);
    Harness h;
    h.session.options.boostContrast = true;
    h.run(command, {dir.file("source"), dir.file("out.tif")});
    return {h.port.log, readBytes(dir.file("out.tif"))};
}

Outcome radianceJob(const TempDir& dir) {
    Bytes file = buildRadiance(256, 3);
    const std::string header(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(radianceHeaderBytes(256, 3)));
    const std::size_t exposure = header.find("EXPOSURE=1.0");
    if (exposure != std::string::npos) file[exposure + 9] = '0', file[exposure + 11] = '5';  // EXPOSURE=0.5
    return job(dir, ids::OpenHdr, file);
}

Outcome floatTiffJob(const TempDir& dir) {
    TiffLayout layout;
    layout.bits = 32;
    layout.floating = true;
    return job(dir, ids::OpenTif, buildTiff(layout));
}

TEST(Locale, CommaDecimalLocaleChangesNothing) {
    struct Case {
        const char* name;
        std::function<Outcome(const TempDir&)> run;
        const char* lineInC;  // a line the "C" locale's result holds, so both runs cannot be wrong alike
    };
    const Case cases[] = {
        {"number text", numberTexts, " .333333333333333"},
        {"Radiance job with EXPOSURE=0.5", radianceJob, "EXPOSURE = .5"},
        {"boosted 96-bit float TIFF job", floatTiffJob, "Lowest value in image: .35"},
    };

    LocaleSwitch locale;
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
        if (locale.use(name) && std::localeconv()->decimal_point == std::string(",")) {
            commaLocale = name;
            break;
        }
    if (!commaLocale)
        GTEST_SKIP() << "no comma-decimal locale here; make one with: localedef -i de_DE -f UTF-8 de_DE.UTF-8";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_TRUE(locale.use("C"));
        const Outcome inC = c.run(dir);
        ASSERT_TRUE(locale.use(commaLocale));
        const Outcome inComma = c.run(dir);
        EXPECT_NE(std::find(inC.lines.begin(), inC.lines.end(), c.lineInC), inC.lines.end());
        EXPECT_EQ(inComma.lines, inC.lines);
        EXPECT_EQ(inComma.destination, inC.destination);
    }
}

}  // namespace
}  // namespace kelvarin::test
