#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "cli/batch_commits.h"
#include "cli/batch_plan.h"
#include "cli/report_file.h"
#include "formats/file.h"
#include "formats/held_files.h"
#include "job/clock.h"
#include "job/height_scan.h"
#include "job/port.h"
#include "job/session.h"
#include "terrain/tile_grid.h"
#include "cli/cli_port.h"
#include "ui/command_handler.h"

namespace kelvarin {

namespace {

// Milliseconds as seconds with three decimals, the same under every locale.
std::string secondsText(std::int64_t milliseconds) {
    std::string fraction = std::to_string(milliseconds % 1000);
    return std::to_string(milliseconds / 1000) + "." + std::string(3 - fraction.size(), '0') + fraction;
}

std::int64_t millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A message box's text on one line of its own: the CR LF between its lines dropped to LF, as
// the single-file runs print it.
std::string boxText(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// A refusal before any job starts: one line on stderr, exit status 2.
int refuse(const std::string& why) {
    std::fprintf(stderr, "kelvarin-cli: %s\n", why.c_str());
    return 2;
}

// ---- One job ----

struct Box {
    std::string caption, text;
};

// A job's port: the dialogs answered with the item's source and destination, the log and the
// boxes kept for the batch to print whole. No progress bar: several jobs share one terminal.
class BatchPort final : public UiPort {
public:
    explicit BatchPort(std::deque<std::string> answers) : answers_(std::move(answers)) {}

    std::optional<std::string> askOpenFile(const FileDialogRequest&) override { return nextAnswer(); }
    std::optional<std::string> askSaveFile(const FileDialogRequest&) override { return nextAnswer(); }
    MessageAnswer showMessage(const MessageBoxRequest& request) override {
        boxes.push_back({request.caption, request.text});
        return MessageAnswer::Ok;
    }
    std::optional<std::string> askText(const TextRequest&) override { return std::nullopt; }
    void appendLogLine(std::string_view text) override { log.append(text).append("\n"); }
    void clearLog() override {}
    void setProgressRange(std::int32_t, std::int32_t) override {}
    void setProgressPosition(std::int32_t) override {}
    void setConversionCommandsEnabled(bool) override {}
    void setMenuItemChecked(int, bool) override {}
    void showPreview(const std::vector<FinishedReport>&) override {}
    void resetOptionControls() override {}
    bool isControlChecked(int) override { return false; }
    void closeWindow() override {}

    std::string log;
    std::vector<Box> boxes;

private:
    std::optional<std::string> nextAnswer() {
        if (answers_.empty()) return std::nullopt;
        std::string answer = std::move(answers_.front());
        answers_.pop_front();
        return answer;
    }
    std::deque<std::string> answers_;
};

struct Outcome {
    bool ok = false;
    std::int64_t milliseconds = 0;
    std::string log;
    std::vector<Box> boxes;
    std::string failure;  // why the job failed, for the summary
    // Its results, written whole and waiting to take their names with others.
    std::vector<std::unique_ptr<File>> held;
};

// The box that says why a job failed: the last one before the command's closing "There were
// errors.", leaving out the mode warning the PGM and RAW commands show first.
std::string failingBoxText(const std::vector<Box>& boxes) {
    if (boxes.empty()) return std::string();
    const MessageBoxRequest warning = modeWarningBox();
    for (std::size_t k = boxes.size() - 1; k > 0; --k) {
        const Box& box = boxes[k - 1];
        if (box.caption != warning.caption || box.text != warning.text) return box.text;
    }
    return boxes.back().text;
}

class BatchRun {
public:
    BatchRun(const BatchSettings& settings, const ConversionOptions& options, const BatchCommand& command,
             std::vector<BatchItem> items)
        : settings_(settings), options_(options), command_(command), items_(std::move(items)),
          outcomes_(items_.size()), done_(items_.size(), false) {}

    int run();

private:
    void work();
    Outcome convert(const BatchItem& item);
    void print(std::size_t index);
    static void failCommit(Outcome& outcome);

    const BatchSettings& settings_;
    const ConversionOptions& options_;
    const BatchCommand& command_;
    const std::vector<BatchItem> items_;
    const SystemClock clock_;

    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<Outcome> outcomes_;  // guarded by mutex_ until done_
    std::vector<bool> done_;
    unsigned jobsAtOnce_ = 1;  // set before the first job starts
    std::unique_ptr<BatchCommits> commits_;
};

// The first result of an item that exists already, by its name in the output folder: the
// destination, or with tiles each tile (the destination's own name is then never written).
std::optional<std::string> existingResult(const BatchItem& item, const ConversionOptions& options) {
    if (!options.tiles) {
        if (diskFileSystem().exists(item.destinationPath)) return item.destination;
        return std::nullopt;
    }
    for (std::uint32_t y = 0; y < options.tiles->rows; ++y)
        for (std::uint32_t x = 0; x < options.tiles->columns; ++x)
            if (diskFileSystem().exists(tileName(item.destinationPath, x, y))) return tileName(item.destination, x, y);
    return std::nullopt;
}

Outcome BatchRun::convert(const BatchItem& item) {
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    if (!settings_.overwrite) {
        if (const auto existing = existingResult(item, options_)) {
            outcome.failure = *existing + " exists already (--overwrite replaces it)";
            outcome.boxes.push_back({"kelvarin-cli", outcome.failure});
            return outcome;
        }
    }
    try {
        // Exactly what a single-file run does, in a session of the job's own.
        BatchPort port({item.sourcePath, item.destinationPath});
        // The results are committed in groups (BatchCommits), not by the job itself.
        HoldingFileSystem holding(diskFileSystem());
        Session session(port, clock_, holding);
        CommandHandler handler(session);
        handler.start();
        session.options = options_;
        applyRunSettings(session, jobsAtOnce_);
        handler.handle(command_.commandId);
        outcome.ok = handler.lastResult() == 1;
        outcome.log = std::move(port.log);
        outcome.boxes = std::move(port.boxes);
        // The report's warnings follow the job's boxes, as in a single-file run.
        if (outcome.ok)
            for (std::string& text : reportWarningTexts(session.lastReports))
                outcome.boxes.push_back({kReportCaption, std::move(text)});
        if (!outcome.ok) outcome.failure = boxText(failingBoxText(outcome.boxes));
        outcome.held = holding.takeHeld();
        std::replace(outcome.failure.begin(), outcome.failure.end(), '\n', ' ');
    } catch (const std::exception& error) {
        // Out of memory, most likely: this job fails, the others go on. What it wrote is gone.
        outcome.ok = false;
        outcome.failure = std::string("the job stopped: ") + error.what();
        outcome.boxes.push_back({"kelvarin-cli", outcome.failure});
    }
    outcome.milliseconds = millisecondsSince(start);
    return outcome;
}

void BatchRun::work() {
    for (std::size_t index; (index = next_.fetch_add(1)) < items_.size();) {
        Outcome outcome = convert(items_[index]);
        commits_->add(index, std::move(outcome.held));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outcomes_[index] = std::move(outcome);
            done_[index] = true;
        }
        finished_.notify_all();
    }
}

// A job whose results could not take their names after it ended (their group's sync or a move
// failed): it failed as a job fails whose destination cannot be written.
void BatchRun::failCommit(Outcome& outcome) {
    if (!outcome.ok) return;
    outcome.ok = false;
    outcome.failure = "Cannot write the converted file (disk full or no permission).";
    outcome.log += ">>> Writing the converted file failed. STOP!\n";
    outcome.boxes.push_back({"KELVARIN - Write Error", outcome.failure});
}

// A job's log on stdout as one block under its source, then its boxes on stderr. Only the summary
// needs the job afterwards: a long batch keeps no logs it has printed.
void BatchRun::print(std::size_t index) {
    const BatchItem& item = items_[index];
    Outcome& outcome = outcomes_[index];
    const std::string block = "### " + item.source + "\n" + outcome.log;
    std::fwrite(block.data(), 1, block.size(), stdout);
    std::fflush(stdout);
    for (const Box& box : outcome.boxes)
        std::fprintf(stderr, "%s: %s: %s\n", item.source.c_str(), box.caption.c_str(), boxText(box.text).c_str());
    std::fflush(stderr);
    std::string().swap(outcome.log);
    std::vector<Box>().swap(outcome.boxes);
}

int BatchRun::run() {
    const auto start = std::chrono::steady_clock::now();
    unsigned jobs = settings_.jobs != 0 ? settings_.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, items_.size()));
    jobsAtOnce_ = jobs;
    commits_ = std::make_unique<BatchCommits>(diskFileSystem(), items_.size());
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < jobs; ++k) {
        try {
            workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: fewer jobs at once
        }
    }
    if (workers.empty()) work();

    // Each block as soon as it and every block before it are complete.
    for (std::size_t index = 0; index < items_.size(); ++index) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            finished_.wait(lock, [&] { return done_[index]; });
        }
        if (!commits_->waitCommitted(index)) failCommit(outcomes_[index]);
        print(index);
    }
    for (std::thread& worker : workers) worker.join();

    std::size_t failed = 0;
    std::string summary;
    for (std::size_t index = 0; index < items_.size(); ++index) {
        const Outcome& outcome = outcomes_[index];
        const BatchItem& item = items_[index];
        summary += (outcome.ok ? "ok " : "FAILED ") + secondsText(outcome.milliseconds) + " s " + item.source +
                   (outcome.ok ? " -> " + item.destination : ": " + outcome.failure) + "\n";
        if (!outcome.ok) ++failed;
    }
    summary += "total: " + std::to_string(items_.size()) + (items_.size() == 1 ? " file, " : " files, ") + std::to_string(items_.size() - failed) +
               " ok, " + std::to_string(failed) + " failed, " + secondsText(millisecondsSince(start)) + " s\n";
    std::fwrite(summary.data(), 1, summary.size(), stderr);
    std::fflush(stderr);
    return failed == 0 ? 0 : 1;
}

}  // namespace

