// velkar-preview as a user runs it: output and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "programs/preview/terminal.h"

namespace {

struct ToolRun {
    int exitStatus;
    std::string out;
    std::string err;
};

// Per-test file names, so that tests may run in parallel.
std::string scratchFile(const std::string& name) {
    return testing::TempDir() + testing::UnitTest::GetInstance()->current_test_info()->name() +
           "-" + name;
}

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the tool with `arguments`, in the folder `directory` when given.
ToolRun runPreview(const std::string& arguments, const std::string& directory = "") {
    const std::string out = scratchFile("preview.out");
    const std::string err = scratchFile("preview.err");
    const std::string command = (directory.empty() ? "" : "cd '" + directory + "' && ") +
                                std::string(VELKAR_PREVIEW_PATH) + " " + arguments + " >" + out +
                                " 2>" + err;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err)};
}

std::string writeSettings(const std::string& bytes) {
    const std::string path = scratchFile("velkar.ini");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

const char* const PATHS = "'C:\\Media\\My_Band_-_Best.Song.mp3' 'D:\\clips\\holiday.mpeg'";

TEST(PreviewTool, GoodFileShowsEachPath) {
    const std::string settings =
        writeSettings("2,watching [FILENAME]\r\n1,listening to [FILENAME]\r\n");
    const ToolRun run = runPreview("--settings " + settings + " " + PATHS);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(
        run.out.find("C:\\Media\\My_Band_-_Best.Song.mp3\n"
                     "  audio:        yes\n"
                     "  tags:         (the file cannot be opened)\n"
                     "  title:        'My Band - Best Song'\n"
                     "  status text:  \\0Music\\01\\0{0}\\0listening to My Band - Best Song \\0\n"
                     "  category:     'Music'\n"
                     "  display line: 'listening to My Band - Best Song '\n"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("D:\\clips\\holiday.mpeg\n"
                           "  audio:        no\n"
                           "  tags:         (the file cannot be opened)\n"
                           "  title:        'holiday'\n"
                           "  status text:  \\0Office\\01\\0{0}\\0watching holiday \\0\n"),
              std::string::npos)
        << run.out;
}

// Without --settings it reads the file the plug-in reads (here, with no
// registry value, c:\velkar.ini), and says which; --defaults, or no such
// file, gives the built-in wording.
TEST(PreviewTool, ReadsWhatThePluginReadsUnlessToldOtherwise) {
    const std::string folder = testing::TempDir() + "preview-source";
    ASSERT_EQ(std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "/c:'").c_str()), 0);
    std::ofstream(folder + "/c:/velkar.ini", std::ios::binary)
        << "2,seeing [FILENAME]\r\n1,listening to [TAGS]\r\n";
    const std::string media = std::string(VELKAR_MEDIA_DIR) + "/v23-utf16.mp3";
    struct Case {
        std::string arguments, directory, expected;
    };
    const Case cases[] = {
        {media, folder,
         "settings: c:\\velkar.ini (read in code page 1252), the file the plug-in reads\n"},
        {media, folder, "display line: 'listening to Bj\xC3\xB6rk - J\xC3\xB3ga '\n"},
        {"--defaults " + media, folder, "settings: built-in defaults\n"},
        {"--defaults " + media, folder, "/media/v23-utf16'\n"},  // the name: no backslash here
        {PATHS, testing::TempDir(),
         "settings: c:\\velkar.ini is not there: the built-in defaults, as for the plug-in\n"},
        {PATHS, testing::TempDir(), "status text:  \\0Office\\01\\0{0}\\0watching holiday\\0\n"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runPreview(c.arguments, c.directory);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.expected << "\n" << run.out;
    }
}

// It waits for a key only in a console of its own, read from it: not in a
// command prompt or a script, which share theirs, nor with piped input.
TEST(PreviewTool, WaitsForAKeyOnlyInAConsoleOfItsOwn) {
    EXPECT_TRUE(shouldWaitForKey(1, true));
    EXPECT_FALSE(shouldWaitForKey(2, true));
    EXPECT_FALSE(shouldWaitForKey(1, false));
    EXPECT_FALSE(shouldWaitForKey(0, false));
}

TEST(PreviewTool, FaultyFileIsReportedWithLineNumbers) {
    const std::string settings = writeSettings(
        "2,watching [FILENAME]\n1,listening to\n; fine\ncolour=red\nnowplaying-encoding=latin1\n");
    const ToolRun run = runPreview("--settings " + settings + " x.mp3");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err,
              settings +
                  ":2: no marker ([FILENAME], [TAGS], [TITLE], [ARTIST] or [ALBUM]); the audio "
                  "profile keeps its defaults\n" +
                  settings +
                  ":4: unknown name (nowplaying-file, nowplaying-text, nowplaying-withdrawn or "
                  "nowplaying-encoding); ignored\n" +
                  settings +
                  ":5: bad value (an encoding is utf-8, utf-8-bom, utf-16 or ansi; a path or "
                  "text may not be that long); ignored\n");
    EXPECT_NE(run.out.find("status text:  \\0Music\\01\\0{0}\\0x\\0\n"), std::string::npos);
}

