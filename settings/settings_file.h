#pragma once
// Finds the settings file through the host player's registry value and reads
// its first two lines into the two status profiles.
//
// The file is read as text mode reads it on Windows, the same in every build:
// a carriage return before a line feed is dropped, a Ctrl-Z byte ends the
// data, and a UTF-8 byte-order mark at the very start is skipped. A file with
// that mark is UTF-8, and so is one whose two lines are valid UTF-8 with at
// least one character beyond ASCII; any other is in the ANSI code page.
#include <cstddef>
#include <cstdio>

#include "settings/settings_line.h"
#include "status/status_profile.h"

constexpr const char* HOST_REGISTRY_KEY = "SOFTWARE\\BST\\bsplayerv1";
constexpr const char* HOST_PATH_VALUE = "AppPath";
constexpr const char* SETTINGS_FILE_BESIDE_HOST = "\\plugins\\velkar.ini";
constexpr const char* FALLBACK_SETTINGS_PATH = "c:\\velkar.ini";
constexpr std::size_t REGISTRY_VALUE_CAPACITY = 300;
constexpr std::size_t SETTINGS_PATH_CAPACITY = 260;
// One read takes at most 299 bytes, a line feed included; the rest of a
// longer line is skipped.
constexpr std::size_t SETTINGS_LINE_CAPACITY = 300;

// The problems found on each line (lineProblems[0] is line 1), and how the
// file was read.
struct SettingsReport {
    SettingsProblems lineProblems[SETTINGS_LINES_READ];
    SettingsEncoding encoding;
};

// Where the settings bytes come from: an open file, or bytes in memory.
struct SettingsSource {
    std::FILE* file;  // when null, bytes[offset, size) are read
    const char* bytes;
    std::size_t size;
    std::size_t offset;
    bool ended;  // the end of the data, or a Ctrl-Z, has been read
};

// Reads the next line of `source` into `line` (`capacity` bytes, capacity >= 2):
// at most capacity - 1 bytes, its line feed included when it fits, always
// terminated. The rest of a longer line is skipped and `cut` set. Returns the
// number of bytes stored: 0, with `line` empty, when the data has ended
// before the line began.
std::size_t readSettingsLine(SettingsSource& source, char* line, std::size_t capacity, bool& cut);

// Writes the settings file's path into `settingsPath` (always terminated):
// the host's "AppPath" up to its last backslash followed by
// "\plugins\velkar.ini", or "c:\velkar.ini" when the value cannot be read, has
// no backslash, or the derived path would not fit.
void findSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]);

// Sets both profiles to the defaults, then fills them from the first two
// lines of `source`. `report`, when not null, receives the problems found.
void readSettings(SettingsSource& source, StatusProfiles& profiles, SettingsReport* report);

// readSettings over the `size` bytes at `bytes`.
void readSettingsBytes(const char* bytes, std::size_t size, StatusProfiles& profiles,
                       SettingsReport* report);

// readSettings over the file at `path`. Returns false, with both profiles at
// the defaults, when the file cannot be opened.
bool readSettingsFile(const char* path, StatusProfiles& profiles, SettingsReport* report);

// Fills `profiles` from the settings file the host's registry value leads to,
// or with the defaults when there is none to read. Reports nothing.
void loadSettings(StatusProfiles& profiles);
