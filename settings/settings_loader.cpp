#include "settings/settings_loader.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "status/bounded_text.h"

namespace {

constexpr std::size_t READ_CHUNK_SIZE = 512;

bool deriveSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    char hostPath[REGISTRY_VALUE_CAPACITY];
    if (!readUserRegistryString(HOST_REGISTRY_KEY, HOST_PATH_VALUE, hostPath, sizeof hostPath)) {
        return false;
    }
    const char* lastBackslash = std::strrchr(hostPath, '\\');
    if (lastBackslash == nullptr) return false;
    const std::size_t folderLength = static_cast<std::size_t>(lastBackslash - hostPath);
    if (folderLength + std::strlen(SETTINGS_FILE_BESIDE_HOST) >= sizeof settingsPath) return false;
    const std::size_t length =
        copyBoundedCount(settingsPath, sizeof settingsPath, hostPath, folderLength);
    appendBounded(settingsPath, sizeof settingsPath, length, SETTINGS_FILE_BESIDE_HOST);
    return true;
}

}  // namespace

void findSettingsPath(char (&settingsPath)[SETTINGS_PATH_CAPACITY]) {
    if (!deriveSettingsPath(settingsPath)) {
        copyBounded(settingsPath, sizeof settingsPath, FALLBACK_SETTINGS_PATH);
    }
}

bool readSettingsFile(const char* path, StatusProfiles& profiles,
                      SettingsDiagnostics* diagnostics) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        setDefaultProfiles(profiles);
        if (diagnostics != nullptr) diagnostics->count = 0;
        return false;
    }
    SettingsParser parser;
    beginSettings(parser, profiles, diagnostics);
    char chunk[READ_CHUNK_SIZE];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (!feedSettings(parser, chunk, got)) break;
    }
    finishSettings(parser);
    std::fclose(file);
    return true;
}

void loadSettings(StatusProfiles& profiles) {
    char settingsPath[SETTINGS_PATH_CAPACITY];
    findSettingsPath(settingsPath);
    readSettingsFile(settingsPath, profiles, nullptr);
}
