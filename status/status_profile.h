#pragma once
// The two profiles that shape a status text, and the category codes the
// messenger knows.
#include <cstddef>

constexpr std::size_t CATEGORY_CODE_CAPACITY = 32;
constexpr std::size_t PROFILE_TEXT_CAPACITY = 128;
// A profile line's template, after its comma: what one line can hold.
constexpr std::size_t PROFILE_TEMPLATE_CAPACITY = 300;

// Category, prefix and suffix as UTF-16, terminated. The category code
// begins with the separator "\0". A line with one [FILENAME] or [TAGS]
// marker fills the prefix and suffix around the title; a line with several
// markers, or with [TITLE], [ARTIST] or [ALBUM], is kept whole as a template.
struct StatusProfile {
    char16_t categoryCode[CATEGORY_CODE_CAPACITY];
    char16_t prefix[PROFILE_TEXT_CAPACITY];
    char16_t suffix[PROFILE_TEXT_CAPACITY];
    bool titleFromTags;  // the file's tags are read: [TAGS], or any tag marker in a template
    bool readsFacts;     // its media facts too: [DURATION]
    bool composedWhole;  // the display line is templateText with its markers replaced
    char16_t templateText[PROFILE_TEMPLATE_CAPACITY];
    std::size_t templateLength;
};

// Audio files (extension ".MP3" or ".WAV", any case) use `audio`; all others `video`.
struct StatusProfiles {
    StatusProfile audioProfile;
    StatusProfile videoProfile;
};

constexpr const char16_t* CATEGORY_MUSIC = u"\\0Music";
constexpr const char16_t* CATEGORY_OFFICE = u"\\0Office";
constexpr const char16_t* CATEGORY_GAMES = u"\\0Games";
constexpr const char16_t* CATEGORY_EMPTY = u"\\0Empty";

// Returns the category code for a settings file's category number: 1 Music,
// 2 Office, 3 Games, 4 Empty, and Music for any other number: terminated,
// in storage of a profile's field size.
const char16_t (&categoryCodeFor(long number))[CATEGORY_CODE_CAPACITY];

// The built-in defaults: audio is Music with no prefix or suffix; video is
// Office with the prefix "watching ".
extern const StatusProfiles DEFAULT_PROFILES;

// Overwrites both profiles with the built-in defaults.
void setDefaultProfiles(StatusProfiles& profiles);
