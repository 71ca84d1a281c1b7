#pragma once
// velkar.ini read again when it changes, so that a change takes effect
// without restarting the player. While something is published, the worker
// looks at the file's size and time every SETTINGS_LOOK_MILLISECONDS (never
// the host's thread: the file may lie on a share that does not answer),
// reads it again where they changed, and hands the new settings over as the
// destinations hand over their texts; the host's thread takes them at its
// next command. A file that cannot be read, or that changed while it was
// read (being saved), keeps the settings in force, and is tried again.
#include <cstdint>

#include "settings/settings_file.h"

constexpr std::uint32_t SETTINGS_LOOK_MILLISECONDS = 3000;

// At pluginInit, right after the settings were read from `path` (UTF-16,
// terminated): notes the path, forgets settings read by an earlier start,
// and starts the worker's thread, so no publish has to; the worker notes
// the file's size and time at once. `buildApplicationId` is applied to every
// reading as takeBuildApplication does.
void watchSettings(const char16_t* path, const char* buildApplicationId);

// On the host's thread at a publish (true) and a withdraw (false): the
// file is looked at only while something is published. Returns at once.
void watchSettingsWhilePublished(bool published);

// On the host's thread: copies the settings read again since the last call
// into `settings` and returns true; false, changing nothing, when there are
// none. Waits only for a copy under way.
bool takeChangedSettings(PluginSettings& settings);
