// The DLL's load and unload notifications. The module-wide state is static
// and zero when loaded; on an unload by the host (not at the process's end,
// when nothing may be waited for or released) the worker is ended where it
// waits, so no code of ours runs after the module is gone, and what it held
// open is closed.
#include "outputs/worker.h"

namespace {

constexpr unsigned long PROCESS_DETACH = 0;

}  // namespace

extern "C" int __stdcall DllMain(void* /*module*/, unsigned long reason, void* reserved) {
    if (reason == PROCESS_DETACH && reserved == nullptr) endWorker();
    return 1;
}
