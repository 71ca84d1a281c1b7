// velkar-preview: shows what the messenger will display for given file paths,
// with a settings file or the built-in defaults, before the player is restarted.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "outputs/now_playing.h"
#include "outputs/now_playing_json.h"
#include "outputs/presence_activity.h"
#include "platform/platform.h"
#include "programs/settings_report.h"
#include "programs/status_fields.h"
#include "settings/settings_file.h"
#include "status/duration_text.h"
#include "status/status_text.h"
#include "tags/cover_copy.h"
#include "tags/media_tags.h"
#include "terminal.h"
#include "text/bounded_text.h"
#include "text/unicode_text.h"
#include "velkar_build_config.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_UNREADABLE_SETTINGS = 1;
constexpr int EXIT_USAGE = 2;

constexpr std::size_t PATH_CAPACITY = 4096;

const char* const USAGE =
    "usage: velkar-preview [--settings FILE | --defaults] [--code-page N] PATH...\n";

const char* const HELP =
    "Shows, for each PATH, what the messenger will display while the player\n"
    "plays that file: whether it counts as audio (.mp3 or .wav, any case), the\n"
    "tags found in the file (their format, artist, title and album), the title, the\n"
    "status text exactly as sent (each \\0 is a backslash and a zero, the\n"
    "messenger's field separator), its category and its display line.\n"
    "\n"
    "Without --settings or --defaults it reads the velkar.ini the plug-in\n"
    "reads: the one beside the player its registry value names, else\n"
    "c:\\velkar.ini, else the built-in wording; the first line says which.\n"
    "\n"
    "  --settings FILE  read FILE (a velkar.ini) instead; problems in it are\n"
    "                   reported on standard error as FILE:LINE: message\n"
    "  --defaults       use the built-in wording, as without any velkar.ini\n"
    "  --code-page N    the player's ANSI code page, in which paths arrive and\n"
    "                   settings files without the UTF-8 mark are read\n"
    "                   (default: 1252 on Linux, where 65001 is UTF-8; on\n"
    "                   Windows the system's own)\n"
    "\n"
    "The settings file's first two lines shape the messenger's text:\n"
    "  line 1, for every file other than .mp3 and .wav:  2,watching [FILENAME]\n"
    "  line 2, for .mp3 and .wav files:                  1,[FILENAME]\n"
    "Each is a category number (1 Music, 2 Office, 3 Games, 4 Empty; any other\n"
    "number means Music), a comma, and a template whose markers stand for the\n"
    "file: [FILENAME] its name, [TAGS] \"ARTIST - TITLE\" from its tags (else\n"
    "the name), [TITLE] the tags' title (else the name), [ARTIST] and [ALBUM]\n"
    "(may be empty). Text in { } around [ARTIST] or [ALBUM] shows only when\n"
    "they have a value: [TITLE]{ by [ARTIST]}. A line without its number,\n"
    "comma or a marker leaves that profile at the defaults shown.\n"
    "The lines after them are comments (; or #) or name=value settings of a\n"
    "now-playing file, which this tool shows for each PATH:\n"
    "  nowplaying-file=PATH (relative: beside the settings file)\n"
    "  nowplaying-text=TEMPLATE (else the display line)\n"
    "  nowplaying-withdrawn=TEXT (else empty)\n"
    "  nowplaying-encoding=utf-8 | utf-8-bom | utf-16 | ansi\n"
    "and of Discord's presence, whose command this tool shows as JSON:\n"
    "  discord-application-id=DIGITS (else none)\n"
    "  discord-details=TEMPLATE, discord-state=TEMPLATE, discord-image-text=TEMPLATE\n"
    "  discord-shows=name | details | state, discord-time=bar | elapsed | none\n"
    "  discord-image=KEY or https URL\n"
    "A file saved as UTF-8 (with or without its byte-order mark) is read as\n"
    "UTF-8; any other in the code page. Every character arrives as written.\n"
    "\n"
    "Exit status: 0 when everything given could be read, 1 when the settings\n"
    "file named by --settings cannot be read, 2 when no PATH is given or an\n"
    "option is unknown. Started in a console of its own (from Explorer, or\n"
    "with files dropped on it), it waits for a key before the window closes.\n";

// Prints `units` units of the plug-in's text between quotes.
void printQuoted(const char* label, const char16_t* text, std::size_t units) {
    std::printf("  %-14s'", label);
    printText(text, units);
    std::printf("'\n");
}

