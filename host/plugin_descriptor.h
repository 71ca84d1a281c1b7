#pragma once
// What passes between the host player and the plug-in.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// The host calls both entry points with the Windows API calling convention:
// the callee removes the arguments.
#ifdef _WIN32
#define HOST_CALL __stdcall
#else
#define HOST_CALL
#endif

constexpr std::size_t DESCRIPTION_CAPACITY = 256;

// The host's command callback. `param` carries an address or a window handle,
// so it is pointer-sized; in the host's 32-bit world all three are 32 bits.
using HostCommandCallback = std::int32_t(HOST_CALL*)(std::int32_t command, std::intptr_t param,
                                                     std::intptr_t param2);

// The host-owned record passed to pluginInit; it stays valid while the plug-in
// is loaded. The host's record may go on after these fields; nothing else in
// it is read or written.
struct PluginDescriptor {
    char description[DESCRIPTION_CAPACITY];  // written: display name, NUL-terminated
    HostCommandCallback callback;            // written: onHostCommand
    PlatformWindow hostWindow;               // read: the host's window, at each send
};

static_assert(offsetof(PluginDescriptor, callback) == 256, "callback follows description");
static_assert(offsetof(PluginDescriptor, hostWindow) == 256 + sizeof(void*),
              "hostWindow follows callback");
static_assert(sizeof(void*) != 4 || offsetof(PluginDescriptor, hostWindow) == 260,
              "the host's 32-bit layout");
