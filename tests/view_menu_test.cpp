#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "formats/memory_file_system.h"
#include "job/preview_file.h"
#include "support/height_data_files.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using Outputs = std::vector<std::string>;

// The View menu's two commands between jobs: the preview opens by itself after each job that
// wrote a height map while the toggle is ticked; on demand it shows the last such job's results,
// which neither a failed job nor a TE>Raw export (no greyscale image) replaces.
TEST(ViewMenu, PreviewFollowsTheJobsThatWroteAHeightMap) {
    MemoryFileSystem files;
    files.put("src.tif", test::buildTiff({}));
    files.put("grey.tif", test::buildTiff({.samples = 1}));
    test::Harness h(files);
    const auto previews = [&h] { return h.port.previews; };
    EXPECT_TRUE(h.port.menuTicks.at(ids::ShowPreviewAfterJob));

    h.handler.handle(ids::PreviewLastResult);
    EXPECT_TRUE(previews().empty());
    ASSERT_EQ(h.port.boxes.size(), 1u);
    EXPECT_EQ(h.port.boxes[0].caption, "KELVARIN - Preview");

    struct Step {
        const char* what;
        int command;
        std::vector<std::optional<std::string>> answers;
        std::vector<Outputs> previewsAfter;
    };
    const std::vector<Step> steps = {
        {"a conversion opens it", ids::OpenTif, {"src.tif", "a.tif"}, {{"a.tif"}}},
        {"a failed job does not", ids::OpenTif, {"missing.tif"}, {{"a.tif"}}},
        {"on demand: the last written", ids::PreviewLastResult, {}, {{"a.tif"}, {"a.tif"}}},
        {"toggled off", ids::ShowPreviewAfterJob, {}, {{"a.tif"}, {"a.tif"}}},
        {"a conversion leaves it shut", ids::OpenTif, {"src.tif", "b.png"}, {{"a.tif"}, {"a.tif"}}},
        {"on demand: the new one", ids::PreviewLastResult, {}, {{"a.tif"}, {"a.tif"}, {"b.png"}}},
        {"toggled on again", ids::ShowPreviewAfterJob, {}, {{"a.tif"}, {"a.tif"}, {"b.png"}}},
    };
    for (const Step& step : steps) {
        h.run(step.command, step.answers);
        EXPECT_EQ(previews(), step.previewsAfter) << step.what;
    }
    // Left shut while toggled off, but a preview open then is brought the new map, not left on the
    // old one.
    EXPECT_EQ(h.port.previewUpdates, std::vector<Outputs>{{"b.png"}});
    EXPECT_TRUE(h.port.menuTicks.at(ids::ShowPreviewAfterJob));
    // The no-result box came only before the first job.
    EXPECT_EQ(std::count_if(h.port.boxes.begin(), h.port.boxes.end(),
                            [](const MessageBoxRequest& box) { return box.caption == "KELVARIN - Preview"; }),
              1);

    // TE>Raw copies a greyscale TIFF's samples, no greyscale image written: no preview, and the
    // last one stays.
    h.session.options.teRawMode = true;
    EXPECT_EQ(h.run(ids::OpenTif, {"grey.tif", "c.raw"}), 1);
    EXPECT_EQ(previews().size(), 3u);
    h.run(ids::PreviewLastResult, {});
    EXPECT_EQ(previews().back(), Outputs{"b.png"});
}

// "Save Preview As..." writes the picture shown as an 8-bit grey PNG that independent decoders
// read back pixel for pixel at its size; a cancelled dialog writes nothing and shows nothing; a
// name that cannot be written shows a box and leaves no file.
TEST(PreviewFile, SavedPngIsThePictureShown) {
    if (!test::haveTool("convert") || !test::haveTool("pngcheck")) GTEST_SKIP() << "ImageMagick or pngcheck missing";
    // An odd width: rows are not padded.
    GreyImage picture{37, 5, {}};
    for (std::uint32_t i = 0; i < picture.width * picture.height; ++i)
        picture.pixels.push_back(static_cast<std::uint8_t>(i * 7));
    test::TempDir dir;
    const std::string png = dir.file("preview.png");

    test::Harness h;
    h.port.answers = {std::nullopt, dir.file("no-such-folder/p.png"), png};
    EXPECT_FALSE(savePreviewPicture(h.session, picture));
    EXPECT_TRUE(h.port.boxes.empty());
    EXPECT_FALSE(savePreviewPicture(h.session, picture));
    EXPECT_EQ(h.port.boxTexts(), std::vector<std::string>{"KELVARIN - Save Preview: Cannot write the preview to " +
                                                          dir.file("no-such-folder/p.png") +
                                                          " (disk full or no permission)."});
    ASSERT_TRUE(savePreviewPicture(h.session, picture));
    EXPECT_EQ(h.port.dialogs.back().request.title, "KELVARIN Save Preview");
    EXPECT_EQ(test::namesIn(dir.path()), std::set<std::string>{"preview.png"});

    EXPECT_EQ(test::runCommand("pngcheck -q '" + png + "'"), 0);
    const std::string size = dir.file("size"), grey = dir.file("grey");
    ASSERT_EQ(test::runCommand("identify -format '%wx%h %z' '" + png + "' > '" + size + "'"), 0);
    const test::Bytes sizeText = test::readBytes(size);
    EXPECT_EQ(std::string(sizeText.begin(), sizeText.end()), "37x5 8");
    ASSERT_EQ(test::runCommand("convert '" + png + "' -depth 8 gray:'" + grey + "'"), 0);
    EXPECT_EQ(test::readBytes(grey), picture.pixels);
}

}  // namespace
}  // namespace kelvarin
