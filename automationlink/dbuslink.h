#pragma once
// libdbus as Quorvel and cad-host both use it: private connections, errors that free themselves,
// and writing and reading the values their calls carry. Failing to allocate throws
// std::bad_alloc; each side turns that into its own kind of failure.

#include <dbus/dbus.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace quorvel::automationlink {

// A DBusError that is freed with its owner.
class BusError {
public:
    BusError() { dbus_error_init(&error_); }
    ~BusError() { dbus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    DBusError* get() { return &error_; }
    bool isSet() const { return dbus_error_is_set(&error_); }
    // Both empty when nothing went wrong.
    std::string name() const;
    std::string message() const;

private:
    DBusError error_;
};

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using OwnedMessage = std::unique_ptr<DBusMessage, MessageUnref>;

// Whether a core stands idle now, so that a side waiting for a quick answer or the next call may
// wait awake for a moment instead of sleeping: waking a sleeping thread on an idle core costs more
// than a quick call, but waiting awake where no core is free takes the processor from the other
// side. From the kernel's count of runnable threads, looked at every few milliseconds.
bool coreStandsIdle();

// A private connection to the session bus for an empty address, otherwise to the bus at address,
// registered there. Losing it fails calls but never ends the program. Null, with error set, when
// it cannot be reached.
DBusConnection* openBus(const std::string& address, BusError& error);
// A direct connection to one peer, with no bus daemon between.
DBusConnection* openPeer(const std::string& address, BusError& error);
// Closes a connection opened above and drops its reference.
void closeConnection(DBusConnection* connection);

// ---- writing ----------------------------------------------------------------------------------

void appendBasic(DBusMessageIter* iter, int type, const void* value);
// A string or object path; value ends at its first NUL.
void appendString(DBusMessageIter* iter, int type, const char* value);

// Runs fill(DBusMessageIter*) inside a container opened on iter.
template <typename Fill>
void appendContainer(DBusMessageIter* iter, int type, const char* signature, Fill&& fill) {
    DBusMessageIter inner;
    if (!dbus_message_iter_open_container(iter, type, signature, &inner)) {
        throw std::bad_alloc();
    }
    fill(&inner);
    if (!dbus_message_iter_close_container(iter, &inner)) {
        throw std::bad_alloc();
    }
}

// A variant holding one basic value of the given type.
void appendVariant(DBusMessageIter* iter, int type, const void* value);
void appendInt16s(DBusMessageIter* iter, const std::int16_t* values, std::size_t count);
void appendDoubles(DBusMessageIter* iter, const double* values, std::size_t count);

// ---- reading ----------------------------------------------------------------------------------

// Reads the basic value iter stands on into value and steps on; false, reading nothing, when it
// is of another type.
bool readBasic(DBusMessageIter* iter, int type, void* value);

// The elements of the array iter stands on, as far as they are of elementType; T is the libdbus
// type for it (const char* for strings and object paths). Does not step on.
template <typename T>
std::vector<T> readArray(DBusMessageIter* iter, int elementType) {
    std::vector<T> values;
    DBusMessageIter array;
    dbus_message_iter_recurse(iter, &array);
    for (; dbus_message_iter_get_arg_type(&array) == elementType; dbus_message_iter_next(&array)) {
        T value{};
        dbus_message_iter_get_basic(&array, &value);
        values.push_back(value);
    }
    return values;
}

}  // namespace quorvel::automationlink
