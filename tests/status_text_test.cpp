#include "status/status_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "status/duration_text.h"
#include "test_support.h"
#include "text/bounded_text.h"

namespace {

StatusProfiles defaultProfiles() {
    StatusProfiles profiles;
    setDefaultProfiles(profiles);
    return profiles;
}

void setText(char16_t (&field)[PROFILE_TEXT_CAPACITY], const std::u16string& text) {
    copyBounded(field, PROFILE_TEXT_CAPACITY, text.c_str());
}

struct CompositionCase {
    const char* path;
    MediaKind kind;
    const char16_t* title;
    const char16_t* statusText;
};

// Titles drop exactly the extension, whatever its length.
TEST(ComposeStatus, DefaultProfilesTable) {
    const CompositionCase cases[] = {
        {"C:\\Media\\My_Band_-_Best.Song.mp3", MediaKind::Audio, u"My Band - Best Song",
         u"\\0Music\\01\\0{0}\\0My Band - Best Song\\0"},
        {"D:\\clips\\holiday.mpeg", MediaKind::Other, u"holiday",
         u"\\0Office\\01\\0{0}\\0watching holiday\\0"},
        {"movie.ts", MediaKind::Other, u"movie", u"\\0Office\\01\\0{0}\\0watching movie\\0"},
        {"C:\\a.b", MediaKind::Other, u"a", u"\\0Office\\01\\0{0}\\0watching a\\0"},
        {"a.flacx", MediaKind::Other, u"a", u"\\0Office\\01\\0{0}\\0watching a\\0"},
        {"a.mp", MediaKind::Other, u"a", u"\\0Office\\01\\0{0}\\0watching a\\0"},
        {"C:\\music\\README", MediaKind::Other, u"README",
         u"\\0Office\\01\\0{0}\\0watching README\\0"},
        {"x\\song.wav", MediaKind::Audio, u"song", u"\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.Wav", MediaKind::Audio, u"song", u"\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.WAV", MediaKind::Audio, u"song", u"\\0Music\\01\\0{0}\\0song\\0"},
        {"x\\song.MP3X", MediaKind::Other, u"song", u"\\0Office\\01\\0{0}\\0watching song\\0"},
        {"x\\song.wma", MediaKind::Other, u"song", u"\\0Office\\01\\0{0}\\0watching song\\0"},
        {"x\\.mp3", MediaKind::Audio, u"", u"\\0Music\\01\\0{0}\\0\\0"},
        {"x\\dir.v2\\name", MediaKind::Other, u"name", u"\\0Office\\01\\0{0}\\0watching name\\0"},
        // Only the backslash separates components.
        {"C:/media/a_b.mp3", MediaKind::Audio, u"C:/media/a b",
         u"\\0Music\\01\\0{0}\\0C:/media/a b\\0"},
        {"trailing\\", MediaKind::Other, u"", u"\\0Office\\01\\0{0}\\0watching \\0"},
        {"", MediaKind::Other, u"", u"\\0Office\\01\\0{0}\\0watching \\0"},
        // Latin-1 bytes arrive as the characters of the same value.
        {"C:\\caf\xE9_\x92s.mp3", MediaKind::Audio, u"caf\u00E9 \u0092s",
         u"\\0Music\\01\\0{0}\\0caf\u00E9 \u0092s\\0"},
    };
    const StatusProfiles profiles = defaultProfiles();
    for (const CompositionCase& c : cases) {
        ComposedStatus composed{};
        EXPECT_EQ(composeHostPath(c.path, profiles, composed), c.kind) << c.path;
        EXPECT_EQ(std::u16string(composed.currentFileName), c.title) << c.path;
        EXPECT_EQ(std::u16string(composed.statusText), c.statusText) << c.path;
    }
}

TEST(ComposeStatus, DurationsAsShown) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {0, u"0:00"},         {59, u"0:59"},
        {65, u"1:05"},        {3599, u"59:59"},
        {3600, u"1:00:00"},   {36061, u"10:01:01"},
        {90000, u"25:00:00"}, {4294967295u, u"1193046:28:15"},
    };
    for (const auto& [seconds, shown] : cases) {
        char16_t text[DURATION_TEXT_CAPACITY];
        EXPECT_EQ(formatDuration(seconds, text), shown.size()) << seconds;
        EXPECT_EQ(std::u16string(text), shown) << seconds;
    }
}

