#pragma once
// Composition of the messenger's now-playing text from an announced path.
//
// The text is UTF-16, as the messenger receives it. Its fields are separated
// by the two characters backslash and zero, never by a NUL:
//   <category code> "\01\0{0}\0" <prefix> <title> <suffix> "\0"
#include <cstddef>
#include <cstdint>

#include "status/now_playing_settings.h"
#include "status/playback_rules.h"
#include "status/presence_image.h"
#include "status/presence_settings.h"
#include "status/status_profile.h"
#include "tags/media_tags.h"

// Windows' longest path, 32,767 units, and a terminator.
constexpr std::size_t ANNOUNCED_PATH_CAPACITY = 32768;
constexpr std::size_t CURRENT_FILE_NAME_CAPACITY = 288;
static_assert(TAG_TEXT_CAPACITY == CURRENT_FILE_NAME_CAPACITY,
              "a tag title fits where a name does");
constexpr std::size_t STATUS_TEXT_CAPACITY = 320;
// A presence text as composed: more than the 128 bytes Discord takes, so
// that the shaping knows where one was cut.
constexpr std::size_t PRESENCE_COMPOSED_CAPACITY = 256;

constexpr char16_t STATUS_FIELD_SEPARATOR[] = u"\\0";
constexpr char16_t STATUS_FIXED_PIECE[] = u"\\01\\0{0}\\0";
constexpr char16_t STATUS_CLOSING[] = u"\\0";

// Sent to withdraw the status: category Games, an empty display line and four
// further empty fields (25 characters).
constexpr char16_t WITHDRAW_TEXT[] = u"\\0Games\\01\\0{0}\\0\\0\\0\\0\\0";

enum class MediaKind { Audio, Other };

// The path of the announced file, in UTF-16.
struct AnnouncedPath {
    char16_t text[ANNOUNCED_PATH_CAPACITY];  // terminated
    std::size_t length;                      // units before the terminator
    bool whole;  // false: the host's path was longer than any Windows path, and was cut
};

// Composition's module-lifetime storage: the title of the last announced
// file, the last composed status text and now-playing text, all UTF-16 and
// terminated. All start empty (all zero).
struct ComposedStatus {
    char16_t currentFileName[CURRENT_FILE_NAME_CAPACITY];
    char16_t statusText[STATUS_TEXT_CAPACITY];
    std::size_t statusLength;  // units of statusText before its terminator
    char16_t nowPlayingText[NOW_PLAYING_TEXT_CAPACITY];
    std::size_t nowPlayingLength;
    // The presence's texts by PresenceField, and the file's facts.
    char16_t presenceTexts[PRESENCE_FIELDS][PRESENCE_COMPOSED_CAPACITY];
    std::size_t presenceLengths[PRESENCE_FIELDS];
    char presenceImage[PRESENCE_IMAGE_TEXT_CAPACITY];  // UTF-8; empty: none
    char musicBrainzAlbumId[MUSICBRAINZ_ID_CAPACITY];  // empty: none, or not read
    // The tags as read, shaped; empty when unknown or not read.
    char16_t tagTitle[TAG_TEXT_CAPACITY];
    char16_t tagArtist[TAG_TEXT_CAPACITY];
    char16_t tagAlbum[TAG_TEXT_CAPACITY];
    bool hasPictures;
    bool hasDuration;
    std::uint32_t durationSeconds;
    CoverLocation cover;  // where its picture lies, when the cover file is wanted
};

// Converts `hostPath` (the host's ANSI code page, terminated, any length)
// to UTF-16 in `path` by the system's conversion, whole when it holds at
// most ANNOUNCED_PATH_CAPACITY - 1 bytes. A longer one names no file Windows
// can open: its first ANNOUNCED_PATH_CAPACITY - 1 bytes, cut between whole
// characters, are converted, and `whole` is false. Reads no further into
// `hostPath` than that.
void takeAnnouncedPath(const char* hostPath, AnnouncedPath& path);

// Returns Audio when the `length` units at `extension` (from the last dot to
// the end of a name, dot included) are ".MP3" or ".WAV" in any letter case.
MediaKind mediaKindOfExtension(const char16_t* extension, std::size_t length);

// Replaces `composed.currentFileName` with the title of `path` (its last
// backslash-separated component without the extension, underscores and dots
// turned into spaces; cut to CURRENT_FILE_NAME_CAPACITY - 1 units between
// whole characters), or, when the profile reads the tags and the whole
// path's file has tags that give a title, with "ARTIST - TITLE" or "TITLE"
// (the file is opened, read within its budget and closed before this
// returns, once, whoever wants its tags), and `composed.statusText` with the
// status text for it, using `profiles.audioProfile` or
// `profiles.videoProfile` by the extension, and `composed.statusLength`
// with its length. The status text is always terminated and always ends with
// the closing "\0": when it would exceed STATUS_TEXT_CAPACITY - 1 units, a
// prefix-and-suffix line shortens only the title, a template its end,
// between whole characters. When `nowPlaying` is given, also replaces
// `composed.nowPlayingText` and its length: its template composed for the
// file, or without one the display line as sent. When `presence` is given,
// also replaces the presence's texts (each cut between whole characters)
// and its image. Where the JSON file is wanted (`nowPlaying` names one),
// the tags and facts are read for it; where the cover file is, also where
// the picture lies. The tags, the release id and whether
// the file has pictures are noted whenever the file was read. How long it plays is noted whenever
// the file was read with its facts: for the presence, a [DURATION], or,
// when `rules` are given and a track ends by itself, for either
// destination. With `rules` saying so, the kind comes from the file's
// content (no picture track: audio) instead of its extension.
// Returns the kind of the file.
MediaKind composeStatus(const AnnouncedPath& path, const StatusProfiles& profiles,
                        ComposedStatus& composed, const NowPlayingSettings* nowPlaying = nullptr,
                        const PresenceSettings* presence = nullptr,
                        const PlaybackRules* rules = nullptr);
