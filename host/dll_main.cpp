// The DLL's load and unload notifications. The module-wide state is static
// and zero when loaded; on an unload by the host (not at the process's end,
// when nothing may be waited for or released) what background runs used is
// released: none is due then, since a due run holds the module loaded.
#include "platform/platform.h"

namespace {

constexpr unsigned long PROCESS_DETACH = 0;

}  // namespace

extern "C" int __stdcall DllMain(void* /*module*/, unsigned long reason, void* reserved) {
    if (reason == PROCESS_DETACH && reserved == nullptr) endBackgroundRuns();
    return 1;
}
