// Any bytes as the settings file: every profile field ends inside its
// storage, the category is one of the four codes, no line feed reaches a
// profile, and the file reads exactly as its lines parsed one by one, split
// here by a separate, deliberately plain splitter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/settings_file.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool terminatedWithin(const char* field, std::size_t capacity) {
    return std::memchr(field, '\0', capacity) != nullptr;
}

void checkProfile(const StatusProfile& profile) {
    require(terminatedWithin(profile.categoryCode, sizeof profile.categoryCode));
    require(terminatedWithin(profile.prefix, sizeof profile.prefix));
    require(terminatedWithin(profile.suffix, sizeof profile.suffix));
    const char* code = profile.categoryCode;
    require(std::strcmp(code, CATEGORY_MUSIC) == 0 || std::strcmp(code, CATEGORY_OFFICE) == 0 ||
            std::strcmp(code, CATEGORY_GAMES) == 0 || std::strcmp(code, CATEGORY_EMPTY) == 0);
    require(std::strchr(profile.prefix, '\n') == nullptr);
    require(std::strchr(profile.suffix, '\n') == nullptr);
}

bool sameProfile(const StatusProfile& a, const StatusProfile& b) {
    return std::strcmp(a.categoryCode, b.categoryCode) == 0 &&
           std::strcmp(a.prefix, b.prefix) == 0 && std::strcmp(a.suffix, b.suffix) == 0;
}

// The text-mode rules over the whole file at once: the mark at the start
// goes, Ctrl-Z ends the data, a carriage return right before a line feed
// goes; then lines end after each line feed.
std::vector<std::string> splitLines(const std::string& file) {
    std::string text = file.compare(0, 3, "\xEF\xBB\xBF") == 0 ? file.substr(3) : file;
    text = text.substr(0, text.find('\x1A'));
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        plain += text[i];
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < plain.size()) {
        const std::size_t lineFeed = plain.find('\n', start);
        const std::size_t end = lineFeed == std::string::npos ? plain.size() : lineFeed + 1;
        lines.push_back(plain.substr(start, end - start));
        start = end;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    StatusProfiles whole;
    SettingsReport report;
    std::memset(&whole, 0x7F, sizeof whole);  // no stray terminators to hide a fault
    std::memset(&report, 0x7F, sizeof report);
    readSettingsBytes(bytes, size, whole, &report);
    checkProfile(whole.videoProfile);
    checkProfile(whole.audioProfile);

    StatusProfiles byLine;
    setDefaultProfiles(byLine);
    const std::vector<std::string> lines = splitLines(std::string(bytes, size));
    for (int lineNumber = 1; lineNumber <= SETTINGS_LINES_READ; ++lineNumber) {
        SettingsProblems problems = SETTINGS_MISSING_LINE;
        if (static_cast<std::size_t>(lineNumber) <= lines.size()) {
            const std::string& line = lines[static_cast<std::size_t>(lineNumber) - 1];
            const std::size_t kept = SETTINGS_LINE_CAPACITY - 1;
            problems = parseSettingsLine(line.substr(0, kept).c_str(), lineNumber, byLine);
            if (line.size() > kept) problems |= SETTINGS_LINE_CUT;
        }
        require(report.lineProblems[lineNumber - 1] == problems);
    }
    require(sameProfile(whole.videoProfile, byLine.videoProfile));
    require(sameProfile(whole.audioProfile, byLine.audioProfile));
    return 0;
}
