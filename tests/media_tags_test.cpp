// The tag reader against files that ffmpeg, mutagen and mkvpropedit wrote
// at test time, compared with what mutagen (or ffprobe) reads from them.
#include "tags/media_tags.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/standin.h"
#include "settings/settings_file.h"
#include "status/status_text.h"
#include "tags/cover_copy.h"
#include "test_support.h"

namespace {

const std::string MEDIA = VELKAR_MEDIA_DIR;

struct MediaFile {
    std::string name;
    std::string format;  // empty: the file's tags give nothing
    std::u16string artist, title, album;
    std::string seconds;  // as the oracle read them; "-": it could not tell
    double tolerance;     // 0: the format does not say, so no duration is right
    std::string kind;     // "audio" or "video"
};

std::string fromHex(const std::string& hex) {
    std::string bytes;
    if (hex == "-") return bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<MediaFile> mediaFiles() {
    std::vector<MediaFile> files;
    std::ifstream manifest(MEDIA + "/manifest.tsv");
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream columns(line);
        std::string c[8];
        for (std::string& column : c) std::getline(columns, column, '\t');
        files.push_back({c[0], c[1] == "-" ? "" : c[1], u16(fromHex(c[2])), u16(fromHex(c[3])),
                         u16(fromHex(c[4])), c[5], std::stod(c[6]), c[7]});
    }
    return files;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where the oracle's raw text is not what the messenger may see: controls
// and backslashes shaped, byte-order marks dropped, and a blank value no
// value, so that the album artist and the ID3v1 title show.
const std::map<std::string, std::pair<std::u16string, std::u16string>> SHAPED = {
    {"v24-control.mp3", {u"Back\\slash", u"Line Break Tab Para Next"}},
    {"v24-mark-inside.mp3", {u"Marked Artist", u"Marked Title"}},
    {"v23-second-mark.mp3", {u"Second Mark", u"Twice Marked"}},
    {"v23-blank.mp3", {u"Fallback Band", u"V1 Title"}},
    {"v24-artist-space.mp3", {std::u16string(126, u'A') + u" B", u"Cut"}},
};

std::u16string widePath(const std::string& path) { return u16(path); }

class MediaTagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin::reset();
        ASSERT_TRUE(standin::setAnsiCodePage(1252));
        files = mediaFiles();
        ASSERT_GE(files.size(), 60u) << "no media files in " << MEDIA;
    }
    void TearDown() override { standin::reset(); }
    std::vector<MediaFile> files;
};

TEST_F(MediaTagsTest, ReadsWhatTheOracleReadsWithinTheBudget) {
    for (const MediaFile& file : files) {
        MediaTags tags;
        ASSERT_TRUE(readMediaTags(widePath(MEDIA + "/" + file.name).c_str(), tags)) << file.name;
        EXPECT_EQ(std::string(tags.format), file.format) << file.name;
        const auto shaped = SHAPED.find(file.name);
        EXPECT_EQ(tags.artist, shaped != SHAPED.end() ? shaped->second.first : file.artist)
            << file.name;
        EXPECT_EQ(tags.title, shaped != SHAPED.end() ? shaped->second.second : file.title)
            << file.name;
        EXPECT_EQ(tags.album, file.album) << file.name;
        EXPECT_STREQ(tags.musicBrainzAlbumId, "") << file.name;
        EXPECT_LE(tags.bytesRead, TAG_READ_BUDGET) << file.name;
        EXPECT_LE(tags.seeks, TAG_SEEK_BUDGET) << file.name;
    }
}

// The picture a cover location names, as a copy would take it: the bytes
// at its offset, unsynchronisation undone.
// The picture as the worker copies it out of `file`; "copy failed" when it cannot.
std::string coverBytes(const std::string& file, const CoverLocation& cover) {
    std::string picture;
    const CoverSink append = [](const unsigned char* bytes, std::size_t count, void* context) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), count);
        return true;
    };
    const CoverSource source{PLATFORM_NO_FILE, reinterpret_cast<const unsigned char*>(file.data()),
                             file.size()};
    return copyCover(source, cover, append, &picture) ? picture : "copy failed";
}

