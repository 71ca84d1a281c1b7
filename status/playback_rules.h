#pragma once
// What the plug-in does with a file beyond composing its text, as
// velkar.ini gives it: which files are private (their publish is a
// withdraw, so nothing of their name or tags leaves the plug-in), how long
// after its end a published track counts as over though the host said
// nothing, and whether a file's kind (audio or not) comes from its name's
// extension or from what it holds.
#include <cstddef>
#include <cstdint>

// The private patterns as written, ";" between them.
constexpr std::size_t PRIVATE_PATTERNS_CAPACITY = 1024;
constexpr std::uint32_t DEFAULT_STALE_AFTER_SECONDS = 30;
// A longer margin is no margin a user means: a day at most.
constexpr std::uint32_t LONGEST_STALE_AFTER_SECONDS = 86400;

enum class AudioFiles { ByExtension, ByContent };

struct PlaybackRules {
    char16_t privatePatterns[PRIVATE_PATTERNS_CAPACITY];  // UTF-16, terminated; empty: none
    std::size_t privateLength;
    bool endsByItself;  // false: stale-after=never
    std::uint32_t staleAfterSeconds;
    AudioFiles audioFiles;
};

// Sets `rules` to no private files, a track over 30 s after its end, and
// the kind by the extension.
void setDefaultPlaybackRules(PlaybackRules& rules);

// Whether the `length` units at `path` (UTF-16, a full path) match one of
// the private patterns: a pattern without "*" or "?" names a folder (every
// file below it) or a file; one with them is matched against the whole
// path, "*" standing for any run of characters (backslashes too), "?" for
// one. Letter case counts for nothing, in any script; "/" is "\". Not
// reentrant: it compares in static storage.
bool isPrivatePath(const PlaybackRules& rules, const char16_t* path, std::size_t length);