std::size_t lengthOf(const char16_t* text, std::size_t capacity) {
    return boundedLength(text, capacity);
}

void printField(const char* label, const StatusField& field) {
    if (field.begin == nullptr) {
        std::printf("  %-14s(none)\n", label);
    } else {
        printQuoted(label, field.begin, field.length);
    }
}

// The file's cover picture, as nowplaying-cover would copy it.
void printCover(const AnnouncedPath& path, const CoverLocation& cover) {
    static const char* const FORMATS[] = {"a picture", "JPEG", "PNG", "GIF", "BMP", "WebP"};
    if (cover.coding == PictureCoding::None) {
        std::printf("  %-14s%s\n",
                    "cover:", "(none: the cover file shows the missing image, or none)");
        return;
    }
    std::uint64_t copied = 0;
    const CoverSink count = [](const unsigned char*, std::size_t bytes, void* context) {
        *static_cast<std::uint64_t*>(context) += bytes;
        return true;
    };
    const PlatformFile file = openFileForReading(path.text);
    std::uint64_t size = 0;
    const bool whole = file != PLATFORM_NO_FILE && fileSize(file, size) &&
                       copyCover(CoverSource{file, nullptr, size}, cover, count, &copied);
    if (file != PLATFORM_NO_FILE) closeFile(file);
    std::printf("  %-14s%s, %lu bytes, %s%s\n", "cover:", FORMATS[static_cast<int>(cover.format)],
                static_cast<unsigned long>(cover.size),
                cover.front ? "the front cover" : "the first picture (none is marked front)",
                whole ? "" : " (it cannot be copied: not an image, or cut short)");
}

// What the file's own tags and media facts say, whichever marker the template holds.
void printTags(const AnnouncedPath& path) {
    MediaTags tags;
    if (!path.whole || !readMediaTags(path.text, tags, MediaRead::TagsFactsAndCover)) {
        std::printf("  %-14s%s\n", "tags:", "(the file cannot be opened)");
        return;
    }
    if (tags.format[0] == '\0') {
        std::printf("  %-14s%s\n", "tags:", "(none found; [TAGS] takes the file's name)");
    } else {
        std::printf("  %-14s%s\n", "tags:", tags.format);
        printQuoted("tag artist:", tags.artist, lengthOf(tags.artist, TAG_TEXT_CAPACITY));
        printQuoted("tag title:", tags.title, lengthOf(tags.title, TAG_TEXT_CAPACITY));
        printQuoted("tag album:", tags.album, lengthOf(tags.album, TAG_TEXT_CAPACITY));
    }
    char16_t duration[DURATION_TEXT_CAPACITY];
    if (tags.hasDuration) {
        std::printf("  %-14s", "duration:");
        printText(duration, formatDuration(tags.durationSeconds, duration));
        std::printf("\n");
    } else {
        std::printf("  %-14s%s\n", "duration:", "(unknown: [DURATION] is empty)");
    }
    std::printf("  %-14s%s\n", "media:", tags.video ? "video" : "audio");
    printCover(path, tags.cover);
}

