#include "outputs/track_end.h"

#include <cstring>

#include "outputs/now_playing.h"
#include "outputs/presence.h"
#include "outputs/worker.h"
#include "platform/platform.h"

namespace {

// Held while the worker withdraws, so a publish on the host's thread waits
// and hands its own state over after the withdrawal.
HandOverLock trackLock;
bool expected;
std::uint32_t endsAt;  // millisecondClock's time
// A copy: the host's thread may take new settings while the worker waits.
NowPlayingSettings withdrawnFile;
bool writesFile;
bool writesJson;
bool writesCover;
char stopped[NOW_PLAYING_JSON_CAPACITY];
std::size_t stoppedCount;

std::uint32_t stepTrackEnd() {
    trackLock.lock();
    std::uint32_t wait = BACKGROUND_IDLE;
    if (expected) {
        const std::uint32_t left = endsAt - millisecondClock();
        if (left == 0 || left >= 0x80000000u) {
            expected = false;
            if (writesFile) {
                postNowPlaying(withdrawnFile, withdrawnFile.withdrawnText,
                               withdrawnFile.withdrawnLength);
            }
            if (writesJson) postNowPlayingJson(withdrawnFile, stopped, stoppedCount);
            if (writesCover) postNowPlayingCover(withdrawnFile, nullptr, nullptr);
            postPresence(nullptr);
        } else {
            wait = left;
        }
    }
    trackLock.unlock();
    return wait;
}

const WorkerStep TRACK_END_STEP = {stepTrackEnd, nullptr, false};

}  // namespace

void expectTrackEnd(std::uint64_t milliseconds, const NowPlayingSettings* nowPlaying,
                    const char* stoppedJson, std::size_t stoppedLength) {
    if (milliseconds > TRACK_END_LONGEST_MILLISECONDS) {
        forgetTrackEnd();
        return;
    }
    trackLock.lock();
    expected = true;
    endsAt = millisecondClock() + static_cast<std::uint32_t>(milliseconds);
    writesFile = nowPlaying != nullptr && nowPlayingWanted(*nowPlaying);
    writesJson = nowPlaying != nullptr && nowPlayingJsonWanted(*nowPlaying);
    writesCover = nowPlaying != nullptr && nowPlayingCoverWanted(*nowPlaying);
    if (writesFile || writesJson || writesCover) withdrawnFile = *nowPlaying;
    stoppedCount = stoppedLength < sizeof stopped ? stoppedLength : sizeof stopped;
    if (writesJson) std::memcpy(stopped, stoppedJson, stoppedCount);
    trackLock.unlock();
    wakeWorker(TRACK_END_STEP);
}

void forgetTrackEnd() {
    trackLock.lock();
    expected = false;
    trackLock.unlock();
}
