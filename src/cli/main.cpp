// kelvarin-cli: runs the window's menu commands headless, answering their file dialogs with the
// files named on the command line.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/height_range.h"
#include "base/image_size.h"
#include "cli/batch.h"
#include "cli/cli_reference.h"
#include "cli/cli_port.h"
#include "cli/report_file.h"
#include "formats/file.h"
#include "job/clock.h"
#include "job/height_scan.h"
#include "job/terrain_set_job.h"
#include "terrain/tile_grid.h"
#include "ui/command_handler.h"
#include "ui/help_pages.h"
#include "ui/ids.h"
#include "ui/reference_text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

using namespace kelvarin;

// An interrupted command (Ctrl-C, kill) leaves every destination as it was: the temporary file
// being written is deleted and the program ends at once with 130, as shells report an interrupt.
#ifdef _WIN32
BOOL WINAPI onConsoleInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    removeTemporaryFilesNow();
    // The handler runs on a thread of its own while the job goes on: end every thread where it
    // stands, without the run-time library's exit work (the job may hold its locks).
    TerminateProcess(GetCurrentProcess(), 130);
    return TRUE;
}

void catchInterrupts() { SetConsoleCtrlHandler(onConsoleInterrupt, TRUE); }
#else
// Besides SIGINT and SIGTERM, a closed terminal (SIGHUP), Ctrl-\ (SIGQUIT) and a reader of the
// log that went away (SIGPIPE) end the program as they always did, with the status a shell
// expects of them, but like an interrupt they leave no temporary file behind.
extern "C" void onInterrupt(int signalNumber) {
    removeTemporaryFilesNow();
    _exit(signalNumber == SIGINT || signalNumber == SIGTERM ? 130 : 128 + signalNumber);
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kInterruptSignals) sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : kInterruptSignals) {
        struct sigaction previous {};
        // A signal the caller has chosen to ignore (nohup, a background job of a script) stays so.
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signalNumber, &action, nullptr);
    }
}
#endif

// One screen: the commands and options by name. Each command's details are in its section of the
// reference (`help COMMAND`), the whole of it in the manual page.
const char kUsage[] =
    "usage: kelvarin-cli [OPTIONS] COMMAND FILE...\n"
    "       kelvarin-cli [OPTIONS] --out-dir DIR COMMAND SOURCE...   (batch)\n"
    "commands, as the window's menu:\n"
    "  open SOURCE DEST           File > Open... (PNG, TIFF, OpenEXR, PFM, PNM, Radiance, ASCII grid:\n"
    "                             by content; SRTM .hgt: by name)\n"
    "  tif SOURCE DEST            File > Open TIF\n"
    "  hdr SOURCE DEST            File > Open HDR\n"
    "  pgm SOURCE DEST            Convert > PGM to 16-bit TIF\n"
    "  raw SOURCE DEST            Convert > RAW to 16-bit TIF\n"
    "  bin SOURCE HEADER DEST     Convert > BIN to 16-bit TIF\n"
    "  terrain4-max FILE          Convert > 4 RAW to 3 16-bit TIF Max (FILE: any of the set)\n"
    "  terrain4-avg FILE          Convert > 4 RAW to 3 16-bit TIF Avg\n"
    "  terrain3 FILE              Convert > 3 RAW to 3 16-bit TIF\n"
    "  range SOURCE...            prints LO:HI, the lowest and highest height of all the SOURCEs\n"
    "  help [PAGE|COMMAND]        the help pages, or a command's section of the reference\n"
    "options, defaults as at program start:\n"
    "  --weighting average|tv|hdtv|red|green|blue   --boost   --invert   --swap\n"
    "  --x2   --x4   --posterise 0|4|5|6|8|12|16   --te-raw\n"
    "  --size N|WxH               resample to N x N or W x H before writing\n"
    "  --tiles CxR                write C x R tiles sharing their edges\n"
    "  --height-range LO:HI       heights LO to HI become levels 1 to 65535\n"
    "  --metres-per-step M        one 16-bit step in metres, for the report\n"
    "  --report FILE              the report on the written image as JSON\n"
    "  --help   --version\n"
    "batch options: --jobs N   --overwrite   --format tif|png|r16   --shared-range\n"
    "A DEST ending in .png gets a 16-bit greyscale PNG, one ending in .r16 bare 16-bit samples,\n"
    "any other name the TIFF. Exit status: 0 done, 1 failed, 2 usage error, 130 interrupted.\n"
    "Each command and option in full: kelvarin-cli help COMMAND (e.g. help open, help options,\n"
    "help batch); the whole reference: man kelvarin-cli.\n";

std::string usageText() { return kUsage; }

int usageError(const char* problem) {
    std::fprintf(stderr, "kelvarin-cli: %s\n%s", problem, usageText().c_str());
    return 2;
}

