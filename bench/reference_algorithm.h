#pragma once
// The status text and settings algorithms written literally, with the
// standard library's NUL-terminated string calls, as the yardstick the
// benchmarks measure the plug-in's own code against. Not used by the plug-in.
#include <cstddef>
#include <cstdint>

namespace reference {

// The literal algorithm's profiles: 8-bit text in fixed storage.
struct Profile {
    char categoryCode[32];
    char prefix[128];
    char suffix[128];
};
struct Profiles {
    Profile audioProfile;
    Profile videoProfile;
};

// Audio: Music, no words; video: Office, "watching " before the title.
Profiles defaultProfiles();

// Composes into module-wide 288- and 320-byte buffers: a backslash and the
// path copied, the name moved down, the extension upper-cased through a
// 44-byte work copy, then copy and concatenate piece by piece.
const char* composeStatus(const char* path, const Profiles& profiles);

// Reads the first two lines as a line-by-line read does and parses each with
// a formatted scan of the integer, a search for the comma and the marker.
void parseSettings(const char* bytes, std::size_t size, Profiles& profiles);

// Widens byte by byte into 500 units, measures the result again and fills
// the record; returns the byte count.
std::uint32_t prepareRecord(const char* text, std::size_t bound);

}  // namespace reference
