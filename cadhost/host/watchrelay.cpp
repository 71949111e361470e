#include "cadhost/host/watchrelay.h"

#include <QSocketNotifier>
#include <QTimer>

#include <dbus/dbus.h>

namespace quorvel::cadhost {

WatchRelay::WatchRelay(Hooks hooks) : hooks_(std::move(hooks)) {
    if (!hooks_.readable) {
        hooks_.readable = [](DBusWatch* watch) { dbus_watch_handle(watch, DBUS_WATCH_READABLE); };
    }
}

WatchRelay::~WatchRelay() {
    for (const Watch& watch : std::as_const(watches_)) {
        delete watch.read;
        delete watch.write;
    }
    qDeleteAll(timeouts_);
}

void WatchRelay::installOn(DBusConnection* connection) {
    dbus_connection_set_watch_functions(connection, onAddWatch, onRemoveWatch, onUpdateWatch, this,
                                        nullptr);
    dbus_connection_set_timeout_functions(connection, onAddTimeout, onRemoveTimeout,
                                          onUpdateTimeout, this, nullptr);
}

void WatchRelay::installOn(DBusServer* server) {
    dbus_server_set_watch_functions(server, onAddWatch, onRemoveWatch, onUpdateWatch, this,
                                    nullptr);
    dbus_server_set_timeout_functions(server, onAddTimeout, onRemoveTimeout, onUpdateTimeout, this,
                                      nullptr);
}

unsigned WatchRelay::onAddWatch(DBusWatch* watch, void* relay) {
    return static_cast<WatchRelay*>(relay)->addWatch(watch) ? TRUE : FALSE;
}

void WatchRelay::onRemoveWatch(DBusWatch* watch, void* relay) {
    static_cast<WatchRelay*>(relay)->removeWatch(watch);
}

void WatchRelay::onUpdateWatch(DBusWatch* watch, void* relay) {
    static_cast<WatchRelay*>(relay)->updateWatch(watch);
}

unsigned WatchRelay::onAddTimeout(DBusTimeout* timeout, void* relay) {
    return static_cast<WatchRelay*>(relay)->addTimeout(timeout) ? TRUE : FALSE;
}

void WatchRelay::onRemoveTimeout(DBusTimeout* timeout, void* relay) {
    static_cast<WatchRelay*>(relay)->removeTimeout(timeout);
}

void WatchRelay::onUpdateTimeout(DBusTimeout* timeout, void* relay) {
    static_cast<WatchRelay*>(relay)->updateTimeout(timeout);
}

bool WatchRelay::addWatch(DBusWatch* watch) {
    const int fd = dbus_watch_get_unix_fd(watch);
    const unsigned flags = dbus_watch_get_flags(watch);
    Watch entry;
    if ((flags & DBUS_WATCH_READABLE) != 0) {
        entry.read = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(entry.read, &QSocketNotifier::activated, this,
                         [this, watch] { hooks_.readable(watch); });
    }
    if ((flags & DBUS_WATCH_WRITABLE) != 0) {
        entry.write = new QSocketNotifier(fd, QSocketNotifier::Write);
        QObject::connect(entry.write, &QSocketNotifier::activated, this,
                         [watch] { dbus_watch_handle(watch, DBUS_WATCH_WRITABLE); });
    }
    watches_.insert(watch, entry);
    updateWatch(watch);
    return true;
}

void WatchRelay::removeWatch(DBusWatch* watch) {
    const Watch entry = watches_.take(watch);
    // May run inside the notifier's own signal.
    for (QSocketNotifier* notifier : {entry.read, entry.write}) {
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
}

void WatchRelay::updateWatch(DBusWatch* watch) {
    const auto found = watches_.constFind(watch);
    if (found == watches_.constEnd()) {
        return;
    }
    const bool enabled = dbus_watch_get_enabled(watch);
    for (QSocketNotifier* notifier : {found->read, found->write}) {
        if (notifier != nullptr) {
            notifier->setEnabled(enabled);
        }
    }
}

bool WatchRelay::addTimeout(DBusTimeout* timeout) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, this, [this, timeout] {
        dbus_timeout_handle(timeout);
        if (hooks_.timedOut) {
            hooks_.timedOut();
        }
    });
    timeouts_.insert(timeout, timer);
    updateTimeout(timeout);
    return true;
}

void WatchRelay::removeTimeout(DBusTimeout* timeout) {
    if (QTimer* timer = timeouts_.take(timeout)) {
        timer->stop();
        timer->deleteLater();
    }
}

void WatchRelay::updateTimeout(DBusTimeout* timeout) {
    QTimer* timer = timeouts_.value(timeout);
    if (timer == nullptr) {
        return;
    }
    if (dbus_timeout_get_enabled(timeout)) {
        timer->start(dbus_timeout_get_interval(timeout));
    } else {
        timer->stop();
    }
}

}  // namespace quorvel::cadhost
