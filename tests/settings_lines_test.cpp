// The settings file's bytes in, two profiles and the problems found out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/standin.h"
#include "settings/settings_file.h"
#include "test_support.h"
#include "tools/settings_report.h"

namespace {

struct ExpectedProfile {
    std::string categoryCode;
    std::string prefix;
    std::string suffix;
    bool titleFromTags = false;
};

const ExpectedProfile VIDEO_DEFAULTS{"\\0Office", "watching ", ""};
const ExpectedProfile AUDIO_DEFAULTS{"\\0Music", "", ""};

using Problems = std::vector<std::pair<int, SettingsProblem>>;

namespace P {
constexpr SettingsProblem MissingLine = SETTINGS_MISSING_LINE;
constexpr SettingsProblem LineCut = SETTINGS_LINE_CUT;
constexpr SettingsProblem NoNumber = SETTINGS_NO_NUMBER;
constexpr SettingsProblem NoComma = SETTINGS_NO_COMMA;
constexpr SettingsProblem NoMarker = SETTINGS_NO_MARKER;
constexpr SettingsProblem PrefixCut = SETTINGS_PREFIX_CUT;
constexpr SettingsProblem SuffixCut = SETTINGS_SUFFIX_CUT;
}  // namespace P

struct SettingsCase {
    const char* name;
    std::string file;
    ExpectedProfile video;
    ExpectedProfile audio;
    Problems problems;
};

const std::string LONG_TEXT(200, 'x');

std::string repeatedText(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}
const std::string THIRTY_DIGITS = "123456789012345678901234567890";

std::vector<SettingsCase> settingsCases() {
    return {
        {"the documented example",
         "2,watching [FILENAME]\n1,listening to [FILENAME]",
         {"\\0Office", "watching ", " "},
         {"\\0Music", "listening to ", ""},
         {}},
        {"LF line ends become spaces on both lines",
         "2,watching [FILENAME]\n1,listening to [FILENAME]\n",
         {"\\0Office", "watching ", " "},
         {"\\0Music", "listening to ", " "},
         {}},
        {"CRLF line ends read as LF",
         "2,watching [FILENAME]\r\n1,listening to [FILENAME]\r\n",
         {"\\0Office", "watching ", " "},
         {"\\0Music", "listening to ", " "},
         {}},
        {"a lone carriage return is text",
         "3,a\rb [FILENAME]\r",
         {"\\0Games", "a\rb ", "\r"},
         AUDIO_DEFAULTS,
         {{2, P::MissingLine}}},
        {"byte-order mark skipped",
         "\xEF\xBB\xBF"
         "3,[FILENAME] on\n4,[FILENAME]\n",
         {"\\0Games", "", " on "},
         {"\\0Empty", "", " "},
         {}},
        {"a byte-order mark only at the very start",
         "1,[FILENAME]\n\xEF\xBB\xBF"
         "1,[FILENAME]\n",
         {"\\0Music", "", " "},
         AUDIO_DEFAULTS,
         {{2, P::NoNumber}}},
        {"half a byte-order mark is text",
         "\xEF\xBB"
         "1,[FILENAME]",
         VIDEO_DEFAULTS,
         AUDIO_DEFAULTS,
         {{1, P::NoNumber}, {2, P::MissingLine}}},
        {"Ctrl-Z ends the data mid-line",
         "2,w [FILENAME]\n1,x [FIL\x1A"
         "ENAME]\n",
         {"\\0Office", "w ", " "},
         AUDIO_DEFAULTS,
         {{2, P::NoMarker}}},
        {"Ctrl-Z before line 2",
         "2,w [FILENAME]\n\x1A"
         "1,x [FILENAME]\n",
         {"\\0Office", "w ", " "},
         AUDIO_DEFAULTS,
         {{2, P::MissingLine}}},
        {"a comma inside the template",
         "2,a[FILENAME]\n1,now, then [FILENAME]",
         {"\\0Office", "a", " "},
         {"\\0Music", "now, then ", ""},
         {}},
        {"a second marker stays in the suffix",
         "2,[FILENAME]\n1,a [FILENAME] b [FILENAME]",
         {"\\0Office", "", " "},
         {"\\0Music", "a ", " b [FILENAME]"},
         {}},
        {"capitals in the prefix",
         "2,Now Playing: [FILENAME]!\n1,FILENAME [FILENAME]",
         {"\\0Office", "Now Playing: ", "! "},
         {"\\0Music", "FILENAME ", ""},
         {}},
        {"space and text between number and comma",
         "  4 apples,[FILENAME]\n\t+3 ,[FILENAME]",
         {"\\0Empty", "", " "},
         {"\\0Games", "", ""},
         {}},
        {"empty file",
         "",
         VIDEO_DEFAULTS,
         AUDIO_DEFAULTS,
         {{1, P::MissingLine}, {2, P::MissingLine}}},
        {"one line without line feed",
         "2,watching [FILENAME]",
         {"\\0Office", "watching ", ""},
         AUDIO_DEFAULTS,
         {{2, P::MissingLine}}},
        {"one line with line feed: line 1 is not parsed twice",
         "3,playing [FILENAME]\n",
         {"\\0Games", "playing ", " "},
         AUDIO_DEFAULTS,
         {{2, P::MissingLine}}},
        {"an empty line 1 keeps the video defaults",
         "\n1,hear [FILENAME]",
         VIDEO_DEFAULTS,
         {"\\0Music", "hear ", ""},
         {{1, P::NoNumber}}},
        {"no number, no comma, no marker",
         "x,[FILENAME]\n2 [FILENAME]\n",
         VIDEO_DEFAULTS,
         AUDIO_DEFAULTS,
         {{1, P::NoNumber}, {2, P::NoComma}}},
        {"no marker",
         "2,watching\n1,[FILENAME]",
         VIDEO_DEFAULTS,
         {"\\0Music", "", ""},
         {{1, P::NoMarker}}},
        {"only the first two lines are read",
         "1,[FILENAME]\n1,[FILENAME]\nnonsense\n",
         {"\\0Music", "", " "},
         {"\\0Music", "", " "},
         {}},
        {"over-long line 1 is cut; line 2 is the file's second line",
         "2,[FILENAME]" + std::string(1000, 's') + "\n3,b [FILENAME]",
         {"\\0Office", "", std::string(127, 's')},
         {"\\0Games", "b ", ""},
         {{1, P::LineCut}, {1, P::SuffixCut}}},
        {"over-long prefix and suffix cut to 127",
         "1," + LONG_TEXT + "[FILENAME]\n1,[FILENAME]" + LONG_TEXT,
         {"\\0Music", std::string(127, 'x'), " "},
         {"\\0Music", "", std::string(127, 'x')},
         {{1, P::PrefixCut}, {2, P::SuffixCut}}},
        {"marker beyond the kept part of a long line",
         "2," + std::string(400, 'p') + "[FILENAME]\n",
         VIDEO_DEFAULTS,
         AUDIO_DEFAULTS,
         {{1, P::LineCut}, {1, P::NoMarker}, {2, P::MissingLine}}},
        // One read keeps 299 bytes, the line feed counted.
        {"298 characters and the line feed are read whole",
         "2," + std::string(286, 'p') + "[FILENAME]\n",
         {"\\0Office", std::string(127, 'p'), " "},
         AUDIO_DEFAULTS,
         {{1, P::PrefixCut}, {2, P::MissingLine}}},
        {"a last line of 299 characters without a line feed is read whole",
         "1,[FILENAME]\n1," + std::string(287, 'p') + "[FILENAME]",
         {"\\0Music", "", " "},
         {"\\0Music", std::string(127, 'p'), ""},
         {{2, P::PrefixCut}}},
        {"299 characters and a line feed: the line feed is the rest skipped",
         "2," + std::string(287, 'p') + "[FILENAME]\n3,[FILENAME]",
         {"\\0Office", std::string(127, 'p'), ""},
         {"\\0Games", "", ""},
         {{1, P::LineCut}, {1, P::PrefixCut}}},
        {"[TAGS] takes the title from the tags",
         "2,watching [TAGS]\n1,[TAGS] (tagged)",
         {"\\0Office", "watching ", " ", true},
         {"\\0Music", "", " (tagged)", true},
         {}},
        {"whichever marker comes first splits the template",
         "2,[TAGS] [FILENAME]\n1,[FILENAME] [TAGS]",
         {"\\0Office", "", " [FILENAME] ", true},
         {"\\0Music", "", " [TAGS]", false},
         {}},
        {"brackets that begin no marker are text",
         "2,[x] [TAGS\n1,[[TAGS]]",
         VIDEO_DEFAULTS,
         {"\\0Music", "[", "]", true},
         {{1, P::NoMarker}}},
    };
}

// The expected texts are ASCII: each byte one unit.
void expectProfile(const StatusProfile& profile, const ExpectedProfile& expected,
                   const std::string& what) {
    EXPECT_EQ(profile.categoryCode, latin1(expected.categoryCode)) << what;
    EXPECT_EQ(profile.prefix, latin1(expected.prefix)) << what;
    EXPECT_EQ(profile.suffix, latin1(expected.suffix)) << what;
    EXPECT_EQ(profile.titleFromTags, expected.titleFromTags) << what;
}

// The report's problems in the order they are reported: by line, then by kind.
Problems problemsOf(const SettingsReport& report) {
    Problems found;
    for (int line = 1; line <= SETTINGS_LINES_READ; ++line) {
        for (unsigned kind = 0; kind < SETTINGS_PROBLEM_KINDS; ++kind) {
            const SettingsProblem problem = static_cast<SettingsProblem>(1u << kind);
            if (report.lineProblems[line - 1] & problem) found.emplace_back(line, problem);
        }
    }
    return found;
}

TEST(SettingsLines, FilesTable) {
    const std::vector<SettingsCase> cases = settingsCases();
    for (const SettingsCase& c : cases) {
        StatusProfiles profiles;
        SettingsReport report{};
        readSettingsBytes(c.file.data(), c.file.size(), profiles, &report);
        expectProfile(profiles.videoProfile, c.video, std::string(c.name) + ", video");
        expectProfile(profiles.audioProfile, c.audio, std::string(c.name) + ", audio");
        EXPECT_EQ(problemsOf(report), c.problems) << c.name;
    }
}

TEST(SettingsLines, CategoryNumbers) {
    const std::pair<std::string, const char16_t*> cases[] = {
        {"0", u"\\0Music"},
        {"1", u"\\0Music"},
        {"2", u"\\0Office"},
        {"3", u"\\0Games"},
        {"4", u"\\0Empty"},
        {"5", u"\\0Music"},
        {"99", u"\\0Music"},
        {"-1", u"\\0Music"},
        {"+2", u"\\0Office"},
        {"-3", u"\\0Music"},
        {"002", u"\\0Office"},
        {THIRTY_DIGITS, u"\\0Music"},
        {"-" + THIRTY_DIGITS, u"\\0Music"},
        {"4294967298", u"\\0Music"},
    };
    for (const auto& [number, code] : cases) {
        const std::string file = "1,[FILENAME]\n" + number + ",[FILENAME]\n";
        StatusProfiles profiles;
        SettingsReport report{};
        readSettingsBytes(file.data(), file.size(), profiles, &report);
        EXPECT_EQ(std::u16string(profiles.audioProfile.categoryCode), code) << number;
        const bool outOfRange = std::u16string(code) == u"\\0Music" && number != "1";
        EXPECT_EQ(report.lineProblems[1], outOfRange ? SETTINGS_CATEGORY_OUT_OF_RANGE : 0u)
            << number;
    }
}

// UTF-8 files, with or without the mark, and files in the ANSI code page are
// read into UTF-16 alike; a line cut at its byte limit loses a character the
// cut would part, whole.
TEST(SettingsLines, EncodingsAndCodePages) {
    struct Case {
        const char* name;
        unsigned codePage;  // 0: the stand-in's Latin-1
        std::string file;
        std::string videoPrefix;  // UTF-8
        std::string videoSuffix;  // UTF-8
        SettingsEncoding encoding;
        Problems problems;
    };
    const std::string E_ACUTE = "\xC3\xA9";
    const std::string SUN = "\xE6\x97\xA5";   // 日, 93 FA in code page 932
    const std::string NOTE = "\xE2\x99\xAA";  // ♪, in no single-byte code page
    const std::string SJIS_SUN = "\x93\xFA";
    const std::string LONG_VOWEL = "\x81\x5B";  // ー in code page 932: its second byte is '['
    const Case cases[] = {
        {"UTF-8 with the mark",
         0,
         "\xEF\xBB\xBF"
         "2," +
             E_ACUTE + "coute [FILENAME]\n",
         E_ACUTE + "coute ",
         " ",
         SettingsEncoding::Utf8,
         {{2, P::MissingLine}}},
        {"UTF-8 without the mark",
         0,
         "2," + E_ACUTE + "coute [FILENAME]\n",
         E_ACUTE + "coute ",
         " ",
         SettingsEncoding::Utf8,
         {{2, P::MissingLine}}},
        {"code page 1252",
         0,
         "2,\xE9"
         "coute [FILENAME]\n",
         E_ACUTE + "coute ",
         " ",
         SettingsEncoding::Ansi,
         {{2, P::MissingLine}}},
        {"ASCII only",
         0,
         "2,hearing [FILENAME]\n",
         "hearing ",
         " ",
         SettingsEncoding::Ansi,
         {{2, P::MissingLine}}},
        {"valid UTF-8 on line 1, not on line 2",
         0,
         "2," + E_ACUTE + " [FILENAME]\n1,\xE9 [FILENAME]\n",
         "\xC3\x83\xC2\xA9 ",
         " ",
         SettingsEncoding::Ansi,
         {}},
        {"characters no code page holds",
         0,
         "2," + NOTE + SUN + " [FILENAME]\n",
         NOTE + SUN + " ",
         " ",
         SettingsEncoding::Utf8,
         {{2, P::MissingLine}}},
        {"code page 932",
         932,
         "2," + SJIS_SUN + " [FILENAME]\n",
         SUN + " ",
         " ",
         SettingsEncoding::Ansi,
         {{2, P::MissingLine}}},
        {"a second byte is no marker's bracket",
         932,
         "2," + LONG_VOWEL + "FILENAME] [FILENAME]\n",
         "\xE3\x83\xBC"
         "FILENAME] ",
         " ",
         SettingsEncoding::Ansi,
         {{2, P::MissingLine}}},
        // 12 + 95 * 3 + 2 bytes: the 96th character is parted by the cut.
        {"UTF-8 cut at the byte limit",
         0,
         "2,[FILENAME]" + repeatedText(NOTE, 100) + "\n",
         "",
         repeatedText(NOTE, 95),
         SettingsEncoding::Utf8,
         {{1, P::LineCut}, {2, P::MissingLine}}},
        // 12 + 143 * 2 + 1 bytes, then 127 of the 143 characters fit the suffix.
        {"code page 932 cut at the byte limit",
         932,
         "2,[FILENAME]" + repeatedText(SJIS_SUN, 150) + "\n",
         "",
         repeatedText(SUN, 127),
         SettingsEncoding::Ansi,
         {{1, P::LineCut}, {1, P::SuffixCut}, {2, P::MissingLine}}},
        {"words are cut to 127 units, never inside a pair",
         65001,
         "2," + repeatedText("\xF0\x9F\x98\x80", 70) + "[FILENAME]\n",
         repeatedText("\xF0\x9F\x98\x80", 63),
         " ",
         SettingsEncoding::Utf8,
         {{1, P::PrefixCut}, {2, P::MissingLine}}},
    };
    for (const Case& c : cases) {
        if (c.codePage != 0) {
            ASSERT_TRUE(standin::setAnsiCodePage(c.codePage));
        }
        StatusProfiles profiles;
        SettingsReport report{};
        readSettingsBytes(c.file.data(), c.file.size(), profiles, &report);
        EXPECT_EQ(std::u16string(profiles.videoProfile.prefix), u16(c.videoPrefix)) << c.name;
        EXPECT_EQ(std::u16string(profiles.videoProfile.suffix), u16(c.videoSuffix)) << c.name;
        EXPECT_EQ(report.encoding, c.encoding) << c.name;
        EXPECT_EQ(problemsOf(report), c.problems) << c.name;
        standin::reset();
    }
}

TEST(SettingsLines, DescriptionsNameTheProfile) {
    char text[160];
    describeSettingsProblem(SETTINGS_NO_MARKER, 2, text, sizeof text);
    EXPECT_STREQ(text, "no [FILENAME] or [TAGS] marker; the audio profile keeps its defaults");
    describeSettingsProblem(SETTINGS_NO_COMMA, 1, text, sizeof text);
    EXPECT_STREQ(text, "no comma after the category number; the video profile keeps its defaults");
    char small[8];
    describeSettingsProblem(SETTINGS_LINE_CUT, 1, small, sizeof small);
    EXPECT_EQ(std::string(small).size(), 7u);
}

}  // namespace
