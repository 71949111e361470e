#pragma once
// Calls on one cad-host over D-Bus, and how their failures become automation errors.
//
// The calls go through libdbus on a private connection of their own: the calling thread writes
// the call and reads the answer itself, with no event loop and no other thread in between, which
// is most of what a call costs. A caller is bound to the host's unique connection name, never to
// the well-known name: a host that went away then answers at once with an error instead of the
// bus starting a new host that knows none of the old object paths. Calls block without a time
// limit (a busy host answers later).

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/automation.h"

struct DBusConnection;
struct DBusError;
struct DBusMessage;
struct DBusPendingCall;
struct DBusMessageIter;

namespace quorvel::platform::dbus {

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
engine::AutomationError automationErrorFrom(const QString& errorName, const QString& message);

// Appends the arguments of a call.
class MessageWriter {
public:
    explicit MessageWriter(DBusMessage* message);
    ~MessageWriter();
    MessageWriter(const MessageWriter&) = delete;
    MessageWriter& operator=(const MessageWriter&) = delete;

    MessageWriter& text(const QString& value);
    MessageWriter& boolean(bool value);
    MessageWriter& int32(std::int32_t value);
    MessageWriter& uint32(std::uint32_t value);
    MessageWriter& int16s(const std::vector<std::int16_t>& values);
    // A variant holding one of these.
    MessageWriter& variantText(const QString& value);
    MessageWriter& variantBoolean(bool value);
    MessageWriter& variantReal(double value);
    MessageWriter& variantReals(const std::vector<double>& values);
    // An array of variants, one per filter value.
    MessageWriter& variants(const std::vector<engine::FilterValue>& values);
    // a{ss}
    MessageWriter& textMap(const std::vector<std::pair<QString, QString>>& entries);

private:
    std::unique_ptr<DBusMessageIter> iter_;
};

// Reads the arguments of an answer in order; a value of another type is a host fault.
class MessageReader {
public:
    explicit MessageReader(DBusMessage* message);
    ~MessageReader();
    MessageReader(const MessageReader&) = delete;
    MessageReader& operator=(const MessageReader&) = delete;

    QString text();
    QString objectPath();
    QStringList objectPaths();
    std::uint32_t uint32();
    // Steps into a variant (a property's value); the readers above then read its content.
    MessageReader& variant();

private:
    void next();

    std::unique_ptr<DBusMessageIter> iter_;
    std::unique_ptr<DBusMessageIter> inner_;
    DBusMessageIter* current_;
};

using WriteArguments = std::function<void(MessageWriter&)>;
using ReadAnswer = std::function<void(MessageReader&)>;

// A private connection to a bus, for one thread at a time.
class BusConnection {
public:
    // The user's session bus for an empty address. Null when the bus cannot be reached.
    static std::shared_ptr<BusConnection> open(const QString& address);
    // A direct connection to one peer (no bus daemon); calls on it name no destination.
    static std::shared_ptr<BusConnection> openPeer(const QString& address);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    bool isConnected() const;
    BusConnection& operator=(const BusConnection&) = delete;

    // Blocks without a time limit until the answer is there; never starts a service. Raises
    // AutomationError when the answer is an error.
    void call(const QString& destination, const QString& path, const char* interface,
              const char* member, const WriteArguments& write, const ReadAnswer& read) const;
    // The same, with the D-Bus error's name and text handed back instead of raised; true on a
    // reply.
    bool tryCall(const QString& destination, const QString& path, const char* interface,
                 const char* member, const WriteArguments& write, const ReadAnswer& read,
                 QString* errorName, QString* errorMessage) const;
    // Sends without waiting for an answer.
    void send(const QString& destination, const QString& path, const char* interface,
              const char* member, const WriteArguments& write) const;

    // The bus daemon's own methods.
    bool callDaemon(const char* member, const WriteArguments& write, const ReadAnswer& read,
                    QString* errorName = nullptr, QString* errorMessage = nullptr) const;

private:
    explicit BusConnection(DBusConnection* connection) : connection_(connection) {}
    DBusMessage* newCall(const QString& destination, const QString& path, const char* interface,
                         const char* member, const WriteArguments& write) const;
    DBusMessage* sendAndAwait(DBusMessage* message, DBusError* error) const;
    void awaitAnswer(DBusPendingCall* pending, unsigned serial) const;
    void dropUnexpected() const;

    DBusConnection* connection_;
    mutable int sleepyCalls_ = 0;
};

class BusCaller {
public:
    // An empty host name for a direct connection to the host.
    BusCaller(std::shared_ptr<const BusConnection> connection, QString hostName);

    void call(const QString& path, const char* interface, const char* member,
              const WriteArguments& write = {}, const ReadAnswer& read = {}) const;
    // Reads a property's value with read, positioned inside the variant.
    void property(const QString& path, const char* interface, const char* name,
                  const ReadAnswer& read) const;
    // writeValue appends the value as a variant.
    void setProperty(const QString& path, const char* interface, const char* name,
                     const WriteArguments& writeValue) const;

private:
    std::shared_ptr<const BusConnection> connection_;
    QString hostName_;
};

}  // namespace quorvel::platform::dbus
