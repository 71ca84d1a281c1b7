// The now-playing file through the stand-in: real files in a scratch folder.
#include "outputs/now_playing.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "outputs/now_playing_json.h"
#include "test_support.h"

namespace {

constexpr unsigned ALWAYS = 0xFFFFFFFFu;  // refusals never used up

class NowPlayingFile : public ::testing::Test {
protected:
    void SetUp() override {
        standin::reset();
        char pattern[] = "/tmp/velkar-now-playing-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        setDefaultNowPlaying(settings);
        setPath(folder + "/nowplaying.txt");
    }
    void TearDown() override {
        ASSERT_EQ(std::system(("chmod -R u+w '" + folder + "'; rm -rf '" + folder + "'").c_str()),
                  0);
    }
    void setPath(const std::string& path) {
        const std::u16string wide = u16(path);
        wide.copy(settings.path, wide.size());
        settings.path[wide.size()] = u'\0';
    }
    // Hands the text over and waits for the worker to be done with it.
    NowPlayingOutcome write(const std::u16string& text) {
        postNowPlaying(settings, text.data(), text.size());
        standin::waitForBackgroundRuns();
        // Done, the write lets the module go: the host may unload it now.
        EXPECT_EQ(standin::moduleHoldCount(), 0);
        return lastNowPlayingOutcome();
    }
    std::string contents(const std::string& name = "nowplaying.txt") const {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    // The names in the folder, sorted: no temporary file may stay.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        if (DIR* directory = opendir(folder.c_str())) {
            while (dirent* entry = readdir(directory)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") found.push_back(name);
            }
            closedir(directory);
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    std::string folder;
    NowPlayingSettings settings;
};

TEST_F(NowPlayingFile, TheTextInEachEncodingAndNothingElse) {
    const std::u16string text = u"K\u00E4se \u266A \U0001F600";
    const struct {
        NowPlayingEncoding encoding;
        std::string bytes;
    } cases[] = {
        {NowPlayingEncoding::Utf8, "K\xC3\xA4se \xE2\x99\xAA \xF0\x9F\x98\x80"},
        {NowPlayingEncoding::Utf8WithMark, "\xEF\xBB\xBFK\xC3\xA4se \xE2\x99\xAA \xF0\x9F\x98\x80"},
        {NowPlayingEncoding::Utf16,
         std::string("\xFF\xFEK\0\xE4\0s\0e\0 \0\x6A\x26 \0\x3D\xD8\x00\xDE", 20)},
        // The stand-in's Latin-1: what it lacks becomes '?', a pair one '?'.
        {NowPlayingEncoding::Ansi, "K\xE4se ? ?"},
    };
    for (const auto& c : cases) {
        settings.encoding = c.encoding;
        EXPECT_EQ(write(text), NowPlayingOutcome::Replaced);
        EXPECT_EQ(contents(), c.bytes);
    }
    EXPECT_EQ(write(u""), NowPlayingOutcome::Replaced);
    EXPECT_EQ(contents(), "");
    EXPECT_EQ(names(), std::vector<std::string>{"nowplaying.txt"});
}

// While the file cannot be replaced, the move is tried again; when it never
// can be for NOW_PLAYING_IN_PLACE_AFTER_MILLISECONDS, the text is written
// in place. Either way no other file stays.
TEST_F(NowPlayingFile, RefusedReplacementsAreRetriedThenWrittenInPlace) {
    ASSERT_EQ(write(u"first"), NowPlayingOutcome::Replaced);
    standin::refuseReplacements(5);
    const std::size_t before = standin::replaceAttemptCount();
    EXPECT_EQ(write(u"second"), NowPlayingOutcome::Replaced);
    EXPECT_EQ(standin::replaceAttemptCount() - before, 6u);
    EXPECT_EQ(contents(), "second");
    standin::refuseReplacements(ALWAYS);
    EXPECT_EQ(write(u"third, longer"), NowPlayingOutcome::WrittenInPlace);
    EXPECT_EQ(contents(), "third, longer");
    standin::refuseReplacements(0);
    EXPECT_EQ(write(u"fourth"), NowPlayingOutcome::Replaced);
    EXPECT_EQ(contents(), "fourth");
    EXPECT_EQ(names(), std::vector<std::string>{"nowplaying.txt"});
}

// The temporary file is created only where nothing is: a name another
// program holds is left as it is and the next one taken; a short in-place
// write leaves what it wrote, never old text behind new.
TEST_F(NowPlayingFile, NoFileOfAnotherIsTouched) {
    standin::occupyNewFileNames(3);
    EXPECT_EQ(write(u"first"), NowPlayingOutcome::Replaced);
    EXPECT_EQ(contents(), "first");
    const std::vector<std::string> found = names();
    ASSERT_EQ(found.size(), 4u);
    for (const std::string& name : found) {
        if (name == "nowplaying.txt") continue;
        EXPECT_EQ(name.rfind("nowplaying.txt.velkar-", 0), 0u) << name;
        EXPECT_EQ(contents(name), standin::OCCUPIED_NAME_TEXT) << name;
    }
    standin::occupyNewFileNames(NOW_PLAYING_TEMPORARY_NAME_TRIES);
    EXPECT_EQ(write(u"second"), NowPlayingOutcome::CannotWrite);
    EXPECT_EQ(contents(), "first");
    EXPECT_EQ(names().size(), 4u + NOW_PLAYING_TEMPORARY_NAME_TRIES);

    standin::refuseReplacements(ALWAYS);
    standin::stopInPlaceWritesAfter(4);
    EXPECT_EQ(write(u"a longer third"), NowPlayingOutcome::CannotWrite);
    EXPECT_EQ(contents(), "a lo");
    standin::stopInPlaceWritesAfter(0);
}

// A slip in the settings never destroys a user's file: only a file that
// looks like a now-playing file is replaced; a missing folder costs nothing.
TEST_F(NowPlayingFile, WhatIsNotANowPlayingFileIsLeftAlone) {
    const std::string large(NOW_PLAYING_LARGEST_REPLACED + 1, 'x');
    std::ofstream(folder + "/large.txt", std::ios::binary) << large;
    std::ofstream(folder + "/small.txt", std::ios::binary)
        << std::string(NOW_PLAYING_LARGEST_REPLACED, 'y');
    std::ofstream(folder + "/locked.txt", std::ios::binary) << "mine";
    std::ofstream(folder + "/notes.ini", std::ios::binary) << "[notes]";
    const std::string scripts[] = {"run.ps1",  "run.vbs", "page.js",  "tool.com",
                                   "show.scr", "fix.reg", "setup.msi"};
    for (const std::string& script : scripts) {
        std::ofstream(folder + "/" + script, std::ios::binary) << "mine";
    }
    ASSERT_EQ(chmod((folder + "/locked.txt").c_str(), 0444), 0);
    ASSERT_EQ(mkdir((folder + "/folder.txt").c_str(), 0755), 0);
    const struct {
        std::string name;
        NowPlayingOutcome outcome;
        std::string after;
    } cases[] = {
        {"large.txt", NowPlayingOutcome::NotANowPlayingFile, large},
        {"locked.txt", NowPlayingOutcome::NotANowPlayingFile, "mine"},
        {"folder.txt", NowPlayingOutcome::NotANowPlayingFile, ""},
        // One folder is made where its parent exists; no more.
        {"missing/deeper/nowplaying.txt", NowPlayingOutcome::CannotWrite, ""},
        {"made/nowplaying.txt", NowPlayingOutcome::Replaced, "text"},
        // Only a text file, whatever else a name says, and no stream of
        // a file: never taken, never made.
        {"notes.ini", NowPlayingOutcome::NotATextFile, "[notes]"},
        {"notes.INI. .", NowPlayingOutcome::NotATextFile, ""},
        {"Setup.Exe", NowPlayingOutcome::NotATextFile, ""},
        {"run.cmd", NowPlayingOutcome::NotATextFile, ""},
        {"run.ps1", NowPlayingOutcome::NotATextFile, "mine"},
        {"run.vbs", NowPlayingOutcome::NotATextFile, "mine"},
        {"page.js", NowPlayingOutcome::NotATextFile, "mine"},
        {"tool.com", NowPlayingOutcome::NotATextFile, "mine"},
        {"show.scr", NowPlayingOutcome::NotATextFile, "mine"},
        {"fix.reg", NowPlayingOutcome::NotATextFile, "mine"},
        {"setup.msi", NowPlayingOutcome::NotATextFile, "mine"},
        {"small.txt:np", NowPlayingOutcome::NotATextFile, ""},
        // Devices, with any extension, as Windows 10 and earlier open them.
        {"com1.txt", NowPlayingOutcome::DeviceName, ""},
        {"LPT9.log.txt", NowPlayingOutcome::DeviceName, ""},
        {"nul .txt", NowPlayingOutcome::DeviceName, ""},
        {"Aux.TXT", NowPlayingOutcome::DeviceName, ""},
        {"com\xC2\xB9.txt", NowPlayingOutcome::DeviceName, ""},
        {"com10.txt", NowPlayingOutcome::Replaced, "text"},
        // The temporary file's path must keep to Windows' limit.
        {std::string(240, 'n') + ".txt", NowPlayingOutcome::PathTooLong, ""},
        {"small.txt", NowPlayingOutcome::Replaced, "text"},
        {"dll.txt", NowPlayingOutcome::Replaced, "text"},
        {"Notes. .TXT. ", NowPlayingOutcome::Replaced, "text"},
    };
    for (const auto& c : cases) {
        setPath(folder + "/" + c.name);
        EXPECT_EQ(checkNowPlayingTarget(settings), c.outcome) << c.name;
        EXPECT_EQ(write(u"text"), c.outcome) << c.name;
        EXPECT_EQ(contents(c.name), c.after) << c.name;
    }
    EXPECT_EQ(names(), (std::vector<std::string>{
                           "Notes. .TXT. ", "com10.txt", "dll.txt", "fix.reg", "folder.txt",
                           "large.txt", "locked.txt", "made", "notes.ini", "page.js", "run.ps1",
                           "run.vbs", "setup.msi", "show.scr", "small.txt", "tool.com"}));
    setDefaultNowPlaying(settings);
    EXPECT_EQ(checkNowPlayingTarget(settings), NowPlayingOutcome::NoFile);
}

// A temporary file of ours that a crash left is deleted by a later write
// once a minute old; a younger one, or any other name, stays.
TEST_F(NowPlayingFile, LeftoversOfACrashAreDeleted) {
    const std::string leftovers[] = {"nowplaying.txt.velkar-1a2c-7", "nowplaying.txt.velkar-1a2c-8",
                                     "nowplaying.txt.velkar-notes", "nowplaying.txt.velkar-1-2-3",
                                     "other.txt.velkar-1a2c-7"};
    for (const std::string& name : leftovers) {
        std::ofstream(folder + "/" + name, std::ios::binary) << "left";
        if (name != "nowplaying.txt.velkar-1a2c-8") {
            const timeval old[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
            ASSERT_EQ(utimes((folder + "/" + name).c_str(), old), 0);
        }
    }
    EXPECT_EQ(write(u"now"), NowPlayingOutcome::Replaced);
    EXPECT_EQ(names(),
              (std::vector<std::string>{"nowplaying.txt", "nowplaying.txt.velkar-1-2-3",
                                        "nowplaying.txt.velkar-1a2c-8",
                                        "nowplaying.txt.velkar-notes", "other.txt.velkar-1a2c-7"}));
}

// The JSON file: the track's fields as written, each write ending with a
// greater "updated"; only a name ending in .json is written.
TEST_F(NowPlayingFile, JsonFieldsAndAGrowingWriteNumber) {
    static ComposedStatus composed{};
    std::memcpy(composed.tagTitle, u"Say \"hi\" \\o/", sizeof u"Say \"hi\" \\o/");
    std::memcpy(composed.tagArtist, u"Bj\u00F6rk", sizeof u"Bj\u00F6rk");
    composed.tagAlbum[0] = u'\0';
    composed.hasDuration = true;
    composed.durationSeconds = 65;
    composed.hasPictures = false;
    std::memcpy(composed.musicBrainzAlbumId, "76df3287-6cda-33eb-8e9a-044b5e15ffdd", 37);
    static AnnouncedPath path;
    takeAnnouncedPath("C:\\Music\\j\xF3ga.mp3", path);
    const std::string track =
        "{\"title\":\"Say \\\"hi\\\" \\\\o/\",\"artist\":\"Bj\xC3\xB6rk\",\"album\":\"\","
        "\"duration\":65,\"started\":1700000000,\"media\":\"audio\",\"file\":\"j\xC3\xB3ga.mp3\","
        "\"musicbrainz_albumid\":\"76df3287-6cda-33eb-8e9a-044b5e15ffdd\",\"playing\":";
    const struct {
        const ComposedStatus* composed;
        bool playing;
        std::string expected;
    } cases[] = {
        {&composed, true, track + "true"},
        {&composed, false, track + "false"},
        {nullptr, false,
         "{\"title\":\"\",\"artist\":\"\",\"album\":\"\",\"duration\":null,\"started\":null,"
         "\"media\":null,\"file\":\"\",\"musicbrainz_albumid\":null,\"playing\":false"},
    };
    const std::u16string jsonPath = u16(folder + "/overlay.json");
    jsonPath.copy(settings.jsonPath, jsonPath.size());
    settings.jsonPath[jsonPath.size()] = u'\0';
    std::uint64_t lastUpdated = 0;
    for (const auto& c : cases) {
        char fields[NOW_PLAYING_JSON_CAPACITY];
        const std::size_t length = writeNowPlayingJsonFields(c.composed, &path, 1700000000,
                                                             c.playing, fields, sizeof fields);
        EXPECT_EQ(std::string(fields, length), c.expected);
        postNowPlayingJson(settings, fields, length);
        standin::waitForBackgroundRuns();
        EXPECT_EQ(lastNowPlayingJsonOutcome(), NowPlayingOutcome::Replaced);
        const std::string written = contents("overlay.json");
        const std::string ending = ",\"updated\":";
        ASSERT_EQ(written.compare(0, length, c.expected), 0) << written;
        ASSERT_EQ(written.compare(length, ending.size(), ending), 0) << written;
        ASSERT_EQ(written.substr(written.size() - 2), "}\n");
        const std::uint64_t updated = std::stoull(written.substr(length + ending.size()));
        EXPECT_GT(updated, lastUpdated);
        lastUpdated = updated;
    }
    const std::u16string notJson = u16(folder + "/overlay.txt");
    notJson.copy(settings.jsonPath, notJson.size());
    settings.jsonPath[notJson.size()] = u'\0';
    EXPECT_EQ(checkNowPlayingJsonTarget(settings), NowPlayingOutcome::NotATextFile);
    settings.switchedOff = true;
    postNowPlayingJson(settings, "{", 1);
    standin::waitForBackgroundRuns();
    EXPECT_EQ(names(), std::vector<std::string>{"overlay.json"});
}

// The cover: the picture copied byte for byte out of its media file, over
// nothing or an image only; without a picture (or one the file no longer
// holds) the missing image, else no file at all.
TEST_F(NowPlayingFile, CoverOnlyOverAnImageAndGoneWithoutOne) {
    const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40000, '\xFF');
    const std::string media = "song data " + png + " more song";
    std::ofstream(folder + "/song.bin", std::ios::binary) << media;
    std::ofstream(folder + "/missing.gif", std::ios::binary) << "GIF89a none";
    std::ofstream(folder + "/old.png", std::ios::binary) << "\xFF\xD8\xFF old cover";
    std::ofstream(folder + "/mine.jpg", std::ios::binary) << "my notes";
    std::ofstream(folder + "/locked.png", std::ios::binary) << "GIF87a mine";
    ASSERT_EQ(chmod((folder + "/locked.png").c_str(), 0444), 0);
    CoverLocation embedded{};
    embedded.coding = PictureCoding::Raw;
    embedded.offset = 10;
    embedded.length = embedded.size = static_cast<std::uint32_t>(png.size());
    embedded.fileSize = media.size();
    CoverLocation changed = embedded;
    changed.fileSize = media.size() + 1;  // the file changed since its tags were read
    CoverLocation noImage = embedded;
    noImage.offset = 0;  // "song data " begins no image
    const std::string missing = "GIF89a none";
    const struct {
        const char* name;
        const CoverLocation* cover;
        const char* missingImage;
        NowPlayingOutcome outcome;
        std::string after;  // "-": no file
    } cases[] = {
        {"cover.jpg", &embedded, "", NowPlayingOutcome::Replaced, png},
        {"old.png", &embedded, "", NowPlayingOutcome::Replaced, png},
        {"mine.jpg", &embedded, "", NowPlayingOutcome::NotANowPlayingFile, "my notes"},
        {"locked.png", &embedded, "", NowPlayingOutcome::NotANowPlayingFile, "GIF87a mine"},
        {"cover.txt", &embedded, "", NowPlayingOutcome::NotATextFile, "-"},
        {"nul.webp", &embedded, "", NowPlayingOutcome::DeviceName, "-"},
        {"cover.jpg", nullptr, "missing.gif", NowPlayingOutcome::Replaced, missing},
        {"cover.jpg", &changed, "missing.gif", NowPlayingOutcome::Replaced, missing},
        {"cover.jpg", &noImage, "mine.jpg", NowPlayingOutcome::Removed, "-"},
        {"cover.jpg", &embedded, "", NowPlayingOutcome::Replaced, png},
        {"cover.jpg", nullptr, "", NowPlayingOutcome::Removed, "-"},
        {"cover.jpg", nullptr, "", NowPlayingOutcome::Removed, "-"},
    };
    const std::u16string media16 = u16(folder + "/song.bin");
    for (const auto& c : cases) {
        const std::u16string cover = u16(folder + "/" + c.name);
        const std::u16string missingPath =
            u16(c.missingImage[0] != '\0' ? folder + "/" + c.missingImage : "");
        cover.copy(settings.coverPath, cover.size());
        settings.coverPath[cover.size()] = u'\0';
        missingPath.copy(settings.coverMissingPath, missingPath.size());
        settings.coverMissingPath[missingPath.size()] = u'\0';
        postNowPlayingCover(settings, media16.c_str(), c.cover);
        standin::waitForBackgroundRuns();
        EXPECT_EQ(standin::moduleHoldCount(), 0);
        EXPECT_EQ(lastNowPlayingCoverOutcome(), c.outcome) << c.name;
        const std::string after =
            access((folder + "/" + c.name).c_str(), F_OK) == 0 ? contents(c.name) : "-";
        EXPECT_TRUE(after == c.after) << c.name << ": " << after.size() << " bytes";
    }
    EXPECT_EQ(names(), (std::vector<std::string>{"locked.png", "mine.jpg", "missing.gif", "old.png",
                                                 "song.bin"}));
}

}  // namespace
