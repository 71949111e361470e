#include "cadhost/host/busendpoint.h"

#include "automationlink/dbuslink.h"
#include "cadhost/host/watchrelay.h"

#include <QTimer>

#include <dbus/dbus.h>

#include <chrono>

namespace quorvel::cadhost {
namespace {

using automationlink::BusError;

// Long enough for a client to take in an answer and send its next call through the daemon.
constexpr auto kAwaitNextCall = std::chrono::microseconds(200);
// How long calls may keep the event loop waiting at most.
constexpr auto kHandBackToEventLoop = std::chrono::milliseconds(5);

}  // namespace

std::unique_ptr<BusEndpoint> BusEndpoint::connect(const QString& address, QString* error) {
    BusError failure;
    DBusConnection* connection = automationlink::openBus(address.toStdString(), failure);
    if (connection == nullptr) {
        if (error != nullptr) {
            *error = QString::fromStdString(failure.message());
        }
        return nullptr;
    }
    // Losing the bus is noticed by the host itself: a visible host stays for its user.
    std::unique_ptr<BusEndpoint> endpoint(new BusEndpoint(connection));
    endpoint->install();
    return endpoint;
}

std::unique_ptr<BusEndpoint> BusEndpoint::adopt(DBusConnection* connection) {
    dbus_connection_ref(connection);
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
}

void BusEndpoint::install() {
    // Calls are read and answered right here, so the status callback need not schedule them.
    const auto readable = [this](DBusWatch* watch) {
        readingWatch_ = true;
        dbus_watch_handle(watch, DBUS_WATCH_READABLE);
        readingWatch_ = false;
        dispatch();
        awaitNextCall();
    };
    watches_ =
        std::make_unique<WatchRelay>(WatchRelay::Hooks{readable, [this] { scheduleDispatch(); }});
    watches_->installOn(connection_);
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
    BusError failure;
    const int result = dbus_bus_request_name(connection_, name.toUtf8().constData(),
                                             DBUS_NAME_FLAG_DO_NOT_QUEUE, failure.get());
    if (result == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        return true;
    }
    if (error != nullptr) {
        *error = QString::fromStdString(failure.message());
    }
    return false;
}

void BusEndpoint::releaseName(const QString& name) {
    BusError failure;
    dbus_bus_release_name(connection_, name.toUtf8().constData(), failure.get());
}

bool BusEndpoint::isConnected() const {
    return dbus_connection_get_is_connected(connection_);
}

void BusEndpoint::send(const BusMessage& message) {
    if (overflowed_) {
        return;
    }
    // Written at once when the socket takes it; the write watch takes care of the rest.
    dbus_connection_send(connection_, message.raw(), nullptr);
    ++sent_;
    if (queueLimit_ > 0 && dbus_connection_get_outgoing_size(connection_) > queueLimit_) {
        overflowed_ = true;
        dbus_connection_close(connection_);
        emit overflowed();
    }
}

std::optional<uint> BusEndpoint::unixUser(const QString& uniqueName) {
    BusError failure;
    const unsigned long uid =
        dbus_bus_get_unix_user(connection_, uniqueName.toUtf8().constData(), failure.get());
    if (failure.isSet() || uid == static_cast<unsigned long>(-1)) {
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

// A client in a run sends its next call as soon as it has the answer. Where a core stands idle,
// waiting for that call awake for a moment saves putting the thread to sleep and waking it again
// on an idle core, which costs as much as answering; otherwise back to the event loop, which
// sleeps in poll(), at once: waiting awake would take the processor from the client. Bounded, so
// that the window's own events still come through every few milliseconds.
void BusEndpoint::awaitNextCall() {
    if (dispatching_ || sent_ == 0 || !automationlink::coreStandsIdle()) {
        sent_ = 0;
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
    if (overflowed_) {
        return true;  // calls read before the connection was dropped get no answer
    }
    server_->handleMessage(BusMessage(message), *this);
    return true;
}

}  // namespace quorvel::cadhost
