// Any bytes as the announced path, with a profile taken from the input, in
// Latin-1, in the double-byte code page 932 or in UTF-8 (65001): the status
// text ends inside its 320 units, begins with the category code and the
// fixed piece, ends with the closing "\0", holds no half of a surrogate pair
// (no cut parts one), and the record sent for it carries 2n + 2 bytes for its
// n units, the last two a terminator, the two before them the closing "\0".
//
// Input: [category and code page selector] [prefix] '\n' [suffix] '\n' [path]
// The prefix and suffix are UTF-8, read up to their first invalid byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/standin.h"
#include "status/delivery.h"
#include "status/status_text.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"

namespace {

constexpr unsigned CODE_PAGES[] = {0, 932, 65001};  // 0: the stand-in's Latin-1

void require(bool condition) {
    if (!condition) std::abort();
}

// Takes bytes up to the next line feed (or the end) into `field` as UTF-8.
void takeField(const std::uint8_t*& data, const std::uint8_t* end,
               char16_t (&field)[PROFILE_TEXT_CAPACITY]) {
    const std::uint8_t* lineEnd = data;
    while (lineEnd < end && *lineEnd != '\n') ++lineEnd;
    const std::size_t units = convertUtf8ToUtf16(reinterpret_cast<const char*>(data),
                                                 static_cast<std::size_t>(lineEnd - data), field,
                                                 PROFILE_TEXT_CAPACITY - 1);
    field[units] = u'\0';
    data = lineEnd < end ? lineEnd + 1 : end;
}

// Whether the `units` units at `text` hold whole characters only.
bool wholeCharacters(const char16_t* text, std::size_t units) {
    for (std::size_t i = 0; i < units; ++i) {
        if (isHighSurrogate(text[i])) {
            if (i + 1 == units || !isLowSurrogate(text[i + 1])) return false;
            ++i;
        } else if (isLowSurrogate(text[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    StatusProfile profile{};  // the title from the name: no file is opened
    const unsigned selector = size > 0 ? *data++ : 0;
    const unsigned codePage = CODE_PAGES[selector / 6 % 3];
    standin::reset();
    if (codePage != 0) require(standin::setAnsiCodePage(codePage));
    std::memcpy(profile.categoryCode, categoryCodeFor(static_cast<long>(selector % 6)),
                sizeof profile.categoryCode);
    takeField(data, end, profile.prefix);
    takeField(data, end, profile.suffix);
    const StatusProfiles profiles{profile, profile};

    // The path as the host passes it: its own terminated copy.
    const std::size_t pathLength = static_cast<std::size_t>(end - data);
    char* hostPath = static_cast<char*>(std::malloc(pathLength + 1));
    std::memcpy(hostPath, data, pathLength);
    hostPath[pathLength] = '\0';
    static AnnouncedPath path;
    takeAnnouncedPath(hostPath, path);
    std::free(hostPath);
    require(path.length < ANNOUNCED_PATH_CAPACITY && path.text[path.length] == u'\0');

    ComposedStatus composed;
    std::memset(&composed, 0x7F, sizeof composed);
    composeStatus(path, profiles, composed);

    const char16_t* text = composed.statusText;
    const std::size_t length = boundedLength(text, STATUS_TEXT_CAPACITY);
    require(length < STATUS_TEXT_CAPACITY);
    require(boundedLength(composed.currentFileName, CURRENT_FILE_NAME_CAPACITY) <
            CURRENT_FILE_NAME_CAPACITY);
    const std::size_t codeLength = boundedLength(profile.categoryCode, CATEGORY_CODE_CAPACITY);
    require(std::memcmp(text, profile.categoryCode, codeLength * sizeof(char16_t)) == 0);
    require(std::memcmp(text + codeLength, STATUS_FIXED_PIECE, 10 * sizeof(char16_t)) == 0);
    require(length >= 2 && text[length - 2] == u'\\' && text[length - 1] == u'0');
    require(wholeCharacters(text, length));

    standin::openWindow(MESSENGER_WINDOW_CLASS);
    sendStatus(text, length + 2, nullptr);
    require(standin::receivedCount() == 1);
    const standin::ReceivedRecord& record = standin::received(0);
    require(record.byteCount == 2 * length + 2);
    require(std::memcmp(record.bytes, text, 2 * length) == 0);
    const unsigned char* recordEnd = record.bytes + record.byteCount;
    require(recordEnd[-1] == 0 && recordEnd[-2] == 0);
    return 0;
}
