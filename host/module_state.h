#pragma once
// Everything the plug-in keeps between host calls. All zero when the module
// is loaded; written only from pluginInit and onHostCommand on the host's
// thread, one call at a time, so it takes no lock.
#include "host/plugin_descriptor.h"
#include "status/status_profile.h"
#include "status/status_text.h"

struct ModuleState {
    PluginDescriptor* descriptor;  // null until pluginInit
    StatusProfiles profiles;
    ComposedStatus composed;
};

extern ModuleState moduleState;

// The host's window as the descriptor holds it now; null before pluginInit.
PlatformWindow currentHostWindow();
