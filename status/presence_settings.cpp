#include "status/presence_settings.h"

#include "text/bounded_text.h"

namespace {

const char16_t* const DEFAULT_TEMPLATES[PRESENCE_FIELDS] = {u"[TITLE]", u"{by [ARTIST]}",
                                                            u"{[ALBUM]}"};

}  // namespace

void setDefaultPresence(PresenceSettings& settings) {
    settings.applicationId[0] = '\0';
    settings.switched = PresenceSwitch::Unset;
    settings.buildApplication = false;
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        PresenceTemplate& given = settings.templates[field];
        given.length =
            copyBounded(given.text, PRESENCE_TEMPLATE_CAPACITY, DEFAULT_TEMPLATES[field]);
    }
    settings.shows = PresenceShows::Details;
    settings.time = PresenceTime::Bar;
    settings.image.text[0] = u'\0';
    settings.image.length = 0;
    settings.imageGiven = false;
}

void takeBuildApplication(PresenceSettings& settings, const char* buildApplicationId) {
    if (settings.switched == PresenceSwitch::Off) settings.applicationId[0] = '\0';
    if (settings.switched != PresenceSwitch::On || settings.applicationId[0] != '\0' ||
        buildApplicationId[0] == '\0') {
        return;
    }
    copyBounded(settings.applicationId, PRESENCE_ID_CAPACITY, buildApplicationId);
    settings.buildApplication = true;
}
