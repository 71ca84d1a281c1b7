#include "status/status_profile.h"

namespace {

// Each code in storage of a profile's field size, so that it is copied whole.
constexpr char16_t CATEGORY_TABLE[][CATEGORY_CODE_CAPACITY] = {
    u"\\0Music",   // 1, and any number outside the table
    u"\\0Office",  // 2
    u"\\0Games",   // 3
    u"\\0Empty",   // 4
};
constexpr long CATEGORY_NUMBERS = sizeof CATEGORY_TABLE / sizeof CATEGORY_TABLE[0];

}  // namespace

// Built once, copied whole: resetting a profile is one block copy.
const StatusProfiles DEFAULT_PROFILES = {
    {u"\\0Music", u"", u"", false, false, false, u"", 0},
    {u"\\0Office", u"watching ", u"", false, false, false, u"", 0},
};

const char16_t (&categoryCodeFor(long number))[CATEGORY_CODE_CAPACITY] {
    return CATEGORY_TABLE[number >= 1 && number <= CATEGORY_NUMBERS ? number - 1 : 0];
}

void setDefaultProfiles(StatusProfiles& profiles) { profiles = DEFAULT_PROFILES; }
