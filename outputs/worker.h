#pragma once
// The worker: where the destinations that may wait (a file on a share that
// does not answer, a reader that holds the file, next a pipe to a service)
// do their work, off the host's thread. Each destination hands its newest
// state over under its own lock and wakes the worker; the worker runs each
// woken or due destination's step on a background thread, one run at a
// time, and waits between retries. Work that must finish keeps the module
// loaded until it is done; waiting for a service never does.
#include <atomic>
#include <cstdint>

// The destinations the worker serves, one step each.
enum class WorkerDestination { NowPlayingFile, Presence, Count };

// Has `destination`'s step run soon on the worker. Returns at once and never
// waits (the first time in a load, for the worker's thread to start); it
// allocates nothing itself. Returns false when no worker can run.
bool wakeWorker(WorkerDestination destination);

// Ends the worker where it waits (a step under way ends first) and closes
// what destinations hold open: when the host unloads the module.
void endWorker();

// A lock for the short copies with which a destination hands its state to
// the worker: it spins, yielding, while the other side holds it.
class HandOverLock {
public:
    void lock();
    void unlock();

private:
    std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};
