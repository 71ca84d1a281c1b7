#pragma once
// Plain-words descriptions of settings problems, for people checking a file.
// The plug-in itself reports nothing, so this is not part of it.
#include <cstddef>

#include "settings/settings_line.h"

// Writes a one-line description of `problem` (one SettingsProblem flag) found
// on line `lineNumber`, without the line number, into `out`: at most
// `capacity` bytes, always terminated.
void describeSettingsProblem(SettingsProblem problem, int lineNumber, char* out,
                             std::size_t capacity);