// The release's MusicBrainz id where each format's taggers write it (after
// other user texts and a cover), in lower case; a malformed one is none.
// The front cover (after a back cover), where it lies, as embedded.
TEST_F(MediaTagsTest, ReleaseIdsAndCoversAsTaggersWriteThem) {
    std::ifstream releases(MEDIA + "/releases.tsv");
    std::string name;
    std::string wanted;
    std::string picture;
    std::size_t count = 0;
    while (releases >> name >> wanted >> picture) {
        ++count;
        const std::u16string path = widePath(MEDIA + "/" + name);
        MediaTags tags;
        ASSERT_TRUE(readMediaTags(path.c_str(), tags)) << name;
        EXPECT_EQ(std::string(tags.musicBrainzAlbumId), wanted == "-" ? "" : wanted) << name;
        EXPECT_EQ(std::u16string(tags.title), u"Released") << name;
        EXPECT_EQ(tags.cover.coding, PictureCoding::None) << name << ": not asked for";
        MediaTags covered;
        ASSERT_TRUE(readMediaTags(path.c_str(), covered, MediaRead::TagsFactsAndCover)) << name;
        EXPECT_EQ(std::string(covered.musicBrainzAlbumId), std::string(tags.musicBrainzAlbumId));
        EXPECT_LE(covered.bytesRead, TAG_READ_BUDGET) << name;
        if (picture == "-") {
            EXPECT_EQ(covered.cover.coding, PictureCoding::None) << name;
            continue;
        }
        ASSERT_NE(covered.cover.coding, PictureCoding::None) << name;
        EXPECT_TRUE(covered.cover.front) << name;
        EXPECT_EQ(covered.cover.format,
                  picture.find(".png") != std::string::npos ? ImageFormat::Png : ImageFormat::Jpeg)
            << name;
        EXPECT_EQ(coverBytes(fileBytes(MEDIA + "/" + name), covered.cover),
                  fileBytes(MEDIA + "/" + picture))
            << name;
    }
    EXPECT_GE(count, 12u);

    // A second comment block, which FLAC allows none of, counts no more
    // when the pictures after the first are looked for.
    const auto comments = [](const std::string& comment, bool last) {
        const std::string body = std::string("\0\0\0\0\1\0\0\0", 8) +
                                 static_cast<char>(comment.size()) + std::string(3, '\0') + comment;
        return std::string(1, static_cast<char>(last ? 0x84 : 0x04)) + '\0' + '\0' +
               static_cast<char>(body.size()) + body;
    };
    const std::string flac =
        "fLaC" + std::string("\0\0\0\x22", 4) + std::string(34, '\0') + comments("TITLE=A", false) +
        comments("MUSICBRAINZ_ALBUMID=76df3287-6cda-33eb-8e9a-044b5e15ffdd", true);
    for (const MediaRead what : {MediaRead::Tags, MediaRead::TagsFactsAndCover}) {
        MediaTags twice;
        readMediaTagsBytes(reinterpret_cast<const unsigned char*>(flac.data()), flac.size(), twice,
                           what);
        EXPECT_EQ(std::u16string(twice.title), u"A");
        EXPECT_STREQ(twice.musicBrainzAlbumId, "");
    }
}

// How long each file plays and whether it has pictures, against ffprobe
// (mutagen for made-up headers); the tags stay as they were read without them.
TEST_F(MediaTagsTest, FactsAgreeWithTheOracle) {
    std::size_t timed = 0;
    for (const MediaFile& file : files) {
        const std::u16string path = widePath(MEDIA + "/" + file.name);
        MediaTags tags;
        MediaTags tagsOnly;
        ASSERT_TRUE(readMediaTags(path.c_str(), tags, MediaRead::TagsAndFacts)) << file.name;
        ASSERT_TRUE(readMediaTags(path.c_str(), tagsOnly)) << file.name;
        EXPECT_EQ(std::u16string(tags.title), std::u16string(tagsOnly.title)) << file.name;
        EXPECT_EQ(std::u16string(tags.album), std::u16string(tagsOnly.album)) << file.name;
        EXPECT_FALSE(tagsOnly.hasDuration) << file.name;
        EXPECT_EQ(tags.video ? "video" : "audio", file.kind) << file.name;
        EXPECT_LE(tags.bytesRead, TAG_READ_BUDGET) << file.name;
        EXPECT_LE(tags.seeks, TAG_SEEK_BUDGET) << file.name;
        if (file.tolerance == 0) {
            EXPECT_FALSE(tags.hasDuration) << file.name;
        } else if (file.seconds != "-") {
            ++timed;
            EXPECT_TRUE(tags.hasDuration) << file.name;
            if (tags.hasDuration) {
                EXPECT_NEAR(tags.durationSeconds, std::stod(file.seconds), file.tolerance)
                    << file.name;
            }
        }
    }
    EXPECT_GE(timed, 60u);
}

