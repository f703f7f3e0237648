// "Save Preview As...": the picture the preview window shows (the stretched height map or the
// relief, at the preview's own size) written as an 8-bit grey PNG.
#pragma once

#include "job/port.h"
#include "pixels/preview_images.h"

namespace kelvarin {

class Session;

FileDialogRequest savePreviewDialogRequest();

// Asks for a name through the save dialog and writes `picture` there, whole or not at all: the
// bytes go to a replacing file that takes the name only once complete, so a failed save leaves a
// file of that name as it was. A cancelled dialog does nothing; a failure shows a box. True when
// the file was written.
bool savePreviewPicture(Session& session, const GreyImage& picture);

}  // namespace kelvarin
