#include "cadhost/host/socketfiles.h"

#include <QDir>
#include <QFile>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace quorvel::cadhost {
namespace {

constexpr std::time_t kYoungSocketSeconds = 10;

// Read by the signal handler: a fixed buffer, no allocation there.
char socketPath[sizeof(sockaddr_un::sun_path)] = {};

void unlinkSocket() {
    if (socketPath[0] != '\0') {
        ::unlink(socketPath);
    }
}

void unlinkAndResignal(int signal) {
    const int savedErrno = errno;
    unlinkSocket();
    errno = savedErrno;
    // The handler was reset on entry: the signal ends the process as it would have.
    ::raise(signal);
}

void installHandlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    std::atexit(unlinkSocket);
    for (const int signal :
         {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;  // a signal the host was told to ignore stays ignored
        }
        struct sigaction action = {};
        action.sa_handler = unlinkAndResignal;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

bool nobodyListens(const QByteArray& path) {
    sockaddr_un address = {};
    if (static_cast<std::size_t>(path.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const bool refused =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 &&
        errno == ECONNREFUSED;
    ::close(probe);
    return refused;
}

}  // namespace

void clearStaleSockets(const QString& folder) {
    const QStringList names = QDir(folder).entryList({QStringLiteral("dbus-*")}, QDir::System);
    const std::time_t now = std::time(nullptr);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder + u'/' + name);
        struct stat status = {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISSOCK(status.st_mode) ||
            status.st_uid != ::getuid() || now - status.st_mtime < kYoungSocketSeconds) {
            continue;
        }
        if (nobodyListens(path)) {
            ::unlink(path.constData());
        }
    }
}

void removeSocketOnExit(const QByteArray& path) {
    if (static_cast<std::size_t>(path.size()) >= sizeof(socketPath)) {
        return;
    }
    installHandlers();
    // The first byte last: a signal in between finds no path rather than half of one.
    socketPath[0] = '\0';
    if (path.isEmpty()) {
        return;
    }
    std::memcpy(socketPath + 1, path.constData() + 1, static_cast<std::size_t>(path.size()));
    socketPath[0] = path[0];
}

void removeSocketNow() {
    unlinkSocket();
    removeSocketOnExit({});
}

}  // namespace quorvel::cadhost
