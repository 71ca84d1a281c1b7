#pragma once
// One profile line of the settings file, read into its status profile.
//
// A line is a category number, a comma, and a template holding markers
// (status_template.h). With one marker, "[FILENAME]" or "[TAGS]", the text
// before it becomes the profile's prefix, the text after it the suffix, and
// "[TAGS]" has the title taken from the file's tags; with several, or with
// another, the template is kept whole and every marker replaced. Line 1
// fills the video profile, line 2 the audio profile. A line that cannot be
// used leaves its profile as it was.
#include <cstddef>

#include "status/status_profile.h"

constexpr int SETTINGS_LINES_READ = 2;

// What can be wrong with a line, as flags of a SettingsProblems set, in the
// order they are reported.
enum SettingsProblem : unsigned {
    SETTINGS_MISSING_LINE = 1u << 0,           // the file has no such line: defaults kept
    SETTINGS_LINE_CUT = 1u << 1,               // longer than the line buffer: the rest is skipped
    SETTINGS_NO_NUMBER = 1u << 2,              // no category number at the start: defaults kept
    SETTINGS_NO_COMMA = 1u << 3,               // no comma after the number: defaults kept
    SETTINGS_NO_MARKER = 1u << 4,              // no marker: defaults kept
    SETTINGS_CATEGORY_OUT_OF_RANGE = 1u << 5,  // a number other than 1 to 4: category Music
    SETTINGS_PREFIX_CUT = 1u << 6,             // longer than the profile's field: cut
    SETTINGS_SUFFIX_CUT = 1u << 7,
};
constexpr unsigned SETTINGS_PROBLEM_KINDS = 8;
// The problems that leave a line's profile unfilled.
constexpr unsigned SETTINGS_PROFILE_UNFILLED =
    SETTINGS_MISSING_LINE | SETTINGS_NO_NUMBER | SETTINGS_NO_COMMA | SETTINGS_NO_MARKER;
using SettingsProblems = unsigned;  // a set of SettingsProblem flags; 0 is none

// How the file's text is encoded; either way it is read into UTF-16.
enum class SettingsEncoding { Ansi, Utf8 };

// The profile that line `lineNumber` fills in `profiles`: 1 video, 2 audio.
template <typename Profiles>
auto& settingsLineProfile(Profiles& profiles, int lineNumber) {
    return lineNumber == 1 ? profiles.videoProfile : profiles.audioProfile;
}

// Finds in the `length` units at `line` (UTF-16) the category number, read
// as a formatted read reads one (its magnitude capped, so no overflow), into
// `number`, and sets `templateText` to the unit after the first comma that
// follows it. Returns SETTINGS_NO_NUMBER or SETTINGS_NO_COMMA when the line
// lacks one (then `templateText` is unchanged), else 0.
SettingsProblems splitSettingsLine(const char16_t* line, std::size_t length, long& number,
                                   const char16_t*& templateText);

// Where the category number that splitSettingsLine reads ends, as a count of
// units from `line`; 0 when the line has none.
std::size_t settingsLineNumberEnd(const char16_t* line, std::size_t length);

// Parses the `length` units at `line` (UTF-16, as read, its line feed
// included when it had one) into the profile of `lineNumber` (1: video,
// 2: audio): category code, prefix and suffix or the whole template, and
// what the title comes from, each replaced whole; a prefix or suffix is cut
// between whole characters to fit its field. The line's own line feed ends
// the suffix, or the template, as a space. A line without its number, comma
// or a marker changes nothing. Returns the problems found.
SettingsProblems parseSettingsLine(const char16_t* line, std::size_t length, int lineNumber,
                                   StatusProfiles& profiles);
