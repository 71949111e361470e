#include "cadhost/host/busendpoint.h"

#include "cadhost/host/busserver.h"

#include <QSocketNotifier>
#include <QTimer>

#include <dbus/dbus.h>

#include <chrono>

namespace quorvel::cadhost {
namespace {

struct Error {
    Error() { dbus_error_init(&error); }
    ~Error() { dbus_error_free(&error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    QString text() const {
        return dbus_error_is_set(&error) ? QString::fromUtf8(error.message) : QString();
    }
    DBusError error;
};

// Long enough for a client to take in an answer and send its next call through the daemon.
constexpr auto kAwaitNextCall = std::chrono::microseconds(200);
// How long calls may keep the event loop waiting at most.
constexpr auto kHandBackToEventLoop = std::chrono::milliseconds(5);

}  // namespace

std::unique_ptr<BusEndpoint> BusEndpoint::connect(const QString& address, QString* error) {
    Error failure;
    DBusConnection* connection = nullptr;
    if (address.isEmpty()) {
        connection = dbus_bus_get_private(DBUS_BUS_SESSION, &failure.error);
    } else {
        connection = dbus_connection_open_private(address.toUtf8().constData(), &failure.error);
        if (connection != nullptr && !dbus_bus_register(connection, &failure.error)) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
            connection = nullptr;
        }
    }
    if (connection == nullptr) {
        if (error != nullptr) {
            *error = failure.text();
        }
        return nullptr;
    }
    // Losing the bus is noticed by the host itself: a visible host stays for its user.
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    std::unique_ptr<BusEndpoint> endpoint(new BusEndpoint(connection));
    endpoint->install();
    return endpoint;
}

BusEndpoint::BusEndpoint(DBusConnection* connection) : connection_(connection) {}

BusEndpoint::~BusEndpoint() {
    server_ = nullptr;
    dbus_connection_close(connection_);
    dbus_connection_set_watch_functions(connection_, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_set_timeout_functions(connection_, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_set_dispatch_status_function(connection_, nullptr, nullptr, nullptr);
    dbus_connection_unref(connection_);
    for (const Watch& watch : std::as_const(watches_)) {
        delete watch.read;
        delete watch.write;
    }
    qDeleteAll(timeouts_);
}

void BusEndpoint::install() {
    dbus_connection_set_watch_functions(
        connection_,
        [](DBusWatch* watch, void* data) -> dbus_bool_t {
            return static_cast<BusEndpoint*>(data)->addWatch(watch) ? TRUE : FALSE;
        },
        [](DBusWatch* watch, void* data) { static_cast<BusEndpoint*>(data)->removeWatch(watch); },
        [](DBusWatch* watch, void* data) { static_cast<BusEndpoint*>(data)->updateWatch(watch); },
        this, nullptr);
    dbus_connection_set_timeout_functions(
        connection_,
        [](DBusTimeout* timeout, void* data) -> dbus_bool_t {
            return static_cast<BusEndpoint*>(data)->addTimeout(timeout) ? TRUE : FALSE;
        },
        [](DBusTimeout* timeout, void* data) {
            static_cast<BusEndpoint*>(data)->removeTimeout(timeout);
        },
        [](DBusTimeout* timeout, void* data) {
            static_cast<BusEndpoint*>(data)->updateTimeout(timeout);
        },
        this, nullptr);
    dbus_connection_set_dispatch_status_function(
        connection_,
        [](DBusConnection*, DBusDispatchStatus status, void* data) {
            // libdbus may not be dispatched from inside this callback.
            auto* endpoint = static_cast<BusEndpoint*>(data);
            if (status == DBUS_DISPATCH_DATA_REMAINS && !endpoint->readingWatch_) {
                endpoint->scheduleDispatch();
            }
        },
        this, nullptr);
    dbus_connection_add_filter(
        connection_,
        [](DBusConnection*, DBusMessage* message, void* data) {
            return static_cast<BusEndpoint*>(data)->handle(message)
                       ? DBUS_HANDLER_RESULT_HANDLED
                       : DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        },
        this, nullptr);
    scheduleDispatch();
}

bool BusEndpoint::requestName(const QString& name, QString* error) {
    Error failure;
    const int result = dbus_bus_request_name(connection_, name.toUtf8().constData(),
                                             DBUS_NAME_FLAG_DO_NOT_QUEUE, &failure.error);
    if (result == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        return true;
    }
    if (error != nullptr) {
        *error = failure.text();
    }
    return false;
}

void BusEndpoint::releaseName(const QString& name) {
    Error failure;
    dbus_bus_release_name(connection_, name.toUtf8().constData(), &failure.error);
}

bool BusEndpoint::isConnected() const {
    return dbus_connection_get_is_connected(connection_);
}

void BusEndpoint::send(const BusMessage& message) {
    // Written at once when the socket takes it; the write watch takes care of the rest.
    dbus_connection_send(connection_, message.raw(), nullptr);
    ++sent_;
}

std::optional<uint> BusEndpoint::unixUser(const QString& uniqueName) {
    Error failure;
    const unsigned long uid =
        dbus_bus_get_unix_user(connection_, uniqueName.toUtf8().constData(), &failure.error);
    if (dbus_error_is_set(&failure.error) || uid == static_cast<unsigned long>(-1)) {
        return std::nullopt;
    }
    return static_cast<uint>(uid);
}

void BusEndpoint::scheduleDispatch() {
    if (dispatchScheduled_) {
        return;
    }
    dispatchScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        dispatchScheduled_ = false;
        dispatch();
    });
}

// Not reentered: a call that runs an event loop of its own leaves what arrives meanwhile in
// libdbus's queue, and the outer loop answers it afterwards, in order.
void BusEndpoint::dispatch() {
    if (dispatching_) {
        return;
    }
    dispatching_ = true;
    while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
    }
    dispatching_ = false;
}

// A client in a run sends its next call as soon as it has the answer. Waiting for that call awake
// for a moment saves putting the thread to sleep and waking it again, which costs as much as
// answering. Bounded, so that the window's own events still come through every few milliseconds.
void BusEndpoint::awaitNextCall() {
    if (dispatching_ || sent_ == 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto handBack = Clock::now() + kHandBackToEventLoop;
    auto giveUp = Clock::now() + kAwaitNextCall;
    while (isConnected()) {
        const auto now = Clock::now();
        if (now >= giveUp || now >= handBack) {
            break;
        }
        dbus_connection_read_write(connection_, 0);
        if (dbus_connection_get_dispatch_status(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
            sent_ = 0;
            dispatch();
            if (sent_ == 0) {
                break;  // held, not answered: the host is busy
            }
            giveUp = Clock::now() + kAwaitNextCall;
        }
    }
    sent_ = 0;
}

bool BusEndpoint::handle(DBusMessage* message) {
    if (server_ == nullptr || dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) {
        return false;
    }
    server_->handleMessage(BusMessage(message), *this);
    return true;
}

// ---- watches and timeouts ---------------------------------------------------------------------

bool BusEndpoint::addWatch(DBusWatch* watch) {
    BusEndpoint* endpoint = this;
    const int fd = dbus_watch_get_unix_fd(watch);
    const unsigned flags = dbus_watch_get_flags(watch);
    Watch entry;
    if ((flags & DBUS_WATCH_READABLE) != 0) {
        entry.read = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(entry.read, &QSocketNotifier::activated, endpoint, [endpoint, watch] {
            // Dispatched right here, so the status callback need not schedule it.
            endpoint->readingWatch_ = true;
            dbus_watch_handle(watch, DBUS_WATCH_READABLE);
            endpoint->readingWatch_ = false;
            endpoint->dispatch();
            endpoint->awaitNextCall();
        });
    }
    if ((flags & DBUS_WATCH_WRITABLE) != 0) {
        entry.write = new QSocketNotifier(fd, QSocketNotifier::Write);
        QObject::connect(entry.write, &QSocketNotifier::activated, endpoint,
                         [watch] { dbus_watch_handle(watch, DBUS_WATCH_WRITABLE); });
    }
    watches_.insert(watch, entry);
    updateWatch(watch);
    return true;
}

void BusEndpoint::removeWatch(DBusWatch* watch) {
    const Watch entry = watches_.take(watch);
    // May run inside the notifier's own signal.
    for (QSocketNotifier* notifier : {entry.read, entry.write}) {
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
}

void BusEndpoint::updateWatch(DBusWatch* watch) {
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

bool BusEndpoint::addTimeout(DBusTimeout* timeout) {
    BusEndpoint* endpoint = this;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, endpoint, [endpoint, timeout] {
        dbus_timeout_handle(timeout);
        endpoint->scheduleDispatch();
    });
    timeouts_.insert(timeout, timer);
    updateTimeout(timeout);
    return true;
}

void BusEndpoint::removeTimeout(DBusTimeout* timeout) {
    if (QTimer* timer = timeouts_.take(timeout)) {
        timer->stop();
        timer->deleteLater();
    }
}

void BusEndpoint::updateTimeout(DBusTimeout* timeout) {
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
