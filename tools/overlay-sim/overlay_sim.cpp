// overlay-sim: stands in for a stream overlay or a chat bot reading the
// now-playing file, in its own process.
//
//   overlay-sim --poll --file FILE --log LOG --ready READY --stop STOP
//       reads FILE again and again, as overlays poll it (opened sharing
//       read, write and delete, read whole, closed), until STOP exists, then
//       writes to LOG how often it read each content and found it missing.
//   overlay-sim --hold --file FILE --ready READY --stop STOP [--for MS]
//       holds FILE open, sharing read and write but not delete, as most
//       readers do, until STOP exists (or MS milliseconds have passed).
//
// LOG lines: "read HEX COUNT" for each content seen (HEX empty for an
// empty file), "missing COUNT", "failed ERROR COUNT" for other failures.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void signalReady(const char* path) {
    if (std::FILE* ready = std::fopen(path, "w")) std::fclose(ready);
}

std::string hex(const std::string& bytes) {
    std::string out;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", c);
        out += pair;
    }
    return out;
}

int poll(const char* file, const char* log, const char* ready, const char* stop) {
    std::map<std::string, unsigned long> contents;
    std::map<DWORD, unsigned long> failures;
    unsigned long missing = 0;
    signalReady(ready);
    while (!fileExists(stop)) {
        const HANDLE handle =
            CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) {
                ++missing;
            } else {
                ++failures[error];
            }
            continue;
        }
        std::string bytes;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
            bytes.append(buffer, got);
        }
        CloseHandle(handle);
        ++contents[bytes];
    }
    std::FILE* out = std::fopen(log, "wb");
    if (out == nullptr) return 1;
    for (const auto& [bytes, count] : contents) {
        std::fprintf(out, "read %s %lu\n", hex(bytes).c_str(), count);
    }
    std::fprintf(out, "missing %lu\n", missing);
    for (const auto& [error, count] : failures) {
        std::fprintf(out, "failed %lu %lu\n", static_cast<unsigned long>(error), count);
    }
    std::fclose(out);
    return 0;
}

int hold(const char* file, const char* ready, const char* stop, DWORD milliseconds) {
    const HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 1;
    signalReady(ready);
    const DWORD start = GetTickCount();
    while (!fileExists(stop) && GetTickCount() - start < milliseconds) Sleep(20);
    CloseHandle(handle);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    const char* file = nullptr;
    const char* log = nullptr;
    const char* ready = nullptr;
    const char* stop = nullptr;
    DWORD milliseconds = INFINITE;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--for") == 0)
            milliseconds = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--log") == 0) log = argv[i + 1];
        if (std::strcmp(argv[i], "--ready") == 0) ready = argv[i + 1];
        if (std::strcmp(argv[i], "--stop") == 0) stop = argv[i + 1];
        if (std::strcmp(argv[i], "--file") == 0) file = argv[i + 1];
    }
    if (file == nullptr || ready == nullptr || stop == nullptr) {
        std::fprintf(stderr,
                     "usage: overlay-sim --poll|--hold --file FILE [--log LOG] --ready READY "
                     "--stop STOP\n");
        return 2;
    }
    if (std::strcmp(mode, "--poll") == 0 && log != nullptr) return poll(file, log, ready, stop);
    if (std::strcmp(mode, "--hold") == 0) return hold(file, ready, stop, milliseconds);
    return 2;
}
