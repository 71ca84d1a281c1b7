// Any bytes as the announced path, with a profile taken from the input, in
// Latin-1 or in the double-byte code page 932: the status text ends inside
// its 320 bytes, begins with the category code and the fixed piece, ends with
// the closing "\0", and the record sent for it carries 2n + 2 bytes for its n
// units, the last two a terminator, the two before them the closing "\0"
// (half a character anywhere before it would swallow it).
//
// Input: [category and code page selector] [prefix] '\n' [suffix] '\n' [path]
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/standin.h"
#include "status/delivery.h"
#include "status/status_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Takes bytes up to the next line feed (or the end) into `field`, cut to fit.
void takeField(const std::uint8_t*& data, const std::uint8_t* end, char* field,
               std::size_t capacity) {
    const std::uint8_t* lineEnd = data;
    while (lineEnd < end && *lineEnd != '\n') ++lineEnd;
    std::size_t length = static_cast<std::size_t>(lineEnd - data);
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(field, data, length);
    field[length] = '\0';
    data = lineEnd < end ? lineEnd + 1 : end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    StatusProfile profile{};  // the title from the name: no file is opened
    const unsigned selector = size > 0 ? *data++ : 0;
    const long category = static_cast<long>(selector % 6);
    standin::reset();
    if (selector / 6 % 2 == 1) require(standin::setAnsiCodePage(932));
    std::strcpy(profile.categoryCode, categoryCodeFor(category));
    takeField(data, end, profile.prefix, sizeof profile.prefix);
    takeField(data, end, profile.suffix, sizeof profile.suffix);
    const StatusProfiles profiles{profile, profile};

    // The path as the host passes it: its own terminated copy.
    const std::size_t pathLength = static_cast<std::size_t>(end - data);
    char* path = static_cast<char*>(std::malloc(pathLength + 1));
    std::memcpy(path, data, pathLength);
    path[pathLength] = '\0';

    ComposedStatus composed;
    std::memset(&composed, 0x7F, sizeof composed);
    composeStatus(path, profiles, composed);
    std::free(path);

    const char* text = composed.statusText;
    require(std::memchr(text, '\0', sizeof composed.statusText) != nullptr);
    require(std::memchr(composed.currentFileName, '\0', sizeof composed.currentFileName) !=
            nullptr);
    const std::size_t length = std::strlen(text);
    const std::size_t codeLength = std::strlen(profile.categoryCode);
    require(std::strncmp(text, profile.categoryCode, codeLength) == 0);
    require(std::strncmp(text + codeLength, STATUS_FIXED_PIECE, std::strlen(STATUS_FIXED_PIECE)) ==
            0);
    require(length >= 2 && std::strcmp(text + length - 2, STATUS_CLOSING) == 0);

    standin::openWindow(MESSENGER_WINDOW_CLASS);
    sendStatus(text, length + 2, nullptr);
    require(standin::receivedCount() == 1);
    const standin::ReceivedRecord& record = standin::received(0);
    const bool latin1 = selector / 6 % 2 == 0;
    // In Latin-1 a byte is a unit; two bytes may make one in code page 932.
    require(latin1 ? record.byteCount == 2 * length + 2 : record.byteCount <= 2 * length + 2);
    const unsigned char* recordEnd = record.bytes + record.byteCount;
    require(recordEnd[-1] == 0 && recordEnd[-2] == 0);
    require(recordEnd[-6] == 0x5C && recordEnd[-5] == 0 && recordEnd[-4] == 0x30 &&
            recordEnd[-3] == 0);
    return 0;
}
