// How much the ride engine costs beyond the pixels it moves: RideStep drawing into an
// in-memory surface, against memcpy and memset moving exactly the same bytes (recorded from
// the same steps), measured in the same run. Prints each pair and their ratio at the end.
//
//   ride_step_bench [google benchmark flags]   measure
//   ride_step_bench --check                    prove that the baseline moves the same pixels
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "memory_port.h"
#include "core/ride_engine.h"
#include "core/settings.h"

namespace {

const uint32_t kSeed = 20261207;
const int kScreenWidth = 1024;
const int kScreenHeight = 768;
// Enough steps for several whole rides at every speed, so that a run covers starts, smears
// at both edges and ends in both directions.
const int kStepsPerRun = 2000;
const double kTargetRatio = 1.5;

MemoryPort port(ROLVANTA_ASSET_DIR);
Show show;

void StartShow(int speed) {
    port.ResetScreen(kScreenWidth, kScreenHeight);
    show = NewShow();
    port.clock = kSeed;
    CreateShow(show, port, SaverSettings{0, 1, 1, 1, speed, 10, 127});
}

void StopShow() {
    DestroyShow(show, port);
}

// The same sequence of rides every time: the first ride's start from the same seed.
void RunSteps() {
    show.rideState = NewShow().rideState;
    SeedRandom(show, kSeed);
    for (int i = 0; i < kStepsPerRun; ++i) {
        ::RideStep(show, port);
    }
}

std::vector<PixelRun> RecordSteps() {
    std::vector<PixelRun> runs;
    port.trace = &runs;
    RunSteps();
    port.trace = nullptr;
    return runs;
}

void SetCounters(benchmark::State& state, uint64_t pixelsPerRun) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kStepsPerRun);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pixelsPerRun));
    state.counters["px/step"] = static_cast<double>(pixelsPerRun) / kStepsPerRun;
}

void RideStep(benchmark::State& state) {
    StartShow(static_cast<int>(state.range(0)));
    port.pixelsWritten = 0;
    RunSteps();
    uint64_t pixelsPerRun = port.pixelsWritten;
    for (auto _ : state) {
        RunSteps();
        benchmark::DoNotOptimize(port.screen.pixels.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, pixelsPerRun);
    StopShow();
}

void Memcpy(benchmark::State& state) {
    StartShow(static_cast<int>(state.range(0)));
    std::vector<PixelRun> runs = RecordSteps();
    uint64_t pixelsPerRun = 0;
    for (const PixelRun& run : runs) {
        pixelsPerRun += static_cast<uint64_t>(run.width) * static_cast<uint64_t>(run.rows);
    }
    for (auto _ : state) {
        ReplayPixelRuns(runs);
        benchmark::DoNotOptimize(port.screen.pixels.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, pixelsPerRun);
    StopShow();
}

BENCHMARK(RideStep)->ArgName("speed")->Arg(1)->Arg(6)->Arg(15)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->ArgName("speed")->Arg(1)->Arg(6)->Arg(15)->Unit(benchmark::kMicrosecond);

// The console report as usual, then each RideStep figure with its memcpy baseline.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const std::string& args = run.run_name.args;
            if (std::find(order_.begin(), order_.end(), args) == order_.end()) {
                order_.push_back(args);
            }
            // With only aggregates reported the median comes ready-made; else take it here.
            if (run.run_type == Run::RT_Iteration) {
                times_[run.run_name.function_name][args].push_back(run.GetAdjustedRealTime());
            } else if (run.aggregate_name == "median") {
                medians_[run.run_name.function_name][args] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nride step against memcpy of the same pixels, %dx%d, %d steps a run "
                    "(median real time of the repetitions):\n",
                    kScreenWidth, kScreenHeight, kStepsPerRun);
        // Interleaved repetitions report in any order; the table goes by speed.
        std::sort(order_.begin(), order_.end(), [](const std::string& a, const std::string& b) {
            return std::atoi(a.c_str() + a.find(':') + 1) < std::atoi(b.c_str() + b.find(':') + 1);
        });
        for (const std::string& args : order_) {
            double engine = 0;
            double base = 0;
            if (!MedianOf("RideStep", args, &engine) || !MedianOf("Memcpy", args, &base)) {
                continue;
            }
            double ratio = engine / base;
            double overheadPerStep = (engine - base) * 1000.0 / kStepsPerRun;
            std::printf("  ride step %-9s RideStep %9.1f us  memcpy %9.1f us  ratio %.3f  (target <= %.1f: %s)"
                        "  engine's own cost %+.0f ns a step\n",
                        args.c_str(), engine, base, ratio, kTargetRatio, ratio <= kTargetRatio ? "met" : "MISSED",
                        overheadPerStep);
        }
    }

    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

private:
    bool MedianOf(const std::string& function, const std::string& args, double* median) {
        auto ready = medians_[function].find(args);
        if (ready != medians_[function].end()) {
            *median = ready->second;
            return true;
        }
        auto measured = times_[function].find(args);
        if (measured == times_[function].end() || measured->second.empty()) {
            return false;
        }
        *median = Median(measured->second);
        return true;
    }

    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        size_t middle = values.size() / 2;
        return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    std::vector<std::string> order_;
    std::map<std::string, std::map<std::string, std::vector<double>>> times_;
    std::map<std::string, std::map<std::string, double>> medians_;
};

// The baseline is only fair if it moves the very pixels RideStep moved: replaying the
// recorded runs onto a black screen must give the screen RideStep drew, and a run must hand
// back every step and picture it took.
int Check() {
    int failures = 0;
    for (int speed : {1, 6, 15}) {
        StartShow(speed);
        std::vector<PixelRun> runs = RecordSteps();
        std::vector<uint8_t> drawn = port.screen.pixels;
        std::fill(port.screen.pixels.begin(), port.screen.pixels.end(), 0);
        ReplayPixelRuns(runs);
        bool same = drawn == port.screen.pixels;
        bool painted = std::any_of(drawn.begin(), drawn.end(), [](uint8_t pixel) { return pixel != 0; });
        bool copies = std::any_of(runs.begin(), runs.end(), [](const PixelRun& run) { return run.source != nullptr; });
        bool balanced = port.openSteps == 0;
        StopShow();
        bool released = port.livePictures == 0;
        std::printf("speed %2d: %zu pixel runs, replay %s, picture %s, steps %s, pictures %s\n", speed, runs.size(),
                    same ? "matches" : "DIFFERS", painted ? "drawn" : "MISSING",
                    balanced ? "released" : "LEAKED", released ? "released" : "LEAKED");
        if (!same || !painted || !copies || !balanced || !released) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--check") == 0) {
        return Check();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter(isatty(STDOUT_FILENO) ? RatioReporter::OO_Defaults : RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
