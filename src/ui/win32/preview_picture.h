// The Win32 preview's picture: a child window that draws the chosen picture where a PreviewView
// puts it (fitted at first, zoomed with the wheel about the cursor, dragged to pan), with "Fit"
// and "1:1" in its top right corner and a readout of what lies under the cursor in its bottom left
// corner. The readout is also the window's text, where tools that read windows find it.
#pragma once

#include <windows.h>

#include "ui/preview_model.h"

namespace kelvarin::win32 {

inline constexpr wchar_t kPreviewPictureClass[] = L"KelvarinPreviewPicture";

// A child of `parent` with the control id `id`; nullptr if it could not be made.
HWND createPreviewPicture(HWND parent, int id, PreviewModel& model);

// The wheel turned by `delta` (WHEEL_DELTA a notch) with the cursor at the screen point `at`,
// wherever the message went first: zooms about that point when it is over the picture. False
// when it is not, and the message is someone else's.
bool wheelOverPreviewPicture(HWND picture, POINT at, int delta);

}  // namespace kelvarin::win32
