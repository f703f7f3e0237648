#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QWheelEvent>
#include <algorithm>
#include <QTest>

#include "support/synthetic_report.h"
#include "ui/ids.h"
#include "ui/preview_description.h"
#include "ui/qt/preview_window.h"

namespace kelvarin::qt {
namespace {

QString labelText(PreviewWindow& window, int id) { return qobject_cast<QLabel*>(window.control(id))->text(); }

QImage picture(PreviewWindow& window) { return window.control(ids::PreviewImage)->grab().toImage(); }

TEST(PreviewWindow, ShowsTheFiguresWarningsAndPictureOfAReport) {
    PreviewWindow window;
    std::vector<FinishedReport> results;
    results.push_back(test::syntheticReport());
    window.showResults(std::move(results));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(window.windowTitle(), "KELVARIN - Preview");
    EXPECT_NE(window.minimumSize(), window.maximumSize());
    const QString figures = labelText(window, ids::PreviewFigures);
    EXPECT_TRUE(figures.contains("File: h\u00F6hen-8bit.tif")) << figures.toStdString();
    EXPECT_TRUE(figures.contains("Size: 640 x 400")) << figures.toStdString();
    EXPECT_TRUE(figures.contains("Distinct levels: 256")) << figures.toStdString();
    const auto* warnings = qobject_cast<QLabel*>(window.control(ids::PreviewWarnings));
    EXPECT_TRUE(warnings->text().startsWith("Only 256 different heights are used")) << warnings->text().toStdString();
    EXPECT_TRUE(warnings->text().contains("a plateau was cut off at the bottom")) << warnings->text().toStdString();
    const preview::Colour red = preview::kWarningColour;
    EXPECT_EQ(warnings->palette().color(warnings->foregroundRole()), QColor(red.red, red.green, red.blue));
    EXPECT_TRUE(warnings->font().bold());
    EXPECT_FALSE(window.control(ids::PreviewTile1)->isVisible());  // one result: no tiles to choose

    // The height map fills its view (640 x 400 scaled to fit, grey levels of its own); the relief
    // is another picture.
    const QImage height = picture(window);
    EXPECT_GT(height.width(), 300);
    const QColor corner = height.pixelColor(height.width() / 2, height.height() / 2);
    EXPECT_NE(corner, QColor(preview::kImageBackground.red, preview::kImageBackground.green,
                             preview::kImageBackground.blue));
    qobject_cast<QAbstractButton*>(window.control(ids::PreviewRelief))->click();
    EXPECT_TRUE(window.model().showsRelief());
    EXPECT_NE(picture(window), height);

    // Resized, the picture takes the extra room; the figures keep their size at the right.
    const QRect figuresBefore = window.control(ids::PreviewFigures)->geometry();
    const QSize imageBefore = window.control(ids::PreviewImage)->size();
    window.resize(window.size() + QSize(200, 100));
    QTest::qWait(10);
    EXPECT_EQ(window.control(ids::PreviewImage)->size(), imageBefore + QSize(200, 100));
    EXPECT_EQ(window.control(ids::PreviewFigures)->geometry(), figuresBefore.translated(200, 0));
}

// All three warnings, as long as their sentences come, are read whole at the opening size; a map
// of one column still shows.
TEST(PreviewWindow, EveryWarningFitsAndAThinMapShows) {
    PreviewWindow window;
    std::vector<FinishedReport> results;
    results.push_back(test::syntheticReport());
    SampleFigures figures;
    figures.count = 1000000;
    figures.distinctLevels = 1000;
    figures.min = 0;
    figures.max = 16000;
    figures.atZero = 999999;
    results.back().report.warnings = reportWarnings(figures);
    ASSERT_EQ(results.back().report.warnings.size(), 3u);
    window.showResults(results);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto* warnings = qobject_cast<QLabel*>(window.control(ids::PreviewWarnings));
    EXPECT_LE(warnings->heightForWidth(warnings->width()), warnings->height());

    results.back().preview = PreviewLevels{1, 1000, std::vector<std::uint16_t>(1000, results.back().report.figures.max)};
    window.showResults(results);
    const QImage thin = picture(window);
    EXPECT_NE(thin.pixelColor(thin.width() / 2, thin.height() / 2),
              QColor(preview::kImageBackground.red, preview::kImageBackground.green, preview::kImageBackground.blue));
}

TEST(PreviewWindow, TerrainSetShowsOneTileAtATime) {
    PreviewWindow window;
    std::vector<FinishedReport> tiles;
    for (const char* name : {"alps_4096.tif", "alps_2048.tif", "alps_1024.tif"}) tiles.push_back(test::syntheticReport(name));
    window.showResults(std::move(tiles));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(window.control(ids::PreviewTile3)->isVisible());
    EXPECT_TRUE(labelText(window, ids::PreviewFigures).contains("File: alps_4096.tif"));
    qobject_cast<QAbstractButton*>(window.control(ids::PreviewTile3))->click();
    EXPECT_TRUE(labelText(window, ids::PreviewFigures).contains("File: alps_1024.tif"));
}

}  // namespace
}  // namespace kelvarin::qt

namespace kelvarin::qt {
namespace {

// The wheel zooms the picture about the cursor, "Fit" puts it back; a click on the histogram
// switches to the logarithmic scale (other bars grow, none shrink); Esc closes the window.
TEST(PreviewInteraction, ZoomFitLogScaleAndEscape) {
    PreviewWindow window;
    std::vector<FinishedReport> results;
    results.push_back(test::syntheticReport());
    window.showResults(std::move(results));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWidget* image = window.control(ids::PreviewImage);
    const QImage fitted = picture(window);

    const QPoint centre = image->rect().center();
    QWheelEvent wheel(centre, image->mapToGlobal(centre), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(image, &wheel);
    EXPECT_NE(picture(window), fitted);
    const auto buttons = image->findChildren<QAbstractButton*>();
    const auto fit = std::find_if(buttons.begin(), buttons.end(), [](auto* b) { return b->text() == "Fit"; });
    ASSERT_NE(fit, buttons.end());
    (*fit)->click();
    EXPECT_EQ(picture(window), fitted);

    const std::array<int, 256> linear = window.model().histogramBars(100);
    QTest::mouseClick(window.control(ids::PreviewHistogram), Qt::LeftButton);
    const std::array<int, 256> logarithmic = window.model().histogramBars(100);
    EXPECT_TRUE(window.model().logarithmicHistogram());
    int grown = 0;
    for (std::size_t bin = 0; bin < linear.size(); ++bin) {
        EXPECT_GE(logarithmic[bin], linear[bin]) << bin;
        grown += logarithmic[bin] > linear[bin];
    }
    EXPECT_GT(grown, 0);

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace kelvarin::qt
