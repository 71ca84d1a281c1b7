#pragma once
// The worker: where the destinations that may wait (a file on a share that
// does not answer, a reader that holds the file, next a pipe to a service)
// do their work, off the host's thread. Each destination hands its newest
// state over under its own lock and wakes the worker; the worker runs each
// woken or due destination's step on a thread of the system's pool, one run
// at a time, and waits between retries on a timer, holding no thread.
#include <atomic>
#include <cstdint>

// The destinations the worker serves, one step each.
enum class WorkerDestination { NowPlayingFile, Presence, Count };

// Has `destination`'s step run soon on the worker. Returns at once and never
// waits; it allocates nothing itself (the system makes the pool's timer).
// Returns false when no worker can run.
bool wakeWorker(WorkerDestination destination);

// A lock for the short copies with which a destination hands its state to
// the worker: it spins, yielding, while the other side holds it.
class HandOverLock {
public:
    void lock();
    void unlock();

private:
    std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};
