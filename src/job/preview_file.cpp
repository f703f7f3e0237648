#include "job/preview_file.h"

#include <span>

#include "formats/byte_sink.h"
#include "formats/png_writer.h"
#include "job/session.h"

namespace kelvarin {

namespace {

constexpr char kCaption[] = "KELVARIN - Save Preview";

// Every row through the PNG writer; false at the first failed write.
bool writePng(File& file, const GreyImage& picture) {
    FileSink sink(file);
    PngWriter writer(sink, {picture.width, picture.height, 8, PngColour::Grey});
    const std::span<const std::uint8_t> pixels(picture.pixels);
    for (std::size_t row = 0; row < picture.height; ++row)
        if (!writer.writeRow(pixels.subspan(row * picture.width, picture.width))) return false;
    return writer.finish();
}

}  // namespace

FileDialogRequest savePreviewDialogRequest() {
    // A snapshot for looking at: the height map just written, or any other file, is replaced only
    // when the user says so.
    return {"KELVARIN Save Preview", {{"PNG", "*.png"}, {"All Files", "*.*"}}, "png", true};
}

bool savePreviewPicture(Session& session, const GreyImage& picture) {
    if (picture.width == 0 || picture.height == 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
        session.port.showMessage(noticeBox("There is no preview to save yet.", kCaption, MessageIcon::Information));
        return false;
    }
    const std::optional<std::string> chosen = session.port.askSaveFile(savePreviewDialogRequest());
    if (!chosen || chosen->empty()) return false;
    std::unique_ptr<File> file = session.fileSystem.open(*chosen, File::Mode::Replace);
    // Dropped without commit(), a replacing file is deleted and the old one stays.
    if (!file || !writePng(*file, picture) || !file->commit()) {
        session.port.showMessage(noticeBox("Cannot write the preview to " + *chosen + " (disk full or no permission).",
                                           kCaption, MessageIcon::Error));
        return false;
    }
    return true;
}

}  // namespace kelvarin
