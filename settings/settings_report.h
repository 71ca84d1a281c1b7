#pragma once
// Plain-words descriptions of settings problems, for people checking a file.
// The plug-in itself reports nothing, so this is not part of it.
#include <cstddef>

#include "settings/settings_parser.h"

// Writes a one-line description of `diagnostic` (without its line number) into
// `out`, at most `capacity` bytes, always terminated.
void describeSettingsDiagnostic(const SettingsDiagnostic& diagnostic, char* out,
                                std::size_t capacity);
