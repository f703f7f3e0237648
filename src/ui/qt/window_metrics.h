// Fonts and dialog units of the Qt window: the fonts of the window description, with the
// platform's sans or monospace face where the named one is not installed, and the conversion
// of dialog units to pixels the way Windows dialogs do it.
#pragma once

#include <QFont>
#include <QRect>

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

}  // namespace kelvarin::qt
