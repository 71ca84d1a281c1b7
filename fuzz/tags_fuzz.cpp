// Any bytes as a media file, read in Latin-1 (even sizes) or in the
// double-byte code page 932 (odd sizes): the reading ends within its read
// and seek budget, the artist and title end inside their storage, hold whole
// characters only (a second byte never a control character), no control
// character and no backslash of their own, with
// no space at either end, and the composed title, widened as the messenger
// receives it, holds no backslash, so no tag adds a field separator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/standin.h"
#include "tags/media_tags.h"
#include "text/ansi_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkText(const char* text, std::size_t capacity) {
    const std::size_t length = strnlen(text, capacity);
    require(length < capacity);
    const AnsiCodePage codePage = currentAnsiCodePage();
    require(wholeCharacterLength(codePage, text, length, length) == length);
    require(length == 0 || (text[0] != ' ' && text[length - 1] != ' '));
    for (std::size_t at = 0; at < length;) {
        const std::size_t size = codePage == AnsiCodePage::DoubleByte
                                     ? doubleByteCharacterSize(text + at, length - at)
                                     : 1;
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (size == 1) require(c >= 0x20 && c != 0x7F && c != '\\');
        if (size == 2) require(static_cast<unsigned char>(text[at + 1]) >= LOWEST_SECOND_BYTE);
        at += size;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static unsigned codePage = 0;
    const unsigned wanted = size % 2 == 1 ? 932 : 0;
    if (wanted != codePage) {
        standin::reset();
        if (wanted != 0) require(standin::setAnsiCodePage(wanted));
        codePage = wanted;
    }
    MediaTags tags;
    readMediaTagsBytes(data, size, tags);
    require(tags.bytesRead <= TAG_READ_BUDGET && tags.seeks <= TAG_SEEK_BUDGET);
    checkText(tags.artist, sizeof tags.artist);
    checkText(tags.title, sizeof tags.title);

    char title[TAG_TEXT_CAPACITY];
    const std::size_t length = composeTagTitle(tags, title, sizeof title);
    require(length < sizeof title && title[length] == '\0');
    require((length == 0) == (tags.title[0] == '\0'));
    char16_t wide[TAG_TEXT_CAPACITY];
    const std::size_t units = widenText(title, length, wide, TAG_TEXT_CAPACITY);
    for (std::size_t i = 0; i < units; ++i) require(wide[i] != u'\\' && wide[i] >= 0x20);
    return 0;
}