// What lies beyond a large picture or the media data is reached by seeking.
TEST_F(MediaTagsTest, LargeDataIsSeekedPastNotRead) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"v23-picture-first.mp3", 16 * 1024},
        {"large-moov-at-end.mp4", 16 * 1024},
        {"tags-at-end.mkv", 16 * 1024},
    };
    for (const auto& [name, most] : cases) {
        MediaTags tags;
        readMediaTags(widePath(MEDIA + "/" + name).c_str(), tags);
        EXPECT_NE(tags.title[0], u'\0') << name;
        EXPECT_LE(tags.bytesRead, most) << name;
        EXPECT_GT(fileBytes(MEDIA + "/" + name).size(), 3 * most) << name;
    }
}

// Unicode tags arrive as written whatever the ANSI code page: they never
// pass through it.
TEST_F(MediaTagsTest, UnicodeTagsDoNotDependOnTheCodePage) {
    for (unsigned codePage : {932u, 65001u}) {
        ASSERT_TRUE(standin::setAnsiCodePage(codePage));
        for (const MediaFile& file : files) {
            if (file.name != "v23-japanese.mp3" && file.name != "v24-cyrillic.mp3" &&
                file.name != "v24-emoji.mp3") {
                continue;
            }
            MediaTags tags;
            readMediaTags(widePath(MEDIA + "/" + file.name).c_str(), tags);
            EXPECT_EQ(tags.artist, file.artist) << file.name << " " << codePage;
            EXPECT_EQ(tags.title, file.title) << file.name << " " << codePage;
        }
    }
}

// A file cut short anywhere, or with one byte changed, gives the whole
// field or none of it, within the budget.
TEST_F(MediaTagsTest, TruncatedAndDamagedFilesGiveWholeFieldsOrNone) {
    for (const MediaFile& file : files) {
        const std::string bytes = fileBytes(MEDIA + "/" + file.name);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        std::vector<std::size_t> cuts;
        for (std::size_t cut = 0; cut < 160 && cut < bytes.size(); cut += 3) cuts.push_back(cut);
        for (int eighth = 1; eighth < 8; ++eighth) cuts.push_back(bytes.size() * eighth / 8);
        for (std::size_t cut : cuts) {
            MediaTags tags;
            readMediaTagsBytes(data, cut, tags, MediaRead::TagsAndFacts);
            // A cut that leaves a FLAC's own tag out lets its stale ID3v2 title show.
            const bool staleTitle =
                file.name == "id3-title.flac" && std::u16string(tags.title) == u"Id3 Title";
            EXPECT_TRUE(tags.title[0] == u'\0' || tags.title == file.title || staleTitle ||
                        SHAPED.count(file.name) != 0)
                << file.name << " cut at " << cut << ": " << utf8(tags.title);
            EXPECT_LE(tags.bytesRead, TAG_READ_BUDGET);
        }
        std::string damaged = bytes;
        for (std::size_t at = 0; at < 200 && at < damaged.size(); ++at) {
            damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
            MediaTags tags;
            readMediaTagsBytes(reinterpret_cast<const unsigned char*>(damaged.data()),
                               damaged.size(), tags, MediaRead::TagsAndFacts);
            EXPECT_LE(tags.bytesRead, TAG_READ_BUDGET);
            EXPECT_LE(tags.seeks, TAG_SEEK_BUDGET);
            damaged[at] = bytes[at];
        }
    }
}

