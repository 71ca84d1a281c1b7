// Any bytes as the settings file: every profile field ends inside its
// storage, the category is one of the four codes, and the parse reads the
// same whether the bytes come whole or in two pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "settings/settings_parser.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool terminatedWithin(const char* field, std::size_t capacity) {
    return std::memchr(field, '\0', capacity) != nullptr;
}

void checkProfile(const StatusProfile& profile) {
    require(terminatedWithin(profile.categoryCode, sizeof profile.categoryCode));
    require(terminatedWithin(profile.prefix, sizeof profile.prefix));
    require(terminatedWithin(profile.suffix, sizeof profile.suffix));
    const char* code = profile.categoryCode;
    require(std::strcmp(code, CATEGORY_MUSIC) == 0 || std::strcmp(code, CATEGORY_OFFICE) == 0 ||
            std::strcmp(code, CATEGORY_GAMES) == 0 || std::strcmp(code, CATEGORY_EMPTY) == 0);
    require(std::strchr(profile.prefix, '\n') == nullptr);
    require(std::strchr(profile.suffix, '\n') == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    StatusProfiles whole;
    SettingsDiagnostics diagnostics;
    std::memset(&whole, 0x7F, sizeof whole);  // no stray terminators to hide a fault
    parseSettings(bytes, size, whole, &diagnostics);
    checkProfile(whole.videoProfile);
    checkProfile(whole.audioProfile);
    require(diagnostics.count <= MAX_SETTINGS_DIAGNOSTICS);

    StatusProfiles pieces;
    std::memset(&pieces, 0x7F, sizeof pieces);
    SettingsParser parser;
    beginSettings(parser, pieces, nullptr);
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    feedSettings(parser, bytes, split);
    feedSettings(parser, bytes + split, size - split);
    finishSettings(parser);
    for (auto pair : {&StatusProfiles::videoProfile, &StatusProfiles::audioProfile}) {
        const StatusProfile& a = whole.*pair;
        const StatusProfile& b = pieces.*pair;
        require(std::strcmp(a.categoryCode, b.categoryCode) == 0);
        require(std::strcmp(a.prefix, b.prefix) == 0);
        require(std::strcmp(a.suffix, b.suffix) == 0);
    }
    return 0;
}