TEST(ComposeStatus, SecondCompositionReplacesTheFirstWhole) {
    const StatusProfiles profiles = defaultProfiles();
    ComposedStatus composed{};
    composeHostPath("C:\\Media\\A_very_long_name_for_a_song.mp3", profiles, composed);
    composeHostPath("b.ts", profiles, composed);
    EXPECT_EQ(std::u16string(composed.statusText), u"\\0Office\\01\\0{0}\\0watching b\\0");
    EXPECT_EQ(std::u16string(composed.currentFileName), u"b");
}

TEST(ComposeStatus, UsesEachProfileWhole) {
    StatusProfiles profiles = defaultProfiles();
    std::memcpy(profiles.audioProfile.categoryCode, CATEGORY_GAMES, 16);
    setText(profiles.audioProfile.prefix, u"Now Playing: ");
    setText(profiles.audioProfile.suffix, u" (loud)");
    ComposedStatus composed{};
    composeHostPath("x.mp3", profiles, composed);
    EXPECT_EQ(std::u16string(composed.statusText),
              u"\\0Games\\01\\0{0}\\0Now Playing: x (loud)\\0");
}

// Guard units around the storage show any write past it.
struct GuardedComposition {
    char16_t before[64];
    ComposedStatus composed;
    char16_t after[64];
};

constexpr char16_t GUARD = u'G';

void expectGuardsIntact(const GuardedComposition& guarded) {
    for (char16_t c : guarded.before) ASSERT_EQ(c, GUARD);
    for (char16_t c : guarded.after) ASSERT_EQ(c, GUARD);
}

void fillGuards(GuardedComposition& guarded) {
    for (char16_t& c : guarded.before) c = GUARD;
    for (char16_t& c : guarded.after) c = GUARD;
}

TEST(ComposeStatus, LongInputStaysInsideStorage) {
    struct LongCase {
        std::string path;
        MediaKind kind;
        std::u16string titleStart;
        bool whole;
    };
    const LongCase cases[] = {
        // A deep path: only the last component matters, however long the rest.
        {"C:\\" + std::string(20000, 'd') + "\\song.mp3", MediaKind::Audio, u"song", true},
        // A name longer than the title storage: the extension still decides.
        {"C:\\" + std::string(20000, 'n') + ".mp3", MediaKind::Audio, std::u16string(287, u'n'),
         true},
        // An extension far longer than any work copy.
        {"C:\\name." + std::string(300, 'e') + "mp3", MediaKind::Other, u"name", true},
        {std::string(400, '_'), MediaKind::Other, std::u16string(287, u' '), true},
        // Longer than any Windows path: its first 32,767 bytes, which name no file.
        {"C:\\" + std::string(40000, 'x') + "\\song.mp3", MediaKind::Other,
         std::u16string(287, u'x'), false},
    };
    StatusProfiles profiles = defaultProfiles();
    profiles.audioProfile.titleFromTags = true;
    profiles.videoProfile.titleFromTags = true;
    for (const LongCase& c : cases) {
        auto path = std::make_unique<AnnouncedPath>();
        takeAnnouncedPath(c.path.c_str(), *path);
        EXPECT_EQ(path->whole, c.whole);
        EXPECT_EQ(path->length, c.whole ? c.path.size() : ANNOUNCED_PATH_CAPACITY - 1);
        GuardedComposition guarded;
        fillGuards(guarded);
        EXPECT_EQ(composeStatus(*path, profiles, guarded.composed), c.kind);
        expectGuardsIntact(guarded);
        const std::u16string title = guarded.composed.currentFileName;
        EXPECT_EQ(title.substr(0, c.titleStart.size()), c.titleStart);
        const std::u16string text = guarded.composed.statusText;
        EXPECT_LE(text.size(), STATUS_TEXT_CAPACITY - 1);
        EXPECT_EQ(text.substr(text.size() - 2), u"\\0");
    }
}

