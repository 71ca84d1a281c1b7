#pragma once
// Composition of the messenger's now-playing text from an announced path.
//
// The text is 8-bit, in the host's ANSI code page. Its fields are separated by
// the two characters backslash and zero, never by a NUL byte:
//   <category code> "\01\0{0}\0" <prefix> <title> <suffix> "\0"
#include <cstddef>

#include "status/status_profile.h"
#include "tags/media_tags.h"

constexpr std::size_t CURRENT_FILE_NAME_CAPACITY = 288;
static_assert(TAG_TEXT_CAPACITY == CURRENT_FILE_NAME_CAPACITY,
              "a tag title fits where a name does");
constexpr std::size_t STATUS_TEXT_CAPACITY = 320;

constexpr const char* STATUS_FIELD_SEPARATOR = "\\0";
constexpr const char* STATUS_FIXED_PIECE = "\\01\\0{0}\\0";
constexpr const char* STATUS_CLOSING = "\\0";

// Sent to withdraw the status: category Games, an empty display line and four
// further empty fields (25 characters).
constexpr const char* WITHDRAW_TEXT = "\\0Games\\01\\0{0}\\0\\0\\0\\0\\0";

enum class MediaKind { Audio, Other };

// Composition's module-lifetime storage: the title of the last announced file
// and the last composed status text. Both start empty (all zero).
struct ComposedStatus {
    char currentFileName[CURRENT_FILE_NAME_CAPACITY];
    char statusText[STATUS_TEXT_CAPACITY];
};

// Returns Audio when `extension` (from the last dot to the end of a name, dot
// included; may be null) is ".MP3" or ".WAV" in any letter case.
MediaKind mediaKindOfExtension(const char* extension);

// Replaces `composed.currentFileName` with the title of `path` (its last
// backslash-separated component without the extension, underscores and dots
// turned into spaces; cut to CURRENT_FILE_NAME_CAPACITY - 1 bytes), or, when
// the profile takes the title from the tags and the file's tags give one,
// with that title ("ARTIST - TITLE" or "TITLE": the file is opened, read
// within its budget and closed before this returns), and
// `composed.statusText` with the status text for it, using `profiles.audioProfile` or
// `profiles.videoProfile` by the extension. The status text is always terminated and
// always ends with the closing "\0"; when it would exceed
// STATUS_TEXT_CAPACITY - 1 bytes only the title is shortened. `path` is
// NUL-terminated and may be of any length. Returns the kind of the file.
MediaKind composeStatus(const char* path, const StatusProfiles& profiles, ComposedStatus& composed);
