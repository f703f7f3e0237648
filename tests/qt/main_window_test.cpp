#include <gtest/gtest.h>

#include <deque>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <memory>

#include "job/file_dialogs.h"
#include "support/sample_sources.h"
#include "support/test_files.h"
#include "ui/ids.h"
#include "ui/qt/main_window.h"
#include "ui/qt/preview_window.h"
#include "ui/window_description.h"

namespace kelvarin::qt {
namespace {

class FixedClock final : public Clock {
public:
    LocalDateTime now() const override { return {2026, 12, 7, 10, 20, 30, 0}; }
};

const std::string kEquals(72, '=');

// A window whose dialogs and boxes are answered by the test; nothing modal ever opens.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>(clock);
        window->openFileDialog = [this](const FileDialogRequest& request) {
            dialogs.push_back(request.title);
            onDialog();
            return nextAnswer();
        };
        window->saveFileDialog = window->openFileDialog;
        window->messageBox = [this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            if (request.buttons == MessageButtons::OkCancel && cancelNextQuestion) return MessageAnswer::Cancel;
            return MessageAnswer::Ok;
        };
        window->show();
    }

    std::optional<std::string> nextAnswer() {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    template <class T>
    T* widget(int id) {
        return qobject_cast<T*>(window->control(id));
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        for (int i = 0; i < window->logList()->count(); ++i) lines.push_back(window->logList()->item(i)->text().toStdString());
        return lines;
    }
    bool anyConversionEnabled() const {
        for (int id : ids::kConversionCommands)
            if (window->menuAction(id)->isEnabled()) return true;
        return false;
    }
    bool allConversionsEnabled() const {
        for (int id : ids::kConversionCommands)
            if (!window->menuAction(id)->isEnabled()) return false;
        return true;
    }
    void click(int id) { QTest::mouseClick(window->control(id), Qt::LeftButton, {}, QPoint(8, window->control(id)->height() / 2)); }

    FixedClock clock;
    std::unique_ptr<MainWindow> window;
    std::vector<std::optional<std::string>> answers;
    std::vector<std::string> dialogs;
    std::vector<MessageBoxRequest> boxes;
    std::function<void()> onDialog = [] {};
    bool cancelNextQuestion = false;
};

TEST_F(WindowTest, CaptionFixedSizeAndClientInDialogUnits) {
    EXPECT_EQ(window->windowTitle(), "KELVARIN v3.02");
    const DialogUnits& du = window->dialogUnits();
    EXPECT_EQ(window->centralWidget()->size(), QSize(du.x(380), du.y(295)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    // The test screen is smaller than the place asked for allows: the window is moved into it.
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window->frameGeometry()));
}

// Every control of the description exists with its kind, text, font and place.
TEST_F(WindowTest, ControlsFollowTheDescription) {
    const DialogUnits& du = window->dialogUnits();
    for (const window::ControlDescription& description : window::controls()) {
        QWidget* control = window->control(description.id);
        ASSERT_NE(control, nullptr) << description.id;
        EXPECT_EQ(control->geometry(), du.rect(description.rect)) << description.id;
        EXPECT_EQ(control->font(), resolveFont(window::font(description.font))) << description.id;
        const QString text = QString::fromUtf8(description.text.data(), qsizetype(description.text.size()));
        switch (description.kind) {
            case window::ControlKind::Label: EXPECT_EQ(qobject_cast<QLabel*>(control)->text(), text); break;
            case window::ControlKind::RadioButton: EXPECT_EQ(qobject_cast<QRadioButton*>(control)->text(), text); break;
            case window::ControlKind::CheckBox: EXPECT_EQ(qobject_cast<QCheckBox*>(control)->text(), text); break;
            case window::ControlKind::GroupFrame: EXPECT_EQ(qobject_cast<QGroupBox*>(control)->title(), text); break;
            case window::ControlKind::List: EXPECT_EQ(control, window->logList()); break;
            case window::ControlKind::ProgressBar: EXPECT_EQ(control, window->progressBar()); break;
            case window::ControlKind::TextBox:
            case window::ControlKind::Button:
            case window::ControlKind::DefaultButton: ADD_FAILURE() << "not a main window control"; break;
        }
    }
}

TEST_F(WindowTest, DialogUnitsFollowTheBaseUnits) {
    const DialogUnits du(6, 13);  // the classic 8 pt dialog font
    EXPECT_EQ(du.x(4), 6);
    EXPECT_EQ(du.y(8), 13);
    EXPECT_EQ(du.x(380), 570);
    EXPECT_EQ(du.y(295), 479);
    EXPECT_EQ(du.rect({20, 40, 340, 90}), QRect(30, 65, 510, 146));
}

TEST_F(WindowTest, MenuFollowsTheDescription) {
    const QList<QAction*> menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 5);
    EXPECT_EQ(menus[0]->text(), "File");
    EXPECT_EQ(menus[1]->text(), "Convert");
    EXPECT_EQ(menus[2]->text(), "Output");
    EXPECT_EQ(menus[3]->text(), "View");
    EXPECT_EQ(menus[4]->text(), "Help");
    EXPECT_EQ(window->menuAction(ids::BinToTif)->text(), "BIN   to 16-bit TIF");
    EXPECT_EQ(window->menuAction(ids::HelpBin)->text(), "BIN   Support");
    const QList<QAction*> file = menus[0]->menu()->actions();
    ASSERT_EQ(file.size(), 5);
    EXPECT_EQ(file[0], window->menuAction(ids::OpenImage));
    EXPECT_EQ(file[0]->text(), "Open...");
    EXPECT_EQ(file[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(file[1], window->menuAction(ids::OpenTif));
    EXPECT_TRUE(file[3]->isSeparator());
    EXPECT_EQ(file[4], window->menuAction(ids::Quit));
}

// The Output menu's sizes are radio items with one tick, which follows the handler: a size typed
// into "Other Size..." that is an engine size ticks that size, not the item chosen.
TEST_F(WindowTest, OutputSizesCarryOneTick) {
    std::vector<std::string> asked;
    window->textDialog = [&](const TextRequest& request) -> std::optional<std::string> {
        asked.push_back(request.title);
        return "4097";
    };
    const std::vector<int> sizes = window::choiceGroupCommands(window::ChoiceGroup::OutputSize);
    auto ticked = [&] {
        std::vector<int> on;
        for (int id : sizes) {
            EXPECT_TRUE(window->menuAction(id)->isCheckable()) << id;
            if (window->menuAction(id)->isChecked()) on.push_back(id);
        }
        return on;
    };
    EXPECT_EQ(ticked(), std::vector<int>{ids::OriginalSize});
    const QList<QAction*> output = window->menuBar()->actions()[2]->menu()->actions();
    EXPECT_EQ(output[2]->text(), "Unity Terrain (2^n + 1)");
    EXPECT_FALSE(output[2]->isEnabled());
    window->menuAction(ids::Size2017)->trigger();
    EXPECT_EQ(ticked(), std::vector<int>{ids::Size2017});
    window->menuAction(ids::OtherSize)->trigger();
    EXPECT_EQ(asked, std::vector<std::string>{"KELVARIN Other Size"});
    EXPECT_EQ(ticked(), std::vector<int>{ids::Size4097});
    EXPECT_EQ(window->session().options.outputSize, (ImageSize{4097, 4097}));
    window->menuAction(ids::Size4097)->trigger();  // a ticked item chosen again stays ticked
    EXPECT_EQ(ticked(), std::vector<int>{ids::Size4097});
    EXPECT_TRUE(boxes.empty());
}

// "Tiles..." closes the Output menu: its dialog shows the tiles the chosen size gives, a grid that
// size does not split into is refused, and the tick says whether a grid is set.
TEST_F(WindowTest, TilesAskForTheGridAndTickWhileSet) {
    std::vector<TextRequest> asked;
    std::deque<std::string> answers{"4x4", "5", "1"};
    window->textDialog = [&](const TextRequest& request) -> std::optional<std::string> {
        asked.push_back(request);
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    };
    QAction* tiles = window->menuAction(ids::Tiles);
    const QList<QAction*> output = window->menuBar()->actions()[2]->menu()->actions();
    ASSERT_GE(output.size(), 2);
    EXPECT_EQ(output[output.size() - 2], tiles);  // before "Height Range..."
    EXPECT_EQ(tiles->text(), "Tiles...");
    EXPECT_TRUE(tiles->isCheckable());
    EXPECT_FALSE(tiles->isChecked());
    window->menuAction(ids::Size4033)->trigger();

    tiles->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "KELVARIN Tiles");
    EXPECT_NE(asked[0].prompt.find("4 x 4 tiles of 1009 x 1009"), std::string::npos) << asked[0].prompt;
    EXPECT_EQ(window->session().options.tiles, (TileCount{4, 4}));
    EXPECT_TRUE(tiles->isChecked());
    EXPECT_TRUE(boxes.empty());

    tiles->trigger();  // 5 x 5 does not split 4033: refused, the 4 x 4 stays
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "KELVARIN - Tiles");
    EXPECT_NE(boxes[0].text.find("5041 splits into 5 tiles of 1009"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(window->session().options.tiles, (TileCount{4, 4}));
    EXPECT_TRUE(tiles->isChecked());

    tiles->trigger();  // 1 x 1: one file again
    EXPECT_EQ(window->session().options.tiles, std::nullopt);
    EXPECT_FALSE(tiles->isChecked());
}

TEST_F(WindowTest, StartsWithDefaults) {
    EXPECT_TRUE(widget<QRadioButton>(ids::Average)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ids::PosteriseNone)->isChecked());
    for (int id : {ids::Swap, ids::Boost, ids::Invert, ids::FStopX2, ids::FStopX4, ids::TeRaw})
        EXPECT_FALSE(widget<QCheckBox>(id)->isChecked()) << id;
    EXPECT_EQ(window->logList()->count(), 0);
    EXPECT_EQ(window->progressBar()->value(), window->progressBar()->minimum());
    EXPECT_TRUE(allConversionsEnabled());
}

struct RadioCase {
    int id;
    ColourWeighting weighting;
    int steps;
};

TEST_F(WindowTest, ClickingRadioButtonsStoresTheirValues) {
    const RadioCase cases[] = {
        {ids::Blue, ColourWeighting::Blue, 0},   {ids::TV, ColourWeighting::TV, 0},
        {ids::HDTV, ColourWeighting::HDTV, 0},   {ids::Red, ColourWeighting::Red, 0},
        {ids::Green, ColourWeighting::Green, 0}, {ids::Posterise4, ColourWeighting::Green, 4},
        {ids::Posterise5, ColourWeighting::Green, 5}, {ids::Posterise6, ColourWeighting::Green, 6},
        {ids::Posterise8, ColourWeighting::Green, 8}, {ids::Posterise12, ColourWeighting::Green, 12},
        {ids::Posterise16, ColourWeighting::Green, 16}, {ids::Average, ColourWeighting::Average, 16},
        {ids::PosteriseNone, ColourWeighting::Average, 0},
    };
    for (const RadioCase& c : cases) {
        click(c.id);
        EXPECT_TRUE(widget<QRadioButton>(c.id)->isChecked()) << c.id;
        EXPECT_EQ(window->session().options.colourWeighting, c.weighting) << c.id;
        EXPECT_EQ(window->session().options.posteriseSteps, c.steps) << c.id;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, ClickingBlueClearsAverageOnly) {
    click(ids::Posterise8);
    click(ids::Blue);
    EXPECT_FALSE(widget<QRadioButton>(ids::Average)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ids::Posterise8)->isChecked());
}

TEST_F(WindowTest, ClickingCheckBoxesToggleTheirOptions) {
    const std::pair<int, bool ConversionOptions::*> cases[] = {
        {ids::Swap, &ConversionOptions::swapByteOrder}, {ids::Boost, &ConversionOptions::boostContrast},
        {ids::Invert, &ConversionOptions::invert},      {ids::FStopX2, &ConversionOptions::fStopX2},
        {ids::FStopX4, &ConversionOptions::fStopX4},
    };
    for (const auto& [id, field] : cases) {
        click(id);
        EXPECT_TRUE(widget<QCheckBox>(id)->isChecked()) << id;
        EXPECT_TRUE(window->session().options.*field) << id;
        click(id);
        EXPECT_FALSE(window->session().options.*field) << id;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, TeRawShowsItsTwoBoxes) {
    click(ids::TeRaw);
    EXPECT_TRUE(window->session().options.teRawMode);
    click(ids::TeRaw);
    EXPECT_FALSE(window->session().options.teRawMode);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "All the Options are Deactivated in this mode!");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(boxes[1].text, "All Options are Activated.");
    EXPECT_EQ(boxes[1].icon, MessageIcon::Information);
}

TEST_F(WindowTest, EscapeAndEnterShowNoSuchOption) {
    window->logList()->setFocus();
    QTest::keyClick(window->logList(), Qt::Key_Escape);
    QTest::keyClick(widget<QCheckBox>(ids::Boost), Qt::Key_Return);
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.text, "This Option does NOT exist.");
        EXPECT_EQ(box.caption, "KELVARIN");
        EXPECT_EQ(box.icon, MessageIcon::Error);
    }
    EXPECT_TRUE(window->isVisible());
}

