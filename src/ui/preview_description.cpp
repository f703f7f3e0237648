#include "ui/preview_description.h"

#include "ui/ids.h"

namespace kelvarin::preview {

namespace {

using K = ControlKind;
using F = window::FontRole;
constexpr Edge N = Edge::Near, R = Edge::Far;

constexpr FrameDescription kFrame{"KELVARIN - Preview", 460, 290, 370, 250};

// The picture fills the left and grows with the window, the warnings in a strip below it (tall
// enough for all three at the opening size); the histogram and the figures stand in a column of
// fixed width at the right.
constexpr ControlDescription kControls[] = {
    {ids::PreviewHeight, K::RadioButton, "Height Map", {7, 6, 52, 12}, {N, N, N, N}, F::Dialog, true, Align::Left},
    {ids::PreviewRelief, K::RadioButton, "Shaded Relief", {62, 6, 64, 12}, {N, N, N, N}, F::Dialog, false, Align::Left},
    {ids::PreviewTile1, K::RadioButton, "Tile 4096", {140, 6, 45, 12}, {N, N, N, N}, F::Dialog, true, Align::Left},
    {ids::PreviewTile2, K::RadioButton, "Tile 2048", {187, 6, 45, 12}, {N, N, N, N}, F::Dialog, false, Align::Left},
    {ids::PreviewTile3, K::RadioButton, "Tile 1024", {234, 6, 45, 12}, {N, N, N, N}, F::Dialog, false, Align::Left},
    {ids::PreviewSave, K::PushButton, "Save Preview As...", {375, 5, 78, 14}, {R, N, R, N}, F::Dialog, false, Align::Left},
    {ids::PreviewImage, K::ImageView, "", {7, 22, 276, 172}, {N, N, R, R}, F::Dialog, false, Align::Left},
    {ids::PreviewWarningsLabel, K::Label, "Warnings", {7, 199, 276, 9}, {N, R, R, R}, F::Frame, false, Align::Left},
    {ids::PreviewWarnings, K::Label, "", {7, 209, 276, 75}, {N, R, R, R}, F::Frame, false, Align::Left},
    {ids::PreviewHistogramLabel, K::Label, "Histogram of the levels", {290, 24, 163, 9}, {R, N, R, N}, F::Frame, false,
     Align::Left},
    {ids::PreviewHistogram, K::HistogramView, "", {290, 34, 163, 70}, {R, N, R, N}, F::Dialog, false, Align::Left},
    {ids::PreviewHistogramLow, K::Label, "0", {290, 105, 40, 8}, {R, N, R, N}, F::Dialog, false, Align::Left},
    {ids::PreviewHistogramHigh, K::Label, "65535", {413, 105, 40, 8}, {R, N, R, N}, F::Dialog, false, Align::Right},
    {ids::PreviewFiguresLabel, K::Label, "Figures", {290, 118, 163, 9}, {R, N, R, N}, F::Frame, false, Align::Left},
    {ids::PreviewFigures, K::Label, "", {290, 128, 163, 100}, {R, N, R, N}, F::Dialog, false, Align::Left},
};

// One side of a control: its distance to the near side of the client area scaled as is, or its
// distance to the far side kept.
int side(Edge edge, int du, int frameDu, int client, int (*scale)(const BaseUnits&, int), const BaseUnits& units) {
    return edge == Edge::Near ? scale(units, du) : client - (scale(units, frameDu) - scale(units, du));
}

}  // namespace

const FrameDescription& frame() { return kFrame; }

std::span<const ControlDescription> controls() { return kControls; }

const ControlDescription* findControl(int id) {
    for (const ControlDescription& control : kControls)
        if (control.id == id) return &control;
    return nullptr;
}

PixelRect place(const ControlDescription& control, int clientWidth, int clientHeight, BaseUnits units) {
    const auto x = [](const BaseUnits& u, int du) { return u.x(du); };
    const auto y = [](const BaseUnits& u, int du) { return u.y(du); };
    const window::DuRect& r = control.rect;
    const int left = side(control.anchors.left, r.x, kFrame.clientWidth, clientWidth, x, units);
    const int top = side(control.anchors.top, r.y, kFrame.clientHeight, clientHeight, y, units);
    const int right = side(control.anchors.right, r.x + r.width, kFrame.clientWidth, clientWidth, x, units);
    const int bottom = side(control.anchors.bottom, r.y + r.height, kFrame.clientHeight, clientHeight, y, units);
    return {left, top, right > left ? right - left : 0, bottom > top ? bottom - top : 0};
}

}  // namespace kelvarin::preview
