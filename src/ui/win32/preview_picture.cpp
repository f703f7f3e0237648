#include "ui/win32/preview_picture.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "ui/preview_description.h"
#include "ui/preview_view.h"
#include "ui/wide_text.h"

namespace kelvarin::win32 {

namespace {

// Not IDOK or IDCANCEL, which the dialog keys send.
constexpr int kFitId = 100, kOneToOneId = 101;
// One notch of the wheel enlarges by a quarter, as in the Qt window.
constexpr double kZoomPerNotch = 1.25;

struct Picture {
    explicit Picture(PreviewModel& m) : model(m) {}
    PreviewModel& model;
    PreviewView view;
    HWND window = nullptr, fit = nullptr, oneToOne = nullptr;
    HFONT font = nullptr;
    std::optional<POINT> dragFrom;
    std::u16string readout;
    bool trackingLeave = false;
};

Picture* pictureOf(HWND window) { return reinterpret_cast<Picture*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The view follows the window's size and the model's chosen picture before it is used.
const GreyImage& synced(Picture& p) {
    RECT client{};
    GetClientRect(p.window, &client);
    const GreyImage& image = p.model.image();
    p.view.setSizes(client.right, client.bottom, image.width, image.height);
    return image;
}

void changed(Picture& p) { InvalidateRect(p.window, nullptr, FALSE); }

void setReadout(Picture& p, std::u16string readout) {
    if (readout == p.readout) return;
    p.readout = std::move(readout);
    SetWindowTextW(p.window, wide(p.readout));
    changed(p);
}

void updateReadout(Picture& p, POINT at) {
    const auto cell = p.view.pixelAt({static_cast<double>(at.x), static_cast<double>(at.y)});
    setReadout(p, cell ? utf16FromUtf8(p.model.readout(cell->first, cell->second)) : std::u16string());
}

void placeButtons(Picture& p) {
    RECT client{};
    GetClientRect(p.window, &client);
    int height = 20;
    if (p.font) {
        HDC dc = GetDC(p.window);
        HGDIOBJ old = SelectObject(dc, p.font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(p.window, dc);
        height = static_cast<int>(metrics.tmHeight) + 8;
    }
    const int width = 2 * height;
    MoveWindow(p.oneToOne, client.right - width - 2, 2, width, height, TRUE);
    MoveWindow(p.fit, client.right - 2 * width - 4, 2, width, height, TRUE);
}

// Only the picture's pixels inside the view are stretched: enlarged 32 times, the whole picture
// would be tens of thousands of view pixels wide. Enlarged, each sample shows as a square;
// reduced, smoothly.
void drawPicture(HDC dc, const GreyImage& image, const PreviewView& view, int viewWidth, int viewHeight) {
    const PicturePlacement placed = view.placement();
    const double scale = view.scale();
    const auto visible = [scale](double start, std::uint32_t count, int length) {
        const double first = std::clamp(std::floor(-start / scale), 0.0, static_cast<double>(count));
        const double last = std::clamp(std::ceil((length - start) / scale), first, static_cast<double>(count));
        return std::pair{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last)};
    };
    const auto [x0, x1] = visible(placed.x, image.width, viewWidth);
    const auto [y0, y1] = visible(placed.y, image.height, viewHeight);
    if (x1 <= x0 || y1 <= y0) return;
    // A map of one row or column still shows as a line, however thin it comes out.
    const int left = static_cast<int>(std::lround(placed.x + x0 * scale));
    const int top = static_cast<int>(std::lround(placed.y + y0 * scale));
    const int right = std::max(left + 1, static_cast<int>(std::lround(placed.x + x1 * scale)));
    const int bottom = std::max(top + 1, static_cast<int>(std::lround(placed.y + y1 * scale)));

    // An 8-bit DIB of the visible part with a grey palette, rows top first (negative height),
    // each padded to 4 bytes.
    struct GreyBitmapInfo {
        BITMAPINFOHEADER header;
        RGBQUAD palette[256];
    } info{};
    const std::uint32_t width = x1 - x0, height = y1 - y0;
    info.header.biSize = sizeof info.header;
    info.header.biWidth = static_cast<LONG>(width);
    info.header.biHeight = -static_cast<LONG>(height);
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 256;
    for (int i = 0; i < 256; ++i)
        info.palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    const std::size_t stride = (std::size_t{width} + 3) / 4 * 4;
    std::vector<std::uint8_t> rows(stride * height);
    for (std::uint32_t y = 0; y < height; ++y)
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(std::size_t{y0 + y} * image.width + x0), width,
                    rows.begin() + static_cast<std::ptrdiff_t>(y * stride));
    SetStretchBltMode(dc, scale < 1.0 ? HALFTONE : COLORONCOLOR);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, left, top, right - left, bottom - top, 0, 0, static_cast<int>(width), static_cast<int>(height),
                  rows.data(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
}

void drawReadout(HDC dc, const Picture& p, int viewHeight) {
    HGDIOBJ old = p.font ? SelectObject(dc, p.font) : nullptr;
    const auto length = static_cast<int>(p.readout.size());
    SIZE size{};
    GetTextExtentPoint32W(dc, wide(p.readout), length, &size);
    RECT box{2, viewHeight - size.cy - 6, 2 + size.cx + 6, viewHeight - 2};
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, wide(p.readout), length, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (old) SelectObject(dc, old);
}

void paint(Picture& p) {
    PAINTSTRUCT paintStruct{};
    HDC dc = BeginPaint(p.window, &paintStruct);
    RECT client{};
    GetClientRect(p.window, &client);
    const int width = client.right, height = client.bottom;
    if (width > 0 && height > 0) {
        // Drawn aside and copied in one go: a drag paints many times a second, without flicker.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        const preview::Colour grey = preview::kImageBackground;
        HBRUSH background = CreateSolidBrush(RGB(grey.red, grey.green, grey.blue));
        FillRect(memory, &client, background);
        DeleteObject(background);
        const GreyImage& image = synced(p);
        if (image.width > 0 && image.height > 0) drawPicture(memory, image, p.view, width, height);
        if (!p.readout.empty()) drawReadout(memory, p, height);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
    EndPaint(p.window, &paintStruct);
}

POINT pointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

LRESULT CALLBACK pictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // From here on the window owns its state: nothing after this fails its creation.
        if (!DefWindowProcW(window, message, wParam, lParam)) return FALSE;
        auto* created = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* p = static_cast<Picture*>(created->lpCreateParams);
        p->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(p));
        return TRUE;
    }
    Picture* p = pictureOf(window);
    if (!p) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE: {
            HINSTANCE instance = GetModuleHandleW(nullptr);
            // No tab stops: the keyboard's way through the preview stays that of its controls.
            const DWORD style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
            p->fit = CreateWindowExW(0, L"BUTTON", L"Fit", style, 0, 0, 0, 0, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFitId)), instance, nullptr);
            p->oneToOne = CreateWindowExW(0, L"BUTTON", L"1:1", style, 0, 0, 0, 0, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOneToOneId)), instance, nullptr);
            return 0;
        }
        case WM_SETFONT:
            p->font = reinterpret_cast<HFONT>(wParam);
            for (HWND button : {p->fit, p->oneToOne}) SendMessageW(button, WM_SETFONT, wParam, lParam);
            placeButtons(*p);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(p->font);
        case WM_SIZE:
            placeButtons(*p);
            synced(*p);
            changed(*p);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == kFitId || LOWORD(wParam) == kOneToOneId)) {
                synced(*p);
                if (LOWORD(wParam) == kFitId) {
                    p->view.fit();
                } else {
                    p->view.oneToOne();
                }
                changed(*p);
                return 0;
            }
            break;
        case WM_MOUSEWHEEL: {
            POINT at = pointOf(lParam);  // screen coordinates
            wheelOverPreviewPicture(window, at, GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        }
        case WM_LBUTTONDOWN:
            p->dragFrom = pointOf(lParam);
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP:
            p->dragFrom.reset();
            if (GetCapture() == window) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED: p->dragFrom.reset(); return 0;
        case WM_MOUSEMOVE: {
            const POINT at = pointOf(lParam);
            synced(*p);
            if (p->dragFrom && (wParam & MK_LBUTTON)) {
                p->view.panBy(at.x - p->dragFrom->x, at.y - p->dragFrom->y);
                p->dragFrom = at;
                changed(*p);
            }
            updateReadout(*p, at);
            if (!p->trackingLeave) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                p->trackingLeave = TrackMouseEvent(&track) != FALSE;
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            p->trackingLeave = false;
            setReadout(*p, {});
            return 0;
        case WM_ERASEBKGND: return 1;  // the paint covers all of it
        case WM_PAINT: paint(*p); return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete p;
            break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerClass(HINSTANCE instance) {
    static const bool registered = [instance] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = pictureProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.lpszClassName = kPreviewPictureClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered;
}

}  // namespace

HWND createPreviewPicture(HWND parent, int id, PreviewModel& model) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registerClass(instance)) return nullptr;
    auto* picture = new Picture(model);
    HWND window = CreateWindowExW(0, kPreviewPictureClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, picture);
    // Made, the window deletes its state when it goes; not made, it never took it.
    if (!window) delete picture;
    return window;
}

bool wheelOverPreviewPicture(HWND picture, POINT at, int delta) {
    Picture* p = picture ? pictureOf(picture) : nullptr;
    if (!p || !IsWindowVisible(picture)) return false;
    RECT area{};
    GetWindowRect(picture, &area);
    if (!PtInRect(&area, at)) return false;
    ScreenToClient(picture, &at);
    synced(*p);
    const double notches = static_cast<double>(delta) / WHEEL_DELTA;
    p->view.zoomAbout({static_cast<double>(at.x), static_cast<double>(at.y)}, std::pow(kZoomPerNotch, notches));
    updateReadout(*p, at);
    changed(*p);
    return true;
}

}  // namespace kelvarin::win32
