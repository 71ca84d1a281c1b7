// host-sim: stands in for the host player. It owns a real top-level window
// and a plug-in record laid out as the host's, loads velkar.dll, calls
// pluginInit by its undecorated name and drives the callback.
//
//   host-sim DLL [--close-boxes] COMMAND...
//     set-file PATH      announce PATH (40002)
//     set-file-hex HEX   announce the path given as hex bytes (any code page)
//     publish            40006
//     withdraw           40007
//     about              40004 owned by the host window
//     raw NUMBER         any command number, param 0
//     sleep MS           wait, pumping messages
//     show-file PATH     print the file's bytes in hex ("missing" when there is none)
//     save-file PATH COPY copy the file to COPY as it is now (for files too
//                        large to show); print "saved PATH" or "missing PATH"
//     await-file PATH HEX wait, pumping messages, until the file holds the bytes HEX
//                        (5 s at most), then print them as show-file does and
//                        "awaited N ms" (or "awaited in vain")
//     cycle N PATH       N times: unload the DLL, load it again, pluginInit,
//                        announce PATH, publish; then print the process's next
//                        handle value and its threads before and after, once
//                        they have settled (where the handles grew, the open
//                        ones before and after, with their kinds)
//     unload-wait        unload the DLL and print "module gone after N ms" once
//                        it has left the process (15 s at most)
//     alternate N A B    announce A, publish, announce B, publish, ... N publishes
//                        in all; then print the longest publish
//
// With --close-boxes a timer on the host's thread, which the message box's
// own loop keeps serving, finds each box the plug-in shows, prints its
// owner, caption and text, and presses OK. (No second thread: a 32-bit
// program's extra threads that touch windows are unreliable under an
// emulator.)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Callback = std::int32_t(__stdcall*)(std::int32_t, std::intptr_t, std::intptr_t);
using PluginInit = std::int32_t(__stdcall*)(void*);

// The host's record: the fields the plug-in may touch, then more of the
// host's own, which must come back untouched.
struct HostRecord {
    char description[256];
    Callback callback;
    HWND hostWindow;
    unsigned char hostOwn[64];
};

static_assert(sizeof(void*) != 4 || offsetof(HostRecord, hostWindow) == 260,
              "the host's 32-bit layout: callback at 256, window at 260");

constexpr unsigned char HOST_OWN_FILL = 0xA5;
constexpr UINT BOX_CHECK_INTERVAL_MS = 50;
HWND hostWindow;

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND createHostWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VelkarHostSim";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "VelkarHostSim", "host-sim", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

BOOL CALLBACK findStaticText(HWND child, LPARAM found) {
    char className[32];
    char text[512];
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        lstrcpynA(reinterpret_cast<char*>(found), text, 512);
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK closeMessageBox(HWND window, LPARAM) {
    char className[32];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    char caption[256] = "";
    char text[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    EnumChildWindows(window, findStaticText, reinterpret_cast<LPARAM>(text));
    const HWND owner = GetWindow(window, GW_OWNER);
    std::printf("message box: owner=%s caption='%s' text='%s'\n",
                owner == hostWindow ? "host window" : "other", caption, text);
    std::fflush(stdout);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK closeMessageBoxes(HWND, UINT, UINT_PTR, DWORD) { EnumWindows(closeMessageBox, 0); }

bool decodeHex(const char* hex, char* out, std::size_t capacity) {
    const std::size_t length = std::strlen(hex);
    if (length % 2 != 0 || length / 2 >= capacity) return false;
    for (std::size_t i = 0; i < length / 2; ++i) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], '\0'};
        char* end = nullptr;
        out[i] = static_cast<char>(std::strtoul(pair, &end, 16));
        if (*end != '\0') return false;
    }
    out[length / 2] = '\0';
    return true;
}

