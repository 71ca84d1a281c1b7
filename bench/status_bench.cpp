// Benchmarks of what the plug-in does on the host's thread, each beside the
// literal standard-library algorithm, in one binary and one run. After the
// usual report it prints each pair's times and the ratio ours / reference.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/standin.h"
#include "reference_algorithm.h"
#include "settings/settings_file.h"
#include "status/delivery.h"
#include "status/status_text.h"

namespace {

StatusProfiles defaults() {
    StatusProfiles profiles;
    setDefaultProfiles(profiles);
    return profiles;
}

const std::string DEEP_PATH = "C:\\" + std::string(60, 'a') + "\\" + std::string(60, 'b') + "\\" +
                              std::string(50, 'c') + "\\Some_Artist_-_A_Song.mp3";
const std::map<std::string, std::string> PATHS = {
    {"road", "C:\\Media\\My_Band_-_Best.Song.mp3"},
    {"deep200", DEEP_PATH},
    {"video", "D:\\clips\\holiday.mpeg"},
};
const std::string SETTINGS_FILE = "2,watching [FILENAME]\r\n1,listening to [FILENAME]\r\n";

void oursCompose(benchmark::State& state, const std::string& path) {
    const StatusProfiles profiles = defaults();
    static ComposedStatus composed;
    for (auto _ : state) {
        benchmark::DoNotOptimize(composeStatus(path.c_str(), profiles, composed));
        benchmark::ClobberMemory();
    }
}

void referenceCompose(benchmark::State& state, const std::string& path) {
    const StatusProfiles profiles = defaults();
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::composeStatus(path.c_str(), profiles));
        benchmark::ClobberMemory();
    }
}

void oursSettings(benchmark::State& state) {
    StatusProfiles profiles;
    for (auto _ : state) {
        readSettingsBytes(SETTINGS_FILE.data(), SETTINGS_FILE.size(), profiles, nullptr);
        benchmark::DoNotOptimize(profiles);
    }
}

void referenceSettings(benchmark::State& state) {
    StatusProfiles profiles = defaults();
    for (auto _ : state) {
        reference::parseSettings(SETTINGS_FILE.data(), SETTINGS_FILE.size(), profiles);
        benchmark::DoNotOptimize(profiles);
    }
}

// Publish up to the point of sending: no messenger window is open, so the
// text is widened, the record filled and the window search comes back empty.
void oursPublish(benchmark::State& state) {
    standin::reset();
    static ComposedStatus composed;
    composeStatus(PATHS.at("road").c_str(), defaults(), composed);
    const std::size_t bound = std::strlen(composed.statusText) + 2;
    for (auto _ : state) {
        sendStatus(composed.statusText, bound, nullptr);
        benchmark::ClobberMemory();
    }
}

void referencePublish(benchmark::State& state) {
    const char* text = reference::composeStatus(PATHS.at("road").c_str(), defaults());
    static char copy[320];
    std::strcpy(copy, text);
    const std::size_t bound = std::strlen(copy) + 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::prepareRecord(copy, bound));
        benchmark::ClobberMemory();
    }
}

// Collects each run's time per iteration, keyed by "ours/x" or "reference/x".
class PairingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median stands for the pair; otherwise the one run.
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const std::string name = run.run_name.function_name;
            if (!median && medians.count(name) != 0) continue;
            if (median) medians.insert(name);
            nanoseconds[name] =
                run.GetAdjustedRealTime() * (run.time_unit == benchmark::kNanosecond ? 1.0 : 1e3);
        }
    }
    void printRatios() const {
        std::printf("\n%-22s %12s %14s %8s\n", "case", "ours (ns)", "reference (ns)", "ratio");
        for (const auto& [name, ours] : nanoseconds) {
            if (name.rfind("ours/", 0) != 0) continue;
            const std::string caseName = name.substr(5);
            const auto reference = nanoseconds.find("reference/" + caseName);
            if (reference == nanoseconds.end()) continue;
            std::printf("%-22s %12.1f %14.1f %8.2f\n", caseName.c_str(), ours, reference->second,
                        ours / reference->second);
        }
    }

private:
    std::map<std::string, double> nanoseconds;
    std::set<std::string> medians;
};

}  // namespace

int main(int argc, char** argv) {
    for (const auto& [name, path] : PATHS) {
        benchmark::RegisterBenchmark(("ours/compose_" + name).c_str(), oursCompose, path);
        benchmark::RegisterBenchmark(("reference/compose_" + name).c_str(), referenceCompose, path);
    }
    benchmark::RegisterBenchmark("ours/settings_parse", oursSettings);
    benchmark::RegisterBenchmark("reference/settings_parse", referenceSettings);
    benchmark::RegisterBenchmark("ours/publish_prepare", oursPublish);
    benchmark::RegisterBenchmark("reference/publish_prepare", referencePublish);

    benchmark::Initialize(&argc, argv);
    PairingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