void preview(const char* argument, const char* hostPath, const PluginSettings& settings) {
    static AnnouncedPath path;
    takeAnnouncedPath(hostPath, path);
    static ComposedStatus composed;
    const bool nowPlayingFile = nowPlayingWanted(settings.nowPlaying);
    const bool presence = presenceWanted(settings.presence);
    std::printf("%s\n", argument);
    if (isPrivatePath(settings.rules, path.text, path.length)) {
        // As the plug-in: the file is not read, and a publish withdraws.
        std::printf("  %-14s%s\n", "private:",
                    "yes: a publish withdraws the status, the now-playing and JSON files and "
                    "Discord");
        return;
    }
    const bool overlays = nowPlayingFile || nowPlayingJsonWanted(settings.nowPlaying);
    const MediaKind kind =
        composeStatus(path, settings.profiles, composed, overlays ? &settings.nowPlaying : nullptr,
                      presence ? &settings.presence : nullptr, &settings.rules);
    const std::size_t textLength = lengthOf(composed.statusText, STATUS_TEXT_CAPACITY);
    const StatusDisplay display = readStatusDisplay(composed.statusText, textLength);
    std::printf("  %-14s%s\n", "audio:", kind == MediaKind::Audio ? "yes" : "no");
    printTags(path);
    printQuoted("title:", composed.currentFileName,
                lengthOf(composed.currentFileName, CURRENT_FILE_NAME_CAPACITY));
    std::printf("  %-14s", "status text:");
    printText(composed.statusText, textLength);
    std::printf("\n");
    printField("category:", display.category);
    printField("display line:", display.displayLine);
    if (nowPlayingFile)
        printQuoted("now playing:", composed.nowPlayingText, composed.nowPlayingLength);
    if (nowPlayingJsonWanted(settings.nowPlaying)) {
        static char fields[NOW_PLAYING_JSON_CAPACITY];
        const std::size_t length = writeNowPlayingJsonFields(
            &composed, &path, unixTimeMilliseconds() / 1000, true, fields, sizeof fields);
        // As the file holds it, but for the number each write puts last.
        std::printf("  %-14s%.*s,\"updated\":...}\n", "json:", static_cast<int>(length), fields);
    }
    if (presence) {
        static PresenceActivity activity;
        composePresenceActivity(composed, settings.presence, unixTimeMilliseconds() / 1000,
                                activity);
        static char json[PRESENCE_COMMAND_CAPACITY];
        const std::size_t length = writePresenceCommand(
            &activity, settings.presence, currentProcessId(), "preview", json, sizeof json);
        // UTF-8 as it is sent: the console shows it as the rest of the output.
        std::printf("  %-14s%.*s\n", "discord:", static_cast<int>(length), json);
    }
    if (overlays || presence) {
        const PlaybackRules& rules = settings.rules;
        std::printf("  %-14s", "ends:");
        if (!rules.endsByItself) {
            std::printf("with a withdraw only (stale-after=never)\n");
        } else if (!composed.hasDuration) {
            std::printf("with a withdraw only (its length is unknown)\n");
        } else {
            char16_t margin[DURATION_TEXT_CAPACITY];
            printText(margin, formatDuration(rules.staleAfterSeconds, margin));
            std::printf(" after its end, unless the player says more\n");
        }
    }
}

// Which Discord application shows the files, and how.
void printPresence(const PresenceSettings& presence) {
    if (presence.switched == PresenceSwitch::Off) {
        std::printf("discord: off (discord=off)\n");
        return;
    }
    if (!presenceWanted(presence)) {
        std::printf(presence.switched == PresenceSwitch::On
                        ? "discord: none (discord=on, but this build has no application of its "
                          "own: a discord-application-id line names one)\n"
                        : "discord: none (no discord=on or discord-application-id line)\n");
        return;
    }
    std::printf("discord: application %s%s (shows %s, time %s, image ", presence.applicationId,
                presence.buildApplication ? ", this build's own" : "",
                PRESENCE_SHOWS_NAMES[static_cast<int>(presence.shows)],
                PRESENCE_TIME_NAMES[static_cast<int>(presence.time)]);
    if (presence.imageGiven && presence.image.length == 0) {
        std::printf("none");
    } else {
        if (presence.imageGiven) {
            printText(presence.image.text, presence.image.length);
            std::printf(", else ");
        }
        std::printf(presence.buildApplication
                        ? "the release's cover, else the build's music or video"
                        : "the release's cover, else none");
    }
    std::printf(")\n");
}

// The rules for every file: which are private, when a track ends by
// itself, what makes a file audio.
void printPlaybackRules(const PlaybackRules& rules) {
    std::printf("private files: ");
    if (rules.privateLength == 0) {
        std::printf("none (no private line)\n");
    } else {
        printText(rules.privatePatterns, rules.privateLength);
        std::printf("\n");
    }
    if (rules.endsByItself) {
        std::printf("a track ends by itself %u s after its end (stale-after)\n",
                    static_cast<unsigned>(rules.staleAfterSeconds));
    } else {
        std::printf("a track ends with a withdraw only (stale-after=never)\n");
    }
    std::printf("audio files: %s\n", rules.audioFiles == AudioFiles::ByContent
                                         ? "by content: a file without pictures (audio-files)"
                                         : "by extension: .mp3 and .wav (audio-files)");
}