// A header that lies about how long the file plays gives no duration, and
// no other field stands in for it. Each row changes one field of a file
// that has a duration: the bytes after the first `marker` (Ogg: the last,
// the last page's), from `offset`.
TEST_F(MediaTagsTest, LyingHeadersGiveNoDuration) {
    const std::string ones(8, '\xFF');
    const std::string zeros(8, '\0');
    const std::string nan("\x7F\xF8\0\0\0\0\0\0", 8);
    const std::string huge("\x7E\x37\xE4\x3C\x88\x00\x75\x9C", 8);  // 1e300
    const std::string negative("\xC0\x4E\0\0\0\0\0\0", 8);          // -60
    const std::string fileProperties("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11", 8);
    struct Case {
        const char* file;
        std::string marker;
        std::size_t offset;
        std::string bytes;
        const char* what;
    };
    const Case cases[] = {
        {"length-vbr.mp3", "Xing", 8, ones.substr(0, 4), "2^32 - 1 frames in 60 KB"},
        {"length-vbr.mp3", "Xing", 8, zeros.substr(0, 4), "0 frames: no bit rate instead"},
        {"length.wav", "fmt ", 16, zeros.substr(0, 4), "a byte rate of 0"},
        {"length.wav", "fmt ", 16, std::string("\x01\0\0\0", 4), "a byte rate of 1"},
        {"length-rf64.wav", "ds64", 16, ones, "a data size past 2^63"},
        {"length.aiff", "COMM", 16, std::string("\x7F\xFF", 2), "an infinite rate"},
        {"length.aiff", "COMM", 16, zeros.substr(0, 2), "a rate of 0"},
        {"length.flac", "fLaC", 18, zeros.substr(0, 3), "a sample rate of 0"},
        {"length-adpcm-ms.wav", "fact", 8, ones.substr(0, 4), "2^32 - 1 samples of ADPCM"},
        {"length-pipe.wav", "fmt ", 16, zeros.substr(0, 4), "a byte rate of 0, to the end"},
        {"length-ima4.aifc", "COMM", 10, ones.substr(0, 4), "2^32 - 1 packets"},
        {"length-audio.avi", "strh", 8 + 24, zeros.substr(0, 4), "an audio rate of 0"},
        {"length-fragmented.m4a", "mehd", 8, ones.substr(0, 4), "fragments of 2^32 - 1 ms"},
        {"length.flac", "fLaC", 21, std::string("\x0F\xFF\xFF\xFF\xFF", 5), "2^36 - 1 samples"},
        {"length.ogg", "OggS", 6, ones, "a last granule position of -1"},
        {"length.opus", "OggS", 6, zeros, "a granule position before the pre-skip"},
        {"length.m4a", "mvhd", 16, zeros.substr(0, 4), "a timescale of 0"},
        {"length.m4a", "mvhd", 16, std::string("\0\0\0\x01", 4), "a timescale of 1"},
        {"length-video.mkv", std::string("\x44\x89\x88", 3), 3, nan, "a duration that is NaN"},
        {"length-video.mkv", std::string("\x44\x89\x88", 3), 3, huge, "a duration of 1e300"},
        {"length-video.mkv", std::string("\x44\x89\x88", 3), 3, negative, "a negative duration"},
        {"length-video.mkv", std::string("\x2A\xD7\xB1\x83", 4), 4, zeros.substr(0, 3),
         "a timestamp scale of 0"},
        {"length.wma", fileProperties, 64, ones, "a play duration past 2^63"},
        {"length.wma", fileProperties, 80, std::string("\xFF\xFF\xFF\0", 4),
         "a preroll past the duration"},
        {"length-video.avi", "avih", 8, zeros.substr(0, 4), "a frame time of 0"},
        {"length-video.avi", "avih", 24, ones.substr(0, 4), "2^32 - 1 frames"},
        {"length.dsf", "fmt ", 28, zeros.substr(0, 4), "a sampling rate of 0"},
        {"length.dsf", "fmt ", 36, ones, "2^64 - 1 samples"},
        {"length.wv", "wvpk", 12, ones.substr(0, 4), "an unknown sample count"},
        {"length.tta", "TTA1", 10, zeros.substr(0, 4), "a sample rate of 0"},
        {"length.ape", "MAC ", 52 + 12, zeros.substr(0, 4), "no frames"},
        {"length.ape", "MAC ", 52 + 20, zeros.substr(0, 4), "a sample rate of 0"},
        {"length.mpc", "SH", 8, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 9),
         "2^63 - 1 samples"},
    };
    for (const Case& c : cases) {
        const std::string bytes = fileBytes(MEDIA + "/" + c.file);
        const bool ogg = c.marker == "OggS";
        const std::size_t at = ogg ? bytes.rfind(c.marker) : bytes.find(c.marker);
        ASSERT_NE(at, std::string::npos) << c.file << ": " << c.what;
        ASSERT_LE(at + c.offset + c.bytes.size(), bytes.size()) << c.file << ": " << c.what;
        std::string lying = bytes;
        lying.replace(at + c.offset, c.bytes.size(), c.bytes);
        ASSERT_NE(lying, bytes) << c.file << ": " << c.what;
        const std::u16string name = widePath(c.file);
        MediaTags truthful;
        readMediaTagsBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                           truthful, MediaRead::TagsAndFacts, name.c_str());
        EXPECT_TRUE(truthful.hasDuration) << c.file;
        MediaTags tags;
        readMediaTagsBytes(reinterpret_cast<const unsigned char*>(lying.data()), lying.size(), tags,
                           MediaRead::TagsAndFacts, name.c_str());
        EXPECT_FALSE(tags.hasDuration)
            << c.file << ", " << c.what << ": " << tags.durationSeconds << " s";
        EXPECT_EQ(std::u16string(tags.title), std::u16string(truthful.title)) << c.file;
    }
    // An audiobook past a day keeps its duration where the file can hold
    // it: 3,445,313 frames of 576 samples at 22,050 Hz, in 12 MB.
    std::string book = fileBytes(MEDIA + "/length-vbr.mp3");
    const std::size_t xing = book.find("Xing");
    ASSERT_NE(xing, std::string::npos);
    book.replace(xing + 8, 4, std::string("\x00\x34\x92\x41", 4));
    book.append(12000000, '\0');
    MediaTags tags;
    readMediaTagsBytes(reinterpret_cast<const unsigned char*>(book.data()), book.size(), tags,
                       MediaRead::TagsAndFacts);
    EXPECT_TRUE(tags.hasDuration);
    EXPECT_EQ(tags.durationSeconds, 90000u);
    // A STREAMINFO block shorter than its 34 bytes is none, though its
    // first 18 hold a rate and a count.
    const std::string flac = fileBytes(MEDIA + "/length.flac");
    const std::string shortInfo = "fLaC" + std::string("\x80\0\0\x12", 4) + flac.substr(8, 18) +
                                  flac.substr(flac.size() / 2);  // frames enough for the length
    readMediaTagsBytes(reinterpret_cast<const unsigned char*>(shortInfo.data()), shortInfo.size(),
                       tags, MediaRead::TagsAndFacts);
    EXPECT_FALSE(tags.hasDuration) << tags.durationSeconds << " s";
}

