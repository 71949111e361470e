#pragma once
// Worker processes: each job's drawing is read and edited by the DXF engine in a process of its
// own (this program started again in a hidden mode), so that a drawing that crashes or hangs the
// engine fails alone. The drawing's file stays with the run: locked, journaled and saved there;
// a worker only turns bytes into edited bytes, so a killed worker leaves nothing half done.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/processing.h"

namespace quorvel::batch {

class DrawingFile;

// The hidden first argument of a worker process.
inline constexpr const char* kWorkerArgument = "--internal-worker";

// A test hook, always compiled in: in a worker, "abort:NAME" aborts and "hang:NAME" sleeps
// forever on the drawing whose file name is NAME (several separated by commas). Unset, it does
// nothing.
inline constexpr const char* kWorkerFaultVariable = "QUORVEL_BATCH_WORKER_FAULT";

// One drawing after another: the memory of the last one is kept for the next, not given back to
// the system and faulted in again. Where drawings are edited: in each worker, or in the run's own
// process without workers.
void keepMemoryForNextDrawing();

// Whether worker processes can be started here (this program can be run again).
bool workersAvailable();

// One worker process at a time for one thread of a run, started on first use and again after
// one crashed or was stopped for taking too long. Not thread-safe.
class WorkerProcess {
public:
    explicit WorkerProcess(const Options& options);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // editDrawing(file.read(), options) in the worker, which reads the file through the
    // descriptor it is lent. Raises FileError saying what became of the worker (crashed with a
    // signal, stopped after the time limit) or what the edit raised.
    EditedDrawing edit(DrawingFile& file);

private:
    void start();
    // Ends the worker (killed unless it already ended) and returns why it ended.
    std::string stop(bool kill);
    std::string setup_;
    unsigned timeoutSeconds_;
    pid_t pid_ = -1;
    int socket_ = -1;
};

// The worker's side: jobs from `fd` answered on it until the run closes it. Returns the exit
// status.
int runWorker(int fd);

}  // namespace quorvel::batch
