#include "batch/workerlink.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "batch/files.h"
#include "batch/system.h"
#include "batch/system_win32.h"

namespace quorvel::batch {

namespace {

using Clock = WorkerClock;

constexpr std::uint64_t kLargestMessage = std::uint64_t{1} << 40;
constexpr std::uint64_t kNoFile = ~std::uint64_t{0};

// Pipes and the process are made under one lock: a worker started by another thread meanwhile
// must not inherit this worker's pipe ends (its end of the pipe would then never close).
std::mutex startMutex;

// Every worker is in this job, which ends them all when the run ends, killed or not.
HANDLE workerJob() {
    static const HANDLE job = [] {
        const HANDLE made = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made)
            SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits,
                                    sizeof limits);
        return made;
    }();
    return job;
}

std::wstring ownProgram() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool readAll(HANDLE pipe, char* data, std::size_t size) {
    while (size > 0) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!ReadFile(pipe, data, chunk, &got, nullptr) || got == 0)
            return false;
        data += got;
        size -= got;
    }
    return true;
}

bool writeAll(HANDLE pipe, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!WriteFile(pipe, data, chunk, &written, nullptr))
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// A message: the lent file's handle in the worker (or kNoFile), the size, the bytes.
bool writeMessage(HANDLE pipe, const std::string& message, std::uint64_t file) {
    char header[16];
    const std::uint64_t size = message.size();
    std::memcpy(header, &file, 8);
    std::memcpy(header + 8, &size, 8);
    return writeAll(pipe, header, sizeof header) && writeAll(pipe, message.data(), message.size());
}

bool readMessage(HANDLE pipe, std::string& message, std::uint64_t& file) {
    char header[16];
    std::uint64_t size = 0;
    if (!readAll(pipe, header, sizeof header))
        return false;
    std::memcpy(&file, header, 8);
    std::memcpy(&size, header + 8, 8);
    if (size > kLargestMessage)
        return false;
    message.assign(size, '\0');
    return readAll(pipe, message.data(), size);
}

HANDLE inheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

}  // namespace

void keepMemoryForNextDrawing() {}  // the C runtime's heap keeps freed memory already

bool workersAvailable() {
    return !ownProgram().empty();
}

bool startedAsWorker() {
    return GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE;
}

struct WorkerLink::Impl {
    PROCESS_INFORMATION process{};
    HANDLE toWorker = nullptr;
    HANDLE fromWorker = nullptr;
    // The deadline of the call under way; a watchdog ends the worker when it passes.
    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point deadline = Clock::time_point::max();
    bool armed = false;
    bool timedOut = false;
    bool ending = false;
    std::thread watchdog;

    void watch() {
        std::unique_lock lock(mutex);
        while (!ending) {
            if (armed && Clock::now() >= deadline) {
                TerminateProcess(process.hProcess, 1);
                timedOut = true;
                armed = false;
            } else if (armed) {
                changed.wait_until(lock, deadline);
            } else {
                changed.wait(lock);
            }
        }
    }
    void arm(Clock::time_point until) {
        const std::lock_guard lock(mutex);
        if (Clock::now() >= until)
            throw WorkerTimedOut{};
        deadline = until;
        armed = true;
        changed.notify_all();
    }
    // After a call: the worker was ended because the deadline passed, or it is gone.
    [[noreturn]] void failedCall() {
        const std::lock_guard lock(mutex);
        armed = false;
        if (timedOut)
            throw WorkerTimedOut{};
        throw WorkerClosed{};
    }
    void disarm() {
        const std::lock_guard lock(mutex);
        armed = false;
    }
};