// The file's bytes in hex, or "missing".
void fileHex(const char* path, char* out, std::size_t capacity) {
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::snprintf(out, capacity, "missing");
        return;
    }
    std::size_t used = 0;
    out[0] = '\0';
    unsigned char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
        for (DWORD i = 0; i < got && used + 3 <= capacity; ++i) {
            used += static_cast<std::size_t>(
                std::snprintf(out + used, capacity - used, "%02X", buffer[i]));
        }
    }
    CloseHandle(file);
}

char shownHex[65536];

void showFile(const char* path) {
    fileHex(path, shownHex, sizeof shownHex);
    std::printf("file %s: %s\n", path, shownHex);
}

constexpr DWORD AWAIT_LIMIT_MS = 5000;
constexpr DWORD AWAIT_STEP_MS = 2;

void awaitFile(const char* path, const char* hex) {
    const DWORD start = GetTickCount();
    bool arrived = false;
    while (!arrived && GetTickCount() - start < AWAIT_LIMIT_MS) {
        fileHex(path, shownHex, sizeof shownHex);
        arrived = std::strcmp(shownHex, hex) == 0;
        if (!arrived) {
            pumpMessages();
            Sleep(AWAIT_STEP_MS);
        }
    }
    std::printf("file %s: %s\n", path, shownHex);
    if (arrived) {
        std::printf("awaited %lu ms\n", GetTickCount() - start);
    } else {
        std::printf("awaited in vain\n");
    }
}

// The process's threads, and the value of the next handle it would get:
// handles are given out lowest free first, so it grows when handles leak.
// (Wine does not count a process's handles.)
void countHandlesAndThreads(DWORD& handles, DWORD& threads) {
    const HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    handles = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(probe));
    CloseHandle(probe);
    threads = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
    }
    CloseHandle(snapshot);
}

// Writes the open handles below `limit` with their kinds, as NtQueryObject
// names them, into `out`: where the next handle value grew, which one
// stayed open.
void describeOpenHandles(const char* label, DWORD limit, char* out, std::size_t capacity) {
    struct TypeName {
        USHORT length;
        USHORT capacity;
        wchar_t* text;
        ULONG reserved[22];
        wchar_t storage[64];
    };
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    std::size_t used = static_cast<std::size_t>(std::snprintf(out, capacity, "handles %s:", label));
    for (DWORD value = 4; query != nullptr && value < limit && used < capacity; value += 4) {
        TypeName name{};
        ULONG size = 0;
        const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
        constexpr int OBJECT_TYPE_INFORMATION = 2;
        if (query(handle, OBJECT_TYPE_INFORMATION, &name, sizeof name, &size) != 0) continue;
        used +=
            static_cast<std::size_t>(std::snprintf(out + used, capacity - used, " %lu=%.*ls", value,
                                                   static_cast<int>(name.length / 2), name.text));
        TypeName objectName{};
        constexpr int OBJECT_NAME_INFORMATION = 1;
        if (used < capacity &&
            query(handle, OBJECT_NAME_INFORMATION, &objectName, sizeof objectName, &size) == 0 &&
            objectName.length > 0) {
            used += static_cast<std::size_t>(std::snprintf(out + used, capacity - used, "(%.*ls)",
                                                           static_cast<int>(objectName.length / 2),
                                                           objectName.text));
        }
    }
}

constexpr DWORD SETTLE_LIMIT_MS = 15000;
constexpr DWORD SETTLE_STEP_MS = 100;

