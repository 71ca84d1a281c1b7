#include "host/module_state.h"
#include "host/plugin_entry.h"
#include "host/plugin_identity.h"
#include "settings/settings_loader.h"
#include "status/bounded_text.h"

extern "C" std::int32_t HOST_CALL pluginInit(PluginDescriptor* descriptor) {
    if (descriptor == nullptr) return 1;
    copyBounded(descriptor->description, sizeof descriptor->description, VELKAR_DISPLAY_NAME);
    descriptor->callback = &onHostCommand;
    moduleState.descriptor = descriptor;
    loadSettings(moduleState.profiles);
    return 1;
}
