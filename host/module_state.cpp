#include "host/module_state.h"

ModuleState moduleState;

PlatformWindow currentHostWindow() {
    return moduleState.descriptor != nullptr ? moduleState.descriptor->hostWindow : nullptr;
}