// No writer in Debian makes ID3v2.2 or unsynchronised tags, so these few
// are built here, byte by byte as the ID3 documents lay them out.
std::string id3Tag(int version, unsigned char flags, const std::string& body) {
    const std::size_t size = body.size();
    std::string tag = "ID3";
    tag += static_cast<char>(version);
    tag += '\0';
    tag += static_cast<char>(flags);
    for (int shift = 21; shift >= 0; shift -= 7) tag += static_cast<char>((size >> shift) & 0x7F);
    return tag + body;
}

std::string id3Frame(const std::string& name, const std::string& data, int version,
                     unsigned char format = 0) {
    const std::size_t size = data.size();
    std::string frame = name;
    if (version == 2) {
        for (int shift = 16; shift >= 0; shift -= 8) frame += static_cast<char>(size >> shift);
        return frame + data;
    }
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame += static_cast<char>(version == 4 ? (size >> (shift * 7 / 8)) & 0x7F : size >> shift);
    }
    frame += '\0';
    frame += static_cast<char>(format);
    return frame + data;
}

// What unsynchronisation writes: a zero after each 0xFF.
std::string unsynchronise(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        out += c;
        if (c == '\xFF') out += '\0';
    }
    return out;
}

TEST_F(MediaTagsTest, Id3FormsNoWriterMakes) {
    const std::string latin1 = std::string(1, '\0');
    const struct {
        const char* name;
        std::string tag;
        const char16_t* artist;
        const char16_t* title;
    } cases[] = {
        {"ID3v2.2",
         id3Tag(2, 0,
                id3Frame("TP1", latin1 + "Old Band", 2) + id3Frame("TT2", latin1 + "Old Song", 2)),
         u"Old Band", u"Old Song"},
        {"ID3v2.3 unsynchronised, extended header",
         id3Tag(3, 0xC0,
                unsynchronise(std::string("\0\0\0\x06\0\0\0\0\0\0", 10) +
                              id3Frame("TIT2", latin1 + "\xFF\xFFy", 3))),
         u"", u"\u00FF\u00FFy"},
        // Old taggers set the extended-header flag with no such header: the
        // frames follow at once.
        {"ID3v2.3 flagged extended header, frame first",
         id3Tag(3, 0x40, id3Frame("TIT2", latin1 + "Flagged", 3)), u"", u"Flagged"},
        {"ID3v2.4 flagged extended header, frame first",
         id3Tag(4, 0x40,
                id3Frame("TPE1", latin1 + "Band", 4) + id3Frame("TIT2", latin1 + "Song", 4)),
         u"Band", u"Song"},
        {"ID3v2.4 frame unsynchronised with a data length indicator",
         id3Tag(4, 0,
                id3Frame("TIT2", std::string("\0\0\0\x04", 4) + latin1 + unsynchronise("\xFF\xFFz"),
                         4, 0x03)),
         u"", u"\u00FF\u00FFz"},
    };
    for (const auto& c : cases) {
        MediaTags tags;
        readMediaTagsBytes(reinterpret_cast<const unsigned char*>(c.tag.data()), c.tag.size(),
                           tags);
        EXPECT_EQ(std::u16string(tags.artist), c.artist) << c.name;
        EXPECT_EQ(std::u16string(tags.title), c.title) << c.name;
    }
    // A picture larger than the whole budget in an unsynchronised tag: the
    // audio after the tag still gives the length.
    const std::string mp3 = fileBytes(MEDIA + "/length-cbr.mp3");
    MediaTags plain;
    readMediaTagsBytes(reinterpret_cast<const unsigned char*>(mp3.data()), mp3.size(), plain,
                       MediaRead::TagsAndFacts);
    ASSERT_TRUE(plain.hasDuration);
    std::string picture(270000, '\xFF');
    for (std::size_t at = 3; at < picture.size(); at += 3) picture[at] = static_cast<char>(at);
    picture.replace(0, 3, "\xFF\xD8\xFF");  // a JPEG's signature, which a copy checks
    const std::string tag =
        id3Tag(3, 0x80,
               unsynchronise(
                   id3Frame("APIC", latin1 + "image/jpeg" + latin1 + "\x03" + latin1 + picture, 3) +
                   id3Frame("TIT2", latin1 + "After", 3)));
    const std::size_t audio = 10 + ((mp3[6] & 0x7F) << 21 | (mp3[7] & 0x7F) << 14 |
                                    (mp3[8] & 0x7F) << 7 | (mp3[9] & 0x7F));
    const std::string covered = tag + mp3.substr(audio);
    MediaTags tags;
    readMediaTagsBytes(reinterpret_cast<const unsigned char*>(covered.data()), covered.size(), tags,
                       MediaRead::TagsAndFacts);
    EXPECT_TRUE(tags.hasDuration);
    EXPECT_EQ(tags.durationSeconds, plain.durationSeconds);

    // Its picture is found where it lies, unsynchronised; and so is one in a
    // frame of its own unsynchronised, with the length it has once undone.
    const std::string small = std::string("\x89PNG\r\n\x1A\n\xFF\x00\xFF\xE0\xFF", 13) + "rest";
    const std::string header = latin1 + "image/png" + latin1 + "\x03" + "front" + latin1;
    const std::size_t decoded = header.size() + small.size();
    const std::string indicator = {
        static_cast<char>(decoded >> 21 & 0x7F), static_cast<char>(decoded >> 14 & 0x7F),
        static_cast<char>(decoded >> 7 & 0x7F), static_cast<char>(decoded & 0x7F)};
    const std::string frameUnsynchronised =
        id3Tag(4, 0, id3Frame("APIC", indicator + unsynchronise(header + small), 4, 0x03)) +
        mp3.substr(audio);
    const struct {
        const char* name;
        const std::string& file;
        const std::string& picture;
        ImageFormat format;
    } pictures[] = {
        {"the whole tag unsynchronised", covered, picture, ImageFormat::Jpeg},
        {"the frame unsynchronised", frameUnsynchronised, small, ImageFormat::Png},
    };
    for (const auto& c : pictures) {
        MediaTags withCover;
        readMediaTagsBytes(reinterpret_cast<const unsigned char*>(c.file.data()), c.file.size(),
                           withCover, MediaRead::TagsFactsAndCover);
        EXPECT_EQ(withCover.cover.coding, PictureCoding::Unsynchronised) << c.name;
        EXPECT_EQ(withCover.cover.format, c.format) << c.name;
        EXPECT_EQ(coverBytes(c.file, withCover.cover), c.picture) << c.name;
    }
}

