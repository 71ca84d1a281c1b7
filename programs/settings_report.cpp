#include "programs/settings_report.h"

#include <cstdio>

#include "platform/platform.h"
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
                          "no marker ([FILENAME], [TAGS], [TITLE], [ARTIST] or [ALBUM]); the %s "
                          "profile keeps its defaults",
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

void describeSettingsOptionProblem(SettingsOptionProblem problem, char* out, std::size_t capacity) {
    const char* text = "";
    switch (problem) {
        case SettingsOptionProblem::None:
            break;
        case SettingsOptionProblem::NotNameValue:
            text = "not a name=value line (nor a comment: ; or #); ignored";
            break;
        case SettingsOptionProblem::UnknownName:
            text =
                "unknown name (nowplaying-file, nowplaying-text, nowplaying-withdrawn or "
                "nowplaying-encoding); ignored";
            break;
        case SettingsOptionProblem::BadValue:
            text =
                "bad value (an encoding is utf-8, utf-8-bom, utf-16 or ansi; a path or text "
                "may not be that long); ignored";
            break;
        case SettingsOptionProblem::Repeated:
            text = "name given before; this value counts";
            break;
        case SettingsOptionProblem::LineTooLong:
            std::snprintf(out, capacity, "line longer than %u bytes; ignored",
                          static_cast<unsigned>(SETTINGS_OPTION_LINE_CAPACITY - 1));
            return;
    }
    std::snprintf(out, capacity, "%s", text);
}

const char* describeOverlayObstacle(OverlayFile file, NowPlayingOutcome outcome) {
    if (outcome == NowPlayingOutcome::NotATextFile) {
        return file == OverlayFile::Json
                   ? "its name does not end in .json"
                   : "its name does not end in .jpg, .jpeg, .png, .gif, .bmp or .webp";
    }
    if (outcome == NowPlayingOutcome::NotANowPlayingFile && file == OverlayFile::Cover) {
        return "what is there is not a picture the plug-in may replace (a folder; a file that "
               "is no image, larger than 16 MiB, read-only, hidden or system), and is left as "
               "it is";
    }
    return describeNowPlayingObstacle(outcome);
}

const char* describeNowPlayingObstacle(NowPlayingOutcome outcome) {
    switch (outcome) {
        case NowPlayingOutcome::NotANowPlayingFile:
            return "what is there is not a now-playing file (a folder; a file larger than "
                   "64 KiB, read-only, hidden or system; the settings file), and is left as "
                   "it is";
        case NowPlayingOutcome::CannotWrite:
            return "its folder does not exist, or may not be written";
        case NowPlayingOutcome::NotATextFile:
            return "only a file whose name ends in .txt is written, so a slip never replaces "
                   "a page, a script or a program";
        case NowPlayingOutcome::DeviceName:
            return "the name is a device's (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, "
                   "whatever follows it): Windows would send the text to a port";
        case NowPlayingOutcome::PathTooLong:
            return "the path is too long: with the temporary file's name it must stay under "
                   "260 characters (or begin with \\\\?\\)";
        default:
            return nullptr;
    }
}

bool liesUnderProgramFiles(const char16_t* path) {
    static const char16_t* const FOLDERS[] = {u"%ProgramFiles%", u"%ProgramFiles(x86)%",
                                              u"%ProgramW6432%"};
    constexpr std::size_t FOLDER_CAPACITY = 1024;
    const auto folded = [](char16_t unit) -> char16_t {
        if (unit == u'/') return u'\\';
        return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    };
    for (const char16_t* variable : FOLDERS) {
        char16_t folder[FOLDER_CAPACITY];
        // A variable that is not set stays as written, '%' and all: no path begins so.
        if (!expandEnvironmentVariables(variable, folder, FOLDER_CAPACITY) || folder[0] == u'%') {
            continue;
        }
        std::size_t at = 0;
        while (folder[at] != u'\0' && folded(folder[at]) == folded(path[at])) ++at;
        if (at > 0 && folder[at] == u'\0' && (path[at] == u'\\' || path[at] == u'/')) return true;
    }
    return false;
}
