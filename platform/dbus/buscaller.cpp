#include "platform/dbus/buscaller.h"

#include "automationlink/dbuslink.h"

#include <dbus/dbus.h>
#include <algorithm>
#include <chrono>
#include <new>
#include <type_traits>
#include <variant>

namespace quorvel::platform::dbus {

using automationlink::appendBasic;
using automationlink::appendContainer;
using automationlink::appendVariant;
using automationlink::BusError;
using automationlink::OwnedMessage;
using automationlink::readBasic;

namespace {

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
// Longer than a quick call's round trip, short against a call that opens or saves a drawing.
constexpr auto kAwaitAnswer = std::chrono::microseconds(150);
constexpr int kSleepyCallsAfterMiss = 32;

bool memberMissing(const QString& errorName) {
    return errorName == u"org.freedesktop.DBus.Error.UnknownMethod" ||
           errorName == u"org.freedesktop.DBus.Error.UnknownProperty" ||
           errorName == u"org.freedesktop.DBus.Error.UnknownInterface";
}

// Errors of the bus itself come with English texts; the user gets a Chinese one.
bool hostGone(const QString& errorName) {
    return errorName == u"org.freedesktop.DBus.Error.NoReply" ||
           errorName == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
           errorName == u"org.freedesktop.DBus.Error.NameHasNoOwner" ||
           errorName == u"org.freedesktop.DBus.Error.Disconnected" ||
           errorName == u"org.freedesktop.DBus.Error.Timeout" ||
           errorName == u"org.freedesktop.DBus.Error.TimedOut";
}

engine::AutomationError malformedAnswer() {
    return engine::AutomationError(engine::kErrorAutomation, u"CAD 主机的回答格式不对。");
}

[[noreturn]] void outOfMemory() {
    throw engine::AutomationError(engine::kErrorAutomation, u"内存不足，无法调用 CAD 主机。");
}

// Texts go out as UTF-8, which may not hold a NUL.
QByteArray utf8(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0')) {
        throw engine::AutomationError(engine::kErrorAutomation,
                                      u"文字中含有空字符，不能传给 CAD 主机。");
    }
    return bytes;
}

void appendText(DBusMessageIter* iter, const QString& value) {
    automationlink::appendString(iter, DBUS_TYPE_STRING, utf8(value).constData());
}

}  // namespace

BusCallStatistics& busCallStatistics() {
    static BusCallStatistics statistics;
    return statistics;
}

engine::AutomationError automationErrorFrom(const QString& name, const QString& message) {
    if (memberMissing(name)) {
        return engine::AutomationError(
            engine::kErrorMemberNotSupported,
            u"对象不支持该属性或方法（" + message.toStdU16String() + u"）");
    }
    if (hostGone(name)) {
        return engine::AutomationError(engine::kErrorAutomation, u"CAD 主机已退出，调用没有完成。");
    }
    const QString text = message.isEmpty() ? name : message;
    return engine::AutomationError(engine::kErrorAutomation,
                                   u"自动化错误：" + text.toStdU16String());
}

// ---- arguments --------------------------------------------------------------------------------

MessageWriter::MessageWriter(DBusMessage* message) : iter_(std::make_unique<DBusMessageIter>()) {
    dbus_message_iter_init_append(message, iter_.get());
}

MessageWriter::~MessageWriter() = default;

MessageWriter& MessageWriter::text(const QString& value) {
    appendText(iter_.get(), value);
    return *this;
}

MessageWriter& MessageWriter::boolean(bool value) {
    const dbus_bool_t flag = value ? TRUE : FALSE;
    appendBasic(iter_.get(), DBUS_TYPE_BOOLEAN, &flag);
    return *this;
}

MessageWriter& MessageWriter::int32(std::int32_t value) {
    const dbus_int32_t number = value;
    appendBasic(iter_.get(), DBUS_TYPE_INT32, &number);
    return *this;
}

MessageWriter& MessageWriter::uint32(std::uint32_t value) {
    const dbus_uint32_t number = value;
    appendBasic(iter_.get(), DBUS_TYPE_UINT32, &number);
    return *this;
}

MessageWriter& MessageWriter::int16s(const std::vector<std::int16_t>& values) {
    automationlink::appendInt16s(iter_.get(), values.data(), values.size());
    return *this;
}

