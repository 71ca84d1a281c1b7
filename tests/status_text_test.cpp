#include "status/status_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/standin.h"

namespace {

StatusProfiles defaultProfiles() {
    StatusProfiles profiles;
    setDefaultProfiles(profiles);
    return profiles;
}

struct CompositionCase {
    const char* path;
    MediaKind kind;
    const char* title;
    const char* statusText;
};

// Titles drop exactly the extension, whatever its length.
TEST(ComposeStatus, DefaultProfilesTable) {
    const CompositionCase cases[] = {
        {"C:\\Media\\My_Band_-_Best.Song.mp3", MediaKind::Audio, "My Band - Best Song",
         "\\0Music\\01\\0{0}\\0My Band - Best Song\\0"},
        {"D:\\clips\\holiday.mpeg", MediaKind::Other, "holiday",
         "\\0Office\\01\\0{0}\\0watching holiday\\0"},
        {"movie.ts", MediaKind::Other, "movie", "\\0Office\\01\\0{0}\\0watching movie\\0"},
        {"C:\\a.b", MediaKind::Other, "a", "\\0Office\\01\\0{0}\\0watching a\\0"},
        {"a.flacx", MediaKind::Other, "a", "\\0Office\\01\\0{0}\\0watching a\\0"},
        {"a.mp", MediaKind::Other, "a", "\\0Office\\01\\0{0}\\0watching a\\0"},
        {"C:\\music\\README", MediaKind::Other, "README",
         "\\0Office\\01\\0{0}\\0watching README\\0"},
        {"x\\song.wav", MediaKind::Audio, "song", "\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.Wav", MediaKind::Audio, "song", "\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.WAV", MediaKind::Audio, "song", "\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.MP3X", MediaKind::Other, "song", "\\0Office\\01\\0{0}\\0watching song\\0"},
        {"x\\song.wma", MediaKind::Other, "song", "\\0Office\\01\\0{0}\\0watching song\\0"},
        {"x\\.mp3", MediaKind::Audio, "", "\\0Music\\01\\0{0}\\0\\0"},
        {"x\\dir.v2\\name", MediaKind::Other, "name", "\\0Office\\01\\0{0}\\0watching name\\0"},
        // Only the backslash separates components.
        {"C:/media/a_b.mp3", MediaKind::Audio, "C:/media/a b",
         "\\0Music\\01\\0{0}\\0C:/media/a b\\0"},
        {"trailing\\", MediaKind::Other, "", "\\0Office\\01\\0{0}\\0watching \\0"},
        {"", MediaKind::Other, "", "\\0Office\\01\\0{0}\\0watching \\0"},
        // Bytes above 0x7F pass through untouched.
        {"C:\\caf\xE9_\x92s.mp3", MediaKind::Audio, "caf\xE9 \x92s",
         "\\0Music\\01\\0{0}\\0caf\xE9 \x92s\\0"},
    };
    const StatusProfiles profiles = defaultProfiles();
    for (const CompositionCase& c : cases) {
        ComposedStatus composed{};
        EXPECT_EQ(composeStatus(c.path, profiles, composed), c.kind) << c.path;
        EXPECT_STREQ(composed.currentFileName, c.title) << c.path;
        EXPECT_STREQ(composed.statusText, c.statusText) << c.path;
    }
}

TEST(ComposeStatus, SecondCompositionReplacesTheFirstWhole) {
    const StatusProfiles profiles = defaultProfiles();
    ComposedStatus composed{};
    composeStatus("C:\\Media\\A_very_long_name_for_a_song.mp3", profiles, composed);
    composeStatus("b.ts", profiles, composed);
    EXPECT_STREQ(composed.statusText, "\\0Office\\01\\0{0}\\0watching b\\0");
    EXPECT_STREQ(composed.currentFileName, "b");
}

TEST(ComposeStatus, UsesEachProfileWhole) {
    StatusProfiles profiles = defaultProfiles();
    std::strcpy(profiles.audioProfile.categoryCode, "\\0Games");
    std::strcpy(profiles.audioProfile.prefix, "Now Playing: ");
    std::strcpy(profiles.audioProfile.suffix, " (loud)");
    ComposedStatus composed{};
    composeStatus("x.mp3", profiles, composed);
    EXPECT_STREQ(composed.statusText, "\\0Games\\01\\0{0}\\0Now Playing: x (loud)\\0");
}

// Guard bytes around the storage show any write past it.
struct GuardedComposition {
    char before[64];
    ComposedStatus composed;
    char after[64];
};

void expectGuardsIntact(const GuardedComposition& guarded) {
    for (char c : guarded.before) ASSERT_EQ(c, 'G');
    for (char c : guarded.after) ASSERT_EQ(c, 'G');
}

std::string longRun(std::size_t count, char c) { return std::string(count, c); }

TEST(ComposeStatus, LongInputStaysInsideStorage) {
    struct LongCase {
        std::string path;
        MediaKind kind;
        std::string titleStart;
    };
    const LongCase cases[] = {
        // A deep path: only the last component matters, however long the rest.
        {"C:\\" + longRun(5000, 'd') + "\\song.mp3", MediaKind::Audio, "song"},
        // A name longer than the title storage: the extension still decides.
        {"C:\\" + longRun(1000, 'n') + ".mp3", MediaKind::Audio, longRun(287, 'n')},
        // An extension far longer than any work copy.
        {"C:\\name." + longRun(300, 'e') + "mp3", MediaKind::Other, "name"},
        {"C:\\name." + longRun(300, 'e'), MediaKind::Other, "name"},
        {longRun(400, '_'), MediaKind::Other, longRun(287, ' ')},
    };
    StatusProfiles profiles = defaultProfiles();
    for (const LongCase& c : cases) {
        GuardedComposition guarded;
        std::memset(&guarded, 'G', sizeof guarded);
        EXPECT_EQ(composeStatus(c.path.c_str(), profiles, guarded.composed), c.kind);
        expectGuardsIntact(guarded);
        const std::string title = guarded.composed.currentFileName;
        EXPECT_EQ(title.substr(0, c.titleStart.size()), c.titleStart);
        const std::string text = guarded.composed.statusText;
        EXPECT_LE(text.size(), STATUS_TEXT_CAPACITY - 1);
        EXPECT_EQ(text.substr(text.size() - 2), "\\0");
    }
}

// When the text would not fit, only the title gives way: category, fixed
// pieces, prefix and suffix stay whole, and the closing separator is kept.
TEST(ComposeStatus, OverlongTextShortensOnlyTheTitle) {
    StatusProfiles profiles = defaultProfiles();
    const std::string prefix = longRun(127, 'P');
    const std::string suffix = longRun(127, 'S');
    std::strcpy(profiles.videoProfile.prefix, prefix.c_str());
    std::strcpy(profiles.videoProfile.suffix, suffix.c_str());
    const std::string path = "D:\\" + longRun(250, 't') + ".avi";

    GuardedComposition guarded;
    std::memset(&guarded, 'G', sizeof guarded);
    composeStatus(path.c_str(), profiles, guarded.composed);
    expectGuardsIntact(guarded);

    const std::string head = std::string("\\0Office") + STATUS_FIXED_PIECE + prefix;
    const std::string tail = suffix + "\\0";
    const std::size_t titleRoom = STATUS_TEXT_CAPACITY - 1 - head.size() - tail.size();
    EXPECT_EQ(std::string(guarded.composed.statusText), head + longRun(titleRoom, 't') + tail);
    EXPECT_EQ(std::strlen(guarded.composed.statusText), STATUS_TEXT_CAPACITY - 1);
    // The title itself is kept whole in its own storage.
    EXPECT_EQ(std::string(guarded.composed.currentFileName), longRun(250, 't'));
}

// The title storage keeps 287 bytes; with a 12-byte prefix the text is then
// exactly 319 characters, and one more prefix byte costs the title one byte.
TEST(ComposeStatus, TitleIsCutOnlyWhenTheTextWouldNotFit) {
    const std::string title = longRun(299, 'x');
    for (const std::size_t prefixLength : {12u, 13u}) {
        StatusProfiles profiles = defaultProfiles();
        std::strcpy(profiles.videoProfile.prefix, longRun(prefixLength, 'p').c_str());
        ComposedStatus composed{};
        composeStatus((title + ".avi").c_str(), profiles, composed);
        const std::size_t keptTitle = prefixLength == 12 ? 287 : 286;
        EXPECT_EQ(std::string(composed.statusText), std::string("\\0Office") + STATUS_FIXED_PIECE +
                                                        longRun(prefixLength, 'p') +
                                                        longRun(keptTitle, 'x') + "\\0");
    }
}

}  // namespace

