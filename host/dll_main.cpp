// The DLL's load and unload notifications: nothing to set up or tear down,
// the module-wide state is static and zero when loaded.
extern "C" int __stdcall DllMain(void* /*module*/, unsigned long /*reason*/, void* /*reserved*/) {
    return 1;
}
