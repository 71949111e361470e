#pragma once
// Private peer-to-peer connections for clients that make many calls in a row (a batch run): the
// calls then go straight to the host instead of through the bus daemon, which doubles their
// cost. The socket lies in the user's runtime folder and only this user's processes are let in.
// The bus stays the way to find and start the host.

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

struct DBusServer;
struct DBusConnection;

namespace quorvel::cadhost {

class BusEndpoint;
class CallHandler;
class WatchRelay;

class DirectListener : public QObject {
    Q_OBJECT
public:
    // Listens in folder (created for this user only when missing). Null, with the reason, when
    // no socket can be made there.
    static std::unique_ptr<DirectListener> listen(const QString& folder, CallHandler& server,
                                                  QString* error);
    ~DirectListener() override;

    // What a client hands to dbus_connection_open.
    QString address() const { return address_; }

private:
    DirectListener(DBusServer* listener, CallHandler& server);
    void accept(DBusConnection* connection);
    void dropDisconnected();
    void dropDisconnectedSoon();

    DBusServer* listener_;
    CallHandler& server_;
    QString address_;
    std::unique_ptr<WatchRelay> watches_;
    std::vector<std::unique_ptr<BusEndpoint>> peers_;
};

}  // namespace quorvel::cadhost