// A conversion from the menu with a file that is no image: the job's lines, then the failure box.
TEST_F(WindowTest, ConversionFromMenuFillsLogAndShowsResult) {
    test::TempDir dir;
    const std::string path = dir.file("notes.txt");
    test::writeText(path, "XX not an image");
    answers = {path};
    bool greyedDuringJob = false;
    onDialog = [&] { greyedDuringJob = !anyConversionEnabled(); };
    window->menuAction(ids::OpenTif)->trigger();
    EXPECT_TRUE(greyedDuringJob);
    EXPECT_EQ(dialogs, std::vector<std::string>{"KELVARIN Open TIF"});
    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Input file opened:");
    EXPECT_EQ(lines[1], path);
    EXPECT_EQ(lines.back(), kEquals);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "There were errors.");
    EXPECT_EQ(boxes.back().caption, "KELVARIN - Error.");
    EXPECT_TRUE(allConversionsEnabled());
    EXPECT_EQ(window->progressBar()->value(), 0);
}

// View: with its toggle ticked, a conversion opens the preview on the map it wrote, and "Save
// Preview As..." writes the picture shown as a PNG of that picture's size (ImageMagick reads it).
// Unticked, the next job leaves the preview shut until "Preview of Last Result" opens it.
TEST_F(WindowTest, PreviewOpensAfterAJobAndSavesWhatItShows) {
    if (test::runCommand("command -v identify >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick missing";
    test::TempDir dir;
    test::writeBytes(dir.file("wide.tif"), test::buildTiff({.width = 1500, .length = 10}));
    QAction* toggle = window->menuAction(ids::ShowPreviewAfterJob);
    ASSERT_TRUE(toggle->isCheckable());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(window->previewWindow(), nullptr);

    answers = {dir.file("wide.tif"), dir.file("first.tif")};
    window->menuAction(ids::OpenTif)->trigger();
    ASSERT_EQ(boxes.back().caption, "KELVARIN - Success.");
    PreviewWindow* preview = window->previewWindow();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    const auto figures = [preview] { return qobject_cast<QLabel*>(preview->control(ids::PreviewFigures))->text(); };
    EXPECT_TRUE(figures().contains("File: first.tif")) << figures().toStdString();

    qobject_cast<QAbstractButton*>(preview->control(ids::PreviewRelief))->click();
    answers = {dir.file("shown.png")};
    qobject_cast<QAbstractButton*>(preview->control(ids::PreviewSave))->click();
    EXPECT_EQ(dialogs.back(), "KELVARIN Save Preview");
    const GreyImage& shown = preview->model().image();
    EXPECT_EQ(shown.width, 1024u);  // the longest side at most 1024
    const std::string size = dir.file("size");
    ASSERT_EQ(test::runCommand("identify -format '%wx%h' '" + dir.file("shown.png") + "' > '" + size + "'"), 0);
    const test::Bytes sizeText = test::readBytes(size);
    EXPECT_EQ(std::string(sizeText.begin(), sizeText.end()),
              std::to_string(shown.width) + "x" + std::to_string(shown.height));

    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    preview->close();
    answers = {dir.file("wide.tif"), dir.file("second.tif")};
    window->menuAction(ids::OpenTif)->trigger();
    ASSERT_EQ(boxes.back().caption, "KELVARIN - Success.");
    EXPECT_FALSE(preview->isVisible());
    window->menuAction(ids::PreviewLastResult)->trigger();
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(figures().contains("File: second.tif")) << figures().toStdString();
}

// The bar is drawn as the Windows progress control draws it: positions are held inside the
// range, and a range of one value is full. Compared by the pixels the bar paints.
TEST_F(WindowTest, ProgressBarEmptiesAfterAJobAndFillsAOneValueRange) {
    const auto painted = [this](std::int32_t minimum, std::int32_t maximum, std::int32_t position) {
        window->setProgressRange(minimum, maximum);
        window->setProgressPosition(position);
        return window->progressBar()->grab().toImage();
    };
    test::TempDir dir;
    test::writeBytes(dir.file("colour.tif"), test::buildTiff({}));  // four blocks: range 1 to 4
    answers = {dir.file("colour.tif"), dir.file("grey.tif")};
    window->menuAction(ids::OpenTif)->trigger();
    ASSERT_EQ(boxes.back().text, "TIF Conversion concluded.");
    const QImage afterJob = window->progressBar()->grab().toImage();

    const QImage full = painted(0, 1, 1);
    const QImage empty = painted(0, 1, 0);
    ASSERT_NE(full, empty);
    EXPECT_EQ(afterJob, empty);
    EXPECT_EQ(painted(1, 1, 1), full);
    EXPECT_EQ(painted(1, 4, 0), empty);
    EXPECT_EQ(painted(1, 4, 5), full);  // past the end: as far as the bar goes
    EXPECT_EQ(painted(1, 5, 3), painted(0, 2, 1));
}

// Every conversion command greys the eight items while it runs and enables them afterwards.
TEST_F(WindowTest, ConversionItemsGreyDuringAJobWhateverItsResult) {
    for (int id : {ids::OpenTif, ids::OpenHdr, ids::PgmToTif, ids::RawToTif, ids::BinToTif}) {
        bool greyed = false;
        onDialog = [&] { greyed = !anyConversionEnabled(); };
        answers.clear();
        window->menuAction(id)->trigger();
        EXPECT_TRUE(greyed) << id;
        EXPECT_TRUE(allConversionsEnabled()) << id;
        EXPECT_EQ(boxes.back().text, "There were errors.") << id;
    }
    for (int id : {ids::Terrain4Max, ids::Terrain4Avg, ids::Terrain3}) {
        bool greyed = false;
        window->messageBox = [&](const MessageBoxRequest& request) {
            if (request.buttons == MessageButtons::OkCancel) greyed = !anyConversionEnabled();
            boxes.push_back(request);
            return MessageAnswer::Ok;
        };
        window->menuAction(id)->trigger();
        EXPECT_TRUE(greyed) << id;
        EXPECT_TRUE(allConversionsEnabled()) << id;
    }
}

TEST_F(WindowTest, CancelledTerrainWarningRunsNothing) {
    cancelNextQuestion = true;
    window->menuAction(ids::Terrain3)->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::OkCancel);
    EXPECT_FALSE(boxes[0].disablesWindow);
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(logLines(), std::vector<std::string>{kEquals});
    EXPECT_TRUE(allConversionsEnabled());
}

TEST_F(WindowTest, QuitResetsAndCloses) {
    click(ids::Blue);
    click(ids::Posterise12);
    for (int id : {ids::Swap, ids::Boost, ids::Invert, ids::FStopX2}) click(id);
    window->appendLogLine("a line");
    window->menuAction(ids::Quit)->trigger();
    EXPECT_TRUE(widget<QRadioButton>(ids::Average)->isChecked());
    EXPECT_TRUE(widget<QRadioButton>(ids::PosteriseNone)->isChecked());
    for (int id : {ids::Swap, ids::Boost, ids::Invert}) EXPECT_FALSE(widget<QCheckBox>(id)->isChecked()) << id;
    EXPECT_TRUE(widget<QCheckBox>(ids::FStopX2)->isChecked());  // the reset leaves x 2 alone
    EXPECT_EQ(window->logList()->count(), 0);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, HelpItemsShowTheirPagesAndNeverLog) {
    window->menuAction(ids::HelpAbout)->trigger();
    window->menuAction(ids::HelpFStop)->trigger();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "KELVARIN - Help|About");
    EXPECT_EQ(boxes[0].text.substr(0, 28), "KELVARIN.exe - v.3.02:181122");
    EXPECT_EQ(boxes[1].caption, "KELVARIN - Help|Options|f-Stop");
    EXPECT_EQ(boxes[1].icon, MessageIcon::Information);
    EXPECT_EQ(window->logList()->count(), 0);
}

