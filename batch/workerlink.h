#pragma once
// The pipe between a run and one of its worker processes, and the worker's end of it: POSIX in
// workerlink_posix.cpp (a socket pair, the drawing's descriptor sent along), Win32 in
// workerlink_win32.cpp (anonymous pipes, the drawing's handle duplicated into the worker).
// Messages are length-prefixed byte strings.

#include <chrono>
#include <memory>
#include <string>

namespace quorvel::batch {

using WorkerClock = std::chrono::steady_clock;
struct WorkerTimedOut {};  // the deadline passed
struct WorkerClosed {};    // the other end is gone

// Whether this program can be started again as a worker.
bool workersAvailable();

// One drawing after another: the memory of the last one is kept for the next, not given back to
// the system and faulted in again. Where drawings are edited: in each worker, or in the run's own
// process without workers.
void keepMemoryForNextDrawing();
// Whether this process was started as a worker by a run (its standard input is the link).
bool startedAsWorker();

class WorkerLink {
public:
    // Starts this program again with `argument`; raises FileError.
    explicit WorkerLink(const char* argument);
    ~WorkerLink();
    WorkerLink(const WorkerLink&) = delete;
    WorkerLink& operator=(const WorkerLink&) = delete;

    // `file`, when not -1, is lent to the worker with the message. Both raise WorkerTimedOut
    // or WorkerClosed.
    void send(const std::string& message, WorkerClock::time_point deadline, int file = -1);
    std::string receive(WorkerClock::time_point deadline);
    // Closes the link and ends the worker (killed when `kill` or when it lingers); says why it
    // ended.
    std::string stop(bool kill);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The worker's end, on its standard input.
class RunLink {
public:
    RunLink();
    // False when the run that started this worker is already gone.
    bool runAlive() const;
    // The next message, with the file lent with it if any (else -1); raises WorkerClosed at
    // the end.
    std::string receive(int* file = nullptr);
    void send(const std::string& message);
};

}  // namespace quorvel::batch
