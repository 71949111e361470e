#include "cadhost/host/directlistener.h"

#include "automationlink/dbuslink.h"
#include "cadhost/host/busendpoint.h"
#include "cadhost/host/socketfiles.h"
#include "cadhost/host/watchrelay.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <dbus/dbus.h>
#include <unistd.h>

#include <algorithm>

namespace quorvel::cadhost {
namespace {

constexpr long kMaxQueuedAnswerBytes = 64L << 20;

// The "path" of a listening address ("unix:path=...,guid=...").
QByteArray socketPathOf(const QString& address) {
    DBusAddressEntry** entries = nullptr;
    int count = 0;
    QByteArray path;
    if (dbus_parse_address(address.toUtf8().constData(), &entries, &count, nullptr)) {
        if (count > 0) {
            path = dbus_address_entry_get_value(entries[0], "path");
        }
        dbus_address_entries_free(entries);
    }
    return path;
}

}  // namespace

std::unique_ptr<DirectListener> DirectListener::listen(const QString& folder, CallHandler& server,
                                                       QString* error) {
    if (!QDir().mkpath(folder) ||
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        if (error != nullptr) {
            *error = QStringLiteral("无法使用文件夹 %1").arg(folder);
        }
        return nullptr;
    }
    clearStaleSockets(folder);
    automationlink::BusError failure;
    // "dir" makes a socket file of a random name there, not one in the abstract namespace that
    // any local user could reach.
    const QByteArray address = "unix:dir=" + QFile::encodeName(folder);
    DBusServer* listener = dbus_server_listen(address.constData(), failure.get());
    if (listener == nullptr) {
        if (error != nullptr) {
            *error = QString::fromStdString(failure.message());
        }
        return nullptr;
    }
    std::unique_ptr<DirectListener> direct(new DirectListener(listener, server));
    removeSocketOnExit(socketPathOf(direct->address_));
    dbus_server_set_new_connection_function(
        listener,
        [](DBusServer*, DBusConnection* connection, void* data) {
            static_cast<DirectListener*>(data)->accept(connection);
        },
        direct.get(), nullptr);
    direct->watches_->installOn(listener);
    return direct;
}

DirectListener::DirectListener(DBusServer* listener, CallHandler& server)
    : listener_(listener), server_(server), watches_(std::make_unique<WatchRelay>()) {
    char* address = dbus_server_get_address(listener_);
    address_ = QString::fromUtf8(address);
    dbus_free(address);
}

DirectListener::~DirectListener() {
    dbus_server_disconnect(listener_);
    removeSocketNow();
    dbus_server_set_watch_functions(listener_, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_server_set_timeout_functions(listener_, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_server_unref(listener_);
    for (const auto& peer : peers_) {
        server_.forget(peer.get());
    }
}

void DirectListener::accept(DBusConnection* connection) {
    dropDisconnected();
    // Checked once the client has said who it is, before any message is read.
    dbus_connection_set_unix_user_function(
        connection,
        [](DBusConnection*, unsigned long uid, void*) -> dbus_bool_t {
            return uid == ::getuid() ? TRUE : FALSE;
        },
        nullptr, nullptr);
    dbus_connection_set_allow_anonymous(connection, FALSE);
    std::unique_ptr<BusEndpoint> peer = BusEndpoint::adopt(connection);
    peer->setServer(&server_);
    // Twice the largest answer the host gives: a client that reads its answers never comes near.
    peer->limitQueuedAnswers(kMaxQueuedAnswerBytes);
    connect(peer.get(), &BusEndpoint::overflowed, this, &DirectListener::dropDisconnectedSoon);
    peers_.push_back(std::move(peer));
}

// A dropped client's queue is freed with its connection, once no call is being answered.
void DirectListener::dropDisconnectedSoon() {
    QTimer::singleShot(server_.isServing() ? 50 : 0, this, [this] {
        if (server_.isServing()) {
            dropDisconnectedSoon();
        } else {
            dropDisconnected();
        }
    });
}

// Only between calls: a call in progress may still answer on its connection.
void DirectListener::dropDisconnected() {
    if (server_.isServing()) {
        return;
    }
    const auto gone = std::remove_if(peers_.begin(), peers_.end(), [this](const auto& peer) {
        if (peer->isConnected()) {
            return false;
        }
        server_.forget(peer.get());
        return true;
    });
    peers_.erase(gone, peers_.end());
}

}  // namespace quorvel::cadhost
