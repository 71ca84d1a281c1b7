#pragma once
// The preview's two ends: paths typed in a terminal go in, in the code page
// the plug-in will see them in, and the plug-in's text comes out decoded from
// that code page, in the terminal's own encoding. terminal_posix.cpp and
// terminal_win32.cpp implement it; the build picks one.
#include <cstddef>

// The code page the plug-in's text is read in when none is given: 1252 on
// Linux, the system's ANSI code page on Windows.
unsigned defaultCodePage();

// Makes `codePage` the one the text is decoded from; on Linux the plug-in's
// code is run in it too (on Windows that is always the system's ANSI code
// page). Returns false when this system cannot convert it.
bool selectCodePage(unsigned codePage);

// Writes the path typed as `argument` into `out` (`capacity` bytes, always
// terminated) in the selected code page: on Linux it arrives in UTF-8, on
// Windows already in the ANSI code page. Returns false when it does not fit.
bool pathFromArgument(const char* argument, char* out, std::size_t capacity);

// Writes the `length` bytes at `text`, in the selected code page, to standard
// output, decoded as the plug-in widens them: UTF-8 on Linux, wide characters
// to a Windows console (UTF-8 when the output is not a console).
void printText(const char* text, std::size_t length);
