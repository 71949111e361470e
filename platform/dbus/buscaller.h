#pragma once
// Calls on one cad-host over D-Bus, and how their failures become automation errors.
//
// A caller is bound to the host's unique connection name, never to the well-known name: a host
// that went away then answers at once with an error instead of the bus starting a new host that
// knows none of the old object paths. Calls block without a time limit (a busy host answers
// later) and never run the event loop, like the blocking automation calls the runs expect.

#include <QDBusConnection>
#include <QDBusError>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <atomic>
#include <cstdint>

#include "engine/automation.h"

namespace quorvel::platform::dbus {

// libdbus reads this timeout as "wait for ever".
inline constexpr int kNoCallTimeout = 0x7fffffff;

// Counts every call made on a host and the time spent waiting for the answers; the benchmark
// reports the mean round trip from it.
struct BusCallStatistics {
    std::atomic<std::uint64_t> calls{0};
    std::atomic<std::uint64_t> nanoseconds{0};
    void reset() {
        calls = 0;
        nanoseconds = 0;
    }
};
BusCallStatistics& busCallStatistics();

// The automation error for a D-Bus error: the three "unknown member" errors are 438, everything
// else (the host's own errors, a host that vanished) is a plain automation error.
engine::AutomationError automationErrorFrom(const QDBusError& error);

class BusCaller {
public:
    BusCaller(QDBusConnection connection, QString hostName);

    const QString& hostName() const { return hostName_; }
    const QDBusConnection& connection() const { return connection_; }

    // Raises AutomationError when the host answers with an error.
    QVariantList call(const QString& path, const char* interface, const char* member,
                      const QVariantList& arguments = {}) const;
    QVariant property(const QString& path, const char* interface, const char* name) const;
    void setProperty(const QString& path, const char* interface, const char* name,
                     const QVariant& value) const;

private:
    QDBusConnection connection_;
    QString hostName_;
};

// Helpers that read typed values out of answers; a value of another type is a host fault.
QString objectPathFrom(const QVariant& value);
QString textFrom(const QVariant& value);
QStringList objectPathsFrom(const QVariant& value);

}  // namespace quorvel::platform::dbus
