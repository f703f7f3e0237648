// Fonts, dialog units and placement of the Qt window: the fonts of the window description, with
// the platform's sans or monospace face where the named one is not installed, the conversion of
// dialog units to pixels and the placement on the screen the way Windows dialogs do them, and the
// progress bar's range kept the way the Windows progress control keeps it.
#pragma once

#include <QFont>
#include <QRect>
#include <cstdint>

#include "ui/window_description.h"

namespace kelvarin::qt {

// The font of a role: the named face where installed, otherwise the platform's general (or fixed)
// font at the same point size and weight.
QFont resolveFont(const window::FontSpec& spec);

class DialogUnits {
public:
    // Base units from the dialog font: the average width of the 52 Latin letters and the line height.
    explicit DialogUnits(const QFont& dialogFont);
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    int x(int du) const { return (du * baseWidth_ + 2) / 4; }
    int y(int du) const { return (du * baseHeight_ + 4) / 8; }
    QRect rect(const window::DuRect& r) const;
    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

private:
    int baseWidth_ = 6;
    int baseHeight_ = 13;
};

// Where a window of `frameSize` (caption and borders included) goes when it asks for `wanted`:
// moved left and up just enough to end inside `available`, but never past its left or top edge,
// as Windows places a dialog; `wanted` itself whenever the window fits there.
QPoint placeOnScreen(QPoint wanted, QSize frameSize, const QRect& available);

// The progress bar's range and position as the Windows progress control keeps them: the position
// is held inside the range whenever either changes, and a range of one value is drawn full.
class ProgressRange {
public:
    // The drawn fill runs from 0 to this many steps.
    static constexpr int kFillSteps = 10000;

    void setRange(std::int32_t minimum, std::int32_t maximum);
    void setPosition(std::int32_t position);
    std::int32_t position() const { return position_; }
    // (position - minimum) / (maximum - minimum) in fill steps.
    int fill() const;

private:
    void clampPosition();

    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 1;
    std::int32_t position_ = 0;
};

}  // namespace kelvarin::qt
