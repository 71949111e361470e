#include "batch/worker.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/sha256.h"

extern char** environ;

namespace quorvel::batch {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kSelf = "/proc/self/exe";
constexpr std::uint64_t kLargestMessage = std::uint64_t{1} << 40;

struct TimedOut {};
struct Closed {};

// Numbers and length-prefixed strings, in the byte order of this machine: both ends are the
// same program.
class MessageWriter {
public:
    void number(std::uint64_t value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        out_.append(bytes, sizeof value);
    }
    void text(const std::string& value) {
        number(value.size());
        out_ += value;
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class MessageReader {
public:
    explicit MessageReader(const std::string& in) : in_(in) {}
    std::uint64_t number() {
        std::uint64_t value = 0;
        if (in_.size() - at_ < sizeof value)
            throw FileError("工作进程的消息不完整");
        std::memcpy(&value, in_.data() + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    std::string text() {
        const std::uint64_t size = number();
        if (in_.size() - at_ < size)
            throw FileError("工作进程的消息不完整");
        at_ += size;
        return in_.substr(at_ - size, size);
    }

private:
    const std::string& in_;
    std::size_t at_ = 0;
};

// Waits until `fd` is ready for `events`; raises TimedOut at the deadline.
void await(int fd, short events, Clock::time_point deadline) {
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw TimedOut{};
        pollfd entry{fd, events, 0};
        const int timeout = static_cast<int>(std::min<long long>(left.count() + 1, 60'000));
        const int ready = ::poll(&entry, 1, timeout);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            throw Closed{};
    }
}

void sendAll(int fd, const char* data, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            await(fd, POLLOUT, deadline);
        } else if (sent < 0 && errno != EINTR) {
            throw Closed{};
        }
    }
}

// False at the end of the stream, before any byte.
bool receiveAll(int fd, char* data, std::size_t size, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::recv(fd, data + done, size - done, 0);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            if (done == 0)
                return false;
            throw Closed{};
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            await(fd, POLLIN, deadline);
        } else if (errno != EINTR) {
            throw Closed{};
        }
    }
    return true;
}

// `file`, when not -1, travels with the message: the descriptor, not the file's contents.
void sendMessage(int fd, const std::string& message, Clock::time_point deadline, int file = -1) {
    const std::uint64_t size = message.size();
    char header[sizeof size];
    std::memcpy(header, &size, sizeof size);
    std::size_t sent = 0;
    if (file >= 0) {
        iovec part{header, sizeof header};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof file)] = {};
        msghdr out{};
        out.msg_iov = &part;
        out.msg_iovlen = 1;
        out.msg_control = control;
        out.msg_controllen = sizeof control;
        cmsghdr* attached = CMSG_FIRSTHDR(&out);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof file);
        std::memcpy(CMSG_DATA(attached), &file, sizeof file);
        ssize_t done = -1;
        while ((done = ::sendmsg(fd, &out, MSG_NOSIGNAL)) < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                await(fd, POLLOUT, deadline);
            else if (errno != EINTR)
                throw Closed{};
        }
        sent = static_cast<std::size_t>(done);
    }
    sendAll(fd, header + sent, sizeof header - sent, deadline);
    sendAll(fd, message.data(), message.size(), deadline);
}

// The descriptor sent with the message, if any, goes to `file` (blocking sockets only).
void receiveHeader(int fd, char* header, std::size_t size, int* file) {
    std::size_t done = 0;
    while (done < size) {
        iovec part{header + done, size - done};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr in{};
        in.msg_iov = &part;
        in.msg_iovlen = 1;
        in.msg_control = control;
        in.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd, &in, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw Closed{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&in); c; c = CMSG_NXTHDR(&in, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && file && *file < 0)
                std::memcpy(file, CMSG_DATA(c), sizeof *file);
        }
        done += static_cast<std::size_t>(got);
    }
}

