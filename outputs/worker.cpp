#include "outputs/worker.h"

#include "outputs/now_playing.h"
#include "outputs/presence.h"
#include "platform/platform.h"

namespace {

// A destination's step: does what it can now, and returns the milliseconds
// after which it wants to run again (a retry), or BACKGROUND_IDLE.
using WorkerStep = std::uint32_t (*)();

constexpr int DESTINATION_COUNT = static_cast<int>(WorkerDestination::Count);
const WorkerStep STEPS[DESTINATION_COUNT] = {stepNowPlayingFile, stepPresence};
// Whether a destination's work, once handed over, must finish even when the
// host unloads the module: the now-playing file's (a temporary file made, a
// text half written). Such work keeps the module loaded until the worker
// is done with it; the rest (the presence's retries and checks) is given
// up at an unload.
constexpr bool MUST_FINISH[DESTINATION_COUNT] = {true, false};

// Set by the host's thread, taken by the worker.
std::atomic<bool> woken[DESTINATION_COUNT];
// The worker's own: when each destination is due again.
bool due[DESTINATION_COUNT];
std::uint32_t dueAt[DESTINATION_COUNT];

// The module reference that work which must finish holds, and the
// hand-overs of such work so far: a run lets the reference go only when no
// such work is due and none was handed over while it ran.
HandOverLock holdLock;
bool holdingModule;
unsigned mustFinishWakes;

// One run: every woken or due destination's step, then the time until the
// next one is due.
std::uint32_t runWorker() {
    holdLock.lock();
    const unsigned wakesBefore = mustFinishWakes;
    holdLock.unlock();
    std::uint32_t next = BACKGROUND_IDLE;
    for (int index = 0; index < DESTINATION_COUNT; ++index) {
        const std::uint32_t now = millisecondClock();
        const bool isDue = due[index] && static_cast<std::int32_t>(now - dueAt[index]) >= 0;
        if (woken[index].exchange(false) || isDue) {
            const std::uint32_t wait = STEPS[index]();
            due[index] = wait != BACKGROUND_IDLE;
            dueAt[index] = millisecondClock() + wait;
        }
        if (!due[index]) continue;
        const std::int32_t left = static_cast<std::int32_t>(dueAt[index] - millisecondClock());
        const std::uint32_t wait = left > 0 ? static_cast<std::uint32_t>(left) : 0;
        if (wait < next) next = wait;
    }
    bool mustFinish = false;
    for (int index = 0; index < DESTINATION_COUNT; ++index) {
        mustFinish |= MUST_FINISH[index] && (due[index] || woken[index].load());
    }
    holdLock.lock();
    const bool release = holdingModule && !mustFinish && mustFinishWakes == wakesBefore;
    if (release) holdingModule = false;
    holdLock.unlock();
    if (release) releaseModuleLoaded();
    return next;
}

}  // namespace

bool wakeWorker(WorkerDestination destination) {
    if (MUST_FINISH[static_cast<int>(destination)]) {
        holdLock.lock();
        ++mustFinishWakes;
        if (!holdingModule) holdingModule = holdModuleLoaded();
        holdLock.unlock();
    }
    woken[static_cast<int>(destination)] = true;
    return requestBackgroundRun(runWorker);
}

void endWorker() {
    endBackgroundRuns();
    endPresence();
}

void HandOverLock::lock() {
    while (held_.test_and_set(std::memory_order_acquire)) yieldProcessor();
}

void HandOverLock::unlock() { held_.clear(std::memory_order_release); }
