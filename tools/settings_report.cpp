#include "tools/settings_report.h"

#include <cstdio>

#include "settings/settings_file.h"

void describeSettingsProblem(SettingsProblem problem, int lineNumber, char* out,
                             std::size_t capacity) {
    const char* profile = lineNumber == 1 ? "video" : "audio";
    const unsigned fieldLength = static_cast<unsigned>(PROFILE_TEXT_CAPACITY - 1);
    switch (problem) {
        case SETTINGS_MISSING_LINE:
            std::snprintf(out, capacity, "no such line; the %s profile keeps its defaults",
                          profile);
            break;
        case SETTINGS_LINE_CUT:
            std::snprintf(
                out, capacity,
                "line longer than %u characters (line feed included); the rest is ignored",
                static_cast<unsigned>(SETTINGS_LINE_CAPACITY - 1));
            break;
        case SETTINGS_NO_NUMBER:
            std::snprintf(out, capacity,
                          "no category number at the start; the %s profile keeps its defaults",
                          profile);
            break;
        case SETTINGS_NO_COMMA:
            std::snprintf(out, capacity,
                          "no comma after the category number; the %s profile keeps its defaults",
                          profile);
            break;
        case SETTINGS_NO_MARKER:
            std::snprintf(out, capacity,
                          "no [FILENAME] or [TAGS] marker; the %s profile keeps its defaults",
                          profile);
            break;
        case SETTINGS_CATEGORY_OUT_OF_RANGE:
            std::snprintf(out, capacity, "category number outside 1 to 4; Music is used");
            break;
        case SETTINGS_PREFIX_CUT:
            std::snprintf(out, capacity, "text before the marker longer than %u characters; cut",
                          fieldLength);
            break;
        case SETTINGS_SUFFIX_CUT:
            std::snprintf(out, capacity, "text after the marker longer than %u characters; cut",
                          fieldLength);
            break;
    }
}
