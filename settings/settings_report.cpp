#include "settings/settings_report.h"

#include <cstdio>

namespace {

const char* profileName(int line) { return line == 1 ? "video" : "audio"; }

}  // namespace

void describeSettingsDiagnostic(const SettingsDiagnostic& diagnostic, char* out,
                                std::size_t capacity) {
    const char* profile = profileName(diagnostic.line);
    switch (diagnostic.problem) {
        case SettingsProblem::MissingLine:
            std::snprintf(out, capacity, "no such line; the %s profile keeps its defaults",
                          profile);
            break;
        case SettingsProblem::LineCut:
            std::snprintf(out, capacity, "line longer than %u characters; the rest is ignored",
                          static_cast<unsigned>(SETTINGS_LINE_KEPT));
            break;
        case SettingsProblem::NoNumber:
            std::snprintf(out, capacity,
                          "no category number at the start; the %s profile keeps its defaults",
                          profile);
            break;
        case SettingsProblem::NoComma:
            std::snprintf(out, capacity,
                          "no comma after the category number; the %s profile keeps its defaults",
                          profile);
            break;
        case SettingsProblem::NoMarker:
            std::snprintf(out, capacity, "no %s marker; the %s profile keeps its defaults",
                          FILENAME_MARKER, profile);
            break;
        case SettingsProblem::CategoryOutOfRange:
            std::snprintf(out, capacity, "category number outside 1 to 4; Music is used");
            break;
        case SettingsProblem::PrefixCut:
            std::snprintf(out, capacity, "text before %s longer than %u characters; cut",
                          FILENAME_MARKER, static_cast<unsigned>(PROFILE_TEXT_CAPACITY - 1));
            break;
        case SettingsProblem::SuffixCut:
            std::snprintf(out, capacity, "text after %s longer than %u characters; cut",
                          FILENAME_MARKER, static_cast<unsigned>(PROFILE_TEXT_CAPACITY - 1));
            break;
    }
}
