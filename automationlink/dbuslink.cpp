#include "automationlink/dbuslink.h"

namespace quorvel::automationlink {

std::string BusError::name() const {
    return isSet() && error_.name != nullptr ? error_.name : "";
}

std::string BusError::message() const {
    return isSet() && error_.message != nullptr ? error_.message : "";
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