std::optional<std::string> takeBatchOption(const std::vector<std::string>& argv, std::size_t& i,
                                           BatchSettings& settings) {
    const std::string& option = argv[i];
    if (option == "--overwrite") {
        settings.overwrite = true;
        return std::string();
    }
    if (option == "--shared-range") {
        settings.sharedRange = true;
        return std::string();
    }
    if (option != "--out-dir" && option != "--jobs" && option != "--format") return std::nullopt;
    if (++i >= argv.size()) return option + " takes a value";
    const std::string& value = argv[i];
    if (option == "--out-dir") {
        if (value.empty()) return std::string("--out-dir takes a folder");
        settings.outDir = value;
    } else if (option == "--jobs") {
        unsigned jobs = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
        if (error != std::errc() || end != value.data() + value.size() || jobs < 1)
            return std::string("--jobs takes a whole number from 1");
        settings.jobs = jobs;
    } else {
        if (value != "tif" && value != "png" && value != "r16") return std::string("--format takes tif, png or r16");
        settings.format = value;
    }
    return std::string();
}

std::optional<std::string> batchUsageProblem(const BatchSettings& settings, const ConversionOptions& options,
                                             const std::string& command, const std::vector<std::string>& sources) {
    if (!settings.outDir) {
        if (settings.jobs != 0 || settings.overwrite || settings.format || settings.sharedRange)
            return std::string("--jobs, --overwrite, --format and --shared-range work with --out-dir only");
        return std::nullopt;
    }
    if (settings.sharedRange && options.heightRange)
        return std::string("--shared-range finds the range that --height-range gives: use one of them");
    if (!findBatchCommand(command)) return "--out-dir runs open, tif, hdr, pgm or raw, not " + command;
    if (settings.format && options.teRawMode) return std::string("--te-raw writes .raw files: no --format with it");
    if (sources.empty()) return std::string("no SOURCE given");
    return std::nullopt;
}

