#pragma once
// Discord's local connection, as bytes: frames (an opcode and a length, both
// 32-bit little-endian, then UTF-8 JSON) and what its replies say. Replies
// are hostile input: a real JSON tokenizer that allocates nothing reads
// them, within fixed bounds. Pure: nothing here asks the system anything.
#include <cstddef>
#include <cstdint>

#include "outputs/presence_activity.h"

enum PresenceOpcode : std::uint32_t {
    PRESENCE_HANDSHAKE = 0,
    PRESENCE_FRAME = 1,
    PRESENCE_CLOSE = 2,
    PRESENCE_PING = 3,
    PRESENCE_PONG = 4,
};

constexpr std::size_t PRESENCE_FRAME_HEADER_BYTES = 8;
// The longest reply read (READY holds the user and a few settings: under a
// kilobyte); a longer frame ends the connection.
constexpr std::uint32_t PRESENCE_REPLY_CAPACITY = 16 * 1024;
// The most JSON tokens of a reply; one with more is not read.
constexpr unsigned PRESENCE_REPLY_TOKENS = 512;
constexpr std::size_t PRESENCE_USER_NAME_CAPACITY = 64;
constexpr std::size_t PRESENCE_MESSAGE_CAPACITY = 160;
// Discord's close code for an application id it does not know.
constexpr std::int64_t PRESENCE_INVALID_CLIENT_ID = 4000;

// Writes a frame's header for `length` bytes of payload of kind `opcode`.
void writePresenceFrameHeader(std::uint32_t opcode, std::uint32_t length,
                              unsigned char (&out)[PRESENCE_FRAME_HEADER_BYTES]);

struct PresenceFrameHeader {
    std::uint32_t opcode;
    std::uint32_t length;
};

// Reads a frame's header from its PRESENCE_FRAME_HEADER_BYTES bytes.
PresenceFrameHeader readPresenceFrameHeader(const unsigned char* bytes);

enum class PresenceReplyKind {
    Unreadable,  // not JSON, or not of the shape of any reply
    Ready,       // the handshake accepted: `userName`
    Answer,      // a command done: `nonce`
    Refused,     // a command refused (evt ERROR): `nonce`, `code`, `message`
    Closed,      // the connection closed (opcode 2): `code`, `message`
    Other,       // anything else (an event not asked for)
};

struct PresenceReply {
    PresenceReplyKind kind;
    char nonce[PRESENCE_NONCE_CAPACITY];       // terminated; empty when none
    std::int64_t code;                         // 0 when none
    char userName[PRESENCE_USER_NAME_CAPACITY];  // UTF-8, terminated, cut whole
    char message[PRESENCE_MESSAGE_CAPACITY];     // UTF-8, terminated, cut whole
};

// Reads the `length` bytes at `json`, the payload of a frame of kind
// `opcode` (PRESENCE_FRAME or PRESENCE_CLOSE), into `reply`. Reads nothing
// past `length`; any bytes give a reply, Unreadable at worst. Prefers
// global_name to username, as Discord shows it.
void readPresenceReply(std::uint32_t opcode, const char* json, std::size_t length,
                       PresenceReply& reply);
