// The host's two ways in, and where each command goes.
#include "host/plugin.h"

#include "settings/settings_file.h"
#include "status/delivery.h"
#include "text/bounded_text.h"
#include "velkar_build_config.h"

ModuleState moduleState;

namespace {

// The host's window as the record holds it now; null before pluginInit.
PlatformWindow currentHostWindow() {
    return moduleState.descriptor != nullptr ? moduleState.descriptor->hostWindow : nullptr;
}

}  // namespace

extern "C" std::int32_t HOST_CALL pluginInit(PluginDescriptor* descriptor) {
    if (descriptor == nullptr) return 1;
    copyBounded(descriptor->description, sizeof descriptor->description, VELKAR_DISPLAY_NAME);
    descriptor->callback = &onHostCommand;
    moduleState.descriptor = descriptor;
    loadSettings(moduleState.profiles);
    return 1;
}

extern "C" std::int32_t HOST_CALL onHostCommand(std::int32_t command, std::intptr_t param,
                                                std::intptr_t /*param2*/) {
    switch (command) {
        case CMD_SET_FILE:
            if (param != 0) {
                takeAnnouncedPath(reinterpret_cast<const char*>(param), moduleState.announcedPath);
                composeStatus(moduleState.announcedPath, moduleState.profiles,
                              moduleState.composed);
            }
            break;
        case CMD_ABOUT:
            // Modal: returns once the user has closed the box.
            showMessageBox(reinterpret_cast<PlatformWindow>(param),
                           VELKAR_ABOUT_LEAD VELKAR_CONTACT_ADDRESS, VELKAR_ABOUT_CAPTION);
            break;
        case CMD_PUBLISH:
            sendStatus(moduleState.composed.statusText, moduleState.composed.statusLength + 2,
                       currentHostWindow());
            break;
        case CMD_WITHDRAW:
            sendStatus(WITHDRAW_TEXT, WITHDRAW_BOUND, currentHostWindow());
            break;
        default:
            break;
    }
    return 0;
}
