#pragma once
// The host's connection to the bus: libdbus driven by the Qt event loop of the host's thread.
// Calls are read, handed to the bus server and answered on this one thread, with no other thread
// in between; that hop per call used to cost more than answering the call itself.

#include "cadhost/host/busmessage.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct DBusConnection;

namespace quorvel::cadhost {

class BusEndpoint;
class WatchRelay;

// What endpoints hand their method calls to: the bus server.
class CallHandler {
public:
    virtual ~CallHandler() = default;
    virtual void handleMessage(const BusMessage& message, BusEndpoint& endpoint) = 0;
    // True while a call is being answered.
    virtual bool isServing() const = 0;
    // The endpoint goes away: its waiting calls are dropped.
    virtual void forget(const BusEndpoint* endpoint) = 0;
};

class BusEndpoint : public QObject {
    Q_OBJECT
public:
    // The session bus for an empty address. Null, with the reason, when it cannot be reached.
    static std::unique_ptr<BusEndpoint> connect(const QString& address, QString* error);
    // A direct connection from one client, accepted by a listener; takes a reference of its own.
    static std::unique_ptr<BusEndpoint> adopt(DBusConnection* connection);
    ~BusEndpoint() override;

    // Method calls go to the server from now on.
    void setServer(CallHandler* server) { server_ = server; }
    // True once this connection is the name's only owner; no queueing, no replacing.
    bool requestName(const QString& name, QString* error);
    void releaseName(const QString& name);
    bool isConnected() const;

    // Answers a client has not read yet stay queued in the host. Past `bytes` of them the
    // connection is closed and overflowed() emitted: a client that never reads cannot grow the
    // host without bound. Off (0) for the bus daemon, which reads what it is sent.
    void limitQueuedAnswers(long bytes) { queueLimit_ = bytes; }
    void send(const BusMessage& message);
    // The user id behind a connection on the bus; asks the bus daemon and waits.
    std::optional<uint> unixUser(const QString& uniqueName);

signals:
    void overflowed();

private:
    explicit BusEndpoint(DBusConnection* connection);
    void install();
    void scheduleDispatch();
    void dispatch();
    void awaitNextCall();

    // True when the message was a call, handed to the server.
    bool handle(struct DBusMessage* message);

    DBusConnection* connection_;
    CallHandler* server_ = nullptr;
    std::unique_ptr<WatchRelay> watches_;
    bool dispatching_ = false;
    bool readingWatch_ = false;
    int sent_ = 0;  // answers sent since the last look
    long queueLimit_ = 0;
    bool overflowed_ = false;
    bool dispatchScheduled_ = false;
};

}  // namespace quorvel::cadhost
