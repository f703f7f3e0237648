// The main window, and the small text dialog, as Windows in-memory dialog templates
// (DLGTEMPLATEEX followed by one DLGITEMTEMPLATEEX per control), built from the window
// description. Plain bytes, so the layout is checked by the tests on any platform; the Win32
// window hands them to DialogBoxIndirectParamW.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/window_description.h"

namespace kelvarin::dialog_template {

// The style bits used here, with the values of the Windows headers (WinUser.h, CommCtrl.h).
namespace style {
inline constexpr std::uint32_t Popup = 0x80000000, Child = 0x40000000, Visible = 0x10000000,
                               Caption = 0x00C00000, Border = 0x00800000, VScroll = 0x00200000,
                               SysMenu = 0x00080000, Group = 0x00020000, MinimizeBox = 0x00020000,
                               TabStop = 0x00010000;
inline constexpr std::uint32_t DsSetFont = 0x40, DsModalFrame = 0x80, DsCenter = 0x800;
inline constexpr std::uint32_t SsLeft = 0x0, SsNoPrefix = 0x80;
inline constexpr std::uint32_t BsPushButton = 0x0, BsDefPushButton = 0x1, BsAutoCheckBox = 0x3, BsGroupBox = 0x7,
                               BsAutoRadioButton = 0x9;
inline constexpr std::uint32_t EsAutoHScroll = 0x80;
inline constexpr std::uint32_t LbsNotify = 0x1, LbsNoIntegralHeight = 0x100;
}  // namespace style

// Predefined window classes of a template item, by ordinal.
inline constexpr std::uint16_t kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082,
                                kListBoxClass = 0x0083;
// The common control class of the progress bar, by name.
inline constexpr char16_t kProgressClass[] = u"msctls_progress32";

// The window's own style: caption, system menu, minimise box; no maximise box, no sizing border.
// A centred dialog also gets the dialog frame and is placed over the middle of its owner.
std::uint32_t windowStyle(const window::WindowFrameDescription& frame);
// A control's style: its kind, visible child, WS_GROUP where a group starts (the first radio
// button of a group, and every other control, so each radio group ends at the next control),
// WS_TABSTOP on everything the keyboard can reach.
std::uint32_t controlStyle(const window::ControlDescription& control);

// The whole template, DWORD-aligned items, in the description's control order.
std::vector<std::uint8_t> build(const window::WindowFrameDescription& frame,
                                std::span<const window::ControlDescription> controls,
                                const window::FontSpec& dialogFont);

}  // namespace kelvarin::dialog_template
