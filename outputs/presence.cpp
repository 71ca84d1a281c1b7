#include "outputs/presence.h"

#include <cstring>

#include "outputs/worker.h"
#include "platform/platform.h"
#include "text/bounded_text.h"

namespace {

// What the host's thread hands over, and the worker's copy of it.
struct PresenceWanted {
    bool shown;  // false: cleared (or nothing published yet)
    PresenceActivity activity;
    char applicationId[PRESENCE_ID_CAPACITY];
    PresenceShows shows;
    std::uint32_t settingsNumber;  // counts the times the settings were read
};

HandOverLock handOverLock;
PresenceWanted handedOver;
std::uint32_t handedOverNumber;

// The worker's own.
PresenceWanted wanted;
std::uint32_t wantedNumber;
std::uint32_t sentNumber;  // the hand-over last sent (or found needing nothing)

enum class Link { Closed, Waiting, Ready };
PlatformPipe pipe = PLATFORM_NO_PIPE;
Link link = Link::Closed;
std::uint32_t waitingSince;  // the handshake's moment
std::uint32_t retryAt;
bool retryDue;
std::uint32_t retryWait = PRESENCE_FIRST_RETRY_MILLISECONDS;
// An application id Discord did not know, until the settings are read again.
bool refusedId;
std::uint32_t refusedSettingsNumber;
// A clearing sent: the connection closes once it is answered, or after a while.
bool clearing;
std::uint32_t clearedAt;
char clearNonce[PRESENCE_NONCE_CAPACITY];
// The moments of the last commands, oldest first: the rate rule.
std::uint32_t sentAt[PRESENCE_COMMANDS_PER_WINDOW];
unsigned sentCount;
std::uint32_t nonceCount;

// A frame being read: its header once all of it has come.
struct FrameReading {
    bool headerRead;
    PresenceFrameHeader header;
};
FrameReading reading;
unsigned char payload[PRESENCE_REPLY_CAPACITY];
// Room for the largest frame sent: a command, or a pong echoing the
// largest ping read.
constexpr std::size_t LARGEST_PAYLOAD_SENT = PRESENCE_REPLY_CAPACITY > PRESENCE_COMMAND_CAPACITY
                                                 ? PRESENCE_REPLY_CAPACITY
                                                 : PRESENCE_COMMAND_CAPACITY;
unsigned char command[PRESENCE_FRAME_HEADER_BYTES + LARGEST_PAYLOAD_SENT];
// The settings number of the settings the connection was made with.
std::uint32_t linkSettingsNumber;

bool isLater(std::uint32_t moment, std::uint32_t now) {
    return static_cast<std::int32_t>(moment - now) > 0;
}

std::uint32_t until(std::uint32_t moment, std::uint32_t now) {
    return isLater(moment, now) ? moment - now : 0;
}

// Writes one frame to `target`, through `buffer` (room for a header and
// `capacity` bytes of payload).
bool sendFrameTo(PlatformPipe target, unsigned char* buffer, std::size_t capacity,
                 std::uint32_t opcode, const void* bytes, std::size_t count) {
    if (count > capacity) return false;
    unsigned char frameHeader[PRESENCE_FRAME_HEADER_BYTES];
    writePresenceFrameHeader(opcode, static_cast<std::uint32_t>(count), frameHeader);
    std::memcpy(buffer, frameHeader, sizeof frameHeader);
    std::memcpy(buffer + sizeof frameHeader, bytes, count);
    return writePipe(target, buffer, sizeof frameHeader + count, PRESENCE_WRITE_WAIT_MILLISECONDS);
}

bool sendFrame(std::uint32_t opcode, const void* bytes, std::size_t count) {
    return sendFrameTo(pipe, command, LARGEST_PAYLOAD_SENT, opcode, bytes, count);
}

// Connects to the first of Discord's pipes that takes a connection.
PlatformPipe openDiscordPipe() {
    char16_t name[sizeof PRESENCE_PIPE_PREFIX / sizeof(char16_t) + 1];
    const std::size_t prefixLength =
        copyBounded(name, sizeof name / sizeof name[0], PRESENCE_PIPE_PREFIX);
    name[prefixLength + 1] = u'\0';
    PlatformPipe opened = PLATFORM_NO_PIPE;
    for (unsigned index = 0; index < PRESENCE_PIPES && opened == PLATFORM_NO_PIPE; ++index) {
        name[prefixLength] = static_cast<char16_t>(u'0' + index);
        opened = openPipe(name);
    }
    return opened;
}

void closeLink() {
    if (pipe != PLATFORM_NO_PIPE) closePipe(pipe);
    pipe = PLATFORM_NO_PIPE;
    link = Link::Closed;
    reading.headerRead = false;
    clearing = false;
}

// Closes the connection and tries again later, each time a little later.
void closeAndRetry(std::uint32_t now) {
    closeLink();
    retryDue = true;
    retryAt = now + retryWait;
    if (retryWait < PRESENCE_LONGEST_RETRY_MILLISECONDS)
        retryWait += PRESENCE_RETRY_STEP_MILLISECONDS;
}

// Connects to the first of Discord's pipes that takes it and sends the
// handshake. Returns whether it did.
bool connect() {
    pipe = openDiscordPipe();
    if (pipe == PLATFORM_NO_PIPE) return false;
    char handshake[64];
    const std::size_t length =
        writePresenceHandshake(wanted.applicationId, handshake, sizeof handshake);
    if (length == 0 || !sendFrame(PRESENCE_HANDSHAKE, handshake, length)) {
        closeLink();
        return false;
    }
    link = Link::Waiting;
    linkSettingsNumber = wanted.settingsNumber;
    waitingSince = millisecondClock();
    return true;
}

enum class FrameTaken { None, Frame, Lost };

// Takes the next frame that has come whole on `from` into `out`
// (PRESENCE_REPLY_CAPACITY bytes), its header into `read`, without waiting:
// None when it has not all come yet, Lost when the pipe is closed or the
// frame is longer than any reply.
FrameTaken takeFrame(PlatformPipe from, FrameReading& read, unsigned char* out) {
    std::uint32_t ready = 0;
    if (!pipeBytesReady(from, ready)) return FrameTaken::Lost;
    if (!read.headerRead) {
        if (ready < PRESENCE_FRAME_HEADER_BYTES) return FrameTaken::None;
        unsigned char bytes[PRESENCE_FRAME_HEADER_BYTES];
        if (!readPipe(from, bytes, sizeof bytes)) return FrameTaken::Lost;
        read.header = readPresenceFrameHeader(bytes);
        if (read.header.length > PRESENCE_REPLY_CAPACITY) return FrameTaken::Lost;
        read.headerRead = true;
        ready -= PRESENCE_FRAME_HEADER_BYTES;
    }
    if (ready < read.header.length) return FrameTaken::None;
    if (read.header.length > 0 && !readPipe(from, out, read.header.length)) return FrameTaken::Lost;
    read.headerRead = false;
    return FrameTaken::Frame;
}

// What reading the replies found.
enum class LinkState { Open, Lost, Cleared };

// Reads the frames that have come, answering pings: Lost when the
// connection is closed or of no further use, Cleared when the clearing sent
// is answered.
LinkState readReplies() {
    // Bounds on frames and time per look: a flood of them, or pongs written
    // slowly, never hold the worker, nor an unload waiting for it.
    const std::uint32_t start = millisecondClock();
    for (unsigned frames = 0; frames < PRESENCE_FRAMES_PER_LOOK &&
                              millisecondClock() - start < PRESENCE_LOOK_MILLISECONDS;
         ++frames) {
        const FrameTaken taken = takeFrame(pipe, reading, payload);
        if (taken == FrameTaken::Lost) return LinkState::Lost;
        if (taken == FrameTaken::None) return LinkState::Open;
        const PresenceFrameHeader& header = reading.header;
        if (header.opcode == PRESENCE_PING) {
            if (!sendFrame(PRESENCE_PONG, payload, header.length)) return LinkState::Lost;
            continue;
        }
        PresenceReply reply;
        readPresenceReply(header.opcode, reinterpret_cast<const char*>(payload), header.length,
                          reply);
        switch (reply.kind) {
            case PresenceReplyKind::Closed:
                if (reply.code == PRESENCE_INVALID_CLIENT_ID) {
                    refusedId = true;
                    refusedSettingsNumber = wanted.settingsNumber;
                }
                return LinkState::Lost;
            case PresenceReplyKind::Ready:
                if (link == Link::Waiting) {
                    link = Link::Ready;
                    retryWait = PRESENCE_FIRST_RETRY_MILLISECONDS;
                }
                break;
            case PresenceReplyKind::Answer:
            case PresenceReplyKind::Refused:
                // A refused command never stops later ones.
                if (clearing && std::strcmp(reply.nonce, clearNonce) == 0)
                    return LinkState::Cleared;
                break;
            default:
                break;
        }
    }
    return LinkState::Open;
}

// The milliseconds until the rate rule lets the next command go (0: now).
// Elapsed times are counted unsigned, so a clock that wrapped, or a player
// left open for weeks, forgets old commands rather than waiting for them.
std::uint32_t commandWait(std::uint32_t now) {
    unsigned kept = 0;
    for (unsigned index = 0; index < sentCount; ++index) {
        if (now - sentAt[index] < PRESENCE_RATE_WINDOW_MILLISECONDS) sentAt[kept++] = sentAt[index];
    }
    sentCount = kept;
    if (sentCount < PRESENCE_COMMANDS_PER_WINDOW) return 0;
    return PRESENCE_RATE_WINDOW_MILLISECONDS - (now - sentAt[0]);
}

bool sendActivity(std::uint32_t now) {
    char nonce[PRESENCE_NONCE_CAPACITY];
    writePresenceNonce(currentProcessId(), ++nonceCount, unixTimeMilliseconds(), nonce);
    static char json[PRESENCE_COMMAND_CAPACITY];
    PresenceSettings shown;
    setDefaultPresence(shown);
    shown.shows = wanted.shows;
    const std::size_t length =
        writePresenceCommand(wanted.shown ? &wanted.activity : nullptr, shown, currentProcessId(),
                             nonce, json, sizeof json);
    if (length == 0 || !sendFrame(PRESENCE_FRAME, json, length)) return false;
    if (sentCount == PRESENCE_COMMANDS_PER_WINDOW) {
        std::memmove(sentAt, sentAt + 1, sizeof sentAt - sizeof sentAt[0]);
        --sentCount;
    }
    sentAt[sentCount++] = now;
    clearing = !wanted.shown;
    if (clearing) {
        clearedAt = now;
        copyBounded(clearNonce, PRESENCE_NONCE_CAPACITY, nonce);
    }
    return true;
}

// Closes the connection once the worker has ended: Discord clears the
// activity with it.
void endPresence() { closeLink(); }

std::uint32_t stepPresence();

// Waiting on Discord is given up when the host unloads the module.
const WorkerStep PRESENCE_STEP = {stepPresence, endPresence, false};

// The worker's step: connects, shows the newest activity or clears it, and
// looks at the connection while something is shown.
std::uint32_t stepPresence() {
    handOverLock.lock();
    if (handedOverNumber != wantedNumber) {
        wanted = handedOver;
        wantedNumber = handedOverNumber;
    }
    handOverLock.unlock();
    if (refusedId && refusedSettingsNumber != wanted.settingsNumber) refusedId = false;

    std::uint32_t now = millisecondClock();
    if (!wanted.shown) {
        // After a withdraw, Discord is looked for soon again at the next publish.
        retryWait = PRESENCE_FIRST_RETRY_MILLISECONDS;
    }
    if (link != Link::Closed && linkSettingsNumber != wanted.settingsNumber) {
        // The plug-in started afresh: what the old start showed goes with
        // its connection, which may be another application's.
        closeLink();
        retryDue = false;
    }
    const bool stop = !wanted.shown || refusedId;
    if (link != Link::Closed) {
        const LinkState state = readReplies();
        if (state == LinkState::Cleared || (link == Link::Waiting && stop)) {
            closeLink();
        } else if (state == LinkState::Lost) {
            // Discord went, or closed it: what is shown is shown again
            // once Discord is back.
            closeAndRetry(now);
            sentNumber = wantedNumber - 1;
        }
    }
    const bool pending = sentNumber != wantedNumber;
    switch (link) {
        case Link::Closed:
            if (!wanted.shown || refusedId) {
                // Nothing shown, nothing to clear: Discord cleared it with the connection.
                sentNumber = wantedNumber;
                retryDue = false;
                return BACKGROUND_IDLE;
            }
            if (retryDue && isLater(retryAt, now)) return until(retryAt, now);
            if (!connect()) {
                closeAndRetry(now);
                return until(retryAt, now);
            }
            retryDue = false;
            return PRESENCE_POLL_MILLISECONDS;
        case Link::Waiting:
            if (static_cast<std::uint32_t>(now - waitingSince) >=
                PRESENCE_READY_WAIT_MILLISECONDS) {
                // Connected, but no answer: it holds nothing; later, again.
                closeAndRetry(now);
                return until(retryAt, now);
            }
            return PRESENCE_POLL_MILLISECONDS;
        case Link::Ready:
            break;
    }
    if (pending) {
        const std::uint32_t wait = commandWait(now);
        if (wait > 0 && !wanted.shown) {
            // A clearing that would wait for the rate rule: closing clears
            // at once and costs no command.
            closeLink();
            sentNumber = wantedNumber;
            return BACKGROUND_IDLE;
        }
        if (wait > 0) return wait;
        // Taken now: whatever comes while this one is written is the next.
        const std::uint32_t sending = wantedNumber;
        if (!sendActivity(now)) {
            closeAndRetry(now);
            return wanted.shown ? until(retryAt, now) : BACKGROUND_IDLE;
        }
        sentNumber = sending;
        now = millisecondClock();
    }
    if (clearing) {
        // Unanswered, the clearing closes the connection all the same:
        // Discord clears what a connection set when it closes.
        if (static_cast<std::uint32_t>(now - clearedAt) >= PRESENCE_CLEAR_ANSWER_MILLISECONDS) {
            closeLink();
            return BACKGROUND_IDLE;
        }
        return PRESENCE_POLL_MILLISECONDS;
    }
    return PRESENCE_CHECK_MILLISECONDS;
}

}  // namespace