// Where the now-playing file goes, how, and what stands in the way.
void printNowPlayingFile(const NowPlayingSettings& nowPlaying) {
    if (nowPlaying.switchedOff) {
        std::printf("now-playing file: off (nowplaying=off)\n");
        return;
    }
    if (nowPlaying.path[0] == u'\0') {
        std::printf("now-playing file: none (no nowplaying-file line)\n");
        return;
    }
    std::printf("now-playing file: ");
    printText(nowPlaying.path, lengthOf(nowPlaying.path, NOW_PLAYING_PATH_CAPACITY));
    std::printf(" (%s", NOW_PLAYING_ENCODING_NAMES[static_cast<int>(nowPlaying.encoding)]);
    if (nowPlaying.withdrawnLength > 0) {
        std::printf("; after a withdraw: '");
        printText(nowPlaying.withdrawnText, nowPlaying.withdrawnLength);
        std::printf("'");
    }
    std::printf(")\n");
    if (const char* obstacle = describeNowPlayingObstacle(probeNowPlayingTarget(nowPlaying))) {
        std::printf("  it will not be written: %s\n", obstacle);
        return;
    }
    PathFacts target;
    if (readPathFacts(nowPlaying.path, target) && target.exists) {
        std::printf("  a file is there: each write replaces what it holds\n");
    }
    if (liesUnderProgramFiles(nowPlaying.path)) std::printf("  %s\n", PROGRAM_FILES_WARNING);
}

// Where a file for overlays goes (`label`, `path`), and what stands in its way.
void printOverlayFile(const char* label, const char16_t* path, bool switchedOff, OverlayFile file,
                      NowPlayingOutcome check) {
    std::printf("%s: ", label);
    printText(path, lengthOf(path, NOW_PLAYING_PATH_CAPACITY));
    std::printf(switchedOff ? " (off: nowplaying=off)\n" : "\n");
    if (const char* obstacle = describeOverlayObstacle(file, check)) {
        std::printf("  it will not be written: %s\n", obstacle);
    }
}

// The JSON file and the cover, where they are set.
void printOverlayFiles(const NowPlayingSettings& nowPlaying) {
    if (nowPlaying.jsonPath[0] != u'\0') {
        printOverlayFile("json file", nowPlaying.jsonPath, nowPlaying.switchedOff,
                         OverlayFile::Json, checkNowPlayingJsonTarget(nowPlaying));
    }
    if (nowPlaying.coverPath[0] == u'\0') return;
    printOverlayFile("cover file", nowPlaying.coverPath, nowPlaying.switchedOff, OverlayFile::Cover,
                     checkNowPlayingCoverTarget(nowPlaying));
    if (nowPlaying.coverMissingPath[0] != u'\0') {
        std::printf("  without a picture: ");
        printText(nowPlaying.coverMissingPath,
                  lengthOf(nowPlaying.coverMissingPath, NOW_PLAYING_PATH_CAPACITY));
        std::printf("\n");
    }
}

void reportProblems(const char* settingsFile, const SettingsReport& report) {
    for (int line = 1; line <= SETTINGS_LINES_READ; ++line) {
        for (unsigned kind = 0; kind < SETTINGS_PROBLEM_KINDS; ++kind) {
            const SettingsProblem problem = static_cast<SettingsProblem>(1u << kind);
            if ((report.lineProblems[line - 1] & problem) == 0) continue;
            char message[160];
            describeSettingsProblem(problem, line, message, sizeof message);
            std::fprintf(stderr, "%s:%d: %s\n", settingsFile, line, message);
        }
    }
    for (std::size_t i = 0; i < report.optionProblemCount && i < SETTINGS_OPTION_REPORTS; ++i) {
        char message[160];
        describeSettingsOptionProblem(report.options[i].problem, message, sizeof message);
        std::fprintf(stderr, "%s:%u: %s\n", settingsFile, report.options[i].lineNumber, message);
    }
    if (report.optionProblemCount > SETTINGS_OPTION_REPORTS) {
        std::fprintf(stderr, "%s: %zu more problems\n", settingsFile,
                     report.optionProblemCount - SETTINGS_OPTION_REPORTS);
    }
}

