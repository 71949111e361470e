#include "batch/workerlink.h"

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

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "batch/files.h"

extern char** environ;

namespace quorvel::batch {

namespace {

using Clock = WorkerClock;

constexpr const char* kSelf = "/proc/self/exe";
constexpr std::uint64_t kLargestMessage = std::uint64_t{1} << 40;

// Waits until `fd` is ready for `events`; raises WorkerTimedOut at the deadline.
void await(int fd, short events, Clock::time_point deadline) {
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw WorkerTimedOut{};
        pollfd entry{fd, events, 0};
        const int timeout = static_cast<int>(std::min<long long>(left.count() + 1, 60'000));
        const int ready = ::poll(&entry, 1, timeout);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            throw WorkerClosed{};
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
            throw WorkerClosed{};
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
            throw WorkerClosed{};
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            await(fd, POLLIN, deadline);
        } else if (errno != EINTR) {
            throw WorkerClosed{};
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
                throw WorkerClosed{};
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
            throw WorkerClosed{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&in); c; c = CMSG_NXTHDR(&in, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && file && *file < 0)
                std::memcpy(file, CMSG_DATA(c), sizeof *file);
        }
        done += static_cast<std::size_t>(got);
    }
}

// Raises WorkerClosed at the end of the stream.
std::string receiveMessage(int fd, Clock::time_point deadline, int* file = nullptr) {
    std::uint64_t size = 0;
    char header[sizeof size];
    if (file)
        receiveHeader(fd, header, sizeof header, file);
    else if (!receiveAll(fd, header, sizeof header, deadline))
        throw WorkerClosed{};
    std::memcpy(&size, header, sizeof size);
    if (size > kLargestMessage)
        throw WorkerClosed{};
    std::string message(size, '\0');
    if (size > 0 && !receiveAll(fd, message.data(), size, deadline))
        throw WorkerClosed{};
    return message;
}

std::string signalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return "信号 " + std::to_string(signal) + (name ? std::string("，SIG") + name : "");
}

}  // namespace

void keepMemoryForNextDrawing() {
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
}

bool workersAvailable() {
    return ::access(kSelf, X_OK) == 0;
}

bool startedAsWorker() {
    struct stat status {};
    return ::fstat(STDIN_FILENO, &status) == 0 && S_ISSOCK(status.st_mode);
}

struct WorkerLink::Impl {
    pid_t pid = -1;
    int socket = -1;
};

WorkerLink::WorkerLink(const char* argument) : impl_(std::make_unique<Impl>()) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        failWith("不能启动工作进程", errno);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    std::string name = "quorvel-batch";
    std::string mode = argument;
    char* const argv[] = {name.data(), mode.data(), nullptr};
    const int error = ::posix_spawn(&impl_->pid, kSelf, &actions, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        impl_->pid = -1;
        ::close(ends[0]);
        failWith("不能启动工作进程", error);
    }
    impl_->socket = ends[0];
    ::fcntl(impl_->socket, F_SETFL, ::fcntl(impl_->socket, F_GETFL) | O_NONBLOCK);
    // An edited drawing comes back in a few large pieces, not in hundreds of small ones.
    const int buffer = 4 << 20;
    ::setsockopt(impl_->socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
}

WorkerLink::~WorkerLink() {
    if (impl_->pid > 0)
        stop(false);
}

void WorkerLink::send(const std::string& message, Clock::time_point deadline, int file) {
    sendMessage(impl_->socket, message, deadline, file);
}

std::string WorkerLink::receive(Clock::time_point deadline) {
    return receiveMessage(impl_->socket, deadline);
}

std::string WorkerLink::stop(bool kill) {
    ::close(impl_->socket);
    impl_->socket = -1;
    int status = 0;
    // A crashing worker may still be writing its core file; one that lingers is ended.
    const auto patience = Clock::now() + std::chrono::seconds(5);
    pid_t ended = 0;
    while (!kill && (ended = ::waitpid(impl_->pid, &status, WNOHANG)) == 0 &&
           Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (ended == 0) {
        ::kill(impl_->pid, SIGKILL);
        ::waitpid(impl_->pid, &status, 0);
    }
    impl_->pid = -1;
    if (WIFSIGNALED(status))
        return "读入或修改图形时工作进程崩溃（" + signalName(WTERMSIG(status)) + "）";
    return "工作进程意外退出（状态 " + std::to_string(WEXITSTATUS(status)) + "）";
}

RunLink::RunLink() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int buffer = 4 << 20;
    ::setsockopt(STDIN_FILENO, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    keepMemoryForNextDrawing();
}

bool RunLink::runAlive() const {
    return ::getppid() != 1;
}

std::string RunLink::receive(int* file) {
    return receiveMessage(STDIN_FILENO, Clock::time_point::max(), file);
}

void RunLink::send(const std::string& message) {
    sendMessage(STDIN_FILENO, message, Clock::time_point::max());
}

}  // namespace quorvel::batch
