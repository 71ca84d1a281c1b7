#include "status/status_profile.h"

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

// Built once, copied whole: resetting the profiles is one block copy.
const StatusProfiles DEFAULT_PROFILES = {
    {"\\0Music", "", ""},
    {"\\0Office", "watching ", ""},
};

}  // namespace

const char* categoryCodeFor(long number) {
    for (const CategoryEntry& entry : CATEGORY_TABLE) {
        if (entry.number == number) return entry.code;
    }
    return CATEGORY_MUSIC;
}

void setDefaultProfiles(StatusProfiles& profiles) { profiles = DEFAULT_PROFILES; }
