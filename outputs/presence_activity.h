#pragma once
// What Discord is told: an activity's texts shaped to Discord's rules, and
// the JSON of the handshake and of the command that sets or clears it.
// Pure: nothing here asks the system anything.
#include <cstddef>
#include <cstdint>

#include "status/presence_settings.h"
#include "status/status_text.h"

// Discord takes 2 to 128 characters per text; writers have found the limit
// enforced in bytes, so a text is kept to 128 bytes of UTF-8.
constexpr std::size_t PRESENCE_TEXT_BYTES = 128;
// Where a text is cut, this ends it: "…".
constexpr char PRESENCE_TEXT_CUT_MARK[] = "\xE2\x80\xA6";
// The largest command: three texts, each escaped at worst to twice its
// size, the image, and the rest.
constexpr std::size_t PRESENCE_COMMAND_CAPACITY = 4096;
// A nonce: the process id, a count and the time, in hexadecimal.
constexpr std::size_t PRESENCE_NONCE_CAPACITY = 48;

struct PresenceText {
    char text[PRESENCE_TEXT_BYTES];  // UTF-8, not terminated
    std::size_t length;              // 0: the text is left out
};

// One activity, as a publish sets it.
struct PresenceActivity {
    PresenceText texts[PRESENCE_FIELDS];
    char image[PRESENCE_IMAGE_TEXT_CAPACITY];  // UTF-8, terminated; empty: none
    bool watching;               // the file has pictures: "Watching", else "Listening to"
    std::uint64_t startSeconds;  // Unix time of the publish
    std::uint64_t endSeconds;    // 0: no end (unknown duration, or not shown)
    bool showsStart;             // false: no time at all
};

// Writes the `units` units of UTF-16 at `text` into `out` as Discord is to
// show it: each control character and line or paragraph separator as a
// space, a unit that is half of no surrogate pair as U+FFFD; at most
// PRESENCE_TEXT_BYTES bytes of UTF-8, cut between whole characters and
// ending in "…" when cut; one character alone followed by a space, as
// Discord takes no text shorter than two. Empty stays empty, and a text of
// nothing but spaces (and what shows as them) becomes empty: left out.
void shapePresenceText(const char16_t* text, std::size_t units, PresenceText& out);

// Sets `activity` to what `composed` shows as `settings` say, started at
// `startSeconds` (Unix time): its texts shaped, its image, "Watching" for a file with
// pictures, the start, and the end where a bar is wanted and the duration
// known (and a second at least).
void composePresenceActivity(const ComposedStatus& composed, const PresenceSettings& settings,
                             std::uint64_t startSeconds, PresenceActivity& activity);

// Writes the handshake's JSON for the application `applicationId` (digits)
// into `out` (`capacity` bytes, not terminated). Returns its length, 0 when
// it does not fit.
std::size_t writePresenceHandshake(const char* applicationId, char* out, std::size_t capacity);

// Writes the SET_ACTIVITY command's JSON into `out` (`capacity` bytes, not
// terminated): `activity` as `settings` say to show it (what the member
// list shows), or, when
// `activity` is null, the command that clears it; for the process
// `processId`, with `nonce` (terminated). Returns its length, 0 when it does
// not fit.
std::size_t writePresenceCommand(const PresenceActivity* activity, const PresenceSettings& settings,
                                 std::uint32_t processId, const char* nonce, char* out,
                                 std::size_t capacity);

// Writes a nonce unique in the process across loads of the module: the
// process id, `count` and `timeMilliseconds`, in hexadecimal.
void writePresenceNonce(std::uint32_t processId, std::uint32_t count,
                        std::uint64_t timeMilliseconds, char (&out)[PRESENCE_NONCE_CAPACITY]);
