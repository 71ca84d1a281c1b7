#include "status/playback_rules.h"

#include "platform/platform.h"
#include "status/status_text.h"
#include "text/unicode_text.h"

namespace {

constexpr std::size_t NO_STAR = static_cast<std::size_t>(-1);

// Upper case, and "/" as "\", as a path compares.
void foldForComparison(const char16_t* text, std::size_t units, char16_t* out) {
    upperCaseText(text, units, out);
    for (std::size_t i = 0; i < units; ++i) {
        if (out[i] == u'/') out[i] = u'\\';
    }
}

// The units of the character at `at` of `text` (`units` long): a surrogate
// pair is one character.
std::size_t characterUnits(const char16_t* text, std::size_t at, std::size_t units) {
    return at + 1 < units && isHighSurrogate(text[at]) && isLowSurrogate(text[at + 1]) ? 2 : 1;
}

// Whether `pattern` with "*" and "?" matches all of `path`. A star's match
// grows one unit at a time from the last star only, so the work is at most
// the product of the two lengths.
bool wildcardMatches(const char16_t* pattern, std::size_t patternUnits, const char16_t* path,
                     std::size_t pathUnits) {
    std::size_t p = 0;
    std::size_t s = 0;
    std::size_t afterStar = NO_STAR;
    std::size_t starMatchEnd = 0;
    while (s < pathUnits) {
        if (p < patternUnits && pattern[p] == u'*') {
            afterStar = ++p;
            starMatchEnd = s;
        } else if (p < patternUnits && pattern[p] == u'?') {
            s += characterUnits(path, s, pathUnits);
            ++p;
        } else if (p < patternUnits && pattern[p] == path[s]) {
            ++p;
            ++s;
        } else if (afterStar != NO_STAR) {
            p = afterStar;
            s = ++starMatchEnd;
        } else {
            return false;
        }
    }
    while (p < patternUnits && pattern[p] == u'*') ++p;
    return p == patternUnits;
}

// Whether `folder` (no wildcards) is `path` itself or a folder above it.
bool namesOrHolds(const char16_t* folder, std::size_t folderUnits, const char16_t* path,
                  std::size_t pathUnits) {
    while (folderUnits > 0 && folder[folderUnits - 1] == u'\\') --folderUnits;
    if (folderUnits == 0 || folderUnits > pathUnits) return false;
    for (std::size_t i = 0; i < folderUnits; ++i) {
        if (folder[i] != path[i]) return false;
    }
    return folderUnits == pathUnits || path[folderUnits] == u'\\';
}

bool isSpace(char16_t unit) { return unit == u' ' || unit == u'\t'; }

}  // namespace

void setDefaultPlaybackRules(PlaybackRules& rules) {
    rules.privatePatterns[0] = u'\0';
    rules.privateLength = 0;
    rules.endsByItself = true;
    rules.staleAfterSeconds = DEFAULT_STALE_AFTER_SECONDS;
    rules.audioFiles = AudioFiles::ByExtension;
}

bool isPrivatePath(const PlaybackRules& rules, const char16_t* path, std::size_t length) {
    if (rules.privateLength == 0 || length == 0) return false;
    static char16_t foldedPath[ANNOUNCED_PATH_CAPACITY];
    static char16_t foldedPatterns[PRIVATE_PATTERNS_CAPACITY];
    if (length > ANNOUNCED_PATH_CAPACITY || rules.privateLength > PRIVATE_PATTERNS_CAPACITY) {
        return false;
    }
    foldForComparison(path, length, foldedPath);
    foldForComparison(rules.privatePatterns, rules.privateLength, foldedPatterns);
    std::size_t start = 0;
    while (start < rules.privateLength) {
        std::size_t end = start;
        while (end < rules.privateLength && foldedPatterns[end] != u';') ++end;
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && isSpace(foldedPatterns[first])) ++first;
        while (last > first && isSpace(foldedPatterns[last - 1])) --last;
        const char16_t* pattern = foldedPatterns + first;
        const std::size_t units = last - first;
        bool wildcards = false;
        for (std::size_t i = 0; i < units; ++i)
            wildcards |= pattern[i] == u'*' || pattern[i] == u'?';
        if (units > 0 && (wildcards ? wildcardMatches(pattern, units, foldedPath, length)
                                    : namesOrHolds(pattern, units, foldedPath, length))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}
