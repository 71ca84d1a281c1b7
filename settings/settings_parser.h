#pragma once
// The settings file's two lines, read into the two status profiles.
//
// Each line is: a category number, a comma, and a template holding the marker
// "[FILENAME]"; the text before the marker becomes the profile's prefix, the
// text after it the suffix. Line 1 fills the video profile, line 2 the audio
// profile. A line that cannot be used leaves its profile at the defaults.
//
// The parser applies the text-mode rules itself, so every build reads the
// same bytes the same way: a carriage return before a line feed is dropped, a
// Ctrl-Z byte ends the data, and a UTF-8 byte-order mark at the very start is
// skipped. It allocates nothing and accepts the bytes in pieces of any size.
#include <cstddef>

#include "status/status_profile.h"

constexpr std::size_t SETTINGS_LINE_CAPACITY = 300;
// A line keeps this many characters before its line feed; the rest is dropped.
constexpr std::size_t SETTINGS_LINE_KEPT = SETTINGS_LINE_CAPACITY - 2;
constexpr const char* FILENAME_MARKER = "[FILENAME]";
constexpr int SETTINGS_LINES_READ = 2;

enum class SettingsProblem {
    MissingLine,         // the file has no such line: the profile keeps its defaults
    LineCut,             // longer than SETTINGS_LINE_KEPT: the rest is ignored
    NoNumber,            // no category number at the start: defaults kept
    NoComma,             // no comma after the number: defaults kept
    NoMarker,            // no "[FILENAME]" in the template: defaults kept
    CategoryOutOfRange,  // a number other than 1 to 4: category Music
    PrefixCut,           // longer than the profile's field: cut
    SuffixCut,
};

struct SettingsDiagnostic {
    int line;
    SettingsProblem problem;
};

constexpr std::size_t MAX_SETTINGS_DIAGNOSTICS = 16;

struct SettingsDiagnostics {
    SettingsDiagnostic entries[MAX_SETTINGS_DIAGNOSTICS];
    std::size_t count;  // further problems beyond the capacity are dropped
};

// Parse state between pieces of input. Start it with beginSettings.
struct SettingsParser {
    StatusProfiles* profiles;
    SettingsDiagnostics* diagnostics;  // may be null: nothing is recorded
    char line[SETTINGS_LINE_CAPACITY];
    std::size_t lineLength;
    bool lineOverflowed;
    bool lineStarted;
    int lineNumber;      // the line being read, 1-based
    std::size_t offset;  // bytes seen so far, for the byte-order mark
    std::size_t byteOrderMarkSeen;
    bool carriageReturnPending;
    bool finished;
};

// Sets both profiles to the defaults and readies `parser` to fill them.
// `diagnostics`, when not null, is emptied and collects the problems found.
void beginSettings(SettingsParser& parser, StatusProfiles& profiles,
                   SettingsDiagnostics* diagnostics);

// Takes the next `size` bytes of the file. Returns false once the parser needs
// no more (both lines read, or Ctrl-Z reached); further bytes are ignored.
bool feedSettings(SettingsParser& parser, const char* bytes, std::size_t size);

// Ends the input: a last line without a line feed is used, and lines the file
// did not have are reported missing.
void finishSettings(SettingsParser& parser);

// Parses a whole file held in memory: beginSettings, feedSettings, finishSettings.
void parseSettings(const char* bytes, std::size_t size, StatusProfiles& profiles,
                   SettingsDiagnostics* diagnostics);