// Raises Closed at the end of the stream.
std::string receiveMessage(int fd, Clock::time_point deadline, int* file = nullptr) {
    std::uint64_t size = 0;
    char header[sizeof size];
    if (file)
        receiveHeader(fd, header, sizeof header, file);
    else if (!receiveAll(fd, header, sizeof header, deadline))
        throw Closed{};
    std::memcpy(&size, header, sizeof size);
    if (size > kLargestMessage)
        throw Closed{};
    std::string message(size, '\0');
    if (size > 0 && !receiveAll(fd, message.data(), size, deadline))
        throw Closed{};
    return message;
}

std::string signalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return "信号 " + std::to_string(signal) + (name ? std::string("，SIG") + name : "");
}

// The options a worker needs, in the first message.
std::string setupMessage(const Options& options) {
    MessageWriter out;
    const std::vector<std::string> arguments = editingArguments(options);
    out.number(arguments.size());
    for (const std::string& argument : arguments)
        out.text(argument);
    out.number(options.pairs.size());
    for (const Pair& pair : options.pairs) {
        for (const std::u16string* text : {&pair.find, &pair.replace})
            out.text(std::string(reinterpret_cast<const char*>(text->data()), text->size() * 2));
    }
    out.number(options.dryRun ? 1 : 0);
    out.number(options.reportFile.empty() ? 0 : 1);
    return out.take();
}

Options readSetup(const std::string& message) {
    MessageReader in(message);
    std::vector<std::string> arguments(in.number());
    for (std::string& argument : arguments)
        argument = in.text();
    Options options = parseEditingArguments(arguments);
    options.pairs.resize(in.number());
    for (Pair& pair : options.pairs) {
        for (std::u16string* text : {&pair.find, &pair.replace}) {
            const std::string bytes = in.text();
            text->resize(bytes.size() / 2);
            std::memcpy(text->data(), bytes.data(), text->size() * 2);
        }
    }
    options.dryRun = in.number() != 0;
    options.reportFile = in.number() != 0 ? "report" : "";
    return options;
}

// The answer to a job: a first message with the outcome, then one with the edited bytes.
EditedDrawing readAnswer(const std::string& message, std::string& checksum) {
    MessageReader in(message);
    if (in.number() == 0)
        throw FileError(in.text());
    EditedDrawing edited;
    edited.texts = in.number();
    edited.undisplayable = in.number();
    edited.rows.resize(in.number());
    for (ReportRow& row : edited.rows) {
        for (std::string* field : {&row.handle, &row.space, &row.layer, &row.kind, &row.oldText,
                                   &row.newText, &row.undisplayable})
            *field = in.text();
    }
    edited.unchanged.resize(in.number());
    for (std::string& note : edited.unchanged)
        note = in.text();
    checksum = in.text();
    return edited;
}

std::string answerMessage(const EditedDrawing& edited, const std::string& checksum) {
    MessageWriter out;
    out.number(1);
    out.number(edited.texts);
    out.number(edited.undisplayable);
    out.number(edited.rows.size());
    for (const ReportRow& row : edited.rows) {
        for (const std::string* field : {&row.handle, &row.space, &row.layer, &row.kind,
                                         &row.oldText, &row.newText, &row.undisplayable})
            out.text(*field);
    }
    out.number(edited.unchanged.size());
    for (const std::string& note : edited.unchanged)
        out.text(note);
    out.text(checksum);
    return out.take();
}

// The test hook (see kWorkerFaultVariable).
void injectFault(const fs::path& drawing) {
    const char* fault = std::getenv(kWorkerFaultVariable);
    if (!fault)
        return;
    const std::string wanted = "," + std::string(fault) + ",";
    const std::string name = drawing.filename().string();
    if (wanted.find(",abort:" + name + ",") != std::string::npos)
        std::abort();
    if (wanted.find(",hang:" + name + ",") != std::string::npos) {
        while (true)
            ::pause();
    }
}

}  // namespace

