#pragma once
// The worker: where the destinations that may wait (a file on a share that
// does not answer, a reader that holds the file, a pipe to a service) do
// their work, off the host's thread. Each destination hands its newest
// state over under its own lock and wakes the worker with its step; the
// worker runs each woken or due step, one run of a thread at a time, and
// waits between retries. Steps whose work must finish run on a thread that
// keeps the module loaded until they are done; the others run on one that
// an unload ends where it waits. The worker knows no destination: a step
// is registered by its first wake.
#include <cstdint>

#include "platform/platform.h"

// A destination's part in the worker.
struct WorkerStep {
    // Does what it can now; returns the milliseconds after which it wants to
    // run again (a retry), or BACKGROUND_IDLE.
    std::uint32_t (*run)();
    // Closes what the destination holds open, once the worker has ended at an
    // unload; null when it holds nothing.
    void (*end)();
    // Whether work handed over must finish even when the host unloads the
    // module meanwhile (a temporary file made, a text half written).
    bool mustFinish;
};

// The most destinations the worker serves.
constexpr int WORKER_STEP_CAPACITY = 6;

// Has `step` run soon on the worker; `step` lives as long as the module (a
// constant of its destination's). Call it after handing the new state
// over: a run that begins after this call sees it, and a step that must
// finish holds the module loaded from this call on. Returns at once, but
// when the step's thread must be started (see requestBackgroundRun);
// allocates nothing itself. Returns false when no worker can run it, or
// WORKER_STEP_CAPACITY other steps were registered.
bool wakeWorker(const WorkerStep& step);

// Ends the worker where it waits (a run under way ends first) and has each
// step close what it holds open: when the host unloads the module.
void endWorker();

// A lock for the short copies with which a destination hands its state to
// the worker: the other side waits in the system while it is held.
class HandOverLock {
public:
    void lock() { acquireLock(state_); }
    void unlock() { releaseLock(state_); }

private:
    PlatformLock state_{};
};
