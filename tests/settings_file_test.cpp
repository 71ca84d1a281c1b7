// Finding and reading the settings file: the registry through the stand-in,
// real files in a scratch folder that is the working directory, so that the
// Windows-style paths ("c:\velkar.ini", "dir\plugins\velkar.ini") lie
// there, each backslash a folder's end as the stand-in reads it.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "outputs/now_playing.h"
#include "settings/settings_watch.h"
#include "test_support.h"

namespace {

const char* const FALLBACK_FILE = "2,fallback [FILENAME]\n1,fallback [FILENAME]\n";
const char* const DERIVED_FILE = "3,derived [FILENAME]\n4,derived [FILENAME]\n";
const char* const BESIDE_FILE = "2,beside [FILENAME]\n1,beside [FILENAME]\n";

class SettingsFiles : public FreshModule {
protected:
    void SetUp() override {
        FreshModule::SetUp();
        ASSERT_NE(getcwd(previousDirectory, sizeof previousDirectory), nullptr);
        char pattern[] = "/tmp/velkar-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        ASSERT_EQ(chdir(scratch.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(previousDirectory), 0);
        ASSERT_EQ(std::system(("rm -rf '" + scratch + "'").c_str()), 0);
    }
    // Writes `name`, a Windows-style path, with the folders it names.
    static void writeFile(const std::string& windowsName, const std::string& bytes) {
        std::string name = windowsName;
        std::replace(name.begin(), name.end(), '\\', '/');
        const std::size_t folder = name.rfind('/');
        if (folder != std::string::npos) {
            ASSERT_EQ(std::system(("mkdir -p '" + name.substr(0, folder) + "'").c_str()), 0);
        }
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr) << name;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    // The value in UTF-8 here, stored as the registry stores a string: UTF-16.
    static void setAppPath(const std::string& value) {
        standin::setRegistryString(u"SOFTWARE\\BST\\bsplayerv1", u"AppPath", u16(value).c_str());
    }
    static std::string settingsPath() {
        char16_t path[SETTINGS_PATH_CAPACITY];
        char16_t pluginFolder[SETTINGS_PATH_CAPACITY];
        findSettingsPath(
            path, ownModuleFolder(pluginFolder, SETTINGS_PATH_CAPACITY) ? pluginFolder : nullptr);
        return utf8(path);
    }
    static std::string loadedVideoPrefix() {
        PluginSettings settings;
        char16_t path[SETTINGS_PATH_CAPACITY];
        char16_t pluginFolder[SETTINGS_PATH_CAPACITY];
        findSettingsPath(
            path, ownModuleFolder(pluginFolder, SETTINGS_PATH_CAPACITY) ? pluginFolder : nullptr);
        readSettingsFile(path, settings, nullptr);
        return utf8(settings.profiles.videoProfile.prefix);
    }