MessageWriter& MessageWriter::variantText(const QString& value) {
    const QByteArray bytes = utf8(value);
    const char* data = bytes.constData();
    appendVariant(iter_.get(), DBUS_TYPE_STRING, &data);
    return *this;
}

MessageWriter& MessageWriter::variantBoolean(bool value) {
    const dbus_bool_t flag = value ? TRUE : FALSE;
    appendVariant(iter_.get(), DBUS_TYPE_BOOLEAN, &flag);
    return *this;
}

MessageWriter& MessageWriter::variantReal(double value) {
    appendVariant(iter_.get(), DBUS_TYPE_DOUBLE, &value);
    return *this;
}

MessageWriter& MessageWriter::variantReals(const std::vector<double>& values) {
    appendContainer(iter_.get(), DBUS_TYPE_VARIANT, "ad", [&](DBusMessageIter* inner) {
        automationlink::appendDoubles(inner, values.data(), values.size());
    });
    return *this;
}

// A filter value as a variant of its own type.
void appendFilterValue(DBusMessageIter* array, const engine::FilterValue& value) {
    std::visit(
        [&](const auto& alternative) {
            using T = std::decay_t<decltype(alternative)>;
            if constexpr (std::is_same_v<T, std::u16string>) {
                const QByteArray bytes = utf8(QString::fromStdU16String(alternative));
                const char* data = bytes.constData();
                appendVariant(array, DBUS_TYPE_STRING, &data);
            } else if constexpr (std::is_same_v<T, std::int16_t>) {
                const dbus_int16_t number = alternative;
                appendVariant(array, DBUS_TYPE_INT16, &number);
            } else if constexpr (std::is_same_v<T, std::int32_t>) {
                const dbus_int32_t number = alternative;
                appendVariant(array, DBUS_TYPE_INT32, &number);
            } else {
                const double number = alternative;
                appendVariant(array, DBUS_TYPE_DOUBLE, &number);
            }
        },
        value);
}

MessageWriter& MessageWriter::variants(const std::vector<engine::FilterValue>& values) {
    appendContainer(iter_.get(), DBUS_TYPE_ARRAY, DBUS_TYPE_VARIANT_AS_STRING,
                    [&](DBusMessageIter* array) {
                        for (const engine::FilterValue& value : values) {
                            appendFilterValue(array, value);
                        }
                    });
    return *this;
}

MessageWriter& MessageWriter::textMap(const std::vector<std::pair<QString, QString>>& entries) {
    appendContainer(iter_.get(), DBUS_TYPE_ARRAY, "{ss}", [&](DBusMessageIter* array) {
        for (const auto& [key, value] : entries) {
            appendContainer(array, DBUS_TYPE_DICT_ENTRY, nullptr, [&](DBusMessageIter* entry) {
                appendText(entry, key);
                appendText(entry, value);
            });
        }
    });
    return *this;
}

MessageReader::MessageReader(DBusMessage* message)
    : iter_(std::make_unique<DBusMessageIter>()), current_(iter_.get()) {
    if (!dbus_message_iter_init(message, iter_.get())) {
        // No arguments: every read below finds DBUS_TYPE_INVALID.
    }
}

MessageReader::~MessageReader() = default;

void MessageReader::next() {
    dbus_message_iter_next(current_);
}

QString MessageReader::text() {
    const char* value = nullptr;
    if (!readBasic(current_, DBUS_TYPE_STRING, &value)) {
        throw malformedAnswer();
    }
    return QString::fromUtf8(value);
}

QString MessageReader::objectPath() {
    const char* value = nullptr;
    if (!readBasic(current_, DBUS_TYPE_OBJECT_PATH, &value)) {
        throw malformedAnswer();
    }
    return QString::fromUtf8(value);
}

QStringList MessageReader::objectPaths() {
    if (dbus_message_iter_get_arg_type(current_) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(current_) != DBUS_TYPE_OBJECT_PATH) {
        throw malformedAnswer();
    }
    QStringList paths;
    for (const char* path :
         automationlink::readArray<const char*>(current_, DBUS_TYPE_OBJECT_PATH)) {
        paths.push_back(QString::fromUtf8(path));
    }
    next();
    return paths;
}

