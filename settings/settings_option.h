#pragma once
// The lines after the two profile lines: optional "name=value" settings,
// in any order. Older versions of the plug-in never read past line 2, so
// files with them work both ways.
//
//   nowplaying-file=PATH         the now-playing file (relative: to the
//                                settings file's folder); without it none
//   nowplaying-text=TEMPLATE     what it holds while something plays;
//                                without it, the display line
//   nowplaying-withdrawn=TEXT    what it holds after a withdraw; empty
//   nowplaying-encoding=utf-8 | utf-8-bom | utf-16 | ansi    (utf-8)
//   discord-application-id=DIGITS   the Discord application; without it
//                                   no presence
//   discord-details=TEMPLATE        ([TITLE])
//   discord-state=TEMPLATE          ({by [ARTIST]})
//   discord-image-text=TEMPLATE     ({[ALBUM]})
//   discord-shows=name | details | state    (details)
//   discord-time=bar | elapsed | none       (bar)
//   discord-image=KEY or https URL  none by default
//   discord=on | off             off: no presence whatever else is set;
//                                without it, an application id means on
//   nowplaying=on | off          off: no now-playing file whatever the path
//   stale-after=SECONDS | never  a published track with a known length is
//                                over this long after its end (30)
//   private=PATTERN;PATTERN...   files published as a withdraw (none)
//   audio-files=extension | content   (extension)
//
// Names and the encoding's values count in any letter case. A value runs
// from after "=" to the end of its line (spaces around an encoding aside).
// Blank lines and lines beginning with ";" or "#" are comments.
#include <cstddef>

#include "status/now_playing_settings.h"
#include "status/playback_rules.h"
#include "status/presence_settings.h"

// What can be wrong with such a line. The plug-in ignores the line (a
// repeated name: the last one counts); the preview tool reports it.
enum class SettingsOptionProblem {
    None,
    NotNameValue,  // no "=" after a name
    UnknownName,
    BadValue,     // a word not in its list, an id or image not of its form, or too long
    Repeated,     // the name was given before; this one counts
    LineTooLong,  // longer than the line buffer: the whole line is ignored
};

// The names, by their index.
enum SettingsOptionName {
    OPTION_FILE,
    OPTION_TEXT,
    OPTION_WITHDRAWN,
    OPTION_ENCODING,
    OPTION_DISCORD_ID,
    OPTION_DISCORD_DETAILS,
    OPTION_DISCORD_STATE,
    OPTION_DISCORD_IMAGE_TEXT,
    OPTION_DISCORD_SHOWS,
    OPTION_DISCORD_TIME,
    OPTION_DISCORD_IMAGE,
    OPTION_DISCORD,
    OPTION_NOW_PLAYING,
    OPTION_STALE_AFTER,
    OPTION_PRIVATE,
    OPTION_AUDIO_FILES,
    OPTION_NOW_PLAYING_JSON,
    OPTION_NOW_PLAYING_COVER,
    OPTION_NOW_PLAYING_COVER_MISSING,
    SETTINGS_OPTION_NAMES,
};
extern const char* const SETTINGS_OPTION_NAME_TEXTS[SETTINGS_OPTION_NAMES];
// The encodings' names, by NowPlayingEncoding.
extern const char* const NOW_PLAYING_ENCODING_NAMES[4];
// The words of discord-shows, by PresenceShows, and of discord-time, by PresenceTime.
extern const char* const PRESENCE_SHOWS_NAMES[3];
extern const char* const PRESENCE_TIME_NAMES[3];
// The words of the two switches (by bool: off, on), of stale-after's
// "never", and of audio-files, by AudioFiles.
extern const char* const SWITCH_NAMES[2];
extern const char* const STALE_AFTER_NEVER;
extern const char* const AUDIO_FILES_NAMES[2];

// Which name the `length` units at `line` (UTF-16, its line end removed)
// set, and in `value` where its value begins; SETTINGS_OPTION_NAMES when the
// line is a comment, blank, or sets no known name.
SettingsOptionName settingsOptionNameOf(const char16_t* line, std::size_t length,
                                        std::size_t& value);

// The names seen so far, to tell a repeated one.
using SettingsOptionNames = unsigned;

// Parses the `length` units at `line` (UTF-16, its line end removed) into
// `nowPlaying`, `presence` or `rules`, noting its name in `seen`. Returns
// the problem found; a bad value changes nothing.
SettingsOptionProblem parseSettingsOption(const char16_t* line, std::size_t length,
                                          NowPlayingSettings& nowPlaying,
                                          PresenceSettings& presence, PlaybackRules& rules,
                                          SettingsOptionNames& seen);
