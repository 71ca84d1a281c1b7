// Any bytes as what Discord sends: frames (an opcode and a length, then the
// payload) read one after another as the connection reads them, each frame
// of kind 1 or 2 given to the reply reader. The reader ends within its
// bounds, and every text it gives is terminated inside its storage and
// valid UTF-8; a reply without a nonce is no answer to a command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "outputs/presence_protocol.h"
#include "text/unicode_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkText(const char* text, std::size_t capacity) {
    const void* end = std::memchr(text, '\0', capacity);
    require(end != nullptr);
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - text);
    require(scanUtf8(text, length).validLength == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (size - at >= PRESENCE_FRAME_HEADER_BYTES) {
        const PresenceFrameHeader header = readPresenceFrameHeader(data + at);
        at += PRESENCE_FRAME_HEADER_BYTES;
        // What is left stands for a payload cut short.
        const std::size_t length = header.length < size - at ? header.length : size - at;
        // Opcodes beyond the protocol's are read as frames, to reach the reader.
        const std::uint32_t opcode = header.opcode == PRESENCE_CLOSE ? PRESENCE_CLOSE : PRESENCE_FRAME;
        PresenceReply reply;
        std::memset(&reply, 0x7F, sizeof reply);
        readPresenceReply(opcode, reinterpret_cast<const char*>(data + at), length, reply);
        checkText(reply.nonce, sizeof reply.nonce);
        checkText(reply.userName, sizeof reply.userName);
        checkText(reply.message, sizeof reply.message);
        require(reply.kind != PresenceReplyKind::Answer || reply.nonce[0] != '\0');
        require(reply.kind == PresenceReplyKind::Closed || reply.kind == PresenceReplyKind::Refused ||
                reply.code == 0);
        require(reply.code > -1000000000000000 && reply.code < 1000000000000000);
        at += length;
    }
    return 0;
}
