#include "settings/settings_watch.h"

#include <atomic>

#include "outputs/worker.h"
#include "platform/platform.h"
#include "text/bounded_text.h"

namespace {

// The host's thread's, set at pluginInit before the worker looks.
char16_t watchedPath[SETTINGS_PATH_CAPACITY];
const char* buildApplication = "";
std::atomic<bool> published;

// The worker's own: the file as last read, and the reading under way.
std::atomic<bool> firstLook;
PathFacts known;
PluginSettings reading;

// The newest reading, handed to the host's thread.
HandOverLock handOverLock;
PluginSettings handedOver;
std::atomic<bool> changed;

bool sameFile(const PathFacts& first, const PathFacts& second) {
    return first.exists == second.exists && first.size == second.size &&
           first.lastWrite == second.lastWrite;
}

std::uint32_t stepSettingsWatch() {
    // The file as pluginInit read it, taken here: the host's thread never
    // asks the file system more than it must.
    if (firstLook.exchange(false) && !readPathFacts(watchedPath, known)) known = PathFacts{};
    if (!published.load()) return BACKGROUND_IDLE;
    PathFacts before;
    if (!readPathFacts(watchedPath, before) || sameFile(before, known) || !before.exists) {
        return SETTINGS_LOOK_MILLISECONDS;
    }
    PathFacts after;
    if (readSettingsFile(watchedPath, reading, nullptr) && readPathFacts(watchedPath, after) &&
        sameFile(before, after)) {
        takeBuildApplication(reading.presence, buildApplication);
        handOverLock.lock();
        handedOver = reading;
        handOverLock.unlock();
        changed.store(true);
        known = after;
    }
    return SETTINGS_LOOK_MILLISECONDS;
}

const WorkerStep SETTINGS_WATCH_STEP = {stepSettingsWatch, nullptr, false};

}  // namespace

void watchSettings(const char16_t* path, const char* buildApplicationId) {
    copyBounded(watchedPath, SETTINGS_PATH_CAPACITY, path);
    buildApplication = buildApplicationId;
    firstLook.store(true);
    published.store(false);
    changed.store(false);
    wakeWorker(SETTINGS_WATCH_STEP);
}

void watchSettingsWhilePublished(bool isPublished) {
    const bool was = published.exchange(isPublished);
    if (isPublished && !was) wakeWorker(SETTINGS_WATCH_STEP);
}

bool takeChangedSettings(PluginSettings& settings) {
    if (!changed.exchange(false)) return false;
    handOverLock.lock();
    settings = handedOver;
    handOverLock.unlock();
    return true;
}