int runBatch(const BatchSettings& settings, const ConversionOptions& options, const std::string& command,
             const std::vector<std::string>& sources) {
    const BatchCommand* batchCommand = findBatchCommand(command);
    if (!batchCommand || !settings.outDir) return refuse("not a batch command: " + command);
    std::vector<BatchItem> items;
    std::string problem;
    if (!planBatch(settings, options, *batchCommand, sources, items, problem)) return refuse(problem);
    ConversionOptions jobOptions = options;
    if (settings.sharedRange) {
        // The first pass over every source, before any job starts: a source that holds no
        // heights refuses the whole batch, as the range would not be what the user asked for.
        std::vector<HeightScan> scans;
        for (const BatchItem& item : items) {
            scans.push_back(scanHeights(diskFileSystem(), item.sourcePath));
            if (!scans.back().refusal.empty()) return refuse(item.source + ": " + scans.back().refusal);
        }
        jobOptions.heightRange = commonRange(scans);
        if (!jobOptions.heightRange) return refuse("--shared-range: every sample of the sources is a void");
        // A flat set of tiles: the mapping makes every height 1, as for one flat file.
        std::fprintf(stderr, "kelvarin-cli: shared height range %s\n", heightRangeText(*jobOptions.heightRange).c_str());
    }
    return BatchRun(settings, jobOptions, *batchCommand, std::move(items)).run();
}

}  // namespace kelvarin