int usage() {
    std::fprintf(stderr, "usage: host-sim DLL [--close-boxes] COMMAND...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    hostWindow = createHostWindow();
    std::printf("ansi code page: %u\n", GetACP());
    // Window handles carry 32 significant bits in 32- and 64-bit processes alike.
    std::printf("host process: %lu\n", GetCurrentProcessId());
    std::printf("host window: %08lX\n",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(hostWindow)));

    DWORD handlesAtStart = 0;
    DWORD threadsAtStart = 0;
    countHandlesAndThreads(handlesAtStart, threadsAtStart);
    HMODULE plugin = LoadLibraryA(argv[1]);
    if (plugin == nullptr) {
        std::printf("LoadLibrary failed: error %lu\n", GetLastError());
        return 1;
    }
    const auto pluginInit =
        reinterpret_cast<PluginInit>(reinterpret_cast<void*>(GetProcAddress(plugin, "pluginInit")));
    if (pluginInit == nullptr) {
        std::printf("pluginInit not exported\n");
        return 1;
    }

    HostRecord record;
    std::memset(&record, 0, sizeof record);
    std::memset(record.hostOwn, HOST_OWN_FILL, sizeof record.hostOwn);
    record.hostWindow = hostWindow;
    const std::int32_t result = pluginInit(&record);
    bool hostFieldsIntact = record.hostWindow == hostWindow;
    for (unsigned char byte : record.hostOwn) hostFieldsIntact &= byte == HOST_OWN_FILL;
    std::printf("pluginInit returned %d\n", static_cast<int>(result));
    std::printf("description: '%.255s'\n", record.description);
    std::printf("callback set: %s\n", record.callback != nullptr ? "yes" : "no");
    std::printf("host fields intact: %s\n", hostFieldsIntact ? "yes" : "no");
    if (record.callback == nullptr) return 1;

    int first = 2;
    UINT_PTR boxTimer = 0;
    if (first < argc && std::strcmp(argv[first], "--close-boxes") == 0) {
        boxTimer = SetTimer(nullptr, 0, BOX_CHECK_INTERVAL_MS, closeMessageBoxes);
        ++first;
    }

    static char path[4096];
    for (int i = first; i < argc; ++i) {
        const char* name = argv[i];
        std::int32_t number = 0;
        std::intptr_t param = 0;
        if (std::strcmp(name, "set-file") == 0 && i + 1 < argc) {
            number = 40002;
            param = reinterpret_cast<std::intptr_t>(argv[++i]);
        } else if (std::strcmp(name, "set-file-hex") == 0 && i + 1 < argc) {
            if (!decodeHex(argv[++i], path, sizeof path)) return usage();
            number = 40002;
            param = reinterpret_cast<std::intptr_t>(path);
        } else if (std::strcmp(name, "publish") == 0) {
            number = 40006;
        } else if (std::strcmp(name, "withdraw") == 0) {
            number = 40007;
        } else if (std::strcmp(name, "about") == 0) {
            number = 40004;
            param = reinterpret_cast<std::intptr_t>(hostWindow);
        } else if (std::strcmp(name, "raw") == 0 && i + 1 < argc) {
            number = static_cast<std::int32_t>(std::strtol(argv[++i], nullptr, 10));
        } else if (std::strcmp(name, "show-file") == 0 && i + 1 < argc) {
            showFile(argv[++i]);
            continue;
        } else if (std::strcmp(name, "save-file") == 0 && i + 2 < argc) {
            const char* file = argv[++i];
            const char* copy = argv[++i];
            std::printf("%s %s\n", CopyFileA(file, copy, FALSE) != 0 ? "saved" : "missing", file);
            continue;
        } else if (std::strcmp(name, "alternate") == 0 && i + 3 < argc) {
            const long publishes = std::strtol(argv[i + 1], nullptr, 10);
            const char* files[2] = {argv[i + 2], argv[i + 3]};
            i += 3;
            DWORD longest = 0;
            const DWORD start = GetTickCount();
            for (long n = 0; n < publishes; ++n) {
                record.callback(40002, reinterpret_cast<std::intptr_t>(files[n % 2]), 0);
                const DWORD before = GetTickCount();
                record.callback(40006, 0, 0);
                const DWORD took = GetTickCount() - before;
                if (took > longest) longest = took;
                pumpMessages();
            }
            std::printf("alternate: %ld publishes in %lu ms, the longest %lu ms\n", publishes,
                        GetTickCount() - start, longest);
            continue;
        } else if (std::strcmp(name, "await-file") == 0 && i + 2 < argc) {
            awaitFile(argv[i + 1], argv[i + 2]);
            i += 2;
            continue;
        } else if (std::strcmp(name, "cycle") == 0 && i + 2 < argc) {
            const long cycles = std::strtol(argv[i + 1], nullptr, 10);
            const char* announced = argv[i + 2];
            i += 2;
            DWORD handlesBefore = 0;
            DWORD threadsBefore = 0;
            countHandlesAndThreads(handlesBefore, threadsBefore);
            static char openBefore[4096];
            describeOpenHandles("before", handlesBefore, openBefore, sizeof openBefore);
            for (long n = 0; n < cycles && plugin != nullptr; ++n) {
                FreeLibrary(plugin);
                plugin = LoadLibraryA(argv[1]);
                const auto init = plugin == nullptr
                                      ? nullptr
                                      : reinterpret_cast<PluginInit>(reinterpret_cast<void*>(
                                            GetProcAddress(plugin, "pluginInit")));
                if (init == nullptr || init(&record) != 1) {
                    std::printf("cycle %ld: the DLL did not load\n", n);
                    return 1;
                }
                record.callback(40002, reinterpret_cast<std::intptr_t>(announced), 0);
                record.callback(40006, 0, 0);
                pumpMessages();
            }
            // The system's pool lets idle threads go after a while.
            DWORD handles = 0;
            DWORD threads = 0;
            const DWORD start = GetTickCount();
            do {
                Sleep(SETTLE_STEP_MS);
                countHandlesAndThreads(handles, threads);
            } while ((handles > handlesBefore || threads > threadsBefore) &&
                     GetTickCount() - start < SETTLE_LIMIT_MS);
            std::printf(
                "cycle: %ld loads; next handle %lu before, %lu after; threads %lu "
                "before, %lu after\n",
                cycles, handlesBefore, handles, threadsBefore, threads);
            if (handles > handlesBefore) {
                static char openAfter[4096];
                describeOpenHandles("after", handles, openAfter, sizeof openAfter);
                std::printf("%s\n%s\n", openBefore, openAfter);
            }
            continue;
        } else if (std::strcmp(name, "unload-wait") == 0) {
            char modulePath[MAX_PATH];
            GetModuleFileNameA(plugin, modulePath, MAX_PATH);
            FreeLibrary(plugin);
            plugin = nullptr;
            const DWORD start = GetTickCount();
            while (GetModuleHandleA(modulePath) != nullptr &&
                   GetTickCount() - start < SETTLE_LIMIT_MS) {
                pumpMessages();
                Sleep(SETTLE_STEP_MS);
            }
            if (GetModuleHandleA(modulePath) == nullptr) {
                std::printf("module gone after %lu ms\n", GetTickCount() - start);
            } else {
                std::printf("module still loaded\n");
            }
            break;
        } else if (std::strcmp(name, "sleep") == 0 && i + 1 < argc) {
            const DWORD until = GetTickCount() + std::strtoul(argv[++i], nullptr, 10);
            while (static_cast<LONG>(until - GetTickCount()) > 0) {
                pumpMessages();
                Sleep(10);
            }
            continue;
        } else {
            return usage();
        }
        const DWORD start = GetTickCount();
        const std::int32_t answer = record.callback(number, param, 0);
        std::printf("command %d returned %d after %lu ms\n", static_cast<int>(number),
                    static_cast<int>(answer), GetTickCount() - start);
        pumpMessages();
    }

    if (boxTimer != 0) KillTimer(nullptr, boxTimer);
    DestroyWindow(hostWindow);
    if (plugin != nullptr) FreeLibrary(plugin);
    // Threads the plug-in still runs (a write it finishes after the unload)
    // end before the process does: under QEMU's user-mode emulation a
    // process that ends with other threads alive dies of it.
    DWORD handles = 0;
    DWORD threads = 0;
    const DWORD start = GetTickCount();
    do {
        countHandlesAndThreads(handles, threads);
        if (threads > threadsAtStart) Sleep(SETTLE_STEP_MS);
    } while (threads > threadsAtStart && GetTickCount() - start < SETTLE_LIMIT_MS);
    return 0;
}
