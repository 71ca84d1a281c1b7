// Where each host command goes.
#include <cstring>

#include "host/about_box.h"
#include "host/host_commands.h"
#include "host/module_state.h"
#include "host/plugin_entry.h"
#include "status/delivery.h"

extern "C" std::int32_t HOST_CALL onHostCommand(std::int32_t command, std::intptr_t param,
                                                std::intptr_t /*param2*/) {
    switch (command) {
        case CMD_SET_FILE:
            if (param != 0) {
                composeStatus(reinterpret_cast<const char*>(param), moduleState.profiles,
                              moduleState.composed);
            }
            break;
        case CMD_ABOUT:
            showAboutBox(reinterpret_cast<PlatformWindow>(param));
            break;
        case CMD_PUBLISH: {
            const char* text = moduleState.composed.statusText;
            sendStatus(text, std::strlen(text) + 2, currentHostWindow());
            break;
        }
        case CMD_WITHDRAW:
            sendStatus(WITHDRAW_TEXT, WITHDRAW_BOUND, currentHostWindow());
            break;
        default:
            break;
    }
    return 0;
}
