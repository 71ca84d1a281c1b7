// The preview's terminal ends on Linux: UTF-8 on both sides, the code page
// played by the platform stand-in.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/standin.h"
#include "terminal.h"
#include "text/unicode_text.h"

unsigned defaultCodePage() { return 1252; }

bool selectCodePage(unsigned codePage) { return standin::setAnsiCodePage(codePage); }

bool pathFromArgument(const char* argument, char* out, std::size_t capacity) {
    const std::size_t length = std::strlen(argument);
    out[0] = '\0';
    if (length == 0) return true;
    static char16_t wide[8192];
    const std::size_t units =
        convertUtf8ToUtf16(argument, length, wide, sizeof wide / sizeof wide[0]);
    const std::size_t written = utf16ToAnsi(wide, units, out, capacity - 1);
    out[written] = '\0';
    return written > 0;
}

void printText(const char16_t* text, std::size_t units) {
    while (units > 0) {
        char utf8[1024];
        // Whole characters at a time: a pair is never parted between pieces.
        const std::size_t piece = wholeUtf16Length(text, units, sizeof utf8 / 4);
        const std::size_t bytes = convertUtf16ToUtf8(text, piece, utf8, sizeof utf8);
        std::fwrite(utf8, 1, bytes, stdout);
        text += piece;
        units -= piece;
    }
}

// A terminal outlives the programs it runs: there is nothing to wait for.
void describeConsole(unsigned& processesOnConsole, bool& inputIsConsole) {
    processesOnConsole = 0;
    inputIsConsole = false;
}

void waitForKey() {}
