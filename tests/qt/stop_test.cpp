// Stopping a job in the Qt window: Esc and the close button ask, Yes stops at the next block and
// leaves the old destination; a signal mid-job ends the program without a temporary file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QListWidget>
#include <QThread>
#include <memory>

#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"
#include "ui/qt/end_on_signals.h"
#include "ui/qt/main_window.h"

namespace kelvarin::qt {
namespace {

class Clock final : public kelvarin::Clock {
public:
    LocalDateTime now() const override { return {2026, 12, 7, 10, 20, 30, 0}; }
};

const test::Bytes kOld{'o', 'l', 'd'};

// A job long enough to be stopped: many small blocks, each moving the bar.
struct LongJob {
    test::TempDir dir;
    LongJob() {
        test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 512, .length = 512, .rowsPerStrip = 1}));
        test::writeBytes(dir.file("out.tif"), kOld);
    }
};

// Esc and the close button during a job: the stop question, and Yes stops it.
TEST(StopInTheWindow, EscapeAndCloseAskAndYesStops) {
    enum class Way { Escape, Close };
    for (const Way way : {Way::Escape, Way::Close}) {
        SCOPED_TRACE(way == Way::Escape ? "Esc" : "close button");
        LongJob job;
        Clock clock;
        MainWindow window(clock);
        window.session().conversionChunkBytes = 256;
        window.show();
        std::vector<std::string> captions;
        bool stopEnabledDuringJob = false, busyCursor = false;
        window.messageBox = [&](const MessageBoxRequest& request) {
            captions.push_back(request.caption);
            if (request.caption == "KELVARIN - Stop") {
                stopEnabledDuringJob = window.menuAction(ids::StopConversion)->isEnabled();
                busyCursor = window.centralWidget()->cursor().shape() == Qt::BusyCursor;
            }
            return MessageAnswer::Ok;
        };
        std::vector<std::string> answers{job.dir.file("in.tif"), job.dir.file("out.tif")};
        window.openFileDialog = [&](const FileDialogRequest&) -> std::optional<std::string> {
            if (answers.empty()) return std::nullopt;
            std::string next = answers.front();
            answers.erase(answers.begin());
            // Once the destination is chosen the job runs: the user acts a moment later, as
            // the window answers its events.
            if (answers.empty()) {
                if (way == Way::Escape) {
                    QCoreApplication::postEvent(window.logList(),
                                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
                } else {
                    QMetaObject::invokeMethod(&window, [&] { window.close(); }, Qt::QueuedConnection);
                }
                // Long enough that the job's first progress lets the window answer its events.
                QThread::msleep(40);
            }
            return next;
        };
        window.saveFileDialog = window.openFileDialog;
        EXPECT_FALSE(window.menuAction(ids::StopConversion)->isEnabled());
        window.menuAction(ids::OpenTif)->trigger();

        EXPECT_EQ(std::count(captions.begin(), captions.end(), "KELVARIN - Stop"), 1);
        EXPECT_EQ(captions.back(), "KELVARIN - Error.");
        EXPECT_TRUE(stopEnabledDuringJob);
        EXPECT_TRUE(busyCursor);
        EXPECT_FALSE(window.menuAction(ids::StopConversion)->isEnabled());
        EXPECT_EQ(test::readBytes(job.dir.file("out.tif")), kOld);
        EXPECT_TRUE(test::temporaryFilesIn(job.dir.path()).empty());
        const QList<QListWidgetItem*> stopLines =
            window.logList()->findItems(QStringLiteral(">>> Stopped by the user. STOP!"), Qt::MatchExactly);
        EXPECT_EQ(stopLines.size(), 1);
        // The window stayed open through the job; closed now, it closes.
        EXPECT_TRUE(window.isVisible());
        window.close();
        EXPECT_FALSE(window.isVisible());
    }
}

// SIGTERM while a job writes its destination: the program ends with 128 + 15 and leaves the old
// destination and no temporary file. Run in a child process that installs the window's handlers.
TEST(StopInTheWindow, TerminationMidJobLeavesNoTemporaryFile) {
    LongJob job;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        endOnSignals();
        test::Harness h;
        h.session.conversionChunkBytes = 256;
        h.port.onPosition = [&](int position) {
            if (position != 10) return;
            // Mid-job, the temporary file written to: tell the parent and wait for its signal.
            (void)!write(ready[1], "r", 1);
            for (;;) pause();
        };
        h.run(ids::OpenTif, {job.dir.file("in.tif"), job.dir.file("out.tif")});
        _exit(1);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    EXPECT_FALSE(test::temporaryFilesIn(job.dir.path()).empty()) << "the job writes a temporary file";
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_TRUE(test::temporaryFilesIn(job.dir.path()).empty());
    EXPECT_EQ(test::readBytes(job.dir.file("out.tif")), kOld);
}

}  // namespace
}  // namespace kelvarin::qt