WorkerLink::WorkerLink(const char* argument) : impl_(std::make_unique<Impl>()) {
    const std::wstring program = ownProgram();
    std::wstring commandLine = L"\"" + program + L"\" ";
    for (const char* c = argument; *c; ++c)
        commandLine += static_cast<wchar_t>(*c);
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const std::lock_guard lock(startMutex);
    HANDLE workerIn = nullptr;
    HANDLE workerOut = nullptr;
    if (!CreatePipe(&workerIn, &impl_->toWorker, &inheritable, 1 << 20) ||
        !CreatePipe(&impl_->fromWorker, &workerOut, &inheritable, 4 << 20))
        failWith("不能启动工作进程", EMFILE);
    SetHandleInformation(impl_->toWorker, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(impl_->fromWorker, HANDLE_FLAG_INHERIT, 0);
    const HANDLE errors = inheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = workerIn;
    startup.hStdOutput = workerOut;
    startup.hStdError = errors;
    const bool started =
        CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &impl_->process) != 0;
    const DWORD error = started ? 0 : GetLastError();
    CloseHandle(workerIn);
    CloseHandle(workerOut);
    if (errors)
        CloseHandle(errors);
    if (!started) {
        CloseHandle(impl_->toWorker);
        CloseHandle(impl_->fromWorker);
        throw FileError("不能启动工作进程：错误 " + std::to_string(error));
    }
    if (workerJob())
        AssignProcessToJobObject(workerJob(), impl_->process.hProcess);
    ResumeThread(impl_->process.hThread);
    impl_->watchdog = std::thread([impl = impl_.get()] { impl->watch(); });
}

WorkerLink::~WorkerLink() {
    if (impl_->process.hProcess)
        stop(false);
}

void WorkerLink::send(const std::string& message, Clock::time_point deadline, int file) {
    std::uint64_t lent = kNoFile;
    if (file >= 0) {
        HANDLE inWorker = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), sys::nativeHandle(file), impl_->process.hProcess,
                             &inWorker, 0, FALSE, DUPLICATE_SAME_ACCESS))
            throw WorkerClosed{};
        lent = reinterpret_cast<std::uintptr_t>(inWorker);
    }
    impl_->arm(deadline);
    if (!writeMessage(impl_->toWorker, message, lent))
        impl_->failedCall();
    impl_->disarm();
}

std::string WorkerLink::receive(Clock::time_point deadline) {
    impl_->arm(deadline);
    std::string message;
    std::uint64_t file = kNoFile;
    if (!readMessage(impl_->fromWorker, message, file))
        impl_->failedCall();
    impl_->disarm();
    return message;
}

std::string WorkerLink::stop(bool kill) {
    CloseHandle(impl_->toWorker);
    CloseHandle(impl_->fromWorker);
    const HANDLE process = impl_->process.hProcess;
    // A worker without more jobs ends by itself; one that lingers is ended.
    if (kill || WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
    }
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    {
        const std::lock_guard lock(impl_->mutex);
        impl_->ending = true;
        impl_->changed.notify_all();
    }
    impl_->watchdog.join();
    CloseHandle(impl_->process.hThread);
    CloseHandle(process);
    impl_->process = {};
    if (status >= 0xC0000000u) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        return std::string("读入或修改图形时工作进程崩溃（异常 ") + code + "）";
    }
    return "工作进程意外退出（状态 " + std::to_string(status) + "）";
}

namespace {

HANDLE runInput = nullptr;
HANDLE runOutput = nullptr;

}  // namespace

RunLink::RunLink() {
    runInput = GetStdHandle(STD_INPUT_HANDLE);
    // A copy of its own: the C runtime closes the original when standard output is redirected.
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(),
                    &runOutput, 0, FALSE, DUPLICATE_SAME_ACCESS);
    // The output pipe carries only messages: whatever is printed goes to standard error.
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    std::fflush(stdout);
    _dup2(_fileno(stderr), _fileno(stdout));
}

bool RunLink::runAlive() const {
    return true;  // the run's job object ends its workers with it
}

std::string RunLink::receive(int* file) {
    std::string message;
    std::uint64_t lent = kNoFile;
    if (!readMessage(runInput, message, lent))
        throw WorkerClosed{};
    if (lent != kNoFile) {
        const int adopted =
            sys::adoptNativeHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(lent)));
        if (file)
            *file = adopted;
        else
            sys::closeHandle(adopted);
    }
    return message;
}

void RunLink::send(const std::string& message) {
    if (!writeMessage(runOutput, message, kNoFile))
        throw WorkerClosed{};
}

}  // namespace quorvel::batch
