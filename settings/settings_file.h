#pragma once
// Finds the settings file through the host player's registry value and reads
// it: its first two lines into the two status profiles, the "name=value"
// lines after them into the now-playing file's settings.
//
// The file is read as text mode reads it on Windows, the same in every build:
// a carriage return before a line feed is dropped, a Ctrl-Z byte ends the
// data, and a UTF-8 byte-order mark at the very start is skipped. A file with
// that mark is UTF-8, and so is one whose lines are all valid UTF-8 with at
// least one character beyond ASCII; any other is in the ANSI code page. A
// file that begins with a UTF-16 byte-order mark (as Notepad's "Unicode"
// saves it) is converted to UTF-8 first and then read as a UTF-8 file, so
// every line rule and limit means what it means there. Either way its text
// is read into UTF-16.
#include <cstddef>

#include "settings/settings_line.h"
#include "settings/settings_option.h"
#include "status/now_playing_settings.h"
#include "status/status_profile.h"

constexpr const char16_t* HOST_REGISTRY_KEY = u"SOFTWARE\\BST\\bsplayerv1";
constexpr const char16_t* HOST_PATH_VALUE = u"AppPath";
constexpr const char16_t* SETTINGS_FILE_BESIDE_HOST = u"\\plugins\\velkar.ini";
constexpr const char16_t* FALLBACK_SETTINGS_PATH = u"c:\\velkar.ini";
// The settings file's name beside the plug-in's DLL, and the DLL's name.
constexpr const char16_t* SETTINGS_FILE_BESIDE_PLUGIN = u"\\velkar.ini";
constexpr const char16_t* PLUGIN_FILE_NAME = u"\\velkar.dll";
// Where setup puts the plug-in, seen from the folder of the programs it
// installs beside it.
constexpr const char16_t* PLUGIN_FOLDER_BESIDE_PROGRAMS = u"\\..\\plugins";
// The host's "AppPath" in UTF-16 units, terminator included; a longer value
// is not read.
constexpr std::size_t REGISTRY_VALUE_CAPACITY = 300;
// The settings file's path in UTF-16 units, terminator included.
constexpr std::size_t SETTINGS_PATH_CAPACITY = 260;
// One read of a profile line takes at most 299 bytes, a line feed included;
// the rest of a longer line is skipped.
constexpr std::size_t SETTINGS_LINE_CAPACITY = 300;
// A "name=value" line takes at most 2047 bytes, enough for any path; a
// longer one is ignored whole.
constexpr std::size_t SETTINGS_OPTION_LINE_CAPACITY = 2048;
// Of a settings file, at most this many bytes are read.
constexpr std::size_t SETTINGS_FILE_CAPACITY = 64 * 1024;

// The byte-order mark a settings file begins with, if any.
enum class SettingsMark { None, Utf8, Utf16LittleEndian, Utf16BigEndian };

// Everything the settings file sets.
struct PluginSettings {
    StatusProfiles profiles;
    NowPlayingSettings nowPlaying;
    PresenceSettings presence;
    PlaybackRules rules;
};

// The most problems with "name=value" lines a report keeps.
constexpr std::size_t SETTINGS_OPTION_REPORTS = 16;

struct SettingsOptionReport {
    unsigned lineNumber;
    SettingsOptionProblem problem;
};

// The problems found on each profile line (lineProblems[0] is line 1), those
// of the lines after them (the first SETTINGS_OPTION_REPORTS, and how many in
// all), and how the file was read: its mark, and how its lines were decoded
// (a UTF-16 file's, after its conversion, as UTF-8). What the plug-in took,
// for the settings program to show and edit: each profile line as decoded
// (as far as its buffer took it, its line feed left out), and for each name
// the line whose value counts (counted from 1; 0 for none).
struct SettingsReport {
    SettingsProblems lineProblems[SETTINGS_LINES_READ];
    SettingsOptionReport options[SETTINGS_OPTION_REPORTS];
    std::size_t optionProblemCount;
    SettingsEncoding encoding;
    SettingsMark mark;
    char16_t profileLines[SETTINGS_LINES_READ][SETTINGS_LINE_CAPACITY];
    std::size_t profileLineLengths[SETTINGS_LINES_READ];
    unsigned optionLines[SETTINGS_OPTION_NAMES];
};

// The mark the `size` bytes at `bytes` begin with.
SettingsMark settingsMarkOf(const char* bytes, std::size_t size);

// Sets `settings` to the built-in defaults: both profiles, and no
// now-playing file.
void setDefaultSettings(PluginSettings& settings);

// Converts the `length` bytes at `text`, settings text in `encoding`, to
// UTF-16 in `out` (`capacity` units; `length` units always suffice), no
// terminator: UTF-8 with one U+FFFD for each longest start of a character
// that does not go on (a byte that begins none is one alone), wherever the
// bytes end; ANSI by the system's conversion. Returns the number of units. The plug-in and
// the settings program decode each line's text, its line end left out,
// with it alone.
std::size_t decodeSettingsText(const char* text, std::size_t length, SettingsEncoding encoding,
                               char16_t* out, std::size_t capacity);

// Writes the settings file's path into `settingsPath` (always terminated):
// the host's "AppPath" up to its last backslash followed by
// "\plugins\velkar.ini"; when the value cannot be read, has no backslash, or
// the derived path would not fit, the "velkar.ini" in `pluginFolder` (the
// folder of the plug-in's DLL, no separator at its end; null: unknown) when
// a file there opens for reading, else "c:\velkar.ini".
void findSettingsPath(char16_t (&settingsPath)[SETTINGS_PATH_CAPACITY],
                      const char16_t* pluginFolder);

// The folder of the plug-in's DLL as a program installed with it finds it,
// into `pluginFolder`: the program's own folder when velkar.dll is there (the
// ZIP unpacked), else the "plugins" folder beside it (setup's layout) when
// velkar.dll is there. Returns false when neither holds it.
bool findPluginFolder(char16_t (&pluginFolder)[SETTINGS_PATH_CAPACITY]);

// Sets `settings` to the defaults, then fills them from the `size` bytes at
// `bytes`. A relative now-playing path stays as it is written. `report`,
// when not null, receives the problems found. Not reentrant: a UTF-16
// file is converted in static storage.
void readSettingsBytes(const char* bytes, std::size_t size, PluginSettings& settings,
                       SettingsReport* report);

// Expands the environment variables (%LOCALAPPDATA%) of the now-playing
// file's, the JSON file's and the cover's paths, puts the folder of the settings file at
// `settingsPath` before a relative one (a path that would not fit then
// sets no file), and marks a path that names that very file (it is never
// written).
void placeNowPlayingPath(const char16_t* settingsPath, NowPlayingSettings& nowPlaying);

// readSettingsBytes over the first SETTINGS_FILE_CAPACITY bytes of the file
// at `path` (UTF-16, terminated), which is opened shared and closed before
// this returns, then placeNowPlayingPath for its path. Returns false, with the
// defaults, when the file cannot be opened. Not reentrant: it reads into
// static storage.
bool readSettingsFile(const char16_t* path, PluginSettings& settings, SettingsReport* report);