// Help > Manual is the last item of the Help menu, below a separator. The test program lies in the
// build folder, beside no installed manual, so the box names the places it looked in.
TEST_F(WindowTest, ManualItemFollowsTheHelpPages) {
    const QList<QAction*> help = window->menuBar()->actions()[4]->menu()->actions();
    ASSERT_GE(help.size(), 2);
    EXPECT_EQ(help.back(), window->menuAction(ids::HelpManual));
    EXPECT_EQ(help.back()->text(), "Manual");
    EXPECT_TRUE(help[help.size() - 2]->isSeparator());
    EXPECT_EQ(window->programFolder(), QCoreApplication::applicationDirPath().toStdString());
    if (QFileInfo::exists(QStringLiteral("/usr/share/doc/kelvarin/manual/index.md")))
        GTEST_SKIP() << "a manual is installed on this machine";
    window->menuAction(ids::HelpManual)->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "KELVARIN - Manual");
    EXPECT_NE(boxes[0].text.find("/usr/share/doc/kelvarin/manual/index.md"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(window->logList()->count(), 0);
}

// The log follows new lines as a terminal does; a click highlights one line and does nothing else,
// and once the user has scrolled up, later lines move neither the view nor the highlight.
TEST_F(WindowTest, ClickingALineHighlightsItAndAppendingMovesNothing) {
    QListWidget* log = window->logList();
    QScrollBar* bar = log->verticalScrollBar();
    for (int i = 0; i < 200; ++i) window->appendLogLine("line " + std::to_string(i));
    QCoreApplication::processEvents();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(5);
    for (int row : {7, 9}) {
        QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, log->visualItemRect(log->item(row)).center());
        ASSERT_EQ(log->selectedItems().size(), 1);
        EXPECT_EQ(log->row(log->selectedItems().front()), row);
    }
    window->appendLogLine("one more");
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), 5);
    ASSERT_EQ(log->selectedItems().size(), 1);
    EXPECT_EQ(log->row(log->selectedItems().front()), 9);
    EXPECT_EQ(log->count(), 201);
    EXPECT_EQ(log->item(9)->text(), "line 9");
    EXPECT_EQ(log->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(boxes.empty());
}