    char previousDirectory[4096];
    std::string scratch;
};

struct PathCase {
    const char* name;
    std::string appPath;  // empty: no registry value
    std::string expectedPath;
};

TEST_F(SettingsFiles, SettingsPathFromTheRegistry) {
    const std::string folder240 = "C:\\" + std::string(237, 'f');  // + 19 = 259 characters
    const PathCase cases[] = {
        {"no value", "", "c:\\velkar.ini"},
        {"the host's program path", "C:\\Program Files\\Player\\player.exe",
         "C:\\Program Files\\Player\\plugins\\velkar.ini"},
        {"no backslash", "player.exe", "c:\\velkar.ini"},
        {"root folder", "C:\\player.exe", "C:\\plugins\\velkar.ini"},
        {"derived path just fits", folder240 + "\\player.exe", folder240 + "\\plugins\\velkar.ini"},
        {"derived path one too long", folder240 + "g\\player.exe", "c:\\velkar.ini"},
        {"value too long for its buffer", "C:\\" + std::string(300, 'v') + "\\p.exe",
         "c:\\velkar.ini"},
        // Whatever the code page: the value is UTF-16.
        {"a folder in another script", "C:\\\xD0\x9F\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80\\p.exe",
         "C:\\\xD0\x9F\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80\\plugins\\velkar.ini"},
    };
    for (const PathCase& c : cases) {
        standin::reset();
        if (!c.appPath.empty()) setAppPath(c.appPath);
        EXPECT_EQ(settingsPath(), c.expectedPath) << c.name;
    }
}

TEST_F(SettingsFiles, ValueWithoutTerminatorIsTerminatedWhereItEnds) {
    const std::u16string value = u"D:\\Player\\player.exe";
    standin::setRegistryValue(u"SOFTWARE\\BST\\bsplayerv1", u"AppPath", value.data(),
                              value.size() * sizeof(char16_t));
    EXPECT_EQ(settingsPath(), "D:\\Player\\plugins\\velkar.ini");
    // 300 units with no terminator leave no room for one: too long.
    const std::u16string full = u"D:\\" + std::u16string(297, u'p');
    standin::setRegistryValue(u"SOFTWARE\\BST\\bsplayerv1", u"AppPath", full.data(),
                              full.size() * sizeof(char16_t));
    EXPECT_EQ(settingsPath(), "c:\\velkar.ini");
}

TEST_F(SettingsFiles, WhichFileIsRead) {
    struct FileCase {
        const char* name;
        bool registryValue;
        bool derivedFile;
        bool fallbackFile;
        const char* videoPrefix;
        std::string folder = "Player";
        bool besideFile = false;  // a velkar.ini beside the plug-in's DLL
    };
    const FileCase cases[] = {
        {"no value, no file: defaults", false, false, false, "watching "},
        {"no value: the fallback file", false, false, true, "fallback "},
        {"value and its file, fallback present too", true, true, true, "derived "},
        {"value without its file: defaults, never the fallback", true, false, true, "watching "},
        // Where setup puts it when it finds no player.
        {"no value: the file beside the DLL before the fallback", false, false, true, "beside ",
         "Player", true},
        {"value: its file, never the one beside the DLL", true, true, true, "derived ", "Player",
         true},
        // Opened by its UTF-16 name, which no code page need hold.
        {"a folder in another script", true, true, true, "derived ",
         "\xD0\x9F\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80 \xE2\x99\xAA"},
    };
    for (const FileCase& c : cases) {
        standin::reset();
        std::remove((c.folder + "/plugins/velkar.ini").c_str());
        std::remove("c:/velkar.ini");
        std::remove("Beside/velkar.ini");
        standin::setModuleFolder(u"Beside");
        if (c.besideFile) writeFile("Beside\\velkar.ini", BESIDE_FILE);
        if (c.registryValue) setAppPath(c.folder + "\\player.exe");
        if (c.derivedFile) writeFile(c.folder + "\\plugins\\velkar.ini", DERIVED_FILE);
        if (c.fallbackFile) writeFile("c:\\velkar.ini", FALLBACK_FILE);
        EXPECT_EQ(loadedVideoPrefix(), c.videoPrefix) << c.name;
    }
}

TEST_F(SettingsFiles, LongLinesOfAFileAreSkippedToTheNext) {
    writeFile("c:\\velkar.ini", "2,[FILENAME]" + std::string(5000, 's') + "\r\n3,b [FILENAME]\r\n" +
                                    std::string(5000, 'z'));
    PluginSettings settings;
    StatusProfiles& profiles = settings.profiles;
    ASSERT_TRUE(readSettingsFile(u"c:\\velkar.ini", settings, nullptr));
    EXPECT_EQ(std::u16string(profiles.audioProfile.categoryCode), u"\\0Games");
    EXPECT_EQ(std::u16string(profiles.audioProfile.prefix), u"b ");
    EXPECT_EQ(std::u16string(profiles.videoProfile.suffix), std::u16string(127, u's'));
}

// pluginInit reads the file the host's registry value leads to, and the
// profiles shape what is published, byte for byte.
TEST_F(SettingsFiles, PluginInitWithSettingsThenPublish) {
    setAppPath("C:\\Player\\player.exe");
    writeFile("C:\\Player\\plugins\\velkar.ini",
              "2,watching [FILENAME] now\r\n3,Now Playing: [FILENAME]\r\n");
    writeFile("c:\\velkar.ini", FALLBACK_FILE);
    ASSERT_EQ(pluginInit(&descriptor), 1);
    standin::openWindow("MsnMsgrUIManager");

    setFile("C:\\Media\\My_Band_-_Best.Song.mp3");
    publish();
    setFile("D:\\clips\\holiday.mpeg");
    publish();

    ASSERT_EQ(standin::receivedCount(), 2u);
    const std::string audio = "\\0Games\\01\\0{0}\\0Now Playing: My Band - Best Song \\0";
    const std::string video = "\\0Office\\01\\0{0}\\0watching holiday now \\0";
    std::u16string expected = latin1(audio);
    expected.push_back(u'\0');
    EXPECT_EQ(standin::received(0).byteCount, expected.size() * 2);
    EXPECT_EQ(std::memcmp(standin::received(0).bytes, expected.data(), expected.size() * 2), 0);
    EXPECT_EQ(receivedText(standin::received(1)), latin1(video));
}

// A change to velkar.ini while something is published takes effect at the
// next command, without a new pluginInit; a file that cannot be read
// keeps the settings in force.
TEST_F(SettingsFiles, AChangedFileTakesEffectWithoutARestart) {
    writeFile("c:\\velkar.ini", "2,watching [FILENAME]\n1,[FILENAME]\n");
    ASSERT_EQ(pluginInit(&descriptor), 1);
    standin::openWindow("MsnMsgrUIManager");
    setFile("D:\\clips\\holiday.mpeg");
    publish();
    writeFile("c:\\velkar.ini", "2,seeing [FILENAME]\n1,[FILENAME]\n");
    // The worker's next look, and its reading.
    const auto nextLook = [] {
        usleep((SETTINGS_LOOK_MILLISECONDS + 500) * 1000);
        standin::waitForBackgroundRuns();
    };
    nextLook();
    publish();  // the announced file composed anew
    ASSERT_TRUE(std::remove("c:/velkar.ini") == 0);
    nextLook();
    setFile("D:\\clips\\beach.mpeg");
    publish();
    ASSERT_EQ(standin::receivedCount(), 3u);
    EXPECT_EQ(receivedText(standin::received(0)),
              latin1("\\0Office\\01\\0{0}\\0watching holiday \\0"));
    EXPECT_EQ(receivedText(standin::received(1)),
              latin1("\\0Office\\01\\0{0}\\0seeing holiday \\0"));
    EXPECT_EQ(receivedText(standin::received(2)), latin1("\\0Office\\01\\0{0}\\0seeing beach \\0"));
}

// The now-playing file: the withdrawn text once the plug-in starts, the
// display line on each publish (not on announcing), the withdrawn text again
// on each withdraw; a relative path lies beside the settings file.
TEST_F(SettingsFiles, PluginKeepsTheNowPlayingFile) {
    writeFile("c:\\velkar.ini",
              "2,watching [FILENAME]\n1,[FILENAME]\nnowplaying-file=np.txt\n"
              "nowplaying-withdrawn=Nothing plays\n");
    const auto nowPlaying = [] {
        standin::waitForBackgroundRuns();
        std::ifstream in("c:/np.txt", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    ASSERT_EQ(pluginInit(&descriptor), 1);
    EXPECT_EQ(nowPlaying(), "Nothing plays");
    setFile("C:\\Media\\My_Band_-_Best.Song.mp3");
    EXPECT_EQ(nowPlaying(), "Nothing plays");
    publish();
    EXPECT_EQ(nowPlaying(), "My Band - Best Song ");
    withdraw();
    EXPECT_EQ(nowPlaying(), "Nothing plays");
    setFile("D:\\clips\\holiday.mpeg");
    publish();
    EXPECT_EQ(nowPlaying(), "watching holiday ");

    // No command waits for the file: while its calls hang (a share that does
    // not answer), each returns, and once they answer the newest text wins
    // over those handed over meanwhile, which are never written.
    standin::holdFileCalls(true);
    ASSERT_EQ(pluginInit(&descriptor), 1);
    setFile("C:\\Media\\My_Band_-_Best.Song.mp3");
    publish();
    withdraw();
    setFile("D:\\clips\\holiday.mpeg");
    publish();
    EXPECT_EQ(standin::fileCallsWhileHolding(), 0u);
    const std::size_t replacements = standin::replaceAttemptCount();
    standin::holdFileCalls(false);
    EXPECT_EQ(nowPlaying(), "watching holiday ");
    EXPECT_LE(standin::replaceAttemptCount() - replacements, 2u);

    // The user's environment in the path; the file's folder is made in a
    // parent that exists.
    ASSERT_EQ(setenv("VELKAR_LOCAL_DATA", (scratch + "/local").c_str(), 1), 0);
    ASSERT_EQ(mkdir("local", 0755), 0);
    writeFile("c:\\velkar.ini",
              "2,[FILENAME]\n1,[FILENAME]\nnowplaying-file=%VELKAR_LOCAL_DATA%\\Velkar\\np.txt\n"
              "nowplaying-withdrawn=Nothing plays\n");
    ASSERT_EQ(pluginInit(&descriptor), 1);
    standin::waitForBackgroundRuns();
    std::ifstream local("local/Velkar/np.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(local), {}), "Nothing plays");

    // The settings file itself, however its name is written, is never the
    // now-playing file, whatever it is called.
    for (const auto& [target, isSettingsFile] :
         {std::pair{"SETTINGS.CFG", true}, {"c:/Settings.cfg", true}, {"np.txt", false}}) {
        writeFile("c:\\settings.cfg",
                  std::string("2,[FILENAME]\n1,[FILENAME]\nnowplaying-file=") + target + "\n");
        PluginSettings settings;
        ASSERT_TRUE(readSettingsFile(u"c:\\settings.cfg", settings, nullptr));
        EXPECT_EQ(settings.nowPlaying.namesSettingsFile, isSettingsFile) << target;
        EXPECT_EQ(
            checkNowPlayingTarget(settings.nowPlaying) == NowPlayingOutcome::NotANowPlayingFile,
            isSettingsFile)
            << target;
    }
}

}  // namespace
