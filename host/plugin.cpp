// The host's two ways in, and where each command goes.
#include "host/plugin.h"

#include <cstring>

#include "outputs/messenger.h"
#include "outputs/now_playing.h"
#include "outputs/now_playing_json.h"
#include "outputs/presence.h"
#include "outputs/track_end.h"
#include "settings/settings_file.h"
#include "settings/settings_watch.h"
#include "text/bounded_text.h"
#include "velkar_build_config.h"

ModuleState moduleState;

namespace {

// The host's window as the record holds it now; null before pluginInit.
PlatformWindow currentHostWindow() {
    return moduleState.descriptor != nullptr ? moduleState.descriptor->hostWindow : nullptr;
}

// The now-playing settings where the text file, the JSON file or the cover
// is to be written: what composition fills in for them; null otherwise.
const NowPlayingSettings* overlayFiles() {
    const NowPlayingSettings& nowPlaying = moduleState.settings.nowPlaying;
    return nowPlayingWanted(nowPlaying) || nowPlayingJsonWanted(nowPlaying) ||
                   nowPlayingCoverWanted(nowPlaying)
               ? &nowPlaying
               : nullptr;
}

// The presence's settings where an application is set; null otherwise.
const PresenceSettings* presenceWanted() {
    const PresenceSettings& presence = moduleState.settings.presence;
    return presenceWanted(presence) ? &presence : nullptr;
}

// The activity of the composed file, starting now.
void postComposedPresence() {
    // Static: the host's thread has its own uses for its stack.
    static PresenceActivity activity;
    composePresenceActivity(moduleState.composed, moduleState.settings.presence,
                            unixTimeMilliseconds() / 1000, activity);
    postPresence(&activity);
}

// The now-playing file's withdrawn text, and no cover.
void writeWithdrawnText() {
    const NowPlayingSettings& nowPlaying = moduleState.settings.nowPlaying;
    postNowPlaying(nowPlaying, nowPlaying.withdrawnText, nowPlaying.withdrawnLength);
    postNowPlayingCover(nowPlaying, nullptr, nullptr);
}

// The JSON file's fields once nothing plays: with `composed` the published
// track's, else emptied.
void noteStoppedJson(const ComposedStatus* composed, std::uint64_t startedSeconds) {
    moduleState.stoppedJsonLength = writeNowPlayingJsonFields(
        composed, composed != nullptr ? &moduleState.announcedPath : nullptr, startedSeconds, false,
        moduleState.stoppedJson, sizeof moduleState.stoppedJson);
}

void writeStoppedJson() {
    postNowPlayingJson(moduleState.settings.nowPlaying, moduleState.stoppedJson,
                       moduleState.stoppedJsonLength);
}

// The JSON file's fields for the composed track, playing since `startedSeconds`.
void writePlayingJson(std::uint64_t startedSeconds) {
    if (!nowPlayingJsonWanted(moduleState.settings.nowPlaying)) return;
    // Static: the host's thread has its own uses for its stack.
    static char fields[NOW_PLAYING_JSON_CAPACITY];
    const std::size_t length =
        writeNowPlayingJsonFields(&moduleState.composed, &moduleState.announcedPath, startedSeconds,
                                  true, fields, sizeof fields);
    postNowPlayingJson(moduleState.settings.nowPlaying, fields, length);
}

// Composes the announced file with the settings in force, unless it is
// private: a private file is never read, and nothing of it is composed.
void composeAnnounced() {
    const AnnouncedPath& path = moduleState.announcedPath;
    moduleState.composedStale = false;
    moduleState.privateFile = isPrivatePath(moduleState.settings.rules, path.text, path.length);
    if (!moduleState.privateFile) {
        composeStatus(path, moduleState.settings.profiles, moduleState.composed, overlayFiles(),
                      presenceWanted(), &moduleState.settings.rules);
    }
}

// Settings the worker read again since velkar.ini changed: in force from
// this command on; the announced file is composed anew with them before it
// is published next.
void takeNewSettings() {
    if (!takeChangedSettings(moduleState.settings)) return;
    configurePresence(moduleState.settings.presence);
    moduleState.composedStale = moduleState.announced;
}

// What a withdraw does, for every destination. The JSON file keeps the
// stopped track's fields; for a private file (`emptied`) it shows none.
void withdrawEverywhere(bool emptied) {
    forgetTrackEnd();
    sendStatus(WITHDRAW_TEXT, WITHDRAW_BOUND, currentHostWindow());
    writeWithdrawnText();
    if (emptied) noteStoppedJson(nullptr, 0);
    writeStoppedJson();
    postPresence(nullptr);
}

// Has the worker withdraw the published track from the slow destinations
// once it must have ended, where its length is known and the user wants it.
void expectComposedTrackEnd() {
    const PlaybackRules& rules = moduleState.settings.rules;
    const bool anyDestination = overlayFiles() != nullptr || presenceWanted() != nullptr;
    if (!rules.endsByItself || !moduleState.composed.hasDuration || !anyDestination) {
        forgetTrackEnd();
        return;
    }
    constexpr std::uint64_t MILLISECONDS_PER_SECOND = 1000;
    expectTrackEnd((std::uint64_t{moduleState.composed.durationSeconds} + rules.staleAfterSeconds) *
                       MILLISECONDS_PER_SECOND,
                   overlayFiles(), moduleState.stoppedJson, moduleState.stoppedJsonLength);
}

}  // namespace

