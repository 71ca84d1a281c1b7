#pragma once
// The plug-in's boundary with the host player: the record the host hands
// over, the command numbers, what the plug-in keeps between calls, and its
// two ways in. pluginInit is the one exported name.
#include <cstddef>
#include <cstdint>

#include "outputs/now_playing.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "status/status_text.h"

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

// The host's command numbers that do something; every other number is ignored.
constexpr std::int32_t CMD_SET_FILE = 40002;  // param: address of the announced path
constexpr std::int32_t CMD_ABOUT = 40004;     // param: window to own the About box
constexpr std::int32_t CMD_PUBLISH = 40006;
constexpr std::int32_t CMD_WITHDRAW = 40007;

// Everything the plug-in keeps between host calls. All zero when the module
// is loaded; written only from pluginInit and onHostCommand on the host's
// thread, one call at a time, so it takes no lock.
struct ModuleState {
    PluginDescriptor* descriptor;                   // null until pluginInit
    char16_t settingsPath[SETTINGS_PATH_CAPACITY];  // velkar.ini, as found at pluginInit
    PluginSettings settings;                        // the profiles and the now-playing file
    AnnouncedPath announcedPath;                    // the last announced file's path
    ComposedStatus composed;
    bool announced;      // a file was announced since pluginInit
    bool composedStale;  // the settings changed since it was composed
    bool privateFile;    // the last announced file is private: its publish withdraws
    // What the JSON file holds once the published track stops: its fields,
    // not playing; the emptied ones before any publish and after a private one.
    char stoppedJson[NOW_PLAYING_JSON_CAPACITY];
    std::size_t stoppedJsonLength;
};

extern ModuleState moduleState;

// Writes the display name and the callback into `descriptor`, keeps its
// address, reads the settings, and writes the now-playing file's withdrawn
// text (nothing plays yet). Returns 1 in every case; a null record changes
// nothing.
extern "C" std::int32_t HOST_CALL pluginInit(PluginDescriptor* descriptor);

// Carries out host command `command`; other numbers are ignored. `param2` is
// never looked at. Returns 0 in every case.
extern "C" std::int32_t HOST_CALL onHostCommand(std::int32_t command, std::intptr_t param,
                                                std::intptr_t param2);
