#include "status/status_profile.h"

namespace {

// Each code in storage of a profile's field size, so that it is copied whole.
constexpr char CATEGORY_TABLE[][CATEGORY_CODE_CAPACITY] = {
    "\\0Music",   // 1, and any number outside the table
    "\\0Office",  // 2
    "\\0Games",   // 3
    "\\0Empty",   // 4
};
constexpr long CATEGORY_NUMBERS = sizeof CATEGORY_TABLE / sizeof CATEGORY_TABLE[0];

}  // namespace

// Built once, copied whole: resetting a profile is one block copy.
const StatusProfiles DEFAULT_PROFILES = {
    {"\\0Music", "", "", false},
    {"\\0Office", "watching ", "", false},
};

const char (&categoryCodeFor(long number))[CATEGORY_CODE_CAPACITY] {
    return CATEGORY_TABLE[number >= 1 && number <= CATEGORY_NUMBERS ? number - 1 : 0];
}

void setDefaultProfiles(StatusProfiles& profiles) { profiles = DEFAULT_PROFILES; }
