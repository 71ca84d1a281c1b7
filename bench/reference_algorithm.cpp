#include "reference_algorithm.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace reference {
namespace {

char currentFileName[288];
char statusText[320];
char16_t wideText[500];
CopyDataRecord record;

const char* CATEGORY_CODES[] = {"\\0Music", "\\0Office", "\\0Games", "\\0Empty"};

// A line-by-line read from memory: at most capacity - 1 bytes, up to and
// including the line feed.
std::size_t readLine(const char* bytes, std::size_t size, std::size_t offset, char* line,
                     std::size_t capacity) {
    std::size_t length = 0;
    while (offset + length < size && length + 1 < capacity) {
        const char c = bytes[offset + length];
        line[length++] = c;
        if (c == '\n') break;
    }
    line[length] = '\0';
    return length;
}

void parseLine(char* line, Profile& profile, bool lastLine) {
    int number = 0;
    std::sscanf(line, "%d", &number);
    std::strcpy(profile.categoryCode,
                number >= 1 && number <= 4 ? CATEGORY_CODES[number - 1] : CATEGORY_CODES[0]);
    char templateText[300];
    const char* comma = std::strchr(line, ',');
    std::strcpy(templateText, comma != nullptr ? comma + 1 : "");
    char* marker = std::strstr(templateText, "[FILENAME]");
    if (marker == nullptr) return;
    *marker = '\0';
    std::strcpy(profile.prefix, templateText);
    std::strcpy(profile.suffix, marker + 10);
    const std::size_t suffixLength = std::strlen(profile.suffix);
    if (!lastLine && suffixLength > 0 && profile.suffix[suffixLength - 1] == '\n') {
        profile.suffix[suffixLength - 1] = ' ';
    }
}

}  // namespace

Profiles defaultProfiles() { return {{"\\0Music", "", ""}, {"\\0Office", "watching ", ""}}; }

const char* composeStatus(const char* path, const Profiles& profiles) {
    std::strcpy(currentFileName, "\\");
    std::strcat(currentFileName, path);
    const char* name = std::strrchr(currentFileName, '\\') + 1;
    std::memmove(currentFileName, name, std::strlen(name) + 1);
    char* extension = std::strrchr(currentFileName, '.');
    char upper[44] = "";
    if (extension != nullptr) {
        for (char* c = extension; *c != '\0'; ++c) *c = static_cast<char>(std::toupper(*c));
        std::strcpy(upper, extension);
    }
    const bool audio = std::strcmp(upper, ".MP3") == 0 || std::strcmp(upper, ".WAV") == 0;
    const Profile& profile = audio ? profiles.audioProfile : profiles.videoProfile;
    std::strcpy(statusText, profile.categoryCode);
    std::strcat(statusText, "\\01\\0{0}\\0");
    std::strcat(statusText, profile.prefix);
    for (char* c = currentFileName; *c != '\0'; ++c) {
        if (*c == '_' || *c == '.') *c = ' ';
    }
    const std::size_t length = std::strlen(currentFileName);
    std::strncat(statusText, currentFileName, length >= 4 ? length - 4 : length);
    std::strcat(statusText, profile.suffix);
    std::strcat(statusText, "\\0");
    return statusText;
}

void parseSettings(const char* bytes, std::size_t size, Profiles& profiles) {
    char line[300];
    std::size_t offset = readLine(bytes, size, 0, line, sizeof line);
    parseLine(line, profiles.videoProfile, false);
    readLine(bytes, size, offset, line, sizeof line);
    parseLine(line, profiles.audioProfile, true);
}

std::uint32_t prepareRecord(const char* text, std::size_t bound) {
    std::size_t i = 0;
    for (; i < bound; ++i) {
        wideText[i] = static_cast<unsigned char>(text[i]);
        if (text[i] == '\0') break;
    }
    std::size_t units = 0;
    while (wideText[units] != u'\0') ++units;
    record = {0x547, static_cast<std::uint32_t>(2 * units + 2), wideText};
    return record.byteCount;
}

}  // namespace reference
