#include "outputs/worker.h"

#include <atomic>

namespace {

// A registered step and what the worker knows of it.
struct Registered {
    const WorkerStep* step;
    std::atomic<bool> woken;  // set by the host's thread, taken by the step's thread
    bool due;                 // the rest: the step's thread's own
    std::uint32_t dueAt;
};

Registered registered[WORKER_STEP_CAPACITY];
// Steps are only added: a thread reads the count, then the steps below it.
std::atomic<int> registeredCount;
HandOverLock registerLock;

// The index of `step` among the registered, registering it the first time;
// -1 when there is no room.
int registeredIndex(const WorkerStep& step) {
    registerLock.lock();
    const int count = registeredCount.load(std::memory_order_relaxed);
    int index = 0;
    while (index < count && registered[index].step != &step) ++index;
    if (index == count) {
        if (count < WORKER_STEP_CAPACITY) {
            registered[index].step = &step;
            registeredCount.store(count + 1, std::memory_order_release);
        } else {
            index = -1;
        }
    }
    registerLock.unlock();
    return index;
}

bool isDue(const Registered& entry, std::uint32_t now) {
    return entry.due && now - entry.dueAt < 0x80000000u;
}

// One run of the steps whose work must finish, or of the others: every
// woken or due one, then the time until the next is due.
std::uint32_t runSteps(bool mustFinish) {
    const int count = registeredCount.load(std::memory_order_acquire);
    std::uint32_t next = BACKGROUND_IDLE;
    for (int index = 0; index < count; ++index) {
        Registered& entry = registered[index];
        if (entry.step->mustFinish != mustFinish) continue;
        if (entry.woken.exchange(false) || isDue(entry, millisecondClock())) {
            const std::uint32_t wait = entry.step->run();
            entry.due = wait != BACKGROUND_IDLE;
            entry.dueAt = millisecondClock() + wait;
        }
        if (!entry.due) continue;
        const std::uint32_t now = millisecondClock();
        const std::uint32_t wait = isDue(entry, now) ? 0 : entry.dueAt - now;
        if (wait < next) next = wait;
    }
    return next;
}

std::uint32_t runFinishingSteps() { return runSteps(true); }
std::uint32_t runAbandonableSteps() { return runSteps(false); }

}  // namespace

bool wakeWorker(const WorkerStep& step) {
    const int index = registeredIndex(step);
    if (index < 0) return false;
    // Before the request: the run it brings about sees the hand-over, and a
    // finishing thread decides to end only under the request's lock.
    registered[index].woken = true;
    return step.mustFinish
               ? requestBackgroundRun(BackgroundThread::Finishing, runFinishingSteps)
               : requestBackgroundRun(BackgroundThread::Abandonable, runAbandonableSteps);
}

void endWorker() {
    endBackgroundRuns();
    const int count = registeredCount.load(std::memory_order_acquire);
    for (int index = 0; index < count; ++index) {
        if (registered[index].step->end != nullptr) registered[index].step->end();
    }
}