std::uint32_t MessageReader::uint32() {
    dbus_uint32_t value = 0;
    if (!readBasic(current_, DBUS_TYPE_UINT32, &value)) {
        throw malformedAnswer();
    }
    return value;
}

MessageReader& MessageReader::variant() {
    if (dbus_message_iter_get_arg_type(current_) != DBUS_TYPE_VARIANT) {
        throw malformedAnswer();
    }
    inner_ = std::make_unique<DBusMessageIter>();
    dbus_message_iter_recurse(current_, inner_.get());
    current_ = inner_.get();
    return *this;
}

// ---- connection -------------------------------------------------------------------------------

std::shared_ptr<BusConnection> BusConnection::open(const QString& address) {
    BusError error;
    DBusConnection* connection = automationlink::openBus(address.toStdString(), error);
    if (connection == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<BusConnection>(new BusConnection(connection));
}

std::shared_ptr<BusConnection> BusConnection::openPeer(const QString& address) {
    BusError error;
    DBusConnection* connection = automationlink::openPeer(address.toStdString(), error);
    if (connection == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<BusConnection>(new BusConnection(connection));
}

BusConnection::~BusConnection() {
    automationlink::closeConnection(connection_);
}

bool BusConnection::isConnected() const {
    return dbus_connection_get_is_connected(connection_);
}

DBusMessage* BusConnection::newCall(const QString& destination, const QString& path,
                                    const char* interface, const char* member,
                                    const WriteArguments& write) const {
    const QByteArray destinationBytes = destination.toUtf8();
    const QByteArray pathBytes = path.toUtf8();
    // No destination on a direct connection: the peer is the one it goes to.
    const bool direct = destination.isEmpty();
    if ((!direct && !dbus_validate_bus_name(destinationBytes.constData(), nullptr)) ||
        !dbus_validate_path(pathBytes.constData(), nullptr)) {
        throw malformedAnswer();
    }
    DBusMessage* message = dbus_message_new_method_call(
        direct ? nullptr : destinationBytes.constData(), pathBytes.constData(), interface, member);
    if (message == nullptr) {
        outOfMemory();
    }
    OwnedMessage owned(message);
    dbus_message_set_auto_start(message, FALSE);
    if (write) {
        MessageWriter writer(message);
        try {
            write(writer);
        } catch (const std::bad_alloc&) {
            outOfMemory();
        }
    }
    return owned.release();
}

// Nothing else is asked for on this connection; what the bus sends on its own (the greeting
// signals) is thrown away so that it does not pile up.
void BusConnection::dropUnexpected() const {
    while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
        dbus_message_unref(message);
    }
}

// The answer to a quick call comes back within a few tens of microseconds. Where a core stands
// idle, waiting for it awake for a moment saves putting the thread to sleep and waking it again on
// an idle core, which costs more than the call itself; otherwise the thread sleeps in poll() at
// once, for waiting awake would take the processor from the host. Past the moment the wait sleeps
// without a time limit. When the host did not answer in time (a slow call), the next calls sleep
// at once for a while.
void BusConnection::awaitAnswer(DBusPendingCall* pending, unsigned serial) const {
    using Clock = std::chrono::steady_clock;
    if (sleepyCalls_ > 0 || !automationlink::coreStandsIdle()) {
        sleepyCalls_ = std::max(0, sleepyCalls_ - 1);
        dbus_pending_call_block(pending);
        return;
    }
    const auto giveUp = Clock::now() + kAwaitAnswer;
    bool answered = false;
    while (!answered && Clock::now() < giveUp && dbus_connection_read_write(connection_, 0)) {
        DBusMessage* first = dbus_connection_borrow_message(connection_);
        if (first == nullptr) {
            continue;
        }
        answered = dbus_message_get_reply_serial(first) == serial;
        if (answered) {
            dbus_connection_return_message(connection_, first);
        } else {
            // Nothing but answers is asked for here; the rest would be thrown away afterwards.
            dbus_connection_steal_borrowed_message(connection_, first);
            dbus_message_unref(first);
        }
    }
    if (!answered) {
        sleepyCalls_ = kSleepyCallsAfterMiss;
    }
    dbus_pending_call_block(pending);
}

// What dbus_connection_send_with_reply_and_block does, with the awake wait in front.
DBusMessage* BusConnection::sendAndAwait(DBusMessage* message, DBusError* error) const {
    DBusPendingCall* pending = nullptr;
    if (!dbus_connection_send_with_reply(connection_, message, &pending, DBUS_TIMEOUT_INFINITE)) {
        outOfMemory();
    }
    if (pending == nullptr) {
        dbus_set_error(error, DBUS_ERROR_DISCONNECTED,
                       "Connection was disconnected before a reply was received");
        return nullptr;
    }
    awaitAnswer(pending, dbus_message_get_serial(message));
    DBusMessage* reply = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
    if (reply != nullptr && dbus_set_error_from_message(error, reply)) {
        dbus_message_unref(reply);
        return nullptr;
    }
    return reply;
}

bool BusConnection::tryCall(const QString& destination, const QString& path, const char* interface,
                            const char* member, const WriteArguments& write, const ReadAnswer& read,
                            QString* errorName, QString* errorMessage) const {
    const OwnedMessage message(newCall(destination, path, interface, member, write));
    BusError error;
    const auto started = std::chrono::steady_clock::now();
    const OwnedMessage reply(sendAndAwait(message.get(), error.get()));
    const auto waited = std::chrono::steady_clock::now() - started;
    BusCallStatistics& statistics = busCallStatistics();
    statistics.calls.fetch_add(1, std::memory_order_relaxed);
    statistics.nanoseconds.fetch_add(
        static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(waited).count()),
        std::memory_order_relaxed);
    dropUnexpected();

    if (!reply) {
        *errorName = error.isSet() ? QString::fromStdString(error.name())
                                   : QStringLiteral(DBUS_ERROR_DISCONNECTED);
        *errorMessage = QString::fromStdString(error.message());
        return false;
    }
    if (read) {
        MessageReader reader(reply.get());
        read(reader);
    }
    return true;
}

