// Benchmarks of what the plug-in does on the host's thread, each beside the
// literal standard-library algorithm, in one binary and one run. After the
// usual report it prints each pair's times and the ratio ours / reference.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "outputs/messenger.h"
#include "outputs/now_playing.h"
#include "platform/standin.h"
#include "reference_algorithm.h"
#include "settings/settings_file.h"
#include "status/status_text.h"
#include "tags/media_tags.h"
#include "text/bounded_text.h"

namespace {

// File names here are ASCII: each byte one unit.
std::u16string widePath(const std::string& path) {
    return std::u16string(path.begin(), path.end());
}

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

// From the path the host announces to the record's bytes: the path
// converted, the status composed, the record filled; no messenger window is
// open, so the window search comes back empty.
void oursCompose(benchmark::State& state, const std::string& path) {
    const StatusProfiles profiles = defaults();
    static AnnouncedPath announced;
    static ComposedStatus composed;
    for (auto _ : state) {
        takeAnnouncedPath(path.c_str(), announced);
        composeStatus(announced, profiles, composed);
        sendStatus(composed.statusText, composed.statusLength + 2, nullptr);
        benchmark::ClobberMemory();
    }
}

void referenceCompose(benchmark::State& state, const std::string& path) {
    const reference::Profiles profiles = reference::defaultProfiles();
    for (auto _ : state) {
        const char* text = reference::composeStatus(path.c_str(), profiles);
        benchmark::DoNotOptimize(reference::prepareRecord(text, std::strlen(text) + 2));
        benchmark::ClobberMemory();
    }
}

void oursSettings(benchmark::State& state) {
    static PluginSettings settings;
    for (auto _ : state) {
        readSettingsBytes(SETTINGS_FILE.data(), SETTINGS_FILE.size(), settings, nullptr);
        benchmark::DoNotOptimize(settings);
    }
}

void referenceSettings(benchmark::State& state) {
    reference::Profiles profiles = reference::defaultProfiles();
    for (auto _ : state) {
        reference::parseSettings(SETTINGS_FILE.data(), SETTINGS_FILE.size(), profiles);
        benchmark::DoNotOptimize(profiles);
    }
}

// A publish with the now-playing file: the record prepared (no messenger
// window is open), the text handed to the worker, and the worker's write
// waited for: the file replaced whole through a temporary file.
void oursPublishWithFile(benchmark::State& state, const std::string& folder) {
    static PluginSettings settings;
    setDefaultSettings(settings);
    const std::u16string path = widePath(folder + "/nowplaying.txt");
    path.copy(settings.nowPlaying.path, path.size());
    settings.nowPlaying.path[path.size()] = u'\0';
    static AnnouncedPath announced;
    static ComposedStatus composed;
    takeAnnouncedPath(PATHS.at("road").c_str(), announced);
    composeStatus(announced, settings.profiles, composed, &settings.nowPlaying);
    for (auto _ : state) {
        sendStatus(composed.statusText, composed.statusLength + 2, nullptr);
        postNowPlaying(settings.nowPlaying, composed.nowPlayingText, composed.nowPlayingLength);
        standin::waitForBackgroundRuns();
    }
}

// The floor: the same bytes written to a new file with one plain create,
// write and close, and the file deleted again for the next round.
void floorPublishWithFile(benchmark::State& state, const std::string& folder) {
    const std::u16string path = widePath(folder + "/floor.txt");
    const char text[] = "My Band - Best Song";
    for (auto _ : state) {
        PlatformFile file = PLATFORM_NO_FILE;
        if (createNewFile(path.c_str(), file) == NewFileResult::Written) {
            benchmark::DoNotOptimize(appendToFile(file, text, sizeof text - 1));
            closeFile(file);
        }
        deleteFile(path.c_str());
    }
}

// One generated file of each tag format (tests/tags/make_media.py), and the
// files whose tags lie past large data.
const std::map<std::string, std::string> MEDIA_FILES = {
    {"id3v2", "v24-utf8.mp3"},
    {"id3v1", "v1.mp3"},
    {"id3_after_picture", "v23-picture-first.mp3"},
    {"wav_info", "info.wav"},
    {"wav_id3", "id3.wav"},
    {"mp4", "faststart.m4a"},
    {"mp4_moov_at_end", "large-moov-at-end.mp4"},
    {"matroska", "video.mkv"},
    {"matroska_tags_at_end", "tags-at-end.mkv"},
    {"flac", "song.flac"},
    {"ogg_vorbis", "song.ogg"},
    {"ogg_opus", "song.opus"},
    {"asf", "song.wma"},
    {"asf_extended", "extended.wma"},
    {"avi", "video.avi"},
    {"apev2_wavpack", "song.wv"},
    {"apev2_mp3", "ape.mp3"},
    {"aiff", "id3.aiff"},
    {"dsf", "song.dsf"},
    {"module", "song.xm"},
    {"ogg_flac", "song.oga"},
    {"mp4_keys", "keys.mov"},
    {"id3_before_flac", "id3-padding.flac"},
};

void oursTags(benchmark::State& state, const std::string& path) {
    MediaTags tags;
    const std::u16string wide = widePath(path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(readMediaTags(wide.c_str(), tags));
        benchmark::ClobberMemory();
    }
    if (tags.title[0] == '\0') state.SkipWithError("no title read");
}

// The floor: open the file, read its first 4 KiB, close it.
void floorTags(benchmark::State& state, const std::string& path) {
    static unsigned char head[4096];
    const std::u16string wide = widePath(path);
    for (auto _ : state) {
        const PlatformFile file = openFileForReading(wide.c_str());
        benchmark::DoNotOptimize(readFileAt(file, 0, head, sizeof head));
        closeFile(file);
        benchmark::ClobberMemory();
    }
}

// One file of each family with a duration, read with its tags and facts.
const std::map<std::string, std::string> FACT_FILES = {
    {"mp3_xing", "length-vbr.mp3"},
    {"mp3_cbr_estimate", "length-cbr-no-xing.mp3"},
    {"mp3_vbr_estimate", "length-vbr-no-xing.mp3"},
    {"wav", "length.wav"},
    {"rf64", "length-rf64.wav"},
    {"aiff", "length.aiff"},
    {"flac", "length.flac"},
    {"ogg_vorbis", "length.ogg"},
    {"ogg_opus", "length.opus"},
    {"ogg_flac", "length.oga"},
    {"ogg_theora", "length-video.ogv"},
    {"mp4_audio", "length.m4a"},
    {"mp4_video", "length-video.mp4"},
    {"matroska_video", "length-video.mkv"},
    {"matroska_audio", "length.mka"},
    {"asf_audio", "length.wma"},
    {"asf_video", "length-video.wmv"},
    {"avi", "length-video.avi"},
    {"wavpack", "length.wv"},
    {"tta", "length.tta"},
    {"monkeys_audio", "length.ape"},
    {"musepack", "length.mpc"},
    {"dsf", "length.dsf"},
    {"aac_adts_estimate", "length.aac"},
    {"ogg_late_start", "length-late-start.ogg"},
    {"ogg_cover_264k", "length-cover.ogg"},
    {"ogg_speex", "length.spx"},
    {"wav_adpcm_fact", "length-adpcm-ms.wav"},
    {"wav_pipe", "length-pipe.wav"},
    {"aifc_ima4", "length-ima4.aifc"},
    {"avi_audio", "length-audio.avi"},
    {"mp4_fragmented", "length-fragmented.m4a"},
    {"asf_cover_track", "length-cover-track.wma"},
    {"matroska_cover_track", "length-cover-track.mka"},
};

void oursFacts(benchmark::State& state, const std::string& path) {
    MediaTags tags;
    const std::u16string wide = widePath(path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(readMediaTags(wide.c_str(), tags, MediaRead::TagsAndFacts));
        benchmark::ClobberMemory();
    }
    if (!tags.hasDuration) state.SkipWithError("no duration read");
}

// The floor: the reads our reader made, as calls of the same kinds and
// sizes (a 4 KiB window, a page header's 282 bytes), spread over the file,
// with nothing parsed; the first window is the file's first 4 KiB. What a
// format makes a reader visit (Ogg's page headers past a picture, the
// windows an estimate samples) is in the floor; what our parsing adds is
// the ratio.
struct ReadCounts {
    unsigned windows;
    unsigned smallReads;
};

void floorFacts(benchmark::State& state, const std::string& path, ReadCounts reads) {
    static unsigned char piece[4096];
    constexpr std::size_t PAGE_HEADER_BYTES = 27 + 255;
    const std::u16string wide = widePath(path);
    for (auto _ : state) {
        const PlatformFile file = openFileForReading(wide.c_str());
        std::uint64_t size = 0;
        if (fileSize(file, size) && size > sizeof piece) {
            const std::uint64_t span = size - sizeof piece;
            for (unsigned i = 0; i < reads.windows; ++i) {
                const std::uint64_t at = reads.windows > 1 ? span * i / (reads.windows - 1) : 0;
                benchmark::DoNotOptimize(readFileAt(file, at, piece, sizeof piece));
            }
            for (unsigned i = 0; i < reads.smallReads; ++i) {
                const std::uint64_t at = span * (i + 1) / (reads.smallReads + 1);
                benchmark::DoNotOptimize(readFileAt(file, at, piece, PAGE_HEADER_BYTES));
            }
        }
        closeFile(file);
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
        std::printf("\n%-26s %12s %14s %8s\n", "case", "ours (ns)", "reference (ns)", "ratio");
        for (const auto& [name, ours] : nanoseconds) {
            if (name.rfind("ours/", 0) != 0) continue;
            const std::string caseName = name.substr(5);
            const auto reference = nanoseconds.find("reference/" + caseName);
            if (reference == nanoseconds.end()) continue;
            std::printf("%-26s %12.1f %14.1f %8.2f\n", caseName.c_str(), ours, reference->second,
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
        benchmark::RegisterBenchmark(("ours/path_to_record_" + name).c_str(), oursCompose, path);
        benchmark::RegisterBenchmark(("reference/path_to_record_" + name).c_str(), referenceCompose,
                                     path);
    }
    benchmark::RegisterBenchmark("ours/settings_parse", oursSettings);
    benchmark::RegisterBenchmark("reference/settings_parse", referenceSettings);
    char folder[] = "/tmp/velkar-bench-XXXXXX";
    if (mkdtemp(folder) != nullptr) {
        standin::reset();
        benchmark::RegisterBenchmark("ours/publish_with_file", oursPublishWithFile,
                                     std::string(folder));
        benchmark::RegisterBenchmark("reference/publish_with_file", floorPublishWithFile,
                                     std::string(folder));
    }
    // Tags, against the floor of touching the file at all.
    const char* mediaDirectory = std::getenv("VELKAR_MEDIA_DIR");
    const std::string media = mediaDirectory != nullptr ? mediaDirectory : VELKAR_MEDIA_DIR;
    if (std::FILE* manifest = std::fopen((media + "/manifest.tsv").c_str(), "r")) {
        std::fclose(manifest);
        standin::reset();
        for (const auto& [name, file] : MEDIA_FILES) {
            benchmark::RegisterBenchmark(("ours/tags_" + name).c_str(), oursTags,
                                         media + "/" + file);
            benchmark::RegisterBenchmark(("reference/tags_" + name).c_str(), floorTags,
                                         media + "/" + file);
        }
        for (const auto& [name, file] : FACT_FILES) {
            const std::string path = media + "/" + file;
            MediaTags tags;
            readMediaTags(widePath(path).c_str(), tags, MediaRead::TagsAndFacts);
            benchmark::RegisterBenchmark(("ours/facts_" + name).c_str(), oursFacts, path);
            benchmark::RegisterBenchmark(("reference/facts_" + name).c_str(), floorFacts, path,
                                         ReadCounts{tags.windowReads, tags.smallReads});
            std::printf("facts_%s: %u windows, %u small reads, %u bytes\n", name.c_str(),
                        tags.windowReads, tags.smallReads, tags.bytesRead);
        }
    } else {
        std::fprintf(stderr, "no media files in %s (ctest makes them): tag reading not timed\n",
                     media.c_str());
    }

    benchmark::Initialize(&argc, argv);
    PairingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    if (std::system((std::string("rm -rf '") + folder + "'").c_str()) != 0) return 1;
    return 0;
}