// Bytes taken over from a file's text are Windows-1252 characters; the rest of a line is UTF-8.
TEST_F(WindowTest, LogShowsWindows1252BytesAsTheirCharacters) {
    window->appendLogLine("/tmp/caf\xC3\xA9/ \xE9t\xE9 \x80 \x9F\x81");
    EXPECT_EQ(window->logList()->item(0)->text(), QString::fromUtf16(u"/tmp/caf\u00E9/ \u00E9t\u00E9 \u20AC \u0178\u0081"));
}

// While a job runs, log lines and progress let queued work (painting) through.
TEST_F(WindowTest, LongJobsKeepTheWindowPainting) {
    bool delivered = false;
    QTimer::singleShot(0, window.get(), [&] { delivered = true; });
    QThread::msleep(40);
    window->setProgressPosition(1);
    EXPECT_TRUE(delivered);
    // ... but not on every call: the next one within the interval leaves the queue alone.
    bool second = false;
    QTimer::singleShot(0, window.get(), [&] { second = true; });
    window->appendLogLine("quick");
    EXPECT_FALSE(second);
    QCoreApplication::processEvents();
    EXPECT_TRUE(second);
}

// Leaving the window remembers the focused control; coming back gives it the focus again, even
// when the focus was moved inside the window while it was inactive.
TEST_F(WindowTest, FocusComesBackAfterSwitchingAway) {
    window->activateWindow();
    QCheckBox* boost = widget<QCheckBox>(ids::Boost);
    boost->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == boost; }, 1000));

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isActiveWindow(); }, 1000));
    window->logList()->setFocus();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isActiveWindow(); }, 1000));
    EXPECT_EQ(QApplication::focusWidget(), boost);
}

