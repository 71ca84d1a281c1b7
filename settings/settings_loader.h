#pragma once
// Finds the settings file through the host player's registry value and reads
// the two status profiles from it.
#include <cstddef>

#include "settings/settings_parser.h"
#include "status/status_profile.h"

constexpr const char* HOST_REGISTRY_KEY = "SOFTWARE\\BST\\bsplayerv1";
constexpr const char* HOST_PATH_VALUE = "AppPath";
constexpr const char* SETTINGS_FILE_BESIDE_HOST = "\\plugins\\velkar.ini";
constexpr const char* FALLBACK_SETTINGS_PATH = "c:\\velkar.ini";
constexpr std::size_t REGISTRY_VALUE_CAPACITY = 300;
constexpr std::size_t SETTINGS_PATH_CAPACITY = 260;

// Writes the settings file's path into `settingsPath` (always terminated):
// the host's "AppPath" up to its last backslash followed by
// "\plugins\velkar.ini", or "c:\velkar.ini" when the value cannot be read, has
// no backslash, or the derived path would not fit.
void findSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]);

// Fills `profiles` from the file at `path` (defaults for whatever the file
// does not give). Returns false, with both profiles at the defaults, when the
// file cannot be opened. `diagnostics` may be null.
bool readSettingsFile(const char* path, StatusProfiles& profiles, SettingsDiagnostics* diagnostics);

// Fills `profiles` from the settings file the host's registry value leads to,
// or with the defaults when there is none to read. Reports nothing.
void loadSettings(StatusProfiles& profiles);