struct TitleCase {
    const char* file;
    std::u16string expected;  // the status text: its title from the tags or the name
};

// Through composition: "[TAGS]" uses the tags where there are some, the
// file's name where there are none, and "[FILENAME]" never opens the file.
TEST_F(MediaTagsTest, ComposedTitleFromTagsOrName) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(MEDIA.c_str()), 0);
    StatusProfiles profiles;
    setDefaultProfiles(profiles);
    profiles.audioProfile.titleFromTags = true;
    profiles.videoProfile.titleFromTags = true;
    const TitleCase cases[] = {
        {"v23-utf16.mp3", u"\\0Music\\01\\0{0}\\0Bj\u00F6rk - J\u00F3ga\\0"},
        {"v24-title-only.mp3", u"\\0Music\\01\\0{0}\\0Only a Title\\0"},
        {"untagged.mp3", u"\\0Music\\01\\0{0}\\0untagged\\0"},
        {"video.mkv", u"\\0Office\\01\\0{0}\\0watching Matrjoschka - Nested video.mkv\\0"},
        {"missing_file.avi", u"\\0Office\\01\\0{0}\\0watching missing file\\0"},
        {"v24-emoji.mp3", u"\\0Music\\01\\0{0}\\0Smile \U0001F600 - Party \U0001F389\\0"},
        // The artist's 127 units would end inside the pair: it is cut before it.
        {"v24-long-artist.mp3",
         u"\\0Music\\01\\0{0}\\0" + std::u16string(126, u'A') + u" - Cut\\0"},
    };
    ComposedStatus composed{};
    for (const TitleCase& c : cases) {
        composeHostPath(c.file, profiles, composed);
        EXPECT_EQ(std::u16string(composed.statusText), c.expected) << c.file;
    }
    profiles.audioProfile.titleFromTags = false;
    composeHostPath("v23-utf16.mp3", profiles, composed);
    EXPECT_EQ(std::u16string(composed.statusText), u"\\0Music\\01\\0{0}\\0v23-utf16\\0");
    ASSERT_EQ(chdir(previous), 0);
}

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += piece;
    return text;
}

