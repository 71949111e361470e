#pragma once
// Runs libdbus's watches and timeouts of one connection or listening socket on the Qt event loop
// of this thread: a socket notifier per watched direction, a timer per timeout.

#include <QHash>
#include <QObject>

#include <functional>

struct DBusConnection;
struct DBusServer;
struct DBusTimeout;
struct DBusWatch;
class QSocketNotifier;
class QTimer;

namespace quorvel::cadhost {

class WatchRelay : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Handles a socket that became readable; by default libdbus reads it.
        std::function<void(DBusWatch*)> readable;
        // After a timeout was handled.
        std::function<void()> timedOut;
    };

    explicit WatchRelay(Hooks hooks = {});
    ~WatchRelay() override;

    void installOn(DBusConnection* connection);
    void installOn(DBusServer* server);

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    // libdbus's callbacks, with the relay as their data (dbus_bool_t is an unsigned int).
    static unsigned onAddWatch(DBusWatch* watch, void* relay);
    static void onRemoveWatch(DBusWatch* watch, void* relay);
    static void onUpdateWatch(DBusWatch* watch, void* relay);
    static unsigned onAddTimeout(DBusTimeout* timeout, void* relay);
    static void onRemoveTimeout(DBusTimeout* timeout, void* relay);
    static void onUpdateTimeout(DBusTimeout* timeout, void* relay);

    bool addWatch(DBusWatch* watch);
    void removeWatch(DBusWatch* watch);
    void updateWatch(DBusWatch* watch);
    bool addTimeout(DBusTimeout* timeout);
    void removeTimeout(DBusTimeout* timeout);
    void updateTimeout(DBusTimeout* timeout);

    Hooks hooks_;
    QHash<DBusWatch*, Watch> watches_;
    QHash<DBusTimeout*, QTimer*> timeouts_;
};

}  // namespace quorvel::cadhost