// When the text would not fit, only the title gives way: category, fixed
// pieces, prefix and suffix stay whole, and the closing separator is kept.
TEST(ComposeStatus, OverlongTextShortensOnlyTheTitle) {
    StatusProfiles profiles = defaultProfiles();
    const std::u16string prefix(127, u'P');
    const std::u16string suffix(127, u'S');
    setText(profiles.videoProfile.prefix, prefix);
    setText(profiles.videoProfile.suffix, suffix);

    GuardedComposition guarded;
    fillGuards(guarded);
    composeHostPath("D:\\" + std::string(250, 't') + ".avi", profiles, guarded.composed);
    expectGuardsIntact(guarded);

    const std::u16string head = std::u16string(u"\\0Office") + STATUS_FIXED_PIECE + prefix;
    const std::u16string tail = suffix + u"\\0";
    const std::size_t titleRoom = STATUS_TEXT_CAPACITY - 1 - head.size() - tail.size();
    EXPECT_EQ(std::u16string(guarded.composed.statusText),
              head + std::u16string(titleRoom, u't') + tail);
    // The title itself is kept whole in its own storage.
    EXPECT_EQ(std::u16string(guarded.composed.currentFileName), std::u16string(250, u't'));
}

// The title storage keeps 287 units; with a 12-unit prefix the text is then
// exactly 319 units, and one more prefix unit costs the title one unit.
TEST(ComposeStatus, TitleIsCutOnlyWhenTheTextWouldNotFit) {
    for (const std::size_t prefixLength : {12u, 13u}) {
        StatusProfiles profiles = defaultProfiles();
        setText(profiles.videoProfile.prefix, std::u16string(prefixLength, u'p'));
        ComposedStatus composed{};
        composeHostPath(std::string(299, 'x') + ".avi", profiles, composed);
        const std::size_t keptTitle = prefixLength == 12 ? 287 : 286;
        EXPECT_EQ(std::u16string(composed.statusText),
                  std::u16string(u"\\0Office") + STATUS_FIXED_PIECE +
                      std::u16string(prefixLength, u'p') + std::u16string(keptTitle, u'x') +
                      u"\\0");
    }
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

std::u16string repeated(const std::u16string& piece, std::size_t count) {
    std::u16string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

// Names in the host's code page, converted whole by the system, then cut in
// UTF-16: a double-byte character whose second byte is a backslash's or an
// underscore's is one character and nothing else, and no cut parts a
// surrogate pair or leaves half a UTF-8 character.
TEST(ComposeStatus, CodePagesAndCuts) {
    struct Case {
        unsigned codePage;
        std::string path;
        std::size_t prefixLength;  // of 'p's instead of "watching "; 0: the default
        std::u16string expectedTitle;
        std::u16string expectedLine;
    };
    const std::string SO = "\x83\x5C";  // ソ in code page 932: its second byte is a backslash
    const std::string DA = "\x83\x5F";  // ダ: its second byte is an underscore
    const std::string NN = "\x83\x93";  // ン
    const std::u16string longSo = repeated(u"\u30BD", 287);
    const std::string E_ACUTE = "\xC3\xA9";
    const std::string NOTE = "\xE2\x99\xAA";      // ♪
    const std::string FACE = "\xF0\x9F\x98\x80";  // 😀, a surrogate pair
    const Case cases[] = {
        {932, "C:\\Music\\" + SO + NN + ".mp3", 0, u"\u30BD\u30F3", u"\u30BD\u30F3"},
        {932, "C:\\Video\\" + DA + NN + ".avi", 0, u"\u30C0\u30F3", u"watching \u30C0\u30F3"},
        {936, "C:\\Music\\\x81\x5C\x81\x5F.mp3", 0, u"\u4E57\u4E62", u"\u4E57\u4E62"},
        {950, "C:\\Music\\\xA4\x5C\xA4\x5F.mp3", 0, u"\u4E48\u4E8E", u"\u4E48\u4E8E"},
        // 300 characters: the title keeps 287 of them, the text room for them all...
        {932, "C:\\" + repeated(SO, 300) + ".avi", 0, longSo, u"watching " + longSo},
        // ...but with a 40-unit prefix, room for 259.
        {932, "C:\\" + repeated(SO, 300) + ".avi", 40, longSo,
         std::u16string(40, u'p') + repeated(u"\u30BD", 259)},
        {65001, "C:\\" + repeated(E_ACUTE, 300) + ".avi", 0, repeated(u"\u00E9", 287),
         u"watching " + repeated(u"\u00E9", 287)},
        {65001, "C:\\" + repeated(NOTE, 300) + ".avi", 0, repeated(u"\u266A", 287),
         u"watching " + repeated(u"\u266A", 287)},
        // 287 units would end inside a pair: 143 pairs, 286 units, are kept.
        {65001, "C:\\" + repeated(FACE, 200) + ".avi", 0, repeated(u"\U0001F600", 143),
         u"watching " + repeated(u"\U0001F600", 143)},
        {65001, "C:\\" + repeated(FACE, 200) + ".avi", 40, repeated(u"\U0001F600", 143),
         std::u16string(40, u'p') + repeated(u"\U0001F600", 129)},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(standin::setAnsiCodePage(c.codePage));
        StatusProfiles profiles = defaultProfiles();
        if (c.prefixLength > 0)
            setText(profiles.videoProfile.prefix, std::u16string(c.prefixLength, u'p'));
        ComposedStatus composed{};
        const MediaKind kind = composeHostPath(c.path, profiles, composed);
        const std::u16string category = kind == MediaKind::Audio ? u"\\0Music" : u"\\0Office";
        EXPECT_EQ(std::u16string(composed.currentFileName), c.expectedTitle) << c.codePage;
        EXPECT_EQ(std::u16string(composed.statusText),
                  category + STATUS_FIXED_PIECE + c.expectedLine + u"\\0")
            << c.codePage << " " << c.path.size();
        standin::reset();
    }
}

}  // namespace

// Which paths a private line covers: a folder and all below it, wildcards
// over the whole path, letter case in any script.
TEST(PrivatePaths, PatternsTable) {
    struct Case {
        const char* patterns;  // UTF-8, as the line's value
        const char* path;      // UTF-8
        bool isPrivate;
    };
    const Case cases[] = {
        {"", "C:\\Videos\\a.mkv", false},
        {"C:\\Private", "C:\\Private\\a.mkv", true},
        {"C:\\Private\\", "c:\\PRIVATE\\sub\\deeper\\a.mkv", true},
        {"C:\\Private", "C:\\PrivateClips\\a.mkv", false},  // a folder, not a prefix
        {"C:/Private", "C:\\Private\\a.mkv", true},
        {"C:\\Private\\a.mkv", "C:\\Private\\a.mkv", true},  // a file names itself
        {"*\\t.flac", "D:\\Music\\T.FLAC", true},
        {"*\\t.flac", "D:\\Music\\at.flac", false},
        {"*.mkv", "D:\\a\\b\\c.MKV", true},  // a star crosses folders
        {"D:\\clip?.avi", "D:\\clip7.avi", true},
        {"D:\\clip?.avi", "D:\\clip10.avi", false},
        {"D:\\?.avi", "D:\\\xF0\x9F\x98\x80.avi", true},  // one character, two units
        {" D:\\Other ; C:\\Личное ", "C:\\ЛИЧНОЕ\\видео.mkv", true},
        {"C:\\Ärger", "c:\\ärger\\x.mp3", true},
        {"*a*a*a*a*a*b", "C:\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.mkv", false},
        {";;", "C:\\a.mkv", false},
    };
    for (const Case& c : cases) {
        PlaybackRules rules;
        setDefaultPlaybackRules(rules);
        const std::u16string patterns = u16(c.patterns);
        ASSERT_LT(patterns.size(), PRIVATE_PATTERNS_CAPACITY);
        copyBoundedCount(rules.privatePatterns, PRIVATE_PATTERNS_CAPACITY, patterns.data(),
                         patterns.size());
        rules.privateLength = patterns.size();
        const std::u16string path = u16(c.path);
        EXPECT_EQ(isPrivatePath(rules, path.data(), path.size()), c.isPrivate)
            << c.patterns << " / " << c.path;
    }
}
