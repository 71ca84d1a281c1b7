// Finding and reading the settings file: the registry through the stand-in,
// real files in a scratch folder that is the working directory, so that the
// Windows-style paths ("c:\velkar.ini", "dir\plugins\velkar.ini") are plain
// file names there.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "test_support.h"

namespace {

const char* const FALLBACK_FILE = "2,fallback [FILENAME]\n1,fallback [FILENAME]\n";
const char* const DERIVED_FILE = "3,derived [FILENAME]\n4,derived [FILENAME]\n";

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
    static void writeFile(const std::string& name, const std::string& bytes) {
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr) << name;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    static void setAppPath(const std::string& value) {
        standin::setRegistryString("SOFTWARE\\BST\\bsplayerv1", "AppPath", value.c_str());
    }
    static std::string settingsPath() {
        char path[SETTINGS_PATH_CAPACITY];
        findSettingsPath(path);
        return path;
    }
    static std::string loadedVideoPrefix() {
        StatusProfiles profiles;
        loadSettings(profiles);
        return profiles.videoProfile.prefix;
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
    };
    for (const PathCase& c : cases) {
        standin::reset();
        if (!c.appPath.empty()) setAppPath(c.appPath);
        EXPECT_EQ(settingsPath(), c.expectedPath) << c.name;
    }
}

// In code page 932 the second byte of a character may be 0x5C: it is not the
// last backslash of the host's path.
TEST_F(SettingsFiles, DoubleByteAppPathKeepsItsCharacters) {
    ASSERT_TRUE(standin::setAnsiCodePage(932));
    setAppPath("C:\\Player\\\x83\x5C.exe");  // ソ.exe
    EXPECT_EQ(settingsPath(), "C:\\Player\\plugins\\velkar.ini");
    standin::reset();
}

TEST_F(SettingsFiles, ValueWithoutTerminatorIsTerminatedWhereItEnds) {
    const std::string value = "D:\\Player\\player.exe";
    standin::setRegistryValue("SOFTWARE\\BST\\bsplayerv1", "AppPath", value.data(), value.size());
    EXPECT_EQ(settingsPath(), "D:\\Player\\plugins\\velkar.ini");
    // 300 bytes with no terminator leave no room for one: too long.
    const std::string full = "D:\\" + std::string(297, 'p');
    standin::setRegistryValue("SOFTWARE\\BST\\bsplayerv1", "AppPath", full.data(), full.size());
    EXPECT_EQ(settingsPath(), "c:\\velkar.ini");
}

TEST_F(SettingsFiles, WhichFileIsRead) {
    struct FileCase {
        const char* name;
        bool registryValue;
        bool derivedFile;
        bool fallbackFile;
        const char* videoPrefix;
    };
    const FileCase cases[] = {
        {"no value, no file: defaults", false, false, false, "watching "},
        {"no value: the fallback file", false, false, true, "fallback "},
        {"value and its file, fallback present too", true, true, true, "derived "},
        {"value without its file: defaults, never the fallback", true, false, true, "watching "},
    };
    for (const FileCase& c : cases) {
        standin::reset();
        std::remove("Player\\plugins\\velkar.ini");
        std::remove("c:\\velkar.ini");
        if (c.registryValue) setAppPath("Player\\player.exe");
        if (c.derivedFile) writeFile("Player\\plugins\\velkar.ini", DERIVED_FILE);
        if (c.fallbackFile) writeFile("c:\\velkar.ini", FALLBACK_FILE);
        EXPECT_EQ(loadedVideoPrefix(), c.videoPrefix) << c.name;
    }
}

TEST_F(SettingsFiles, LongLinesOfAFileAreSkippedToTheNext) {
    writeFile("c:\\velkar.ini", "2,[FILENAME]" + std::string(5000, 's') + "\r\n3,b [FILENAME]\r\n" +
                                    std::string(5000, 'z'));
    StatusProfiles profiles;
    loadSettings(profiles);
    EXPECT_STREQ(profiles.audioProfile.categoryCode, "\\0Games");
    EXPECT_STREQ(profiles.audioProfile.prefix, "b ");
    EXPECT_EQ(std::string(profiles.videoProfile.suffix), std::string(127, 's'));
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

}  // namespace
