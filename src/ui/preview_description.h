// The preview window as data: a separate, resizable window beside the main one that shows the
// last height map written, as a picture (the levels stretched, or a shaded relief), its histogram,
// its figures and its warnings. The Qt and the Win32 window both build it from this, so every
// text, id, position and colour is written down once, here.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ui/window_description.h"

namespace kelvarin::preview {

// Labels are static text; the image and the histogram are drawn by the window from the preview
// model's data.
enum class ControlKind { RadioButton, PushButton, Label, ImageView, HistogramView };

// When the window is resized, each side of a control keeps its distance to the same side of the
// client area (Near: the left or top side; Far: the right or bottom side).
enum class Edge { Near, Far };

struct Anchors {
    Edge left, top, right, bottom;
};

enum class Align { Left, Right };

struct ControlDescription {
    int id;
    ControlKind kind;
    std::string_view text;  // empty where the text comes from the report
    window::DuRect rect;    // in the client area of kFrame's size
    Anchors anchors;
    window::FontRole font;
    bool startsGroup;  // the first radio button of a group; the group runs to the next non-radio control
    Align align;
};

struct FrameDescription {
    std::string_view caption;
    int clientWidth, clientHeight;    // dialog units, when the window opens
    int minimumWidth, minimumHeight;  // dialog units; the window is not made smaller
};

struct Colour {
    std::uint8_t red, green, blue;
};

// A warning's text: dark red, in the bold frame font, so it stands out from the figures.
inline constexpr Colour kWarningColour{0xB0, 0x00, 0x00};
inline constexpr Colour kHistogramBars{0x30, 0x30, 0x30};
inline constexpr Colour kHistogramBackground{0xFF, 0xFF, 0xFF};
// Behind the picture where it does not fill its view.
inline constexpr Colour kImageBackground{0x80, 0x80, 0x80};

const FrameDescription& frame();
// In creation and tab order.
std::span<const ControlDescription> controls();
// Nullptr for an unknown id.
const ControlDescription* findControl(int id);

struct PixelRect {
    int x, y, width, height;
};

// Dialog units to pixels with a font's base units, rounded the way Windows maps dialog rectangles.
struct BaseUnits {
    int width, height;
    int x(int du) const { return (du * width + 2) / 4; }
    int y(int du) const { return (du * height + 4) / 8; }
};

// Where the control goes in a client area of clientWidth x clientHeight pixels.
PixelRect place(const ControlDescription& control, int clientWidth, int clientHeight, BaseUnits units);

}  // namespace kelvarin::preview