void keepMemoryForNextDrawing() {
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

bool workersAvailable() {
    return ::access(kSelf, X_OK) == 0;
}

WorkerProcess::WorkerProcess(const Options& options)
    : setup_(setupMessage(options)), timeoutSeconds_(options.timeoutSeconds) {}

WorkerProcess::~WorkerProcess() {
    if (pid_ > 0)
        stop(false);
}

void WorkerProcess::start() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        failWith("不能启动工作进程", errno);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    std::string name = "quorvel-batch";
    std::string mode = kWorkerArgument;
    char* const argv[] = {name.data(), mode.data(), nullptr};
    const int error = ::posix_spawn(&pid_, kSelf, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        pid_ = -1;
        ::close(ends[0]);
        failWith("不能启动工作进程", error);
    }
    socket_ = ends[0];
    ::fcntl(socket_, F_SETFL, ::fcntl(socket_, F_GETFL) | O_NONBLOCK);
    // An edited drawing comes back in a few large pieces, not in hundreds of small ones.
    const int buffer = 4 << 20;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
}

std::string WorkerProcess::stop(bool kill) {
    ::close(socket_);
    socket_ = -1;
    int status = 0;
    // A crashing worker may still be writing its core file; one that lingers is ended.
    const auto patience = Clock::now() + std::chrono::seconds(5);
    pid_t ended = 0;
    while (!kill && (ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (WIFSIGNALED(status))
        return "读入或修改图形时工作进程崩溃（" + signalName(WTERMSIG(status)) + "）";
    return "工作进程意外退出（状态 " + std::to_string(WEXITSTATUS(status)) + "）";
}

EditedDrawing WorkerProcess::edit(DrawingFile& file) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
    try {
        if (pid_ < 0) {
            start();
            sendMessage(socket_, setup_, deadline);
        }
        MessageWriter job;
        job.text(file.path().string());
        sendMessage(socket_, job.take(), deadline, file.descriptor());
        std::string checksum;
        EditedDrawing edited = readAnswer(receiveMessage(socket_, deadline), checksum);
        edited.bytes = receiveMessage(socket_, deadline);
        file.readElsewhere(checksum);
        return edited;
    } catch (const TimedOut&) {
        stop(true);
        throw FileError("处理超过 " + std::to_string(timeoutSeconds_) +
                        " 秒（--timeout），工作进程已停止，图形未修改");
    } catch (const Closed&) {
        throw FileError(stop(false) + "，图形未修改");
    }
}

namespace {

// One job: the drawing read through the descriptor lent with it, edited, answered.
void answerJob(int fd, const Options& options) {
    const auto never = Clock::time_point::max();
    int file = -1;
    const std::string job = receiveMessage(fd, never, &file);
    MessageReader in(job);
    const fs::path drawing = in.text();
    injectFault(drawing);
    std::string answer;
    EditedDrawing edited;
    try {
        if (file < 0)
            throw FileError("工作进程没有收到图形文件");
        std::string bytes = readOpenFile(file, drawing.string());
        ::close(file);
        file = -1;
        const std::string checksum = sha256Hex(bytes);
        edited = editDrawing(std::move(bytes), options);
        answer = answerMessage(edited, checksum);
    } catch (const std::exception& error) {
        if (file >= 0)
            ::close(file);
        MessageWriter failed;
        failed.number(0);
        failed.text(error.what());
        sendMessage(fd, failed.take(), never);
        return;
    }
    sendMessage(fd, answer, never);
    sendMessage(fd, edited.bytes, never);
}

}  // namespace

int runWorker(int fd) {
    // A worker stuck in a drawing must not outlive a run that was killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 1;
    const int buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    keepMemoryForNextDrawing();
    try {
        const Options options = readSetup(receiveMessage(fd, Clock::time_point::max()));
        while (true)
            answerJob(fd, options);
    } catch (const Closed&) {
        return 0;  // the run closed its end: no more jobs
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorvel-batch 工作进程：%s\n", error.what());
        return 1;
    }
}

}  // namespace quorvel::batch
