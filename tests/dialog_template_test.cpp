#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/id_names.h"
#include "ui/dialog_template.h"
#include "ui/ids.h"
#include "ui/wide_text.h"

namespace kelvarin::dialog_template {
namespace {

// Reads a template back the way the Windows dialog manager does.
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    std::uint16_t word() {
        if (at_ + 2 > bytes_.size()) throw std::out_of_range("template ends early");
        const auto value = static_cast<std::uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | static_cast<std::uint32_t>(word()) << 16;
    }
    std::int16_t signedWord() { return static_cast<std::int16_t>(word()); }
    std::uint8_t byte() { return bytes_.at(at_++); }
    std::u16string text() {
        std::u16string out;
        while (const std::uint16_t c = word()) out += static_cast<char16_t>(c);
        return out;
    }
    // sz_Or_Ord: 0xFFFF and an ordinal, or a string.
    std::u16string classOrText(std::uint16_t& ordinal) {
        ordinal = 0;
        if (at_ + 2 <= bytes_.size() && bytes_[at_] == 0xFF && bytes_[at_ + 1] == 0xFF) {
            word();
            ordinal = word();
            return {};
        }
        return text();
    }
    void alignToDword() { at_ = (at_ + 3) & ~std::size_t{3}; }
    std::size_t offset() const { return at_; }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

struct Item {
    std::size_t offset;
    std::uint32_t style;
    int x, y, width, height;
    std::uint32_t id;
    std::uint16_t classOrdinal;
    std::u16string className, text;
};

struct Parsed {
    std::uint32_t style;
    int x, y, width, height;
    std::u16string caption, face;
    int pointSize, weight;
    std::vector<Item> items;
};

Parsed parse(const std::vector<std::uint8_t>& bytes) {
    Reader in(bytes);
    Parsed out{};
    EXPECT_EQ(in.word(), 1);       // dlgVer
    EXPECT_EQ(in.word(), 0xFFFF);  // signature
    in.dword();                    // helpID
    EXPECT_EQ(in.dword(), 0u);     // exStyle
    out.style = in.dword();
    const std::uint16_t count = in.word();
    out.x = in.signedWord(), out.y = in.signedWord(), out.width = in.signedWord(), out.height = in.signedWord();
    EXPECT_EQ(in.word(), 0);  // menu
    EXPECT_EQ(in.word(), 0);  // class
    out.caption = in.text();
    out.pointSize = in.word();
    out.weight = in.word();
    in.byte();
    in.byte();
    out.face = in.text();
    for (std::uint16_t i = 0; i < count; ++i) {
        in.alignToDword();
        Item item{};
        item.offset = in.offset();
        in.dword();
        EXPECT_EQ(in.dword(), 0u);
        item.style = in.dword();
        item.x = in.signedWord(), item.y = in.signedWord(), item.width = in.signedWord(),
        item.height = in.signedWord();
        item.id = in.dword();
        item.className = in.classOrText(item.classOrdinal);
        std::uint16_t textOrdinal = 0;
        item.text = in.classOrText(textOrdinal);
        EXPECT_EQ(textOrdinal, 0);
        EXPECT_EQ(in.word(), 0);  // extra bytes
        out.items.push_back(item);
    }
    EXPECT_TRUE(in.atEnd());
    return out;
}

Parsed mainWindow() {
    return parse(build(window::windowFrame(), window::controls(), window::font(window::FontRole::Dialog)));
}

constexpr std::uint32_t kMaximizeBox = 0x00010000, kThickFrame = 0x00040000;

TEST(DialogTemplate, FrameIsTheFixedCaptionedWindowAtItsPlace) {
    const Parsed dialog = mainWindow();
    EXPECT_EQ(dialog.caption, u"KELVARIN v3.02");
    EXPECT_EQ(dialog.x, 319);
    EXPECT_EQ(dialog.y, 196);
    EXPECT_EQ(dialog.width, 380);
    EXPECT_EQ(dialog.height, 295);
    const std::uint32_t wanted = style::Popup | style::Caption | style::SysMenu | style::MinimizeBox | style::DsSetFont;
    EXPECT_EQ(dialog.style, wanted);
    EXPECT_EQ(dialog.style & kThickFrame, 0u);
    EXPECT_EQ(dialog.face, u"MS Sans Serif");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 400);
}

TEST(DialogTemplate, ItemsFollowTheDescriptionInOrderAndAreDwordAligned) {
    const Parsed dialog = mainWindow();
    const auto controls = window::controls();
    ASSERT_EQ(dialog.items.size(), controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Item& item = dialog.items[i];
        const window::ControlDescription& control = controls[i];
        SCOPED_TRACE(control.id);
        EXPECT_EQ(item.offset % 4, 0u);
        EXPECT_EQ(item.id, static_cast<std::uint32_t>(control.id));
        EXPECT_EQ(item.text, utf16FromUtf8(control.text));
        EXPECT_EQ(item.x, control.rect.x);
        EXPECT_EQ(item.y, control.rect.y);
        EXPECT_EQ(item.width, control.rect.width);
        EXPECT_EQ(item.height, control.rect.height);
        EXPECT_TRUE(item.style & style::Child);
        EXPECT_TRUE(item.style & style::Visible);
    }
}

struct KindCase {
    int id;
    std::uint16_t classOrdinal;
    const char16_t* className;
    std::uint32_t kindBits;
    std::uint32_t kindMask;
};

class DialogTemplateKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(DialogTemplateKinds, ClassAndKindStyle) {
    const Parsed dialog = mainWindow();
    const KindCase& expected = GetParam();
    for (const Item& item : dialog.items) {
        if (item.id != static_cast<std::uint32_t>(expected.id)) continue;
        EXPECT_EQ(item.classOrdinal, expected.classOrdinal);
        EXPECT_EQ(item.className, expected.className);
        EXPECT_EQ(item.style & expected.kindMask, expected.kindBits);
        return;
    }
    ADD_FAILURE() << "no item " << expected.id;
}

INSTANTIATE_TEST_SUITE_P(
    Controls, DialogTemplateKinds,
    ::testing::Values(KindCase{ids::TitleLabel, kStaticClass, u"", style::SsLeft, 0x1F},
                      KindCase{ids::LogList, kListBoxClass, u"",
                               style::LbsNoIntegralHeight | style::VScroll | style::Border,
                               style::LbsNoIntegralHeight | style::VScroll | style::Border | 0x2 /*LBS_SORT*/},
                      KindCase{ids::Average, kButtonClass, u"", style::BsAutoRadioButton, 0xF},
                      KindCase{ids::Boost, kButtonClass, u"", style::BsAutoCheckBox, 0xF},
                      KindCase{ids::TeRaw, kButtonClass, u"", style::BsAutoCheckBox, 0xF},
                      KindCase{ids::OptionsFrame, kButtonClass, u"", style::BsGroupBox, 0xF},
                      KindCase{ids::ProgressBar, 0, kProgressClass, 0, 0}),
    [](const auto& info) { return test::idName(info.param.id); });

// Each radio group starts with WS_GROUP on its first button, and the control after its last
// button starts a new group, so clicking one button clears only its own group.
TEST(DialogTemplate, RadioGroupsAreDelimitedByGroupStyle) {
    const Parsed dialog = mainWindow();
    const auto controls = window::controls();
    std::vector<std::vector<int>> groups;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const bool group = dialog.items[i].style & style::Group;
        if (controls[i].kind == window::ControlKind::RadioButton) {
            EXPECT_EQ(group, controls[i].startsGroup) << controls[i].id;
            if (controls[i].startsGroup) groups.emplace_back();
            groups.back().push_back(controls[i].id);
        } else {
            EXPECT_TRUE(group) << controls[i].id;
        }
    }
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (std::vector<int>{ids::Average, ids::TV, ids::HDTV, ids::Red, ids::Green, ids::Blue}));
    EXPECT_EQ(groups[1].front(), ids::PosteriseNone);
    EXPECT_EQ(groups[1].back(), ids::Posterise16);
    EXPECT_EQ(groups[1].size(), 7u);
}