TEST(PreviewTool, ExitStatusOnBadUse) {
    struct Case {
        std::string arguments;
        int exitStatus;
        std::string errStart;
    };
    const Case cases[] = {
        {"--settings " + testing::TempDir() + "missing.ini x.mp3", 1,
         "velkar-preview: cannot read settings file"},
        {"", 2, "velkar-preview: no file path given"},
        {"--settings", 2, "velkar-preview: unknown or incomplete option '--settings'"},
        {"--colour x.mp3", 2, "velkar-preview: unknown or incomplete option '--colour'"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runPreview(c.arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(run.err.substr(0, c.errStart.size()), c.errStart) << c.arguments;
    }
}

#define DEFAULT_RULES                                           \
    "private files: none (no private line)\n"                   \
    "a track ends by itself 30 s after its end (stale-after)\n" \
    "audio files: by extension: .mp3 and .wav (audio-files)\n"

// The text is shown as the messenger receives it, in the terminal's UTF-8;
// paths typed in UTF-8 reach the plug-in in the code page.
TEST(PreviewTool, TextIsShownAsTheMessengerReceivesIt) {
    struct Case {
        std::string settings;  // empty: none
        std::string arguments;
        std::string expected;  // in the output
    };
    const Case cases[] = {
        {"2,\xE9"
         "coute [FILENAME]\n",
         "x.avi",
         "(read in code page 1252)\nnow-playing file: none (no nowplaying-file line)\n"
         "discord: none (no discord=on or discord-application-id line)\n" DEFAULT_RULES "\n"
         "x.avi\n  audio:        no\n"
         "  tags:         (the file cannot be opened)\n  title:        'x'\n"
         "  status text:  \\0Office\\01\\0{0}\\0\xC3\xA9"
         "coute x \\0\n"},
        {"\xEF\xBB\xBF"
         "2,\xC3\xA9"
         "coute [FILENAME]\n",
         "x.avi",
         "(read as UTF-8)\nnow-playing file: none (no nowplaying-file line)\n"
         "discord: none (no discord=on or discord-application-id line)\n" DEFAULT_RULES "\n"
         "x.avi\n  audio:        no\n"
         "  tags:         (the file cannot be opened)\n  title:        'x'\n"
         "  status text:  \\0Office\\01\\0{0}\\0\xC3\xA9"
         "coute x \\0\n"},
        {std::string("\xFE\xFF\0"
                     "2\0,\x4F\x60\0 \0[\0F\0I\0L\0E\0N\0A\0M\0E\0]\0\n",
                     32),
         "x.avi",
         "(read as UTF-16BE)\nnow-playing file: none (no nowplaying-file line)\n"
         "discord: none (no discord=on or discord-application-id line)\n" DEFAULT_RULES "\n"
         "x.avi\n  audio:        no\n"
         "  tags:         (the file cannot be opened)\n  title:        'x'\n"
         "  status text:  \\0Office\\01\\0{0}\\0\xE4\xBD\xA0 x \\0\n"},
        {"", "'C:\\Caf\xC3\xA9_\xE2\x82\xAC.mp3'", "display line: 'Caf\xC3\xA9 \xE2\x82\xAC'\n"},
        {"", "--code-page 932 'C:\\Music\\\xE3\x82\xBD\xE3\x83\xB3\xE3\x82\xB0.mp3'",
         "display line: '\xE3\x82\xBD\xE3\x83\xB3\xE3\x82\xB0'\n"},
        {"2,\xE2\x99\xAA [FILENAME]\n", "--code-page 65001 'C:\\Caf\xC3\xA9_\xF0\x9F\x98\x80.avi'",
         "display line: '\xE2\x99\xAA Caf\xC3\xA9 \xF0\x9F\x98\x80 '\n"},
        // The file's own tags, shown whichever marker the template holds,
        // and used where it holds [TAGS].
        {"2,[FILENAME]\n1,[TAGS]\n", std::string(VELKAR_MEDIA_DIR) + "/v23-utf16.mp3",
         "  tags:         MP3 ID3v2.3\n  tag artist:   'Bj\xC3\xB6rk'\n"
         "  tag title:    'J\xC3\xB3ga'\n  tag album:    ''\n"
         "  duration:     0:00\n  media:        audio\n"
         "  cover:        (none: the cover file shows the missing image, or none)\n"
         "  title:        'Bj\xC3\xB6rk - J\xC3\xB3ga'\n"},
        {"", std::string(VELKAR_MEDIA_DIR) + "/untagged.mp4",
         "  tags:         (none found; [TAGS] takes the file's name)\n"
         "  duration:     0:00\n  media:        video\n"},
        {"", std::string(VELKAR_MEDIA_DIR) + "/length-video.mkv",
         "  duration:     1:06\n  media:        video\n"},
        {"", std::string(VELKAR_MEDIA_DIR) + "/song.xm",
         "  duration:     (unknown: [DURATION] is empty)\n  media:        audio\n"},
        // Discord's command for the file, as JSON.
        {"2,[FILENAME]\n1,[TAGS]\ndiscord-application-id=42\n",
         std::string(VELKAR_MEDIA_DIR) + "/presence-song.mp3",
         "\"activity\":{\"type\":2,\"status_display_type\":2,\"details\":\"Best Song\","
         "\"state\":\"by My Band\",\"timestamps\":{\"start\":"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\ndiscord-time=none\n", "x.mkv",
         "discord: application 42 (shows details, time none, image the release's cover, else "
         "none)\n" DEFAULT_RULES "\nx.mkv\n"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\ndiscord-time=none\n", "x.mkv",
         "\"activity\":{\"type\":3,\"status_display_type\":2,\"details\":\"x \"}"},
        // The switches, the private files, when a track ends, what is audio.
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\ndiscord=off\n"
         "nowplaying-file=np.txt\nnowplaying=off\n",
         "x.mkv", "now-playing file: off (nowplaying=off)\ndiscord: off (discord=off)\n"},
        {"2,[FILENAME]\n1,[FILENAME]\nprivate=C:\\Home Videos;*\\t.flac\n",
         "'c:\\HOME VIDEOS\\2024\\beach.mkv'",
         "  private:      yes: a publish withdraws the status, the now-playing and JSON files and "
         "Discord\n"},
        {"2,[FILENAME]\n1,[FILENAME]\nprivate=C:\\Home Videos;*\\t.flac\n", "'D:\\T.Flac'",
         "  private:      yes"},
        // The JSON file's object for the file, its release id included.
        {"2,[FILENAME]\n1,[FILENAME]\nnowplaying-json=np.json\n",
         std::string(VELKAR_MEDIA_DIR) + "/release.flac",
         "\"media\":\"audio\",\"file\":\"release.flac\",\"musicbrainz_albumid\":"
         "\"76df3287-6cda-33eb-8e9a-044b5e15ffdd\",\"playing\":true,\"updated\":...}\n"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\n",
         std::string(VELKAR_MEDIA_DIR) + "/length.flac", "  audio:        no\n"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\naudio-files=content\n",
         std::string(VELKAR_MEDIA_DIR) + "/length.flac", "  audio:        yes\n"},
        {"2,[FILENAME]\n1,[FILENAME]\naudio-files=content\n",
         std::string(VELKAR_MEDIA_DIR) + "/length-video.mkv", "  audio:        no\n"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\nstale-after=75\n",
         std::string(VELKAR_MEDIA_DIR) + "/length.flac",
         "  ends:         1:15 after its end, unless the player says more\n"},
        {"2,[FILENAME]\n1,[FILENAME]\ndiscord-application-id=42\nstale-after=never\n",
         std::string(VELKAR_MEDIA_DIR) + "/length.flac",
         "  ends:         with a withdraw only (stale-after=never)\n"},
    };
    for (const Case& c : cases) {
        const std::string settings =
            c.settings.empty() ? "" : "--settings " + writeSettings(c.settings) + " ";
        const ToolRun run = runPreview(settings + c.arguments);
        EXPECT_EQ(run.exitStatus, 0) << c.arguments << run.err;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.expected << "\n" << run.out;
    }
    EXPECT_EQ(runPreview("--code-page 99999 x.mp3").exitStatus, 2);
}

// Where the now-playing file goes (a relative path from the settings file's
// folder), what it will hold for each file, and why it will not be written.
TEST(PreviewTool, NowPlayingFileIsShown) {
    const std::string folder = testing::TempDir();
    const std::string large = scratchFile("large.txt");
    std::ofstream(large, std::ios::binary) << std::string(100 * 1024, 'x');
    std::ofstream(folder + "np.txt", std::ios::binary) << "an earlier text";
    std::ofstream(folder + "np.png", std::ios::binary) << "no picture";
    ASSERT_EQ(setenv("ProgramFiles", (folder + "programs").c_str(), 1), 0);
    ASSERT_EQ(setenv("VELKAR_LOCAL_DATA", (folder + "local").c_str(), 1), 0);
    struct Case {
        std::string lines;
        std::string expected;
        std::string media = "v23-utf16.mp3";
    };
    const Case cases[] = {
        // The cover: where it goes, and what the file holds for it.
        {"nowplaying-cover=" + folder + "np.txt\n",
         "  it will not be written: its name does not end in .jpg, .jpeg, .png"},
        {"nowplaying-cover=" + folder + "np.png\n",
         "  it will not be written: what is there is not a picture the plug-in may replace"},
        {"nowplaying-cover=cover.jpg\n", "  cover:        JPEG, 307204 bytes, the front cover\n",
         "release-big-v23.mp3"},
        {"nowplaying-cover=cover.jpg\n",
         "  cover:        (none: the cover file shows the missing image, or none)\n"},
        {"nowplaying-file=np.txt\nnowplaying-text=[TITLE]{ by [ARTIST]}{ ([ALBUM])}\n",
         "now-playing file: " + folder + "np.txt (utf-8)\n"},
        {"nowplaying-file=np.txt\nnowplaying-text=[TITLE]{ by [ARTIST]}{ ([ALBUM])}\n",
         "  now playing:  'J\xC3\xB3ga by Bj\xC3\xB6rk'\n"},
        {"nowplaying-file=np.txt\nnowplaying-withdrawn=Paused\nnowplaying-encoding=utf-16\n",
         "now-playing file: " + folder + "np.txt (utf-16; after a withdraw: 'Paused')\n"},
        // Without a template, the display line exactly as sent.
        {"nowplaying-file=np.txt\n", "  now playing:  'Bj\xC3\xB6rk - J\xC3\xB3ga '\n"},
        {"nowplaying-file=" + large + "\n",
         "  it will not be written: what is there is not a now-playing file"},
        {"nowplaying-file=" + folder + "missing/deeper/np.txt\n",
         "  it will not be written: its folder does not exist, or may not be written\n"},
        {"nowplaying-file=" + writeSettings("2,[FILENAME]\n") + "\n",
         "  it will not be written: what is there is not a now-playing file"},
        {"nowplaying-file=" + folder + "np.txt\n",
         "np.txt (utf-8)\n  a file is there: each write replaces what it holds\n"},
        {"nowplaying-file=" + folder + "run.ps1\n",
         "  it will not be written: only a file whose name ends in .txt is written"},
        {"nowplaying-file=" + folder + "com1.txt\n",
         "  it will not be written: the name is a device's"},
        // Shown expanded; under Program Files, said to be no place to write.
        {"nowplaying-file=%VELKAR_LOCAL_DATA%/Velkar/np.txt\n",
         "now-playing file: " + folder + "local/Velkar/np.txt (utf-8)\n"},
        {"nowplaying-file=%ProgramFiles%/np.txt\n", "  it lies under Program Files"},
    };
    for (const Case& c : cases) {
        const std::string settings = writeSettings("2,[FILENAME]\n1,[TAGS]\n" + c.lines);
        const ToolRun run =
            runPreview("--settings " + settings + " " + VELKAR_MEDIA_DIR + "/" + c.media);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << c.expected << "\n" << run.out;
    }
    EXPECT_EQ(readAll(large), std::string(100 * 1024, 'x'));
}

TEST(PreviewTool, HelpExplainsTheFileFormat) {
    const ToolRun run = runPreview("--help");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.out.find("[FILENAME]"), std::string::npos);
    EXPECT_NE(run.out.find("1 Music, 2 Office, 3 Games, 4 Empty"), std::string::npos);
}

// The shipped sample's two lines give the defaults' categories and words,
// the title from the tags where the file has them, and the file's name
// where it has none; each line's end adds one space after the title.
TEST(PreviewTool, SampleSettingsTakeTheTagsElseTheName) {
    const ToolRun sample = runPreview(std::string("--settings ") + VELKAR_SAMPLE_SETTINGS + " " +
                                      PATHS + " " + VELKAR_MEDIA_DIR + "/v23-utf16.mp3");
    EXPECT_EQ(sample.exitStatus, 0);
    EXPECT_EQ(sample.err, "");
    EXPECT_NE(sample.out.find("display line: 'My Band - Best Song '"), std::string::npos);
    EXPECT_NE(sample.out.find("display line: 'watching holiday '"), std::string::npos);
    EXPECT_NE(sample.out.find("category:     'Office'"), std::string::npos);
    EXPECT_NE(sample.out.find("display line: 'Bj\xC3\xB6rk - J\xC3\xB3ga '"), std::string::npos)
        << sample.out;
}

}  // namespace
