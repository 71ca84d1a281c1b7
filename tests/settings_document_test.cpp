// The settings program's document: what it shows of a file, and the file it
// writes back.
#include "tools/settings-program/settings_document.h"

#include "test_support.h"

namespace {

struct RoundTripCase {
    const char* name;
    std::string file;
    void (*edit)(SettingsDocument&);
    std::string written;
    bool utf8;
};

// The two profile lines first, every other line where it was, known
// name=value lines updated in place, new ones at the end, CRLF; ANSI when
// everything fits the code page, else UTF-8 with its mark.
TEST(SettingsDocument, WritesBackWhatItDoesNotKnowWhereItWas) {
    const RoundTripCase cases[] = {
        {"unchanged, but for the line ends",
         "2,watching [FILENAME]\n1,[TAGS]\n; my overlay\nnowplaying-file=np.txt\n",
         [](SettingsDocument&) {},
         "2,watching [FILENAME]\r\n1,[TAGS]\r\n; my overlay\r\nnowplaying-file=np.txt\r\n", false},
        {"edited in place; a repeated name keeps its last line; text dropped when emptied",
         "3, playing [FILENAME]\r\n4,[TAGS]\r\nNowPlaying-Text=[TITLE]\r\n# keep\r\n"
         "colour=red\r\nnowplaying-file=a.txt\r\nnowplaying-file=b.txt\r\n",
         [](SettingsDocument& d) {
             d.templateText[0] = u"now [TITLE]{ by [ARTIST]}";
             d.category[1] = 1;
             d.nowPlayingPath = u"C:\\np.txt";
             d.nowPlayingText.clear();
         },
         "3,now [TITLE]{ by [ARTIST]}\r\n1,[TAGS]\r\n# keep\r\ncolour=red\r\n"
         "nowplaying-file=C:\\np.txt\r\n",
         false},
        {"new names at the end; a character no code page holds makes it UTF-8",
         "2,watching [FILENAME]\n1,[FILENAME]\n; end\n",
         [](SettingsDocument& d) {
             d.templateText[1] = u"\u266A [TAGS]";
             d.withdrawnText = u"Paused";
             d.encoding = NowPlayingEncoding::Utf16;
         },
         "\xEF\xBB\xBF"
         "2,watching [FILENAME]\r\n1,\xE2\x99\xAA [TAGS]\r\n; end\r\n"
         "nowplaying-withdrawn=Paused\r\nnowplaying-encoding=utf-16\r\n",
         true},
        {"a UTF-8 file whose characters fit the code page is written in it",
         "\xEF\xBB\xBF"
         "2,\xC3\xA9"
         "coute [FILENAME]\n1,[TAGS]\n",
         [](SettingsDocument&) {},
         "2,\xE9"
         "coute [FILENAME]\r\n1,[TAGS]\r\n",
         false},
        {"no file: the built-in wording", "", [](SettingsDocument&) {},
         "2,watching [FILENAME]\r\n1,[FILENAME]\r\n", false},
        {"lines the plug-in cannot use show and save the built-in wording",
         "watching\n1 [TAGS]\nnowplaying-encoding=latin1\n", [](SettingsDocument&) {},
         "2,watching [FILENAME]\r\n1,[FILENAME]\r\nnowplaying-encoding=utf-8\r\n", false},
    };
    for (const RoundTripCase& c : cases) {
        SettingsDocument document;
        loadSettingsDocument(c.file.data(), c.file.size(), document);
        c.edit(document);
        bool utf8 = false;
        EXPECT_EQ(renderSettingsDocument(document, utf8), c.written) << c.name;
        EXPECT_EQ(utf8, c.utf8) << c.name;
    }
}

TEST(SettingsDocument, ShowsWhatThePluginReads) {
    const std::string file =
        "\xEF\xBB\xBF"
        "3,Now playing: [TAGS] \xE2\x99\xAA\r\n-2,[FILENAME]\r\n"
        "nowplaying-file=np.txt\r\nnowplaying-text=[TITLE]\r\nnowplaying-encoding= UTF-8-BOM \r\n";
    SettingsDocument document;
    loadSettingsDocument(file.data(), file.size(), document);
    EXPECT_EQ(document.category[0], 3);
    EXPECT_EQ(document.templateText[0], u"Now playing: [TAGS] \u266A");
    EXPECT_EQ(document.category[1], 1);  // any number but 1 to 4 is Music
    EXPECT_EQ(document.nowPlayingPath, u"np.txt");
    EXPECT_EQ(document.nowPlayingText, u"[TITLE]");
    EXPECT_EQ(document.encoding, NowPlayingEncoding::Utf8WithMark);
}

// Administrator rights are asked for only where they would help.
TEST(SettingsDocument, AsksForAdministratorRightsOnlyWhereTheyWouldHelp) {
    EXPECT_EQ(decideAfterFailedSave(true, false), FailedSaveStep::AskForAdministratorRights);
    EXPECT_EQ(decideAfterFailedSave(true, true), FailedSaveStep::Report);
    EXPECT_EQ(decideAfterFailedSave(false, false), FailedSaveStep::Report);
    EXPECT_EQ(decideAfterFailedSave(false, true), FailedSaveStep::Report);
}

}  // namespace
