#include "status/status_profile.h"

#include "status/bounded_text.h"

namespace {

struct CategoryEntry {
    long number;
    const char* code;
};

constexpr CategoryEntry CATEGORY_TABLE[] = {
    {1, CATEGORY_MUSIC},
    {2, CATEGORY_OFFICE},
    {3, CATEGORY_GAMES},
    {4, CATEGORY_EMPTY},
};

void setProfile(StatusProfile& profile, const char* categoryCode, const char* prefix,
                const char* suffix) {
    copyBounded(profile.categoryCode, sizeof profile.categoryCode, categoryCode);
    copyBounded(profile.prefix, sizeof profile.prefix, prefix);
    copyBounded(profile.suffix, sizeof profile.suffix, suffix);
}

}  // namespace

const char* categoryCodeFor(long number) {
    for (const CategoryEntry& entry : CATEGORY_TABLE) {
        if (entry.number == number) return entry.code;
    }
    return CATEGORY_MUSIC;
}

void setDefaultProfiles(StatusProfiles& profiles) {
    setProfile(profiles.audioProfile, CATEGORY_MUSIC, "", "");
    setProfile(profiles.videoProfile, CATEGORY_OFFICE, "watching ", "");
}
