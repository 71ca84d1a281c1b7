#pragma once
// Finds the settings file through the host player's registry value and reads
// its first two lines into the two status profiles.
//
// The file is read as text mode reads it on Windows, the same in every build:
// a carriage return before a line feed is dropped, a Ctrl-Z byte ends the
// data, and a UTF-8 byte-order mark at the very start is skipped. A file with
// that mark is UTF-8, and so is one whose two lines are valid UTF-8 with at
// least one character beyond ASCII; any other is in the ANSI code page.
// Either way its words are read into UTF-16.
#include <cstddef>

#include "settings/settings_line.h"
#include "status/status_profile.h"

constexpr const char16_t* HOST_REGISTRY_KEY = u"SOFTWARE\\BST\\bsplayerv1";
constexpr const char16_t* HOST_PATH_VALUE = u"AppPath";
constexpr const char16_t* SETTINGS_FILE_BESIDE_HOST = u"\\plugins\\velkar.ini";
constexpr const char16_t* FALLBACK_SETTINGS_PATH = u"c:\\velkar.ini";
// The host's "AppPath" in UTF-16 units, terminator included; a longer value
// is not read.
constexpr std::size_t REGISTRY_VALUE_CAPACITY = 300;
// The settings file's path in UTF-16 units, terminator included.
constexpr std::size_t SETTINGS_PATH_CAPACITY = 260;
// One read takes at most 299 bytes, a line feed included; the rest of a
// longer line is skipped.
constexpr std::size_t SETTINGS_LINE_CAPACITY = 300;
// Of a settings file, at most this many bytes are read.
constexpr std::size_t SETTINGS_FILE_CAPACITY = 64 * 1024;

// The problems found on each line (lineProblems[0] is line 1), and how the
// file was read.
struct SettingsReport {
    SettingsProblems lineProblems[SETTINGS_LINES_READ];
    SettingsEncoding encoding;
};

// Writes the settings file's path into `settingsPath` (always terminated):
// the host's "AppPath" up to its last backslash followed by
// "\plugins\velkar.ini", or "c:\velkar.ini" when the value cannot be read, has
// no backslash, or the derived path would not fit.
void findSettingsPath(char16_t (&settingsPath)[SETTINGS_PATH_CAPACITY]);

// Sets both profiles to the defaults, then fills them from the first two
// lines of the `size` bytes at `bytes`. `report`, when not null, receives
// the problems found.
void readSettingsBytes(const char* bytes, std::size_t size, StatusProfiles& profiles,
                       SettingsReport* report);

// readSettingsBytes over the first SETTINGS_FILE_CAPACITY bytes of the file
// at `path` (UTF-16, terminated), which is opened shared and closed before
// this returns. Returns false, with both profiles at the defaults, when the
// file cannot be opened. Not reentrant: it reads into static storage.
bool readSettingsFile(const char16_t* path, StatusProfiles& profiles, SettingsReport* report);

// Fills `profiles` from the settings file the host's registry value leads to,
// or with the defaults when there is none to read. Reports nothing.
void loadSettings(StatusProfiles& profiles);