TEST(DialogTemplate, KeyboardReachesCheckBoxesGroupStartsAndTheListOnly) {
    const Parsed dialog = mainWindow();
    const auto controls = window::controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const window::ControlDescription& control = controls[i];
        const bool reachable = control.kind == window::ControlKind::CheckBox ||
                               control.kind == window::ControlKind::List ||
                               (control.kind == window::ControlKind::RadioButton && control.startsGroup);
        EXPECT_EQ((dialog.items[i].style & style::TabStop) != 0, reachable) << control.id;
    }
}

TEST(DialogTemplate, WindowStyleFollowsTheFrameDescription) {
    window::WindowFrameDescription frame = window::windowFrame();
    EXPECT_EQ(windowStyle(frame) & (kMaximizeBox | kThickFrame), 0u);
    frame.minimiseButton = false;
    EXPECT_EQ(windowStyle(frame) & style::MinimizeBox, 0u);
}

// The small text dialog: a centred modal dialog whose edit box is the Edit class, and whose OK and
// Cancel are the buttons Enter and Escape press (IDOK, IDCANCEL), OK the default.
TEST(DialogTemplate, TextDialogHasAnEditBoxAndOkCancel) {
    const Parsed dialog =
        parse(build(window::textDialogFrame(), window::textDialogControls(), window::font(window::FontRole::Dialog)));
    EXPECT_EQ(dialog.style & (style::DsModalFrame | style::DsCenter), style::DsModalFrame | style::DsCenter);
    EXPECT_EQ(dialog.style & style::MinimizeBox, 0u);
    struct Expected {
        int id;
        std::uint16_t classOrdinal;
        std::uint32_t kindBits;
    };
    const Expected expected[] = {{ids::TextPrompt, kStaticClass, style::SsLeft},
                                 {ids::TextBox, kEditClass, style::EsAutoHScroll | style::Border | style::TabStop},
                                 {ids::KeyOk, kButtonClass, style::BsDefPushButton | style::TabStop},
                                 {ids::KeyCancel, kButtonClass, style::BsPushButton | style::TabStop}};
    ASSERT_EQ(dialog.items.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Item& item = dialog.items[i];
        EXPECT_EQ(item.id, static_cast<std::uint32_t>(expected[i].id));
        EXPECT_EQ(item.classOrdinal, expected[i].classOrdinal) << item.id;
        EXPECT_EQ(item.style & (0xF | expected[i].kindBits), expected[i].kindBits) << item.id;
        EXPECT_LE(item.x + item.width, dialog.width) << item.id;
        EXPECT_LE(item.y + item.height, dialog.height) << item.id;
    }
}

TEST(DialogTemplate, NonAsciiTextIsStoredAsUtf16) {
    const window::ControlDescription control{42, window::ControlKind::Label, "h\xC3\xB6he \xCE\xA9", {1, 2, 3, 4},
                                             window::FontRole::Dialog, false};
    window::WindowFrameDescription frame = window::windowFrame();
    frame.caption = "Gr\xC3\xBC\xC3\x9F" "e";
    const Parsed dialog = parse(build(frame, std::span(&control, 1), window::font(window::FontRole::Title)));
    EXPECT_EQ(dialog.caption, u"Gr\u00FC\u00DFe");
    EXPECT_EQ(dialog.weight, 700);
    EXPECT_EQ(dialog.pointSize, 12);
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_EQ(dialog.items[0].text, u"h\u00F6he \u03A9");
}

}  // namespace
}  // namespace kelvarin::dialog_template