namespace {

// Code page 932 (Shift-JIS), as the stand-in plays it for the test's length.
class ShiftJis : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(standin::setAnsiCodePage(932)); }
    void TearDown() override { standin::reset(); }
};

const std::string SO = "\x83\x5C";  // ソ: its second byte is a backslash
const std::string NN = "\x83\x93";  // ン
const std::string GU = "\x83\x4F";  // グ
const std::string DA = "\x83\x5F";  // ダ: its second byte is an underscore
const std::string SU = "\x83\x58";  // ス

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

// Second bytes are never separators, underscores or dots, and every cut
// falls between whole characters.
TEST_F(ShiftJis, NamesAreTakenByWholeCharacters) {
    struct Case {
        std::string path;
        std::string prefix;
        std::string expectedTitle;
        std::string expectedText;
    };
    const std::string longName = repeated(SO, 200);
    const Case cases[] = {
        {"C:\\Music\\" + SO + NN + GU + ".mp3", "watching ", SO + NN + GU,
         "\\0Music\\01\\0{0}\\0" + SO + NN + GU + "\\0"},
        {"C:\\Video\\" + DA + NN + SU + ".avi", "watching ", DA + NN + SU,
         "\\0Office\\01\\0{0}\\0watching " + DA + NN + SU + "\\0"},
        // 287 bytes of storage hold 143 whole characters.
        {"C:\\" + longName + ".avi", "watching ", repeated(SO, 143),
         "\\0Office\\01\\0{0}\\0watching " + repeated(SO, 143) + "\\0"},
        // With a 40-byte prefix the text has room for 259 title bytes: 129 characters.
        {"C:\\" + longName + ".avi", std::string(40, 'p'), repeated(SO, 143),
         "\\0Office\\01\\0{0}\\0" + std::string(40, 'p') + repeated(SO, 129) + "\\0"},
    };
    for (const Case& c : cases) {
        StatusProfiles profiles = defaultProfiles();
        std::strcpy(profiles.videoProfile.prefix, c.prefix.c_str());
        ComposedStatus composed{};
        composeStatus(c.path.c_str(), profiles, composed);
        EXPECT_EQ(std::string(composed.currentFileName), c.expectedTitle) << c.path;
        EXPECT_EQ(std::string(composed.statusText), c.expectedText) << c.path;
    }
}

}  // namespace