extern "C" std::int32_t HOST_CALL pluginInit(PluginDescriptor* descriptor) {
    if (descriptor == nullptr) return 1;
    copyBounded(descriptor->description, sizeof descriptor->description, VELKAR_DISPLAY_NAME);
    descriptor->callback = &onHostCommand;
    // The host may load the module again while it is still mapped, with no
    // new DllMain call: it starts as a fresh load does.
    std::memset(&moduleState, 0, sizeof moduleState);
    moduleState.descriptor = descriptor;
    // Static: the host's thread has its own uses for its stack.
    static char16_t pluginFolder[SETTINGS_PATH_CAPACITY];
    findSettingsPath(moduleState.settingsPath, ownModuleFolder(pluginFolder, SETTINGS_PATH_CAPACITY)
                                                   ? pluginFolder
                                                   : nullptr);
    readSettingsFile(moduleState.settingsPath, moduleState.settings, nullptr);
    takeBuildApplication(moduleState.settings.presence, VELKAR_DISCORD_APPLICATION_ID);
    configurePresence(moduleState.settings.presence);
    forgetTrackEnd();
    // Also starts the worker's thread that waits for a track's end.
    watchSettings(moduleState.settingsPath, VELKAR_DISCORD_APPLICATION_ID);
    writeWithdrawnText();
    noteStoppedJson(nullptr, 0);
    writeStoppedJson();
    return 1;
}

extern "C" std::int32_t HOST_CALL onHostCommand(std::int32_t command, std::intptr_t param,
                                                std::intptr_t /*param2*/) {
    switch (command) {
        case CMD_SET_FILE:
            if (param != 0) {
                takeNewSettings();
                takeAnnouncedPath(reinterpret_cast<const char*>(param), moduleState.announcedPath);
                moduleState.announced = true;
                composeAnnounced();
            }
            break;
        case CMD_ABOUT:
            // Modal: returns once the user has closed the box.
            showMessageBox(reinterpret_cast<PlatformWindow>(param),
                           VELKAR_ABOUT_LEAD VELKAR_CONTACT_ADDRESS, VELKAR_ABOUT_CAPTION);
            break;
        case CMD_PUBLISH:
            takeNewSettings();
            if (moduleState.composedStale) composeAnnounced();
            watchSettingsWhilePublished(true);
            if (moduleState.privateFile) {
                withdrawEverywhere(true);
                break;
            }
            {
                const std::uint64_t started = unixTimeMilliseconds() / 1000;
                noteStoppedJson(&moduleState.composed, started);
                expectComposedTrackEnd();
                // The messenger first: the files must never hold it back.
                sendStatus(moduleState.composed.statusText, moduleState.composed.statusLength + 2,
                           currentHostWindow());
                postNowPlaying(moduleState.settings.nowPlaying, moduleState.composed.nowPlayingText,
                               moduleState.composed.nowPlayingLength);
                writePlayingJson(started);
                postNowPlayingCover(moduleState.settings.nowPlaying, moduleState.announcedPath.text,
                                    &moduleState.composed.cover);
            }
            if (presenceWanted() != nullptr) postComposedPresence();
            break;
        case CMD_WITHDRAW:
            takeNewSettings();
            watchSettingsWhilePublished(false);
            withdrawEverywhere(false);
            break;
        default:
            break;
    }
    return 0;
}
