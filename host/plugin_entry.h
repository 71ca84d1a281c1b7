#pragma once
// The plug-in's two ways in. pluginInit is the one exported name.
#include <cstdint>

#include "host/plugin_descriptor.h"

// Writes the display name and the callback into `descriptor`, keeps its
// address, and fills both profiles. Returns 1 in every case; a null record
// changes nothing.
extern "C" std::int32_t HOST_CALL pluginInit(PluginDescriptor* descriptor);

// Carries out host command `command` (see host_commands.h); other numbers are
// ignored. `param2` is never looked at. Returns 0 in every case.
extern "C" std::int32_t HOST_CALL onHostCommand(std::int32_t command, std::intptr_t param,
                                                std::intptr_t param2);
