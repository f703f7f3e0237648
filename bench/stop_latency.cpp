// How long a stop takes: a job resamples a 4097 x 4097 map to 16385 x 16385 and writes it as a
// PNG, and the stop is asked for from another thread (as a window's event would come) in the
// middle of the resampling, or in the middle of the PNG writing. Prints, for each run, the
// seconds from the request to the job's end, the stage it came in, and whether the job logged
// the stop and left no temporary file.
//
//   kelvarin_stop_bench FOLDER [RUNS]   (built by bench/stop_bench.sh)
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "job/stop_request.h"
#include "support/scripted_port.h"
#include "ui/ids.h"

namespace {

using namespace kelvarin;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kSourceSide = 4097, kTargetSide = 16385;

void writeSource(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << kSourceSide << ' ' << kSourceSide << "\n65535\n";
    std::vector<unsigned char> row(std::size_t{kSourceSide} * 2);
    for (std::uint32_t y = 0; y < kSourceSide; ++y) {
        for (std::uint32_t x = 0; x < kSourceSide; ++x) {
            const auto level = static_cast<std::uint16_t>(
                (std::sin(x / 300.0) * std::cos(y / 400.0) + 1.0) * 30000.0 + (x + y) * 0.3);
            row[2 * x] = static_cast<unsigned char>(level >> 8);
            row[2 * x + 1] = static_cast<unsigned char>(level & 0xFF);
        }
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
}

struct Run {
    double seconds = -1;  // from the request to the job's end
    double stoppedAt = 0;  // the bar's share when the stop was asked for
    bool logged = false, clean = false;
};

// `from`: the bar's share (0..1) past which the stop is asked for; the bar gives the data stage,
// the resampling and the writing a third each.
Run stopOnce(const std::string& folder, double from) {
    test::Harness h;
    h.session.options.outputSize = ImageSize{kTargetSide, kTargetSide};
    std::atomic<double> share{0};
    h.port.onPosition = [&](int position) {
        if (h.port.ranges.empty()) return;
        const auto& range = h.port.ranges.back();
        if (range.second > range.first)
            share.store(static_cast<double>(position - range.first) / (range.second - range.first));
    };
    const std::string destination = folder + "/stopped.png";
    std::filesystem::remove(destination);
    std::atomic<bool> ended{false};
    Clock::time_point end;
    std::thread job([&] {
        h.run(ids::OpenImage, {folder + "/source.pgm", destination});
        end = Clock::now();
        ended.store(true);
    });
    while (!ended.load() && share.load() < from) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Run run;
    run.stoppedAt = share.load();
    const Clock::time_point asked = Clock::now();
    h.session.stop.request();
    job.join();
    run.seconds = std::chrono::duration<double>(end - asked).count();
    for (const std::string& line : h.port.log) run.logged = run.logged || line == kStoppedLine;
    run.clean = !std::filesystem::exists(destination);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(".stopped.png.")) run.clean = false;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    writeSource(folder + "/source.pgm");
    int slow = 0;
    for (const auto& [stage, from] : {std::pair{"resampling", 0.5}, std::pair{"PNG writing", 0.83}}) {
        for (int i = 0; i < runs; ++i) {
            const Run run = stopOnce(folder, from);
            std::printf("%-12s stop at %4.1f %% of the bar: %.3f s to the end%s%s\n", stage, run.stoppedAt * 100,
                        run.seconds, run.logged ? ", logged" : ", NOT LOGGED",
                        run.clean ? ", no file left" : ", FILES LEFT");
            if (run.seconds > 0.5 || !run.logged || !run.clean) ++slow;
        }
    }
    return slow == 0 ? 0 : 1;
}
