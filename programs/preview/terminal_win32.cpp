// The preview's terminal ends on Windows: arguments already in the ANSI code
// page, output to the console as wide characters.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "terminal.h"

unsigned defaultCodePage() { return GetACP(); }

bool selectCodePage(unsigned codePage) { return codePage == GetACP(); }

bool pathFromArgument(const char* argument, char* out, std::size_t capacity) {
    const std::size_t length = std::strlen(argument);
    if (length >= capacity) return false;
    std::memcpy(out, argument, length + 1);
    return true;
}

void printText(const char16_t* text, std::size_t units) {
    if (units == 0) return;
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
    std::fflush(stdout);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        DWORD written = 0;
        WriteConsoleW(output, wide, static_cast<DWORD>(units), &written, nullptr);
        return;
    }
    static char utf8[3 * 32768];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(units), utf8,
                                          sizeof utf8, nullptr, nullptr);
    if (bytes > 0) std::fwrite(utf8, 1, static_cast<std::size_t>(bytes), stdout);
}

void describeConsole(unsigned& processesOnConsole, bool& inputIsConsole) {
    DWORD processes[4];
    processesOnConsole = GetConsoleProcessList(processes, 4);
    DWORD mode = 0;
    inputIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void waitForKey() {
    std::printf("\nPress a key to close this window.\n");
    std::fflush(stdout);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) != 0) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
    }
}
