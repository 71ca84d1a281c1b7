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

// Set by the host's thread, taken by the worker.
std::atomic<bool> woken[DESTINATION_COUNT];
// The worker's own: when each destination is due again.
bool due[DESTINATION_COUNT];
std::uint32_t dueAt[DESTINATION_COUNT];

// One run: every woken or due destination's step, then the time until the
// next one is due.
std::uint32_t runWorker() {
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
    return next;
}

}  // namespace

bool wakeWorker(WorkerDestination destination) {
    woken[static_cast<int>(destination)] = true;
    return requestBackgroundRun(runWorker);
}

void HandOverLock::lock() {
    while (held_.test_and_set(std::memory_order_acquire)) yieldProcessor();
}

void HandOverLock::unlock() { held_.clear(std::memory_order_release); }
