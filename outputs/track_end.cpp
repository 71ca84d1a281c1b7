#include "outputs/track_end.h"

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

void expectTrackEnd(std::uint64_t milliseconds, const NowPlayingSettings* nowPlaying) {
    if (milliseconds > TRACK_END_LONGEST_MILLISECONDS) {
        forgetTrackEnd();
        return;
    }
    trackLock.lock();
    expected = true;
    endsAt = millisecondClock() + static_cast<std::uint32_t>(milliseconds);
    writesFile = nowPlaying != nullptr && nowPlayingWanted(*nowPlaying);
    if (writesFile) withdrawnFile = *nowPlaying;
    trackLock.unlock();
    wakeWorker(TRACK_END_STEP);
}

void forgetTrackEnd() {
    trackLock.lock();
    expected = false;
    trackLock.unlock();
}