// Windows moves a dialog that would reach past the screen's work area back into it, and leaves
// it where it asked to be when it fits.
TEST(Placement, KeepsTheWindowOnTheScreen) {
    struct Case {
        QRect available;
        QPoint expected;
    };
    const QPoint wanted(558, 319);
    const QSize frame(665, 520);
    const Case cases[] = {
        {QRect(0, 0, 1920, 1080), wanted},                     // fits: unchanged
        {QRect(0, 0, 1366, 768), QPoint(558, 248)},            // bottom 839 moved up to 768
        {QRect(0, 0, 1024, 768), QPoint(359, 248)},            // and left as well
        {QRect(0, 40, 1366, 728), QPoint(558, 248)},           // a panel on top: same bottom edge
        {QRect(100, 0, 600, 400), QPoint(100, 0)},             // too big: top-left corner of the area
        {QRect(-1366, 0, 2732, 768), QPoint(558, 248)},        // a second screen to the left
    };
    for (const Case& c : cases) EXPECT_EQ(placeOnScreen(wanted, frame, c.available), c.expected) << c.available.width();
}

TEST(NameFilters, BuiltFromTheDialogRequest) {
    const FileDialogRequest request{"KELVARIN Open TIF", {{"TIF", "*.tif"}, {"TIFF", "*.tiff"}, {"All Files", "*.*"}}, "tif"};
    EXPECT_EQ(nameFilters(request), (QStringList{"TIF (*.tif)", "TIFF (*.tiff)", "All Files (*)"}));
}

}  // namespace
}  // namespace kelvarin::qt

