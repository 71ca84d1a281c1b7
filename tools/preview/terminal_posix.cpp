// The preview's terminal ends on Linux: UTF-8 on both sides, the code page
// played by the platform stand-in and iconv.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/standin.h"
#include "terminal.h"

namespace {

const iconv_t NO_CONVERSION = reinterpret_cast<iconv_t>(-1);
iconv_t toTerminal = NO_CONVERSION;

}  // namespace

unsigned defaultCodePage() { return 1252; }

bool selectCodePage(unsigned codePage) {
    char name[16];
    std::snprintf(name, sizeof name, "CP%u", codePage);
    const iconv_t conversion = iconv_open("UTF-8", name);
    if (conversion == NO_CONVERSION || !standin::setAnsiCodePage(codePage)) return false;
    toTerminal = conversion;
    return true;
}

bool pathFromArgument(const char* argument, char* out, std::size_t capacity) {
    const std::size_t length = std::strlen(argument);
    if (length == 0) {
        out[0] = '\0';
        return true;
    }
    const std::size_t written = convertUtf8ToAnsi(argument, length, out, capacity - 1);
    out[written] = '\0';
    return written > 0;
}

void printText(const char* text, std::size_t length) {
    char* in = const_cast<char*>(text);
    std::size_t inLeft = length;
    while (inLeft > 0) {
        char decoded[512];
        char* out = decoded;
        std::size_t outLeft = sizeof decoded;
        const std::size_t result = iconv(toTerminal, &in, &inLeft, &out, &outLeft);
        std::fwrite(decoded, 1, static_cast<std::size_t>(out - decoded), stdout);
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte the code page cannot read, or half a character at the end.
            std::fputs("\xEF\xBF\xBD", stdout);
            ++in;
            --inLeft;
        }
    }
    iconv(toTerminal, nullptr, nullptr, nullptr, nullptr);
}
