// The settings file's bytes in, two profiles and the problems found out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/standin.h"
#include "programs/settings_report.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace {

struct ExpectedProfile {
    std::string categoryCode;
    std::string prefix;
    std::string suffix;
    bool titleFromTags = false;
    std::string templateText = "";  // kept whole when not empty
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

// `units` as the bytes of a UTF-16 file with its mark, in either byte order.
std::string utf16File(const std::u16string& units, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : units) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

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
        {"several markers keep the template whole",
         "2,[FILENAME]\n1,a [FILENAME] b [FILENAME]",
         {"\\0Office", "", " "},
         {"\\0Music", "", "", false, "a [FILENAME] b [FILENAME]"},
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
        {"lines after the first two are no profile's",
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
        {"every marker counts; the line end is a space",
         "2,[TAGS] [FILENAME]\n1,[FILENAME] [TAGS]",
         {"\\0Office", "", "", true, "[TAGS] [FILENAME] "},
         {"\\0Music", "", "", true, "[FILENAME] [TAGS]"},
         {}},
        {"a field marker alone keeps the template whole, groups and all",
         "3,[TITLE]{ by [ARTIST]}\n1,{[ALBUM]} [FILENAME]",
         {"\\0Games", "", "", true, "[TITLE]{ by [ARTIST]} "},
         {"\\0Music", "", "", true, "{[ALBUM]} [FILENAME]"},
         {}},
        {"braces around nothing else are text",
         "2,{see} [FILENAME] {\n1,[x]",
         {"\\0Office", "{see} ", " { "},
         AUDIO_DEFAULTS,
         {{2, P::NoMarker}}},
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
    EXPECT_EQ(std::u16string(profile.templateText, profile.templateLength),
              latin1(expected.templateText))
        << what;
    EXPECT_EQ(profile.composedWhole, !expected.templateText.empty()) << what;
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
        PluginSettings settings;
        StatusProfiles& profiles = settings.profiles;
        SettingsReport report{};
        readSettingsBytes(c.file.data(), c.file.size(), settings, &report);
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
        PluginSettings settings;
        StatusProfiles& profiles = settings.profiles;
        SettingsReport report{};
        readSettingsBytes(file.data(), file.size(), settings, &report);
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
        // The last byte begins a sequence: it reads the same whether a line
        // follows or not, as the settings program decodes it.
        {"a lone lead byte ending a line",
         0,
         "\xEF\xBB\xBF"
         "2,[FILENAME] x\xC3\n1,[TAGS]\n",
         "",
         " x\xEF\xBF\xBD ",
         SettingsEncoding::Utf8,
         {}},
        {"a lone lead byte ending the last line",
         0,
         "\xEF\xBB\xBF"
         "2,[FILENAME] x\xC3",
         "",
         " x\xEF\xBF\xBD",
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
        // The same after a byte that begins nothing: 13 + 95 * 3 + 1 bytes.
        {"UTF-8 cut at the byte limit after an invalid byte",
         0,
         "\xEF\xBB\xBF"
         "2,[FILENAME]\xFF" +
             repeatedText(NOTE, 100) + "\n",
         "",
         "\xEF\xBF\xBD" + repeatedText(NOTE, 95),
         SettingsEncoding::Utf8,
         {{1, P::LineCut}, {2, P::MissingLine}}},
        // A start of a character that does not go on is one U+FFFD, mid-line
        // or before the line feed alike.
        {"UTF-8 starts of characters cut short",
         0,
         "\xEF\xBB\xBF"
         "2,a\xE0\xA0 [FILENAME]\xF0\x9F\x98\n",
         "a\xEF\xBF\xBD ",
         "\xEF\xBF\xBD ",
         SettingsEncoding::Utf8,
         {{2, P::MissingLine}}},
        // 12 + 143 * 2 + 1 bytes, then 127 of the 143 characters fit the suffix.
        {"code page 932 cut at the byte limit",
         932,
         "2,[FILENAME]" + repeatedText(SJIS_SUN, 150) + "\n",
         "",
         repeatedText(SUN, 127),
         SettingsEncoding::Ansi,
         {{1, P::LineCut}, {1, P::SuffixCut}, {2, P::MissingLine}}},
        // Read as the same text in UTF-8 would be, CRs and all.
        {"UTF-16LE with its mark",
         0,
         utf16File(u"2,\u65E5\u672C [FILENAME]\r\n1,[FILENAME]\r\n", false),
         "\xE6\x97\xA5\xE6\x9C\xAC ",
         " ",
         SettingsEncoding::Utf8,
         {}},
        {"UTF-16BE: a pair kept, a lone half replaced, an odd last byte ignored",
         0,
         utf16File(u"2,\U0001F600\xD800 [FILENAME]\n1,[FILENAME]\n", true) + "x",
         "\xF0\x9F\x98\x80\xEF\xBF\xBD ",
         " ",
         SettingsEncoding::Utf8,
         {}},
        // Only the file's first 64 KiB are read: line 2 is past them.
        {"UTF-16 past 64 KiB",
         0,
         utf16File(u"2,[FILENAME]" + std::u16string(40000, u'\u00E9') + u"\n1,[FILENAME]\n", false),
         "",
         repeatedText("\xC3\xA9", 127),
         SettingsEncoding::Utf8,
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
        PluginSettings settings;
        StatusProfiles& profiles = settings.profiles;
        SettingsReport report{};
        readSettingsBytes(c.file.data(), c.file.size(), settings, &report);
        EXPECT_EQ(std::u16string(profiles.videoProfile.prefix), u16(c.videoPrefix)) << c.name;
        EXPECT_EQ(std::u16string(profiles.videoProfile.suffix), u16(c.videoSuffix)) << c.name;
        EXPECT_EQ(report.encoding, c.encoding) << c.name;
        EXPECT_EQ(problemsOf(report), c.problems) << c.name;
        standin::reset();
    }
}

// The lines after the profile lines: the now-playing file's settings, in
// any letter case, comments, and what the plug-in ignores and the preview
// tool reports.
TEST(SettingsLines, NameValueLines) {
    using O = SettingsOptionProblem;
    struct Case {
        const char* name;
        std::string lines;                          // after "2,[FILENAME]\n1,[FILENAME]\n"
        std::string path, textTemplate, withdrawn;  // UTF-8
        bool hasTextTemplate;
        NowPlayingEncoding encoding;
        std::vector<std::pair<unsigned, O>> problems;
        SettingsEncoding fileEncoding = SettingsEncoding::Ansi;
    };
    const Case cases[] = {
        {"none: no file, the display line, nothing after a withdraw, UTF-8",
         "",
         "",
         "",
         "",
         false,
         NowPlayingEncoding::Utf8,
         {}},
        {"each name, in any letter case; a value runs to its line's end",
         "nowplaying-file=C:\\np.txt\r\nNowPlaying-Text=[TITLE]{ by [ARTIST]}\r\n"
         "nowplaying-withdrawn=Paused \r\n NOWPLAYING-ENCODING = UTF-16\r\n",
         "C:\\np.txt",
         "[TITLE]{ by [ARTIST]}",
         "Paused ",
         true,
         NowPlayingEncoding::Utf16,
         {}},
        {"comments and blank lines",
         "\n; comment=1\n# another\n   \nnowplaying-encoding=utf-8-bom\n",
         "",
         "",
         "",
         false,
         NowPlayingEncoding::Utf8WithMark,
         {}},
        {"an empty template is a template",
         "nowplaying-text=\nnowplaying-encoding=ansi",
         "",
         "",
         "",
         true,
         NowPlayingEncoding::Ansi,
         {}},
        {"unknown names, lines without =, bad values, repeated names: the last counts",
         "colour=red\njust words\nnowplaying-encoding=latin1\nnowplaying-file=a.txt\n"
         "nowplaying-file=b.txt\n",
         "b.txt",
         "",
         "",
         false,
         NowPlayingEncoding::Utf8,
         {{3, O::UnknownName}, {4, O::NotNameValue}, {5, O::BadValue}, {7, O::Repeated}}},
        {"a line too long is ignored whole, not cut",
         "nowplaying-file=" + std::string(3000, 'p') + "\nnowplaying-text=x",
         "",
         "x",
         "",
         true,
         NowPlayingEncoding::Utf8,
         {{3, O::LineTooLong}}},
        {"a path too long for a path",
         "nowplaying-file=" + std::string(1500, 'p'),
         "",
         "",
         "",
         false,
         NowPlayingEncoding::Utf8,
         {{3, O::BadValue}}},
        {"UTF-8 is decided over every line",
         "nowplaying-withdrawn=\xE2\x99\xAA",
         "",
         "",
         "\xE2\x99\xAA",
         false,
         NowPlayingEncoding::Utf8,
         {},
         SettingsEncoding::Utf8},
        {"and any line may make it ANSI",
         "nowplaying-withdrawn=\xE2\x99\xAA\n; \xE9",
         "",
         "",
         "\xC3\xA2\xC2\x99\xC2\xAA",
         false,
         NowPlayingEncoding::Utf8,
         {}},
    };
    for (const Case& c : cases) {
        const std::string file = "2,[FILENAME]\n1,[FILENAME]\n" + c.lines;
        PluginSettings settings;
        SettingsReport report{};
        readSettingsBytes(file.data(), file.size(), settings, &report);
        const NowPlayingSettings& nowPlaying = settings.nowPlaying;
        EXPECT_EQ(std::u16string(nowPlaying.path), u16(c.path)) << c.name;
        EXPECT_EQ(std::u16string(nowPlaying.textTemplate, nowPlaying.textTemplateLength),
                  u16(c.textTemplate))
            << c.name;
        EXPECT_EQ(nowPlaying.hasTextTemplate, c.hasTextTemplate) << c.name;
        EXPECT_EQ(std::u16string(nowPlaying.withdrawnText, nowPlaying.withdrawnLength),
                  u16(c.withdrawn))
            << c.name;
        EXPECT_EQ(nowPlaying.encoding, c.encoding) << c.name;
        EXPECT_EQ(report.encoding, c.fileEncoding) << c.name;
        std::vector<std::pair<unsigned, O>> problems;
        for (std::size_t i = 0; i < report.optionProblemCount; ++i) {
            problems.emplace_back(report.options[i].lineNumber, report.options[i].problem);
        }
        EXPECT_EQ(problems, c.problems) << c.name;
        EXPECT_EQ(problemsOf(report), Problems{}) << c.name;
    }
}

// The Discord lines: defaults, each name, and values the plug-in refuses
// (leaving what was there).
TEST(SettingsLines, PresenceLines) {
    using O = SettingsOptionProblem;
    using S = PresenceShows;
    using T = PresenceTime;
    // What the presence shows: its three templates, the member list's choice, the time.
    struct Shown {
        std::string details, state, imageText;
        S shows;
        T time;
    };
    const Shown DEFAULT_SHOWN = {"[TITLE]", "{by [ARTIST]}", "{[ALBUM]}", S::Details, T::Bar};
    struct Case {
        const char* name;
        std::string lines;  // after "2,[FILENAME]\n1,[FILENAME]\n"
        std::string id;
        Shown shown;
        std::string image;
        std::vector<std::pair<unsigned, O>> problems;
    };
    const Case cases[] = {
        {"none: no application, the default texts", "", "", DEFAULT_SHOWN, "", {}},
        {"each name, in any letter case; words and ids trimmed, templates as written",
         " Discord-Application-ID = 1234567890123456789 \ndiscord-details= [ARTIST]\n"
         "discord-state=\nDISCORD-IMAGE-TEXT=[DURATION]\ndiscord-shows= State\n"
         "discord-time=none\ndiscord-image=https://example.org/a.png?x=1\n",
         "1234567890123456789",
         {" [ARTIST]", "", "[DURATION]", S::State, T::None},
         "https://example.org/a.png?x=1",
         {}},
        {"an asset key; the application's name shown; elapsed time",
         "discord-image=record_logo\ndiscord-shows=name\ndiscord-time=elapsed\n",
         "",
         {"[TITLE]", "{by [ARTIST]}", "{[ALBUM]}", S::Name, T::Elapsed},
         "record_logo",
         {}},
        {"refused: an id with letters, 21 digits or none; a word not in its list; an "
         "address not https, an image with a space",
         "discord-application-id=12a\ndiscord-application-id=123456789012345678901\n"
         "discord-application-id=\ndiscord-shows=artist\ndiscord-time=bars\n"
         "discord-image=http://example.org/a.png\ndiscord-image=logo http://x/a.png\n"
         "discord-image=ftp://x\n",
         "",
         DEFAULT_SHOWN,
         "",
         {{3, O::BadValue},
          {4, O::BadValue},
          {5, O::BadValue},
          {6, O::BadValue},
          {7, O::BadValue},
          {8, O::BadValue},
          {9, O::BadValue},
          {10, O::BadValue}}},
        {"an image of alternatives with markers and groups",
         "discord-image= {https://coverartarchive.org/release/[MUSICBRAINZ_ALBUMID]/front} logo \n",
         "",
         DEFAULT_SHOWN,
         "{https://coverartarchive.org/release/[MUSICBRAINZ_ALBUMID]/front} logo",
         {}},
        {"a refused value keeps the one before; a template too long is refused",
         "discord-application-id=42\ndiscord-application-id=x\ndiscord-state=" +
             std::string(600, 's') + "\n",
         "42",
         DEFAULT_SHOWN,
         "",
         {{4, O::BadValue}, {5, O::BadValue}}},
    };
    for (const Case& c : cases) {
        const std::string file = "2,[FILENAME]\n1,[FILENAME]\n" + c.lines;
        PluginSettings settings;
        SettingsReport report{};
        readSettingsBytes(file.data(), file.size(), settings, &report);
        const PresenceSettings& presence = settings.presence;
        EXPECT_EQ(std::string(presence.applicationId), c.id) << c.name;
        const std::string* texts[PRESENCE_FIELDS] = {&c.shown.details, &c.shown.state,
                                                     &c.shown.imageText};
        for (int field = 0; field < PRESENCE_FIELDS; ++field) {
            EXPECT_EQ(
                std::u16string(presence.templates[field].text, presence.templates[field].length),
                u16(*texts[field]))
                << c.name << " field " << field;
        }
        EXPECT_EQ(presence.shows, c.shown.shows) << c.name;
        EXPECT_EQ(presence.time, c.shown.time) << c.name;
        EXPECT_EQ(std::u16string(presence.image.text, presence.image.length), u16(c.image))
            << c.name;
        std::vector<std::pair<unsigned, O>> problems;
        for (std::size_t i = 0; i < report.optionProblemCount; ++i) {
            problems.emplace_back(report.options[i].lineNumber, report.options[i].problem);
        }
        EXPECT_EQ(problems, c.problems) << c.name;
    }
}

// The switches and the rules for every file: defaults, each value, and
// values refused (leaving what was there).
TEST(SettingsLines, SwitchesAndRules) {
    using O = SettingsOptionProblem;
    struct Case {
        std::string lines;  // after "2,[FILENAME]\n1,[FILENAME]\n"
        PresenceSwitch discord;
        bool nowPlayingOff;
        bool endsByItself;
        std::uint32_t staleAfter;
        std::string privatePatterns;
        AudioFiles audioFiles;
        std::vector<std::pair<unsigned, O>> problems;
    };
    // clang-format off
    const Case cases[] = {
        {"", PresenceSwitch::Unset, false, true, 30, "", AudioFiles::ByExtension, {}},
        {"Discord = ON\nnowplaying=Off\nstale-after= 120 \nprivate=D:\\Home;*\\t.flac\n"
         "audio-files=content\n",
         PresenceSwitch::On, true, true, 120, "D:\\Home;*\\t.flac", AudioFiles::ByContent, {}},
        {"discord=off\nnowplaying=on\nstale-after=never\nstale-after=0\n",
         PresenceSwitch::Off, false, true, 0, "", AudioFiles::ByExtension, {{6, O::Repeated}}},
        {"stale-after=never\n",
         PresenceSwitch::Unset, false, false, 30, "", AudioFiles::ByExtension, {}},
        {"discord=yes\nnowplaying=\nstale-after=86401\nstale-after=-5\nstale-after=1 m\n"
         "audio-files=tags\n",
         PresenceSwitch::Unset, false, true, 30, "", AudioFiles::ByExtension,
         {{3, O::BadValue}, {4, O::BadValue}, {5, O::BadValue}, {6, O::BadValue},
          {7, O::BadValue}, {8, O::BadValue}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        const std::string file = "2,[FILENAME]\n1,[FILENAME]\n" + c.lines;
        PluginSettings settings;
        SettingsReport report{};
        readSettingsBytes(file.data(), file.size(), settings, &report);
        EXPECT_EQ(settings.presence.switched, c.discord) << c.lines;
        EXPECT_EQ(settings.nowPlaying.switchedOff, c.nowPlayingOff) << c.lines;
        EXPECT_EQ(settings.rules.endsByItself, c.endsByItself) << c.lines;
        EXPECT_EQ(settings.rules.staleAfterSeconds, c.staleAfter) << c.lines;
        EXPECT_EQ(std::u16string(settings.rules.privatePatterns, settings.rules.privateLength),
                  u16(c.privatePatterns))
            << c.lines;
        EXPECT_EQ(settings.rules.audioFiles, c.audioFiles) << c.lines;
        std::vector<std::pair<unsigned, O>> problems;
        for (std::size_t i = 0; i < report.optionProblemCount; ++i) {
            problems.emplace_back(report.options[i].lineNumber, report.options[i].problem);
        }
        EXPECT_EQ(problems, c.problems) << c.lines;
    }
}

TEST(SettingsLines, DescriptionsNameTheProfile) {
    char text[200];
    describeSettingsProblem(SETTINGS_NO_MARKER, 2, text, sizeof text);
    EXPECT_STREQ(text,
                 "no marker ([FILENAME], [TAGS], [TITLE], [ARTIST] or [ALBUM]); the audio profile "
                 "keeps its defaults");
    describeSettingsProblem(SETTINGS_NO_COMMA, 1, text, sizeof text);
    EXPECT_STREQ(text, "no comma after the category number; the video profile keeps its defaults");
    char small[8];
    describeSettingsProblem(SETTINGS_LINE_CUT, 1, small, sizeof small);
    EXPECT_EQ(std::string(small).size(), 7u);
}

}  // namespace