namespace kelvarin::qt {
namespace {

TEST(FileDialogs, OpenDialogsTakeOneExistingFile) {
    for (SourceKind kind : {SourceKind::Tif, SourceKind::Rgbe, SourceKind::Pgm, SourceKind::Raw, SourceKind::Bin}) {
        const FileDialogRequest request = sourceDialogRequest(kind);
        QFileDialog dialog;
        configureFileDialog(dialog, request, false);
        EXPECT_EQ(dialog.windowTitle().toStdString(), request.title);
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dialog.nameFilters(), nameFilters(request));
        EXPECT_EQ(dialog.selectedNameFilter(), nameFilters(request).front());
        EXPECT_EQ(dialog.defaultSuffix().toStdString(), request.defaultExtension);
    }
}

TEST(FileDialogs, SaveDialogsDoNotAskBeforeOverwriting) {
    for (const FileDialogRequest& request : {saveTiffDialogRequest(), saveRawDialogRequest()}) {
        QFileDialog dialog;
        configureFileDialog(dialog, request, true);
        EXPECT_EQ(dialog.windowTitle(), "KELVARIN Save");
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_EQ(dialog.defaultSuffix().toStdString(), request.defaultExtension);
    }
    const QStringList tiff = nameFilters(saveTiffDialogRequest());
    EXPECT_EQ(tiff, (QStringList{"TIF (*.tif)", "TIFF (*.tiff)", "PNG (*.png)", "R16 (*.r16)", "All Files (*)"}));
}

// The extension added to a bare name follows the filter selected; "All Files" adds the TIFF's.
TEST(FileDialogs, SaveSuffixFollowsTheSelectedFilter) {
    QFileDialog dialog;
    configureFileDialog(dialog, saveTiffDialogRequest(), true);
    const std::pair<QString, QString> cases[] = {
        {"PNG (*.png)", "png"}, {"R16 (*.r16)", "r16"}, {"TIFF (*.tiff)", "tiff"}, {"All Files (*)", "tif"}};
    for (const auto& [filter, suffix] : cases) {
        emit dialog.filterSelected(filter);
        EXPECT_EQ(dialog.defaultSuffix(), suffix) << filter.toStdString();
    }
}

TEST(MessageBoxes, IconsButtonsCaptionAndLines) {
    struct Case {
        MessageIcon icon;
        MessageButtons buttons;
        bool disablesWindow;
        QMessageBox::Icon qtIcon;
        QMessageBox::StandardButtons qtButtons;
        Qt::WindowModality modality;
    };
    const Case cases[] = {
        {MessageIcon::Error, MessageButtons::Ok, true, QMessageBox::Critical, QMessageBox::Ok, Qt::ApplicationModal},
        {MessageIcon::Exclamation, MessageButtons::OkCancel, false, QMessageBox::Warning,
         QMessageBox::Ok | QMessageBox::Cancel, Qt::NonModal},
        {MessageIcon::Information, MessageButtons::Ok, true, QMessageBox::Information, QMessageBox::Ok,
         Qt::ApplicationModal},
    };
    for (const Case& c : cases) {
        QMessageBox box;
        configureMessageBox(box, {.text = "first\r\nsecond <b>",
                                  .caption = "KELVARIN - Warning.",
                                  .icon = c.icon,
                                  .buttons = c.buttons,
                                  .disablesWindow = c.disablesWindow});
        EXPECT_EQ(box.windowTitle(), "KELVARIN - Warning.");
        EXPECT_EQ(box.text(), "first\nsecond <b>");
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.icon(), c.qtIcon);
        EXPECT_EQ(box.standardButtons(), c.qtButtons);
        EXPECT_EQ(box.windowModality(), c.modality);
    }
}

}  // namespace
}  // namespace kelvarin::qt