// Reads the settings the options choose into `settings` and says which.
// Returns EXIT_OK, or EXIT_UNREADABLE_SETTINGS when a file named by
// --settings cannot be read.
int readChosenSettings(const char* settingsFile, bool defaults, unsigned codePage,
                       PluginSettings& settings) {
    setDefaultSettings(settings);
    if (defaults) {
        std::printf("settings: built-in defaults\n");
        return EXIT_OK;
    }
    static AnnouncedPath named;
    static char16_t found[SETTINGS_PATH_CAPACITY];
    const char16_t* path = found;
    if (settingsFile != nullptr) {
        static char hostPath[PATH_CAPACITY];
        if (!pathFromArgument(settingsFile, hostPath, sizeof hostPath)) hostPath[0] = '\0';
        takeAnnouncedPath(hostPath, named);
        path = named.text;
    } else {
        char16_t pluginFolder[SETTINGS_PATH_CAPACITY];
        findSettingsPath(found, findPluginFolder(pluginFolder) ? pluginFolder : nullptr);
    }
    // The file's name as given, or as found, for the messages.
    char label[3 * SETTINGS_PATH_CAPACITY];
    const std::size_t labelLength =
        convertUtf16ToUtf8(path, lengthOf(path, SETTINGS_PATH_CAPACITY), label, sizeof label - 1);
    label[labelLength] = '\0';
    SettingsReport report{};
    if (!readSettingsFile(path, settings, &report)) {
        if (settingsFile != nullptr) {
            std::fprintf(stderr, "velkar-preview: cannot read settings file '%s'\n", settingsFile);
            return EXIT_UNREADABLE_SETTINGS;
        }
        std::printf("settings: ");
        printText(path, lengthOf(path, SETTINGS_PATH_CAPACITY));
        std::printf(" is not there: the built-in defaults, as for the plug-in\n");
        return EXIT_OK;
    }
    reportProblems(settingsFile != nullptr ? settingsFile : label, report);
    std::printf("settings: ");
    printText(path, lengthOf(path, SETTINGS_PATH_CAPACITY));
    if (report.mark == SettingsMark::Utf16LittleEndian) {
        std::printf(" (read as UTF-16LE)");
    } else if (report.mark == SettingsMark::Utf16BigEndian) {
        std::printf(" (read as UTF-16BE)");
    } else if (report.encoding == SettingsEncoding::Utf8) {
        std::printf(" (read as UTF-8)");
    } else {
        std::printf(" (read in code page %u)", codePage);
    }
    std::printf(settingsFile != nullptr ? "\n" : ", the file the plug-in reads\n");
    return EXIT_OK;
}

int run(int argc, char** argv) {
    const char* settingsFile = nullptr;
    bool defaults = false;
    unsigned codePage = defaultCodePage();
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--help") == 0) {
            std::fputs(USAGE, stdout);
            std::fputs(HELP, stdout);
            return EXIT_OK;
        }
        if (std::strcmp(argv[first], "--settings") == 0 && first + 1 < argc) {
            settingsFile = argv[++first];
        } else if (std::strcmp(argv[first], "--defaults") == 0) {
            defaults = true;
        } else if (std::strcmp(argv[first], "--code-page") == 0 && first + 1 < argc) {
            codePage = static_cast<unsigned>(std::strtoul(argv[++first], nullptr, 10));
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            std::fprintf(stderr, "velkar-preview: unknown or incomplete option '%s'\n%s",
                         argv[first], USAGE);
            return EXIT_USAGE;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "velkar-preview: no file path given\n%s", USAGE);
        return EXIT_USAGE;
    }
    if (!selectCodePage(codePage)) {
        std::fprintf(stderr, "velkar-preview: code page %u cannot be played here\n", codePage);
        return EXIT_USAGE;
    }

    static PluginSettings settings;
    const int read = readChosenSettings(settingsFile, defaults, codePage, settings);
    if (read != EXIT_OK) return read;
    takeBuildApplication(settings.presence, VELKAR_DISCORD_APPLICATION_ID);
    printNowPlayingFile(settings.nowPlaying);
    printOverlayFiles(settings.nowPlaying);
    printPresence(settings.presence);
    printPlaybackRules(settings.rules);
    std::printf("\n");
    int status = EXIT_OK;
    for (int i = first; i < argc; ++i) {
        static char path[PATH_CAPACITY];
        if (!pathFromArgument(argv[i], path, sizeof path)) {
            std::fprintf(stderr, "velkar-preview: '%s' cannot be written in code page %u\n",
                         argv[i], codePage);
            status = EXIT_USAGE;
            continue;
        }
        if (i > first) std::printf("\n");
        preview(argv[i], path, settings);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    // A console of its own closes with the program: what it showed would go unread.
    unsigned processesOnConsole = 0;
    bool inputIsConsole = false;
    describeConsole(processesOnConsole, inputIsConsole);
    std::fflush(stdout);
    if (shouldWaitForKey(processesOnConsole, inputIsConsole)) waitForKey();
    return status;
}
