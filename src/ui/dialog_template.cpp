#include "ui/dialog_template.h"

#include <string>

#include "ui/wide_text.h"

namespace kelvarin::dialog_template {

namespace {

using window::ControlKind;

class Writer {
public:
    void word(std::uint16_t value) {
        bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    void dword(std::uint32_t value) {
        word(static_cast<std::uint16_t>(value & 0xFFFF));
        word(static_cast<std::uint16_t>(value >> 16));
    }
    void byte(std::uint8_t value) { bytes_.push_back(value); }
    // A NUL-terminated UTF-16 string.
    void text(std::u16string_view value) {
        for (char16_t c : value) word(static_cast<std::uint16_t>(c));
        word(0);
    }
    void alignToDword() {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

std::int16_t unit(int value) { return static_cast<std::int16_t>(value); }

}  // namespace

std::uint32_t windowStyle(const window::WindowFrameDescription& frame) {
    std::uint32_t bits = style::Popup | style::Caption | style::SysMenu | style::DsSetFont;
    if (frame.minimiseButton) bits |= style::MinimizeBox;
    if (frame.centred) bits |= style::DsModalFrame | style::DsCenter;
    // A maximise box or a sizing border would need WS_MAXIMIZEBOX / WS_THICKFRAME; the window
    // has neither.
    return bits;
}

std::uint32_t controlStyle(const window::ControlDescription& control) {
    std::uint32_t bits = style::Child | style::Visible;
    switch (control.kind) {
        case ControlKind::Label: bits |= style::SsLeft | style::SsNoPrefix | style::Group; break;
        case ControlKind::List:
            bits |= style::LbsNoIntegralHeight | style::LbsNotify | style::VScroll | style::Border | style::TabStop |
                    style::Group;
            break;
        case ControlKind::RadioButton:
            bits |= style::BsAutoRadioButton;
            if (control.startsGroup) bits |= style::Group | style::TabStop;
            break;
        case ControlKind::CheckBox: bits |= style::BsAutoCheckBox | style::Group | style::TabStop; break;
        case ControlKind::GroupFrame: bits |= style::BsGroupBox | style::Group; break;
        case ControlKind::ProgressBar: bits |= style::Group; break;
        case ControlKind::TextBox: bits |= style::EsAutoHScroll | style::Border | style::TabStop | style::Group; break;
        case ControlKind::Button: bits |= style::BsPushButton | style::TabStop | style::Group; break;
        case ControlKind::DefaultButton: bits |= style::BsDefPushButton | style::TabStop | style::Group; break;
    }
    return bits;
}

std::vector<std::uint8_t> build(const window::WindowFrameDescription& frame,
                                std::span<const window::ControlDescription> controls,
                                const window::FontSpec& dialogFont) {
    Writer out;
    out.word(1);       // dlgVer
    out.word(0xFFFF);  // signature: the extended template
    out.dword(0);      // helpID
    out.dword(0);      // exStyle
    out.dword(windowStyle(frame));
    out.word(static_cast<std::uint16_t>(controls.size()));
    out.word(static_cast<std::uint16_t>(unit(frame.x)));
    out.word(static_cast<std::uint16_t>(unit(frame.y)));
    out.word(static_cast<std::uint16_t>(unit(frame.clientWidth)));
    out.word(static_cast<std::uint16_t>(unit(frame.clientHeight)));
    out.word(0);  // no menu resource: the menu is built at run time
    out.word(0);  // the standard dialog class
    out.text(utf16FromUtf8(frame.caption));
    // DS_SETFONT: point size, weight, italic, character set, face.
    out.word(static_cast<std::uint16_t>(dialogFont.pointSize));
    out.word(dialogFont.bold ? 700 : 400);
    out.byte(0);
    out.byte(1);  // DEFAULT_CHARSET
    out.text(utf16FromUtf8(dialogFont.face));

    for (const window::ControlDescription& control : controls) {
        out.alignToDword();
        out.dword(0);  // helpID
        out.dword(0);  // exStyle
        out.dword(controlStyle(control));
        out.word(static_cast<std::uint16_t>(unit(control.rect.x)));
        out.word(static_cast<std::uint16_t>(unit(control.rect.y)));
        out.word(static_cast<std::uint16_t>(unit(control.rect.width)));
        out.word(static_cast<std::uint16_t>(unit(control.rect.height)));
        out.dword(static_cast<std::uint32_t>(control.id));
        switch (control.kind) {
            case ControlKind::Label: out.word(0xFFFF), out.word(kStaticClass); break;
            case ControlKind::List: out.word(0xFFFF), out.word(kListBoxClass); break;
            case ControlKind::ProgressBar: out.text(kProgressClass); break;
            case ControlKind::TextBox: out.word(0xFFFF), out.word(kEditClass); break;
            default: out.word(0xFFFF), out.word(kButtonClass); break;
        }
        out.text(utf16FromUtf8(control.text));
        out.word(0);  // no creation data
    }
    return out.take();
}

}  // namespace kelvarin::dialog_template
