#pragma once
// The preview's two ends: paths typed in a terminal go in, in the code page
// the plug-in will see them in, and the plug-in's UTF-16 text comes out in
// the terminal's own encoding. terminal_posix.cpp and terminal_win32.cpp
// implement it; the build picks one.
#include <cstddef>

// The host's ANSI code page when none is given: 1252 on Linux, the system's
// own on Windows.
unsigned defaultCodePage();

// Makes `codePage` the host's ANSI code page the plug-in's code runs in: on
// Linux the platform stand-in plays it; on Windows it must be the system's
// own. Returns false when this system cannot.
bool selectCodePage(unsigned codePage);

// Writes the path typed as `argument` into `out` (`capacity` bytes, always
// terminated) in the selected code page, as the host would pass it: on Linux
// it arrives in UTF-8, on Windows already in the ANSI code page. Returns
// false when it does not fit.
bool pathFromArgument(const char* argument, char* out, std::size_t capacity);

// Writes the `units` units of UTF-16 at `text` to standard output: UTF-8 on
// Linux, wide characters to a Windows console (UTF-8 when the output is not
// a console).
void printText(const char16_t* text, std::size_t units);

// Whether the preview should wait for a key before it ends: only when it was
// given a console of its own (started from Explorer, or with files dropped
// on it, the console closes with it), reads input from it, and shares it
// with no other process (a command prompt, a script).
inline bool shouldWaitForKey(unsigned processesOnConsole, bool inputIsConsole) {
    return processesOnConsole == 1 && inputIsConsole;
}

// What this process's console says: how many processes share it (0 without
// one) and whether standard input is it.
void describeConsole(unsigned& processesOnConsole, bool& inputIsConsole);

// Says so and waits until a key is pressed.
void waitForKey();