void BusConnection::call(const QString& destination, const QString& path, const char* interface,
                         const char* member, const WriteArguments& write,
                         const ReadAnswer& read) const {
    QString errorName;
    QString errorMessage;
    if (!tryCall(destination, path, interface, member, write, read, &errorName, &errorMessage)) {
        throw automationErrorFrom(errorName, errorMessage);
    }
}

void BusConnection::send(const QString& destination, const QString& path, const char* interface,
                         const char* member, const WriteArguments& write) const {
    const OwnedMessage message(newCall(destination, path, interface, member, write));
    dbus_message_set_no_reply(message.get(), TRUE);
    if (!dbus_connection_send(connection_, message.get(), nullptr)) {
        outOfMemory();
    }
    dbus_connection_flush(connection_);
}

bool BusConnection::callDaemon(const char* member, const WriteArguments& write,
                               const ReadAnswer& read, QString* errorName,
                               QString* errorMessage) const {
    QString name;
    QString message;
    const bool answered = tryCall(QStringLiteral(DBUS_SERVICE_DBUS), QStringLiteral(DBUS_PATH_DBUS),
                                  DBUS_INTERFACE_DBUS, member, write, read, &name, &message);
    if (errorName != nullptr) {
        *errorName = name;
    }
    if (errorMessage != nullptr) {
        *errorMessage = message;
    }
    return answered;
}

// ---- caller -----------------------------------------------------------------------------------

BusCaller::BusCaller(std::shared_ptr<const BusConnection> connection, QString hostName)
    : connection_(std::move(connection)), hostName_(std::move(hostName)) {}

void BusCaller::call(const QString& path, const char* interface, const char* member,
                     const WriteArguments& write, const ReadAnswer& read) const {
    connection_->call(hostName_, path, interface, member, write, read);
}

void BusCaller::property(const QString& path, const char* interface, const char* name,
                         const ReadAnswer& read) const {
    call(
        path, kPropertiesInterface, "Get",
        [&](MessageWriter& writer) {
            writer.text(QLatin1String(interface)).text(QLatin1String(name));
        },
        [&](MessageReader& reader) { read(reader.variant()); });
}

void BusCaller::setProperty(const QString& path, const char* interface, const char* name,
                            const WriteArguments& writeValue) const {
    call(path, kPropertiesInterface, "Set", [&](MessageWriter& writer) {
        writer.text(QLatin1String(interface)).text(QLatin1String(name));
        writeValue(writer);
    });
}

}  // namespace quorvel::platform::dbus
