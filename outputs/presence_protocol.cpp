#include "outputs/presence_protocol.h"

#include <cstring>

#include "text/unicode_text.h"

#define JSMN_STATIC
#define JSMN_STRICT
#include <jsmn.h>

namespace {

// A reply's tokens, as the tokenizer found them.
struct ReplyTokens {
    const char* json;
    const jsmntok_t* tokens;
    int count;
};

// The token after `index` and all it holds.
int skipToken(const ReplyTokens& reply, int index) {
    const int end = reply.tokens[index].end;
    int next = index + 1;
    while (next < reply.count && reply.tokens[next].start < end) ++next;
    return next;
}

// The value of the member `name` of the object at `object`; -1 when it is
// not an object or has no such member.
int member(const ReplyTokens& reply, int object, const char* name) {
    if (object < 0 || reply.tokens[object].type != JSMN_OBJECT) return -1;
    const std::size_t nameLength = std::strlen(name);
    int key = object + 1;
    for (int left = reply.tokens[object].size; left > 0 && key + 1 < reply.count; --left) {
        const jsmntok_t& token = reply.tokens[key];
        if (token.type == JSMN_STRING &&
            static_cast<std::size_t>(token.end - token.start) == nameLength &&
            std::memcmp(reply.json + token.start, name, nameLength) == 0) {
            return key + 1;
        }
        key = skipToken(reply, key + 1);
    }
    return -1;
}

bool isString(const ReplyTokens& reply, int index, const char* text) {
    if (index < 0 || reply.tokens[index].type != JSMN_STRING) return false;
    const jsmntok_t& token = reply.tokens[index];
    const std::size_t length = std::strlen(text);
    return static_cast<std::size_t>(token.end - token.start) == length &&
           std::memcmp(reply.json + token.start, text, length) == 0;
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

// The four hexadecimal digits at `text`, or -1.
long fourHexDigits(const char* text, const char* end) {
    if (end - text < 4) return -1;
    long value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// Copies the string at `index`, its escapes undone, into `out` as UTF-8,
// whole characters only, terminated; empty when it is no string.
void copyString(const ReplyTokens& reply, int index, char* out, std::size_t capacity) {
    out[0] = '\0';
    if (index < 0 || reply.tokens[index].type != JSMN_STRING) return;
    char16_t units[PRESENCE_MESSAGE_CAPACITY];
    std::size_t unitCount = 0;
    const char* at = reply.json + reply.tokens[index].start;
    const char* const end = reply.json + reply.tokens[index].end;
    // Up to the first character that does not fit: characters before an
    // escape are converted by the UTF-8 walk, escapes here.
    while (at < end && unitCount < PRESENCE_MESSAGE_CAPACITY) {
        if (*at != '\\') {
            const char* plainEnd = at;
            while (plainEnd < end && *plainEnd != '\\') ++plainEnd;
            const std::size_t written =
                convertUtf8ToUtf16(at, static_cast<std::size_t>(plainEnd - at), units + unitCount,
                                   PRESENCE_MESSAGE_CAPACITY - unitCount);
            unitCount += written;
            if (scanUtf8(at, static_cast<std::size_t>(plainEnd - at)).validLength !=
                    static_cast<std::size_t>(plainEnd - at) ||
                unitCount == PRESENCE_MESSAGE_CAPACITY) {
                break;  // invalid UTF-8, or full
            }
            at = plainEnd;
            continue;
        }
        if (end - at < 2) break;
        const char escaped = at[1];
        at += 2;
        char16_t unit = 0;
        switch (escaped) {
            case 'b': unit = u'\b'; break;
            case 'f': unit = u'\f'; break;
            case 'n': unit = u'\n'; break;
            case 'r': unit = u'\r'; break;
            case 't': unit = u'\t'; break;
            case 'u': {
                const long value = fourHexDigits(at, end);
                if (value < 0) return;
                unit = static_cast<char16_t>(value);
                at += 4;
                break;
            }
            default: unit = static_cast<char16_t>(static_cast<unsigned char>(escaped)); break;
        }
        units[unitCount++] = unit;
    }
    const std::size_t length = convertUtf16ToUtf8(units, unitCount, out, capacity - 1);
    out[length] = '\0';
}

// The integer at `index`: a number without fraction or exponent, within
// 15 digits; 0 otherwise.
std::int64_t integerAt(const ReplyTokens& reply, int index) {
    if (index < 0 || reply.tokens[index].type != JSMN_PRIMITIVE) return 0;
    const char* at = reply.json + reply.tokens[index].start;
    const char* const end = reply.json + reply.tokens[index].end;
    const bool negative = at < end && *at == '-';
    if (negative) ++at;
    if (at == end || end - at > 15) return 0;
    std::int64_t value = 0;
    for (; at < end; ++at) {
        if (*at < '0' || *at > '9') return 0;
        value = value * 10 + (*at - '0');
    }
    return negative ? -value : value;
}

}  // namespace

void writePresenceFrameHeader(std::uint32_t opcode, std::uint32_t length,
                              unsigned char (&out)[PRESENCE_FRAME_HEADER_BYTES]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(opcode >> (8 * i));
        out[4 + i] = static_cast<unsigned char>(length >> (8 * i));
    }
}

PresenceFrameHeader readPresenceFrameHeader(const unsigned char* bytes) {
    PresenceFrameHeader header{0, 0};
    for (int i = 3; i >= 0; --i) {
        header.opcode = header.opcode << 8 | bytes[i];
        header.length = header.length << 8 | bytes[4 + i];
    }
    return header;
}

void readPresenceReply(std::uint32_t opcode, const char* json, std::size_t length,
                       PresenceReply& reply) {
    reply.kind = PresenceReplyKind::Unreadable;
    reply.nonce[0] = '\0';
    reply.code = 0;
    reply.userName[0] = '\0';
    reply.message[0] = '\0';
    if (length > PRESENCE_REPLY_CAPACITY) return;
    jsmntok_t tokens[PRESENCE_REPLY_TOKENS];
    jsmn_parser parser;
    jsmn_init(&parser);
    const int count = jsmn_parse(&parser, json, length, tokens, PRESENCE_REPLY_TOKENS);
    if (count < 1 || tokens[0].type != JSMN_OBJECT) return;
    const ReplyTokens read{json, tokens, count};

    if (opcode == PRESENCE_CLOSE) {
        reply.kind = PresenceReplyKind::Closed;
        reply.code = integerAt(read, member(read, 0, "code"));
        copyString(read, member(read, 0, "message"), reply.message, sizeof reply.message);
        return;
    }
    if (opcode != PRESENCE_FRAME) return;
    const int data = member(read, 0, "data");
    const int event = member(read, 0, "evt");
    const int nonce = member(read, 0, "nonce");
    if (isString(read, event, "READY")) {
        reply.kind = PresenceReplyKind::Ready;
        const int user = member(read, data, "user");
        copyString(read, member(read, user, "global_name"), reply.userName,
                   sizeof reply.userName);
        if (reply.userName[0] == '\0') {
            copyString(read, member(read, user, "username"), reply.userName,
                       sizeof reply.userName);
        }
        return;
    }
    copyString(read, nonce, reply.nonce, sizeof reply.nonce);
    if (isString(read, event, "ERROR")) {
        reply.kind = PresenceReplyKind::Refused;
        reply.code = integerAt(read, member(read, data, "code"));
        copyString(read, member(read, data, "message"), reply.message, sizeof reply.message);
        return;
    }
    reply.kind = reply.nonce[0] != '\0' ? PresenceReplyKind::Answer : PresenceReplyKind::Other;
}