// Field markers and groups, in a profile line and in the now-playing text:
// each file shows what it has, and a group whose artist, album or
// duration is missing goes. The line's end is a space, as ever.
TEST_F(MediaTagsTest, TemplatesShowWhatEachFileHas) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(MEDIA.c_str()), 0);
    struct Case {
        const char* file;
        std::string line;        // line 2, for .mp3 files
        std::string nowPlaying;  // nowplaying-text; empty: none given
        std::u16string displayLine;
        std::u16string nowPlayingText;
    };
    const std::string groups = "[TITLE]{ by [ARTIST]}{ ([ALBUM])}";
    const Case cases[] = {
        {"v24-utf8.mp3", "1," + groups, "",
         u"D\u00E9j\u00E0 vu \u2013 en vivo by Caf\u00E9 Tacvba (Un Segundo MTV Unplugged) ",
         u"D\u00E9j\u00E0 vu \u2013 en vivo by Caf\u00E9 Tacvba (Un Segundo MTV Unplugged) "},
        {"v24-title-only.mp3", "1," + groups, "", u"Only a Title ", u"Only a Title "},
        {"v24-album-artist.mp3", "1," + groups, "", u"Compilation Track by Various Artists ",
         u"Compilation Track by Various Artists "},
        {"untagged.mp3", "1," + groups, "", u"untagged ", u"untagged "},
        // The now-playing text has a template of its own; the line keeps its form.
        {"v24-utf8.mp3", "1,[FILENAME]", "Now: [ARTIST] | [TAGS] | {[ALBUM]}", u"v24-utf8 ",
         u"Now: Caf\u00E9 Tacvba | Caf\u00E9 Tacvba - D\u00E9j\u00E0 vu \u2013 en vivo | Un "
         u"Segundo MTV Unplugged"},
        {"untagged.mp3", "1,[FILENAME]", "Now: [ARTIST] | [TAGS] | {[ALBUM]}", u"untagged ",
         u"Now:  | untagged | "},
        // How long it plays, where the file says; a group around it goes where it does not.
        {"length-cbr.mp3", "1,[TITLE]{ ([DURATION])}", "[DURATION] {[ARTIST] - }[TITLE]",
         u"Length length-cbr.mp3 (1:05) ", u"1:05 Length length-cbr.mp3"},
        {"length-video.mkv", "1,[TITLE]{ ([DURATION])}", "", u"Length length-video.mkv (1:06) ",
         u"Length length-video.mkv (1:06) "},
        {"song.xm", "1,[TITLE]{ ([DURATION])}", "[TITLE]{ [DURATION]}|[DURATION]|", u"Xm Song ",
         u"Xm Song||"},
        // A backslash in a tag is a slash in the messenger's text only, where
        // it would start a field separator.
        {"v24-control.mp3", "1,[ARTIST]: [TITLE]", "[TAGS] ([ARTIST])",
         u"Back/slash: Line Break Tab Para Next ",
         u"Back\\slash - Line Break Tab Para Next (Back\\slash)"},
        // Too long for the display line: cut at its end; the text still closes.
        {"v24-utf8.mp3", "1," + repeated("[TAGS] ", 12), "", std::u16string(), u""},
    };
    for (const Case& c : cases) {
        std::string file = c.line + "\n" + c.line + "\nnowplaying-file=np.txt\n";
        if (!c.nowPlaying.empty()) file += "nowplaying-text=" + c.nowPlaying + "\n";
        PluginSettings settings;
        readSettingsBytes(file.data(), file.size(), settings, nullptr);
        ComposedStatus composed{};
        composeHostPath(c.file, settings.profiles, composed, &settings.nowPlaying);
        const std::u16string text(composed.statusText, composed.statusLength);
        ASSERT_EQ(text.substr(0, 17), u"\\0Music\\01\\0{0}\\0") << c.file;
        ASSERT_EQ(text.substr(text.size() - 2), u"\\0") << c.file;
        const std::u16string line = text.substr(17, text.size() - 19);
        if (c.displayLine.empty()) {
            EXPECT_EQ(text.size(), STATUS_TEXT_CAPACITY - 1) << c.file;
            EXPECT_EQ(line.substr(0, 15), u"Caf\u00E9 Tacvba - D") << c.file;
            continue;
        }
        EXPECT_EQ(line, c.displayLine) << c.file;
        EXPECT_EQ(std::u16string(composed.nowPlayingText, composed.nowPlayingLength),
                  c.nowPlayingText)
            << c.file;
    }
    ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