namespace kelvarin::qt {
namespace {

// File > Open... by its shortcut, and a file dropped on the window: both convert a file of a newer
// kind; the drop answers the source dialog itself, so only the Save dialog is asked. A drop while
// a job runs is refused with the busy box.
TEST_F(WindowTest, OpenByShortcutAndByDrop) {
    test::TempDir dir;
    // A 2 x 2 PGM of 8 bits, a kind only Open... reads.
    const std::string source = dir.file("small.pgm");
    test::writeText(source, "P5 2 2 255\n\x10\x20\x30\x40");
    answers = {source, dir.file("by-key.tif")};
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"KELVARIN Open", "KELVARIN Save"}));
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().caption, "KELVARIN - Success.");
    EXPECT_TRUE(test::exists(dir.file("by-key.tif")));

    dialogs.clear();
    answers = {dir.file("by-drop.tif")};
    window->openDroppedFile(QString::fromStdString(source));
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs, std::vector<std::string>{"KELVARIN Save"});
    EXPECT_EQ(boxes.back().caption, "KELVARIN - Success.");
    EXPECT_EQ(test::readBytes(dir.file("by-drop.tif")), test::readBytes(dir.file("by-key.tif")));

    // Dropped while a job runs (here: while its Save dialog is open).
    std::size_t boxesBefore = 0;
    onDialog = [&] {
        if (dialogs.size() != 2) return;
        boxesBefore = boxes.size();
        window->openDroppedFile(QString::fromStdString(source));
        QCoreApplication::processEvents();
    };
    dialogs.clear();
    answers = {source, dir.file("third.tif")};
    window->menuAction(ids::OpenImage)->trigger();
    ASSERT_GT(boxes.size(), boxesBefore);
    EXPECT_EQ(boxes[boxesBefore].caption, "KELVARIN - Busy");
    EXPECT_EQ(dialogs.size(), 2u) << "the drop started no second job";
}

}  // namespace
}  // namespace kelvarin::qt
