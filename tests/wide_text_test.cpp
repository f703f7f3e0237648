#include <gtest/gtest.h>

#include <string>

#include "ui/wide_text.h"

namespace kelvarin {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, Decodes) { EXPECT_EQ(utf16FromUtf8(GetParam().utf8), GetParam().utf16); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"Ascii", "Input file opened:", u"Input file opened:"},
                      Utf8Case{"TwoAndThreeBytes", "h\xC3\xB6he-\xCE\xA9.tif", u"h\u00F6he-\u03A9.tif"},
                      Utf8Case{"Euro", "\xE2\x82\xAC", u"\u20AC"},
                      Utf8Case{"Supplementary", "\xF0\x9F\x97\xBB", u"\U0001F5FB"},
                      Utf8Case{"EmbeddedCarriageReturn", "P5 comment\r", u"P5 comment\r"},
                      // Bytes that are not UTF-8 are Windows-1252: 0xE9 is e acute, 0x80 the euro sign.
                      Utf8Case{"LoneLatin1", "caf\xE9", u"caf\u00E9"},
                      Utf8Case{"Cp1252High", "\x80\x99", u"\u20AC\u2122"},
                      Utf8Case{"TruncatedSequence", "\xC3", u"\u00C3"},
                      Utf8Case{"Overlong", "\xC0\xAF", u"\u00C0\u00AF"},
                      Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
                      Utf8Case{"BrokenContinuation", "\xE2\x82x", u"\u00E2\u201Ax"},
                      Utf8Case{"Empty", "", u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16ToUtf8, RoundTripsEveryPlane) {
    const std::u16string text = u"Z:\\d\u00FCr\\h\u00F6he-\u03A9\U0001F5FB.tif";
    EXPECT_EQ(utf8FromUtf16(text), "Z:\\d\xC3\xBCr\\h\xC3\xB6he-\xCE\xA9\xF0\x9F\x97\xBB.tif");
    EXPECT_EQ(utf16FromUtf8(utf8FromUtf16(text)), text);
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone{u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(utf8FromUtf16(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(FileDialogFilter, EntriesAreNulSeparatedAndDoublyEnded) {
    const std::vector<FileFilter> filters{{"TIF", "*.tif"}, {"All Files", "*.*"}};
    const std::u16string expected(u"TIF\0*.tif\0All Files\0*.*\0\0", 25);
    EXPECT_EQ(fileDialogFilter(filters), expected);
}

TEST(FileDialogFilter, NoEntriesGiveNoList) { EXPECT_TRUE(fileDialogFilter({}).empty()); }

}  // namespace
}  // namespace kelvarin