void configurePresence(const PresenceSettings& settings) {
    handOverLock.lock();
    // A connection the previous start may hold open is closed by the
    // worker; where an application is set, the worker's thread starts now,
    // at the start of the plug-in, and not in the first publish.
    const bool wakes = handedOver.applicationId[0] != '\0' || settings.applicationId[0] != '\0';
    copyBounded(handedOver.applicationId, PRESENCE_ID_CAPACITY, settings.applicationId);
    handedOver.shows = settings.shows;
    handedOver.shown = false;
    ++handedOver.settingsNumber;
    ++handedOverNumber;
    handOverLock.unlock();
    if (wakes) wakeWorker(PRESENCE_STEP);
}

void postPresence(const PresenceActivity* activity) {
    handOverLock.lock();
    const bool wantedAtAll = handedOver.applicationId[0] != '\0';
    if (wantedAtAll) {
        handedOver.shown = activity != nullptr;
        if (activity != nullptr) handedOver.activity = *activity;
        ++handedOverNumber;
    }
    handOverLock.unlock();
    if (wantedAtAll) wakeWorker(PRESENCE_STEP);
}

PresenceCheck checkPresenceConnection(const char* applicationId,
                                      char (&userName)[PRESENCE_USER_NAME_CAPACITY]) {
    userName[0] = '\0';
    const PlatformPipe checked = openDiscordPipe();
    if (checked == PLATFORM_NO_PIPE) return PresenceCheck::NotRunning;
    // Its own buffers: the check runs in a program of its own, never beside the worker.
    static unsigned char buffer[PRESENCE_FRAME_HEADER_BYTES + PRESENCE_COMMAND_CAPACITY];
    constexpr std::size_t capacity = PRESENCE_COMMAND_CAPACITY;
    static unsigned char reply[PRESENCE_REPLY_CAPACITY];
    char handshake[64];
    const std::size_t length = writePresenceHandshake(applicationId, handshake, sizeof handshake);
    PresenceCheck found = PresenceCheck::Failed;
    if (length > 0 &&
        sendFrameTo(checked, buffer, capacity, PRESENCE_HANDSHAKE, handshake, length)) {
        found = PresenceCheck::NoAnswer;
        const std::uint32_t start = millisecondClock();
        FrameReading read{false, {0, 0}};
        while (found == PresenceCheck::NoAnswer &&
               millisecondClock() - start < PRESENCE_READY_WAIT_MILLISECONDS) {
            const FrameTaken taken = takeFrame(checked, read, reply);
            if (taken == FrameTaken::Lost) {
                found = PresenceCheck::Failed;
            } else if (taken == FrameTaken::None) {
                sleepMilliseconds(PRESENCE_POLL_MILLISECONDS);
            } else {
                PresenceReply answer;
                readPresenceReply(read.header.opcode, reinterpret_cast<const char*>(reply),
                                  read.header.length, answer);
                if (answer.kind == PresenceReplyKind::Ready) {
                    copyBounded(userName, PRESENCE_USER_NAME_CAPACITY, answer.userName);
                    found = PresenceCheck::Connected;
                } else if (answer.kind == PresenceReplyKind::Closed) {
                    found = answer.code == PRESENCE_INVALID_CLIENT_ID ? PresenceCheck::InvalidId
                                                                      : PresenceCheck::Failed;
                }
            }
        }
    }
    closePipe(checked);
    return found;
}
