#pragma once
// The now-playing file's settings, as velkar.ini gives them: where it goes,
// what it holds while something plays and after a withdraw, and how its
// text is encoded. The composition fills in its text; outputs/now_playing
// writes it.
#include <cstddef>

constexpr std::size_t NOW_PLAYING_PATH_CAPACITY = 1024;
constexpr std::size_t NOW_PLAYING_TEMPLATE_CAPACITY = 2048;
constexpr std::size_t NOW_PLAYING_TEXT_CAPACITY = 2048;

enum class NowPlayingEncoding { Utf8, Utf8WithMark, Utf16, Ansi };

// The now-playing file's settings; all text UTF-16 and terminated.
struct NowPlayingSettings {
    char16_t path[NOW_PLAYING_PATH_CAPACITY];  // empty: no file is written
    // What the file holds while something plays; without it, the display line.
    char16_t textTemplate[NOW_PLAYING_TEMPLATE_CAPACITY];
    std::size_t textTemplateLength;
    bool hasTextTemplate;
    // What it holds after a withdraw (and before anything plays).
    char16_t withdrawnText[NOW_PLAYING_TEMPLATE_CAPACITY];
    std::size_t withdrawnLength;
    NowPlayingEncoding encoding;
    bool namesSettingsFile;  // the path is that of the settings file it was read from
    bool switchedOff;        // nowplaying=off: no file is written, whatever the paths
    // The JSON file for web overlays (nowplaying-json); empty: none.
    char16_t jsonPath[NOW_PLAYING_PATH_CAPACITY];
    bool jsonNamesSettingsFile;
    // Where the playing file's cover picture goes (nowplaying-cover), and
    // the picture shown there when it has none (nowplaying-cover-missing);
    // empty: none.
    char16_t coverPath[NOW_PLAYING_PATH_CAPACITY];
    char16_t coverMissingPath[NOW_PLAYING_PATH_CAPACITY];
};

// Whether a now-playing file is to be written.
inline bool nowPlayingWanted(const NowPlayingSettings& settings) {
    return settings.path[0] != u'\0' && !settings.switchedOff;
}

// Whether the JSON file is to be written.
inline bool nowPlayingJsonWanted(const NowPlayingSettings& settings) {
    return settings.jsonPath[0] != u'\0' && !settings.switchedOff;
}

// Whether the cover is to be written.
inline bool nowPlayingCoverWanted(const NowPlayingSettings& settings) {
    return settings.coverPath[0] != u'\0' && !settings.switchedOff;
}

// Sets `settings` to no file, the display line, an empty withdrawn text and UTF-8.
void setDefaultNowPlaying(NowPlayingSettings& settings);
