#pragma once
// The Discord presence's settings, as velkar.ini gives them: the application
// whose name Discord shows after "Listening to", the templates of the three
// texts, what the member list shows, the time and the image. The
// composition fills in the texts; outputs/presence sends them.
#include <cstddef>

// An application id is a number of at most 20 digits; a terminator.
constexpr std::size_t PRESENCE_ID_CAPACITY = 21;
constexpr std::size_t PRESENCE_TEMPLATE_CAPACITY = 512;

// The three texts of an activity, each from its own template.
enum PresenceField { PRESENCE_DETAILS, PRESENCE_STATE, PRESENCE_IMAGE_TEXT, PRESENCE_FIELDS };

// What the member list shows after "Listening to": the application's name,
// the details or the state.
enum class PresenceShows { Name, Details, State };

// The time the profile shows: a bar from the start to the end where the
// duration is known (else as Elapsed), the time since the start, or none.
enum class PresenceTime { Bar, Elapsed, None };

struct PresenceTemplate {
    char16_t text[PRESENCE_TEMPLATE_CAPACITY];  // UTF-16, terminated
    std::size_t length;
};

// The "discord" line: without it, an application id means on.
enum class PresenceSwitch { Unset, On, Off };

struct PresenceSettings {
    char applicationId[PRESENCE_ID_CAPACITY];  // ASCII digits, terminated; empty: no presence
    PresenceSwitch switched;
    bool buildApplication;  // the id is the build's own, whose images are "music" and "video"
    PresenceTemplate templates[PRESENCE_FIELDS];
    PresenceShows shows;
    PresenceTime time;
    // The discord-image line, a template of alternatives (status/presence_image.h).
    PresenceTemplate image;
    bool imageGiven;  // false: no line, and the cover or the build's picture shows
};

// Sets `settings` to no application, "[TITLE]", "{by [ARTIST]}" and
// "{[ALBUM]}", the details shown, a time bar and no image line.
void setDefaultPresence(PresenceSettings& settings);

// Under "discord=off", forgets the application id: nothing connects. Under
// "discord=on" without an application id of the user's, takes
// `buildApplicationId` (digits, terminated; empty: the build has none) and
// marks it the build's own.
void takeBuildApplication(PresenceSettings& settings, const char* buildApplicationId);

// Whether `settings` name an application and are not switched off:
// otherwise nothing connects.
inline bool presenceWanted(const PresenceSettings& settings) {
    return settings.applicationId[0] != '\0' && settings.switched != PresenceSwitch::Off;
}
