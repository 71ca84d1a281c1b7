#pragma once
// Plain-words descriptions of settings problems, for people checking a file.
// The plug-in itself reports nothing, so this is not part of it.
#include <cstddef>

#include "outputs/now_playing.h"
#include "settings/settings_line.h"
#include "settings/settings_option.h"

// Writes a one-line description of `problem` (one SettingsProblem flag) found
// on line `lineNumber`, without the line number, into `out`: at most
// `capacity` bytes, always terminated.
void describeSettingsProblem(SettingsProblem problem, int lineNumber, char* out,
                             std::size_t capacity);

// The same for a problem of a "name=value" line: at most `capacity` bytes,
// always terminated; empty for SettingsOptionProblem::None.
void describeSettingsOptionProblem(SettingsOptionProblem problem, char* out, std::size_t capacity);

// Why the now-playing file will not be written, in words; null when nothing
// stands in the way.
const char* describeNowPlayingObstacle(NowPlayingOutcome outcome);

// The other files written for overlays.
enum class OverlayFile { Json, Cover };

// Why the JSON file or the cover will not be written, in words (their names
// and what they replace are their own); null when nothing stands in the way.
const char* describeOverlayObstacle(OverlayFile file, NowPlayingOutcome outcome);

// Whether `path` (UTF-16, terminated, expanded) lies under the Program Files
// folders of this machine, where a player running as a standard user cannot
// write: Windows refuses, or sends the writes to the VirtualStore.
bool liesUnderProgramFiles(const char16_t* path);

// Said of such a path, by the preview tool and the settings window.
constexpr const char* PROGRAM_FILES_WARNING =
    "it lies under Program Files, where a player running as a standard user cannot write "
    "(Windows refuses, or sends the writes to the VirtualStore, where no overlay looks); "
    "%LOCALAPPDATA%\\Velkar\\nowplaying.txt is yours to write";

// The now-playing path the settings window suggests.
constexpr const char16_t SUGGESTED_NOW_PLAYING_PATH[] = u"%LOCALAPPDATA%\\Velkar\\nowplaying.txt";