// Help text on stdout: the pages' CR LF line ends (message box text) become line feeds, as in
// the log, and the text ends with exactly one.
void printText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') out += text[i];
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// `help COMMAND`: that command's section of the reference; a name that is none gets the list.
int printReference(const std::string& name) {
    if (const auto section = referenceSection(cliReference(), name)) {
        printText(*section);
        return 0;
    }
    std::string topics;
    for (const std::string& topic : referenceTopics(cliReference())) topics += " " + topic;
    std::fprintf(stderr, "kelvarin-cli: no help on %s; there is help on:%s\n", name.c_str(), topics.c_str());
    return 2;
}

int printHelp(const std::vector<std::string>& args) {
    const auto& pages = helpPages();
    if (args.empty()) {
        std::string list;
        for (std::size_t i = 0; i < pages.size(); ++i)
            list.append(i + 1 < 10 ? " " : "").append(std::to_string(i + 1)).append("  ")
                .append(pages[i].menuPath).append("\n");
        printText(list);
        return 0;
    }
    if (args.size() > 1) return usageError("help takes at most one page number or command");
    if (!args[0].empty() && !std::isdigit(static_cast<unsigned char>(args[0][0]))) return printReference(args[0]);
    char* end = nullptr;
    const long page = std::strtol(args[0].c_str(), &end, 10);
    if (*end != '\0' || page < 1 || page > static_cast<long>(pages.size()))
        return usageError(("no such help page (1 to " + std::to_string(pages.size()) + ")").c_str());
    const HelpPage& chosen = pages[static_cast<std::size_t>(page - 1)];
    printText(std::string(chosen.caption).append("\n").append(chosen.text));
    return 0;
}

bool parseWeighting(const std::string& name, ColourWeighting& weighting) {
    const char* names[] = {"average", "tv", "hdtv", "red", "green", "blue"};
    for (int i = 0; i < 6; ++i)
        if (name == names[i]) {
            weighting = static_cast<ColourWeighting>(i);
            return true;
        }
    return false;
}

bool parsePosterise(const std::string& text, std::int32_t& steps) {
    for (std::int32_t choice : kPosteriseChoices)
        if (text == std::to_string(choice)) {
            steps = choice;
            return true;
        }
    return false;
}

// `range`: the common lowest and highest height of the sources, one line on stdout.
int printRange(const std::vector<std::string>& sources) {
    if (sources.empty()) return usageError("range takes one or more SOURCE files");
    std::vector<HeightScan> scans;
    for (const std::string& source : sources) {
        scans.push_back(scanHeights(diskFileSystem(), source));
        if (!scans.back().refusal.empty()) {
            std::fprintf(stderr, "kelvarin-cli: %s: %s\n", source.c_str(), scans.back().refusal.c_str());
            return 1;
        }
    }
    const std::optional<HeightRange> common = commonRange(scans);
    if (!common) {
        std::fputs("kelvarin-cli: every sample of the sources is a void\n", stderr);
        return 1;
    }
    std::printf("%s\n", heightRangeText(*common).c_str());
    return 0;
}

