// The settings program's document: what it shows of a file, and the file it
// writes back.
#include "programs/settings-window/settings_document.h"

#include "test_support.h"

namespace {

// `units` as the bytes of UTF-16LE text.
std::string utf16le(const std::u16string& units) {
    std::string bytes;
    for (const char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// Files the plug-in reads in its own way, each saved without a change:
// every byte comes back.
TEST(SettingsDocument, AnUnchangedFileIsSavedByteForByte) {
    const std::string files[] = {
        "",
        "\xEF\xBB\xBF",
        "2,watching [FILENAME]\n1,[TAGS]\n; my overlay\nnowplaying-file=np.txt\n",
        "\xFF\xFE" + utf16le(u"2,\u03BA\u03B1 [FILENAME]\r\n1,[TAGS]\r\n; \u65E5\r\n"),
        "\xFE\xFF" +
            std::string("\0"
                        "2\0,\x4F\x60\0[\0T\0A\0G\0S\0]\0\n",
                        20) +
            "x",
        "2,[FILENAME]\r\n1,[TAGS]\r\n\x1A"
        "after Ctrl-Z\r\nnowplaying-file=x.txt\r\n",
        "\xEF\xBB\xBF"
        "2,[FILENAME]\n1,[TAGS]\n; caf\xE9 \xFF\xFE\n",
        "2,caf\xE9 [FILENAME]\n1,[TAGS]\n; \xC3\xA9\n",
        "2,[FILE\rNAME] lone\r CR\n1,[TAGS]\r\r\n",
        "watching\n1 [TAGS]\nnowplaying-encoding=latin1\n",
        "2 watching,[TAGS]\n 01,[FILENAME]\nnowplaying-text=\nNOWPLAYING-FILE = a.txt\n"
        "nowplaying-file=b.txt\n",
        "2,[FILENAME]\r\n1,[TAGS]\nno line end at the end",
    };
    for (const std::string& file : files) {
        SettingsDocument document;
        loadSettingsDocument(file.data(), file.size(), document);
        ASSERT_EQ(document.load, SettingsLoad::Read) << file;
        std::string bytes = "not rendered";
        const SettingsSaveResult result = renderSettingsDocument(document, bytes);
        EXPECT_EQ(result.problem, SettingsSaveProblem::None) << file;
        EXPECT_EQ(bytes, file);
    }
}

struct ChangeCase {
    const char* name;
    unsigned codePage;  // 0: the stand-in's Latin-1
    std::string file;
    void (*edit)(SettingsValues&);
    std::string written;
    SettingsFileEncoding encoding;
};

// One value changed: only its line differs, in the file's encoding and line
// ends; a character the code page lacks, or bytes the plug-in would read
// otherwise, make an ANSI file UTF-8 with its mark.
TEST(SettingsDocument, AChangeRewritesItsLineAlone) {
    const ChangeCase cases[] = {
        {"UTF-16LE stays UTF-16LE", 0,
         "\xFF\xFE" + utf16le(u"2,\u03BA [FILENAME]\r\n1,[TAGS]\r\n; \u65E5\r\n"),
         [](SettingsValues& v) { v.templateText[1] = u"\u266A [TAGS]"; },
         "\xFF\xFE" + utf16le(u"2,\u03BA [FILENAME]\r\n1,\u266A [TAGS]\r\n; \u65E5\r\n"),
         SettingsFileEncoding::Utf16LittleEndian},
        {"only the number, or the text after the first comma", 0,
         "2 watching,[TAGS]\n +01 ,[FILENAME]\n",
         [](SettingsValues& v) {
             v.templateText[0] = u"[TITLE]";
             v.category[1] = 3;
         },
         "2 watching,[TITLE]\n3 ,[FILENAME]\n", SettingsFileEncoding::Ansi},
        {"a line 1 of the user's follows the profile lines the edit makes", 0,
         "; settings for the stream PC\n1,[TAGS]\nnowplaying-file=a.txt\n",
         [](SettingsValues& v) {
             v.templateText[0] = u"seeing [FILENAME]";
             v.nowPlayingPath = u"b.txt";
         },
         "2,seeing [FILENAME]\n1,[TAGS]\n; settings for the stream PC\nnowplaying-file=b.txt\n",
         SettingsFileEncoding::Ansi},
        {"so does a line 2 of the user's", 0, "2,[TAGS]\nwatching",
         [](SettingsValues& v) { v.category[1] = 3; }, "2,[TAGS]\n3,[FILENAME]\nwatching",
         SettingsFileEncoding::Ansi},
        {"only the category's bytes change: the rest stays, invalid bytes too", 0,
         "\xEF\xBB\xBF"
         "2,caf\xE9 [FILENAME]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.category[0] = 3; },
         "\xEF\xBB\xBF"
         "3,caf\xE9 [FILENAME]\n1,[TAGS]\n",
         SettingsFileEncoding::Utf8WithMark},
        {"code page 932: a character's own bytes before the comma stay", 932,
         "2 \xED\x40,[FILENAME]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[0] = u"[TITLE]"; },
         "2 \xED\x40,[TITLE]\n1,[TAGS]\n", SettingsFileEncoding::Ansi},
        {"a lone surrogate in UTF-16 stays as it was", 0,
         "\xFF\xFE" + utf16le(u"2,\xD800 [FILENAME]\r\n1,[TAGS]\r\n"),
         [](SettingsValues& v) { v.category[0] = 4; },
         "\xFF\xFE" + utf16le(u"4,\xD800 [FILENAME]\r\n1,[TAGS]\r\n"),
         SettingsFileEncoding::Utf16LittleEndian},
        {"the line the plug-in takes is edited; one it refuses stays", 0,
         "2,[TAGS]\n1,[TAGS]\ndiscord-image=mykey\ndiscord-image=http://host/cover.png\n",
         [](SettingsValues& v) { v.discordImage = u"other"; },
         "2,[TAGS]\n1,[TAGS]\ndiscord-image=other\ndiscord-image=http://host/cover.png\n",
         SettingsFileEncoding::Ansi},
        {"the last of a repeated name; new names after the last line, with its line end", 0,
         "2,[FILENAME]\n1,[TAGS]\nnowplaying-file=a.txt\n\xFF\nnowplaying-file=b.txt",
         [](SettingsValues& v) {
             v.nowPlayingPath = u"c.txt";
             v.withdrawnText = u"Paused";
         },
         "2,[FILENAME]\n1,[TAGS]\nnowplaying-file=a.txt\n\xFF\nnowplaying-file=c.txt\n"
         "nowplaying-withdrawn=Paused\n",
         SettingsFileEncoding::Ansi},
        {"an emptied text takes every line of its name", 0,
         "2,[FILENAME]\r\n1,[TAGS]\r\nnowplaying-text=a\r\n# x\r\nNowPlaying-Text=b\r\n",
         [](SettingsValues& v) { v.nowPlayingText.clear(); }, "2,[FILENAME]\r\n1,[TAGS]\r\n# x\r\n",
         SettingsFileEncoding::Ansi},
        {"lines after the profile lines need them", 0, "2,[FILENAME]",
         [](SettingsValues& v) { v.encoding = NowPlayingEncoding::Utf16; },
         "2,[FILENAME]\r\n1,[FILENAME]\r\nnowplaying-encoding=utf-16\r\n",
         SettingsFileEncoding::Ansi},
        {"a character the code page lacks: UTF-8 with its mark, all lines carried over", 0,
         "2,caf\xE9 [FILENAME]\n1,[TAGS]\n\x1A\xE9",
         [](SettingsValues& v) { v.templateText[1] = u"\u266A [TAGS]"; },
         "\xEF\xBB\xBF"
         "2,caf\xC3\xA9 [FILENAME]\n1,\xE2\x99\xAA [TAGS]\n\x1A\xE9",
         SettingsFileEncoding::Utf8WithMark},
        {"bytes the plug-in would read as UTF-8 are saved as UTF-8", 0, "2,[FILENAME]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[0] = u"\u00C3\u00A9 [TAGS]"; },
         "\xEF\xBB\xBF"
         "2,\xC3\x83\xC2\xA9 [TAGS]\n1,[TAGS]\n",
         SettingsFileEncoding::Utf8WithMark},
        // As many three-byte characters as ASCII units plus two.
        {"code page 65001", 65001, "2,[FILENAME]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[0] = u"\u65E5\u65E5\u65E5\u65E5ab[TAGS]"; },
         "2,\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5"
         "ab[TAGS]\n1,[TAGS]\n",
         SettingsFileEncoding::Ansi},
        {"Discord's lines: a changed one in place, new ones after the last line, a word by its "
         "name",
         0, "2,[FILENAME]\n1,[TAGS]\ndiscord-application-id = 12 \n",
         [](SettingsValues& v) {
             v.discordApplicationId = u"34";
             v.discordTemplate[PRESENCE_STATE] = u"";
             v.discordShows = PresenceShows::State;
         },
         "2,[FILENAME]\n1,[TAGS]\ndiscord-application-id =34\ndiscord-state=\n"
         "discord-shows=state\n",
         SettingsFileEncoding::Ansi},
        {"no file yet: made with the wording shown", 0, "",
         [](SettingsValues& v) { v.nowPlayingPath = u"np.txt"; },
         "2,watching [FILENAME]\r\n1,[FILENAME]\r\nnowplaying-file=np.txt\r\n",
         SettingsFileEncoding::Ansi},
        {"no file yet, a template edited", 0, "",
         [](SettingsValues& v) { v.templateText[0] = u"seeing [FILENAME]"; },
         "2,seeing [FILENAME]\r\n1,[FILENAME]\r\n", SettingsFileEncoding::Ansi},
        {"a file of one line, the second profile edited", 0, "2,[TAGS]",
         [](SettingsValues& v) { v.category[1] = 3; }, "2,[TAGS]\r\n3,[FILENAME]\r\n",
         SettingsFileEncoding::Ansi},
    };
    for (const ChangeCase& c : cases) {
        if (c.codePage != 0) {
            ASSERT_TRUE(standin::setAnsiCodePage(c.codePage));
        }
        SettingsDocument document;
        if (c.file.empty()) {
            loadMissingSettingsDocument(document);
        } else {
            loadSettingsDocument(c.file.data(), c.file.size(), document);
        }
        c.edit(document.values);
        std::string bytes;
        const SettingsSaveResult result = renderSettingsDocument(document, bytes);
        EXPECT_EQ(result.problem, SettingsSaveProblem::None) << c.name;
        EXPECT_EQ(bytes, c.written) << c.name;
        EXPECT_EQ(result.encoding, c.encoding) << c.name;
        standin::reset();
    }
}

// What cannot be saved faithfully is not saved: nothing is rendered, and
// the reason names the line.
TEST(SettingsDocument, WhatCannotBeSavedFaithfullyIsRefused) {
    const struct {
        const char* name;
        unsigned codePage;
        std::string file;
        void (*edit)(SettingsValues&);
        SettingsLoad load;
        SettingsSaveProblem problem;
        std::size_t lineNumber;
    } cases[] = {
        {"larger than the plug-in reads", 0, std::string(SETTINGS_FILE_CAPACITY + 1, 'x'),
         [](SettingsValues&) {}, SettingsLoad::Unreadable, SettingsSaveProblem::Unreadable, 0},
        {"NUL bytes", 0, std::string("2,[TAGS]\n1,[TAGS]\n\0\0", 20), [](SettingsValues&) {},
         SettingsLoad::Unreadable, SettingsSaveProblem::Unreadable, 0},
        {"UTF-16 without its mark", 0, utf16le(u"2,[TAGS]\r\n"), [](SettingsValues&) {},
         SettingsLoad::Unreadable, SettingsSaveProblem::Unreadable, 0},
        // A lead byte with no second byte means nothing in code page 932.
        {"an untouched line that cannot become UTF-8", 932, "2,[TAGS]\n1,[TAGS]\n; \x81\n",
         [](SettingsValues& v) { v.templateText[0] = u"\u00E9 [TAGS]"; }, SettingsLoad::Read,
         SettingsSaveProblem::LineNotConvertible, 3},
        {"a new line inside a value", 0, "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[0] = u"a\nb [TAGS]"; }, SettingsLoad::Read,
         SettingsSaveProblem::ReadOtherwise, 1},
        {"a template without a marker", 0, "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[1] = u"just words"; }, SettingsLoad::Read,
         SettingsSaveProblem::ReadOtherwise, 2},
        {"a template longer than the plug-in reads", 0, "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[0] = u"[TAGS] " + std::u16string(300, u'x'); },
         SettingsLoad::Read, SettingsSaveProblem::ReadOtherwise, 1},
        {"a now-playing path longer than the plug-in reads", 0, "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.nowPlayingPath = u"C:\\" + std::u16string(1100, u'p'); },
         SettingsLoad::Read, SettingsSaveProblem::ReadOtherwise, 3},
        {"a Discord image the plug-in refuses", 0, "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.discordImage = u"http://host/cover.png"; }, SettingsLoad::Read,
         SettingsSaveProblem::ReadOtherwise, 3},
        {"a Ctrl-Z inside a value", 0,
         "\xEF\xBB\xBF"
         "2,[TAGS]\n1,[TAGS]\n",
         [](SettingsValues& v) { v.templateText[1] = u"\x1A[TAGS]"; }, SettingsLoad::Read,
         SettingsSaveProblem::ReadOtherwise, 2},
    };
    for (const auto& c : cases) {
        if (c.codePage != 0) {
            ASSERT_TRUE(standin::setAnsiCodePage(c.codePage));
        }
        SettingsDocument document;
        loadSettingsDocument(c.file.data(), c.file.size(), document);
        EXPECT_EQ(document.load, c.load) << c.name;
        c.edit(document.values);
        std::string bytes = "not rendered";
        const SettingsSaveResult result = renderSettingsDocument(document, bytes);
        EXPECT_EQ(result.problem, c.problem) << c.name;
        EXPECT_EQ(result.lineNumber, c.lineNumber) << c.name;
        EXPECT_EQ(bytes, "") << c.name;
        EXPECT_FALSE(describeSaveProblem(result).empty()) << c.name;
        standin::reset();
    }
}

TEST(SettingsDocument, ShowsWhatThePluginReads) {
    const std::string file =
        "\xEF\xBB\xBF"
        "3,Now playing: [TAGS] \xE2\x99\xAA\r\n-2,[FILENAME]\r\n"
        "nowplaying-file=np.txt\r\nnowplaying-text=[TITLE]\r\nnowplaying-encoding= UTF-8-BOM \r\n";
    SettingsDocument document;
    loadSettingsDocument(file.data(), file.size(), document);
    const SettingsValues& values = document.values;
    EXPECT_EQ(values.category[0], 3);
    EXPECT_EQ(values.templateText[0], u"Now playing: [TAGS] \u266A");
    EXPECT_EQ(values.category[1], 1);  // any number but 1 to 4 is Music
    EXPECT_EQ(values.nowPlayingPath, u"np.txt");
    EXPECT_EQ(values.nowPlayingText, u"[TITLE]");
    EXPECT_EQ(values.encoding, NowPlayingEncoding::Utf8WithMark);
}

// What the plug-in refuses or cuts is shown as the plug-in takes it.
TEST(SettingsDocument, ShowsThePluginsLimitsAndRefusals) {
    const std::string longLine = "2," + std::string(300, 'x') + " [TAGS]\n1,[TAGS]\n";
    const std::string longPath = "2,[TAGS]\n1,[TAGS]\nnowplaying-file=a.txt\nnowplaying-file=C:\\" +
                                 std::string(1100, 'p') + "\n";
    const std::string refusedImage =
        "2,[TAGS]\n1,[TAGS]\ndiscord-image=mykey\ndiscord-image=http://host/cover.png\n";
    SettingsDocument document;
    loadSettingsDocument(longLine.data(), longLine.size(), document);
    EXPECT_EQ(document.values.templateText[0], u"watching [FILENAME]");  // the marker is cut off
    loadSettingsDocument(longPath.data(), longPath.size(), document);
    EXPECT_EQ(document.values.nowPlayingPath, u"a.txt");
    loadSettingsDocument(refusedImage.data(), refusedImage.size(), document);
    EXPECT_EQ(document.values.discordImage, u"mykey");
}

// Another program's save between opening and saving: the user's changes go
// onto the file read anew; what a save expects to replace is told by size
// and hash, or as missing.
TEST(SettingsDocument, ChangesCarryOverToAFileReadAnew) {
    const std::string opened = "2,[TAGS]\n1,[TAGS]\nnowplaying-file=a.txt\n";
    const std::string other =
        "2,[TAGS]\n1,[TAGS]\nnowplaying-file=a.txt\n; theirs\n"
        "discord-application-id=42\n";
    SettingsDocument document;
    loadSettingsDocument(opened.data(), opened.size(), document);
    document.values.templateText[0] = u"mine [TAGS]";
    document.values.privatePatterns = u"D:\\Home";
    document.values.discordSwitch = u"off";
    SettingsDocument reread;
    loadSettingsDocument(other.data(), other.size(), reread);
    carryOverChanges(document.loaded, document.values, reread.values);
    std::string bytes;
    EXPECT_EQ(renderSettingsDocument(reread, bytes).problem, SettingsSaveProblem::None);
    EXPECT_EQ(bytes,
              "2,mine [TAGS]\n1,[TAGS]\nnowplaying-file=a.txt\n; theirs\n"
              "discord-application-id=42\ndiscord=off\nprivate=D:\\Home\n");

    EXPECT_EQ(settingsFileFingerprint(std::string("abc")), "3-e71fa2190541574b");
    EXPECT_NE(settingsFileFingerprint(opened), settingsFileFingerprint(other));
    loadMissingSettingsDocument(document);
    EXPECT_EQ(settingsFileFingerprint(document), SETTINGS_FILE_MISSING);
}

// Administrator rights are asked for only where they would help.
TEST(SettingsDocument, AsksForAdministratorRightsOnlyWhereTheyWouldHelp) {
    EXPECT_EQ(decideAfterFailedSave(true, false), FailedSaveStep::AskForAdministratorRights);
    EXPECT_EQ(decideAfterFailedSave(true, true), FailedSaveStep::Report);
    EXPECT_EQ(decideAfterFailedSave(false, false), FailedSaveStep::Report);
    EXPECT_EQ(decideAfterFailedSave(false, true), FailedSaveStep::Report);
}

// The copy with administrator rights writes only a settings file.
TEST(SettingsDocument, TheElevatedCopyWritesOnlyASettingsFile) {
    const std::string good = "2,[TAGS]\r\n1,[TAGS]\r\n";
    const struct {
        const char16_t* target;
        std::string contents;
        bool allowed;
    } cases[] = {
        {u"C:\\Program Files\\Player\\plugins\\velkar.ini", good, true},
        {u"d:\\p\\VELKAR.INI", good, true},
        {u"C:\\Windows\\System32\\x.dll", good, false},
        {u"C:\\p\\velkar.ini.", good, false},
        {u"C:\\p\\velkar.ini:stream", good, false},
        {u"\\\\server\\share\\velkar.ini", good, false},
        {u"\\\\?\\C:\\p\\velkar.ini", good, false},
        {u"velkar.ini", good, false},
        {u"C:velkar.ini", good, false},
        {u"C:\\p\\velkar.ini", std::string(SETTINGS_FILE_CAPACITY + 1, 'x'), false},
        {u"C:\\p\\velkar.ini", std::string("MZ\x90\0\3\0\0\0", 8), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mayWriteElevated(c.target, c.contents.data(), c.contents.size()), c.allowed)
            << utf8(c.target);
    }
}

}  // namespace
