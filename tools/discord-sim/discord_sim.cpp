// discord-sim: stands in for Discord's desktop client in its own process,
// serving its local connection as Discord documents it: the pipe
// \\.\pipe\discord-ipc-N, frames of an opcode and a length (32-bit
// little-endian) and JSON. It answers the handshake with READY and each
// command with its nonce, answers pings, and logs every frame.
//
//   discord-sim --log FILE [--ready FILE] [--stop FILE] [--seconds S]
//               [--pipe N] [--user NAME] [--mute-for MS] [--refuse-id]
//
// --mute-for MS: for MS milliseconds after the start, nothing is answered
//   (a connection that READY never comes to); after that, as usual.
// --refuse-id: the handshake is answered with a close (opcode 2) with code
//   4000, as for an application id Discord does not know.
// Log lines, each with the wall clock in Unix milliseconds:
//   listening at=MS | connected at=MS | frame at=MS op=N json=JSON |
//   disconnected at=MS
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Options {
    const char* logPath = nullptr;
    const char* readyPath = nullptr;
    const char* stopPath = nullptr;
    DWORD seconds = 60;
    int pipeNumber = 0;
    const char* user = "tester";
    DWORD muteFor = 0;
    bool refuseId = false;
};

Options options;
std::FILE* logFile;
DWORD started;
constexpr DWORD SLICE_MS = 50;
constexpr std::uint32_t LARGEST_FRAME = 64 * 1024;

unsigned long long unixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long steps =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (steps - 116444736000000000ull) / 10000;
}

bool stopAsked() {
    if (GetTickCount() - started > options.seconds * 1000) return true;
    return options.stopPath != nullptr &&
           GetFileAttributesA(options.stopPath) != INVALID_FILE_ATTRIBUTES;
}

bool muted() { return GetTickCount() - started < options.muteFor; }

void logLine(const char* what, const std::string& rest = "") {
    std::fprintf(logFile, "%s at=%llu%s\n", what, unixMilliseconds(), rest.c_str());
    std::fflush(logFile);
}

// Waits for an overlapped operation in slices, giving up when asked to stop.
bool finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD& done) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    while (WaitForSingleObject(overlapped.hEvent, SLICE_MS) == WAIT_TIMEOUT) {
        if (stopAsked()) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &done, TRUE);
            return false;
        }
    }
    return GetOverlappedResult(pipe, &overlapped, &done, FALSE) != 0;
}

bool transfer(HANDLE pipe, void* bytes, DWORD count, bool writing) {
    DWORD total = 0;
    while (total < count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD done = 0;
        char* at = static_cast<char*>(bytes) + total;
        const BOOL began = writing ? WriteFile(pipe, at, count - total, nullptr, &overlapped)
                                   : ReadFile(pipe, at, count - total, nullptr, &overlapped);
        const bool ok = finish(pipe, overlapped, began, done);
        CloseHandle(overlapped.hEvent);
        if (!ok || done == 0) return false;
        total += done;
    }
    return true;
}

bool sendFrame(HANDLE pipe, std::uint32_t opcode, const std::string& json) {
    std::string frame(8, '\0');
    const std::uint32_t length = static_cast<std::uint32_t>(json.size());
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<char>(opcode >> (8 * i));
        frame[4 + i] = static_cast<char>(length >> (8 * i));
    }
    frame += json;
    return transfer(pipe, &frame[0], static_cast<DWORD>(frame.size()), true);
}

// The nonce of a command, found plainly: the plug-in writes it so.
std::string nonceOf(const std::string& json) {
    const std::string key = "\"nonce\":\"";
    const std::size_t at = json.find(key);
    if (at == std::string::npos) return "";
    const std::size_t end = json.find('"', at + key.size());
    return end == std::string::npos ? "" : json.substr(at + key.size(), end - at - key.size());
}

// Serves one connection until the client closes it or a stop is asked.
void serve(HANDLE pipe) {
    for (;;) {
        unsigned char header[8];
        if (!transfer(pipe, header, sizeof header, false)) return;
        std::uint32_t opcode = 0;
        std::uint32_t length = 0;
        for (int i = 3; i >= 0; --i) {
            opcode = opcode << 8 | header[i];
            length = length << 8 | header[4 + i];
        }
        if (length > LARGEST_FRAME) return;
        std::string json(length, '\0');
        if (length > 0 && !transfer(pipe, &json[0], length, false)) return;
        logLine("frame", " op=" + std::to_string(opcode) + " json=" + json);
        if (opcode == 0) {
            if (options.refuseId) {
                sendFrame(pipe, 2, "{\"code\":4000,\"message\":\"Invalid Client ID\"}");
                FlushFileBuffers(pipe);
                return;
            }
            if (muted()) continue;
            sendFrame(pipe, 1,
                      std::string("{\"cmd\":\"DISPATCH\",\"data\":{\"v\":1,\"config\":{\"cdn_host\":"
                                  "\"cdn.discordapp.com\"},\"user\":{\"id\":\"1\",\"username\":\"") +
                          options.user + "\",\"global_name\":\"" + options.user +
                          "\",\"bot\":false}},\"evt\":\"READY\",\"nonce\":null}");
        } else if (opcode == 1) {
            if (muted()) continue;
            sendFrame(pipe, 1, "{\"cmd\":\"SET_ACTIVITY\",\"data\":null,\"evt\":null,\"nonce\":\"" +
                                   nonceOf(json) + "\"}");
        } else if (opcode == 2) {
            return;
        } else if (opcode == 3) {
            sendFrame(pipe, 4, json);
        }
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: discord-sim --log FILE [--ready FILE] [--stop FILE] [--seconds S] "
                 "[--pipe N] [--user NAME] [--mute-for MS] [--refuse-id]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--log") == 0 && hasValue) {
            options.logPath = argv[++i];
        } else if (std::strcmp(argv[i], "--ready") == 0 && hasValue) {
            options.readyPath = argv[++i];
        } else if (std::strcmp(argv[i], "--stop") == 0 && hasValue) {
            options.stopPath = argv[++i];
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            options.seconds = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--pipe") == 0 && hasValue) {
            options.pipeNumber = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--user") == 0 && hasValue) {
            options.user = argv[++i];
        } else if (std::strcmp(argv[i], "--mute-for") == 0 && hasValue) {
            options.muteFor = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--refuse-id") == 0) {
            options.refuseId = true;
        } else {
            return usage();
        }
    }
    if (options.logPath == nullptr) return usage();
    logFile = std::fopen(options.logPath, "a");
    if (logFile == nullptr) return 1;
    started = GetTickCount();
    const std::string name = "\\\\.\\pipe\\discord-ipc-" + std::to_string(options.pipeNumber);
    bool announced = false;
    while (!stopAsked()) {
        const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                             LARGEST_FRAME, LARGEST_FRAME, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            Sleep(SLICE_MS);
            continue;
        }
        if (!announced) logLine("listening");
        if (!announced && options.readyPath != nullptr) {
            std::FILE* ready = std::fopen(options.readyPath, "w");
            if (ready != nullptr) std::fclose(ready);
        }
        announced = true;
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD done = 0;
        const BOOL began = ConnectNamedPipe(pipe, &overlapped);
        const bool connected = GetLastError() == ERROR_PIPE_CONNECTED ||
                               finish(pipe, overlapped, began, done);
        CloseHandle(overlapped.hEvent);
        if (connected) {
            logLine("connected");
            serve(pipe);
            logLine("disconnected");
            DisconnectNamedPipe(pipe);
        }
        CloseHandle(pipe);
    }
    std::fclose(logFile);
    return 0;
}
