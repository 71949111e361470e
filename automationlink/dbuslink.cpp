#include "automationlink/dbuslink.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace quorvel::automationlink {

std::string BusError::name() const {
    return isSet() && error_.name != nullptr ? error_.name : "";
}

std::string BusError::message() const {
    return isSet() && error_.message != nullptr ? error_.message : "";
}

namespace {

// Runnable threads now, this one included; 0 when unknown.
long runnableThreads() {
    const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[128] = {};
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    // "0.50 0.40 0.30 2/345 6789": the fourth field is runnable/all.
    const char* fourth = got > 0 ? text : nullptr;
    for (int field = 0; fourth != nullptr && field < 3; ++field) {
        fourth = std::strchr(fourth, ' ');
        fourth = fourth != nullptr ? fourth + 1 : nullptr;
    }
    return fourth != nullptr ? std::strtol(fourth, nullptr, 10) : 0;
}

}  // namespace

bool coreStandsIdle() {
    using Clock = std::chrono::steady_clock;
    constexpr auto kLookAgain = std::chrono::milliseconds(20);
    thread_local Clock::time_point lookedAt;
    thread_local bool idle = false;
    const auto now = Clock::now();
    if (now - lookedAt >= kLookAgain) {
        lookedAt = now;
        const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
        const long runnable = runnableThreads();
        // This thread and the other side, each on a core of its own.
        idle = cores > 1 && runnable > 0 && runnable <= cores;
    }
    return idle;
}

DBusConnection* openBus(const std::string& address, BusError& error) {
    DBusConnection* connection = nullptr;
    if (address.empty()) {
        connection = dbus_bus_get_private(DBUS_BUS_SESSION, error.get());
    } else {
        connection = dbus_connection_open_private(address.c_str(), error.get());
        if (connection != nullptr && !dbus_bus_register(connection, error.get())) {
            closeConnection(connection);
            connection = nullptr;
        }
    }
    if (connection != nullptr) {
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
    }
    return connection;
}

DBusConnection* openPeer(const std::string& address, BusError& error) {
    DBusConnection* connection = dbus_connection_open_private(address.c_str(), error.get());
    if (connection != nullptr) {
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
    }
    return connection;
}

void closeConnection(DBusConnection* connection) {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

void appendBasic(DBusMessageIter* iter, int type, const void* value) {
    if (!dbus_message_iter_append_basic(iter, type, value)) {
        throw std::bad_alloc();
    }
}

void appendString(DBusMessageIter* iter, int type, const char* value) {
    appendBasic(iter, type, &value);
}

void appendVariant(DBusMessageIter* iter, int type, const void* value) {
    const char signature[] = {static_cast<char>(type), '\0'};
    appendContainer(iter, DBUS_TYPE_VARIANT, signature,
                    [&](DBusMessageIter* inner) { appendBasic(inner, type, value); });
}

void appendInt16s(DBusMessageIter* iter, const std::int16_t* values, std::size_t count) {
    appendContainer(iter, DBUS_TYPE_ARRAY, DBUS_TYPE_INT16_AS_STRING, [&](DBusMessageIter* array) {
        for (std::size_t i = 0; i < count; ++i) {
            const dbus_int16_t number = values[i];
            appendBasic(array, DBUS_TYPE_INT16, &number);
        }
    });
}

void appendDoubles(DBusMessageIter* iter, const double* values, std::size_t count) {
    appendContainer(iter, DBUS_TYPE_ARRAY, DBUS_TYPE_DOUBLE_AS_STRING, [&](DBusMessageIter* array) {
        for (std::size_t i = 0; i < count; ++i) {
            appendBasic(array, DBUS_TYPE_DOUBLE, &values[i]);
        }
    });
}

bool readBasic(DBusMessageIter* iter, int type, void* value) {
    if (dbus_message_iter_get_arg_type(iter) != type) {
        return false;
    }
    dbus_message_iter_get_basic(iter, value);
    dbus_message_iter_next(iter);
    return true;
}

}  // namespace quorvel::automationlink
