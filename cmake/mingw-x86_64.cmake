# Cross-compiles the 64-bit twin: the same sources as the shipped DLL, the
# second target of the Wine scenarios, and the 64-bit messenger-sim.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