int run(const std::vector<std::string>& argv) {
    ConversionOptions options;
    BatchSettings batch;
    std::optional<std::string> reportPath;
    std::size_t i = 0;
    for (; i < argv.size() && argv[i].rfind("--", 0) == 0; ++i) {
        const std::string& option = argv[i];
        if (option == "--help") {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        } else if (option == "--version") {
            std::fputs("kelvarin-cli " KELVARIN_VERSION "\n", stdout);
            return 0;
        } else if (option == "--boost") {
            options.boostContrast = true;
        } else if (option == "--invert") {
            options.invert = true;
        } else if (option == "--swap") {
            options.swapByteOrder = true;
        } else if (option == "--x2") {
            options.fStopX2 = true;
        } else if (option == "--x4") {
            options.fStopX4 = true;
        } else if (option == "--te-raw") {
            options.teRawMode = true;
        } else if (option == "--weighting") {
            if (++i >= argv.size() || !parseWeighting(argv[i], options.colourWeighting))
                return usageError("--weighting takes average, tv, hdtv, red, green or blue");
        } else if (option == "--posterise") {
            if (++i >= argv.size() || !parsePosterise(argv[i], options.posteriseSteps))
                return usageError("--posterise takes 0, 4, 5, 6, 8, 12 or 16");
        } else if (option == "--report") {
            if (++i >= argv.size() || argv[i].empty()) return usageError("--report takes a FILE");
            reportPath = argv[i];
        } else if (option == "--size") {
            if (++i >= argv.size()) return usageError("--size takes N or WxH");
            const ImageSizeParse parsed = parseImageSize(argv[i]);
            if (!parsed.size) {
                std::fprintf(stderr, "kelvarin-cli: --size %s: %s\n", argv[i].c_str(), parsed.refusal.c_str());
                return 2;
            }
            options.outputSize = parsed.size;
        } else if (option == "--height-range") {
            if (++i >= argv.size()) return usageError("--height-range takes LO:HI");
            const HeightRangeParse parsed = parseHeightRange(argv[i]);
            if (!parsed.range) {
                std::fprintf(stderr, "kelvarin-cli: --height-range %s: %s\n", argv[i].c_str(), parsed.refusal.c_str());
                return 2;
            }
            options.heightRange = parsed.range;
        } else if (option == "--tiles") {
            if (++i >= argv.size()) return usageError("--tiles takes CxR");
            const TileCountParse parsed = parseTileCount(argv[i]);
            if (!parsed.count) {
                std::fprintf(stderr, "kelvarin-cli: --tiles %s: %s\n", argv[i].c_str(), parsed.refusal.c_str());
                return 2;
            }
            options.tiles = parsed.count;
        } else if (option == "--metres-per-step") {
            // Locale-free: a decimal point whatever the user's settings.
            double step = 0;
            const std::string text = ++i < argv.size() ? argv[i] : std::string();
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), step);
            if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(step > 0) ||
                step > 1e6)
                return usageError("--metres-per-step takes a number of metres above 0, such as 0.05");
            options.metresPerStep = step;
        } else if (const auto taken = takeBatchOption(argv, i, batch)) {
            if (!taken->empty()) return usageError(taken->c_str());
        } else {
            return usageError(("unknown option " + option).c_str());
        }
    }
    if (i >= argv.size()) return usageError("no command given");
    const std::string name = argv[i++];
    const std::vector<std::string> files(argv.begin() + static_cast<std::ptrdiff_t>(i), argv.end());
    if (name == "help") return printHelp(files);
    if (name == "range" && !batch.outDir) return printRange(files);
    if (const auto problem = batchUsageProblem(batch, options, name, files)) return usageError(problem->c_str());
    if (batch.outDir) {
        if (reportPath) return usageError("--report works with single-file runs, not with --out-dir");
        catchInterrupts();
        return runBatch(batch, options, name, files);
    }

    const SourceCommand* command = findSourceCommand(name);
    if (!command) return usageError(("unknown command " + name).c_str());
    if (files.size() != command->files) return usageError(("wrong number of files for " + name).c_str());
    const bool terrainSet = command->kind == SourceKind::None;
    if (reportPath) {
        if (reportsTurnedOff()) return usageError("--report needs the report, which KELVARIN_REPORT=0 turns off");
        // A TE>Raw export copies the source's samples; only a terrain set still writes images.
        if (options.teRawMode && !terrainSet) return usageError("--report has no image to describe with --te-raw");
        // A terrain set reads and writes files beside the one named: the report may be none of them.
        std::vector<std::string> jobFiles = files;
        if (terrainSet)
            for (std::string& file : terrainSetFiles(files.front(), command->commandId != ids::Terrain3))
                jobFiles.push_back(std::move(file));
        if (const auto problem = reportPathProblem(diskFileSystem(), *reportPath, jobFiles))
            return usageError(problem->c_str());
        // Last run's report goes before the job starts: an interrupted or failed job leaves none.
        if (!diskFileSystem().remove(*reportPath)) {
            std::fprintf(stderr, "kelvarin-cli: the old report %s could not be removed\n", reportPath->c_str());
            return 1;
        }
    }

    CliPort port(std::deque<std::string>(files.begin(), files.end()), isatty(fileno(stderr)) != 0);
    SystemClock clock;
    Session session(port, clock);
    CommandHandler handler(session);
    handler.start();
    session.options = options;
    applyRunSettings(session, 1);
    catchInterrupts();
    handler.handle(command->commandId);
    std::fflush(stdout);
    const bool succeeded = handler.lastResult() == 1;
    // The warnings follow the job's boxes; the log on stdout stays as it is.
    if (succeeded) std::fputs(reportWarningLines(session.lastReports).c_str(), stderr);
    if (reportPath) {
        if (const auto problem =
                finishReportFile(session.fileSystem, *reportPath, succeeded, terrainSet, session.lastReports)) {
            std::fprintf(stderr, "kelvarin-cli: %s\n", problem->c_str());
            return 1;
        }
    }
    return succeeded ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
#include <fcntl.h>
// Arguments arrive as UTF-16 and are carried as UTF-8 inside.
int wmain(int argc, wchar_t** wargv) {
    // The log's paths are UTF-8: a console shows them as such, and redirected output gets the same
    // bytes as on any other system (no "\r" added before each "\n").
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int k = 1; k < argc; ++k) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wargv[k], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wargv[k], -1, text.data(), size, nullptr, nullptr);
        args.push_back(std::move(text));
    }
    return run(args);
}
#else
// Started with standard input, output or error closed, the program would give their numbers to
// the first files it opens, and the log would be written into a height map: they are opened on
// /dev/null instead.
void keepStandardStreamsOpen() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor)
        if (fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            const int opened = open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != descriptor) close(opened);
        }
}

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    // The log reaches a file or pipe line by line, so an interrupted job's log gets as far as the
    // job did.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
