#pragma once
// The Discord presence: "Listening to" or "Watching" under the user's name,
// set over Discord's local connection by the worker. The host's thread only
// hands over the newest activity, or its clearing; the worker connects,
// waits for Discord's READY, sends at most PRESENCE_COMMANDS_PER_WINDOW
// commands in any PRESENCE_RATE_WINDOW_MILLISECONDS (in a burst the newest
// waits and wins), notices Discord quitting while an activity is shown,
// and connects again, showing the current activity once more.
//
// The connection's states:
//   closed:   nothing shown, or Discord absent: tried again every 5 s, then
//             every 10 s and 15 s while an activity is to be shown
//   waiting:  the handshake sent; READY within PRESENCE_READY_WAIT_MILLISECONDS,
//             else closed and tried later; closed with 4000 (an application
//             id Discord does not know): no more tries until the settings
//             are read again
//   ready:    commands sent; the pipe looked at every
//             PRESENCE_CHECK_MILLISECONDS while something is shown; a
//             clearing answered (or not, within a second) closes it
#include <cstddef>
#include <cstdint>

#include "outputs/presence_activity.h"
#include "outputs/presence_protocol.h"

constexpr std::uint32_t PRESENCE_READY_WAIT_MILLISECONDS = 5000;
constexpr unsigned PRESENCE_COMMANDS_PER_WINDOW = 5;
// Discord's window is 20 s; our clock and Discord's may differ a little.
constexpr std::uint32_t PRESENCE_RATE_WINDOW_MILLISECONDS = 21000;
constexpr std::uint32_t PRESENCE_FIRST_RETRY_MILLISECONDS = 5000;
constexpr std::uint32_t PRESENCE_RETRY_STEP_MILLISECONDS = 5000;
constexpr std::uint32_t PRESENCE_LONGEST_RETRY_MILLISECONDS = 15000;
constexpr std::uint32_t PRESENCE_CHECK_MILLISECONDS = 5000;
constexpr std::uint32_t PRESENCE_WRITE_WAIT_MILLISECONDS = 2000;
constexpr std::uint32_t PRESENCE_CLEAR_ANSWER_MILLISECONDS = 1000;
// While waiting for a reply, the pipe is looked at this often.
constexpr std::uint32_t PRESENCE_POLL_MILLISECONDS = 25;
// One look at the pipe reads at most so many frames, for at most so long,
// so a step of the worker takes a few seconds at most: a look, and a
// command or a handshake written.
constexpr unsigned PRESENCE_FRAMES_PER_LOOK = 16;
constexpr std::uint32_t PRESENCE_LOOK_MILLISECONDS = 1000;
// The pipes Discord listens on: this name with a digit 0 to 9 after it.
constexpr char16_t PRESENCE_PIPE_PREFIX[] = u"\\\\?\\pipe\\discord-ipc-";
constexpr unsigned PRESENCE_PIPES = 10;

// Takes the settings read by pluginInit: the application, what the member
// list shows, the image, starting afresh (what an earlier start showed is
// cleared). Lifts a stop for an unknown application id. Called on the
// host's thread; returns at once, but where an application is set it
// starts the worker's thread (see requestBackgroundRun), so no publish has to.
void configurePresence(const PresenceSettings& settings);

// Hands `activity` to the worker to be shown, or, when null, its clearing.
// Nothing when no application is set. Returns at once, touching no pipe.
void postPresence(const PresenceActivity* activity);

// What a test of the connection found.
enum class PresenceCheck {
    Connected,       // READY: `userName` is who Discord shows
    NotRunning,      // no pipe: Discord is not running, or is the browser version
    InvalidId,       // closed with 4000: no application has this id
    NoAnswer,        // connected, but no READY in time
    Failed,          // closed, or an answer that made no sense
};

// Connects to Discord with `applicationId`, waits for READY at most
// PRESENCE_READY_WAIT_MILLISECONDS, and closes again. For the settings
// window's "Test": it waits, so never on the host's thread.
PresenceCheck checkPresenceConnection(const char* applicationId,
                                      char (&userName)[PRESENCE_USER_NAME_CAPACITY]);
