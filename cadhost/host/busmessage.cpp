#include "cadhost/host/busmessage.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

#include "automationlink/dbuslink.h"

#include <dbus/dbus.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace quorvel::cadhost {
namespace {

// The bus daemon drops a connection that sends a message over its limit: 32 MiB unless its
// configuration says otherwise (the session bus usually allows more, up to libdbus's 128 MiB).
// Headers stay well within the room left.
constexpr std::size_t kMaxReplyBody = 31u << 20;

QVariant readValue(DBusMessageIter* iter);

QVariant readBasic(DBusMessageIter* iter, int type) {
    DBusBasicValue value{};
    dbus_message_iter_get_basic(iter, &value);
    switch (type) {
        case DBUS_TYPE_BYTE:
            return QVariant::fromValue(static_cast<uchar>(value.byt));
        case DBUS_TYPE_BOOLEAN:
            return QVariant(value.bool_val != 0);
        case DBUS_TYPE_INT16:
            return QVariant::fromValue(static_cast<short>(value.i16));
        case DBUS_TYPE_UINT16:
            return QVariant::fromValue(static_cast<ushort>(value.u16));
        case DBUS_TYPE_INT32:
            return QVariant(static_cast<int>(value.i32));
        case DBUS_TYPE_UINT32:
            return QVariant(static_cast<uint>(value.u32));
        case DBUS_TYPE_INT64:
            return QVariant(static_cast<qlonglong>(value.i64));
        case DBUS_TYPE_UINT64:
            return QVariant(static_cast<qulonglong>(value.u64));
        case DBUS_TYPE_DOUBLE:
            return QVariant(value.dbl);
        case DBUS_TYPE_STRING:
        case DBUS_TYPE_SIGNATURE:
            return QVariant(QString::fromUtf8(value.str));
        case DBUS_TYPE_OBJECT_PATH:
            return QVariant::fromValue(QDBusObjectPath(QString::fromUtf8(value.str)));
        default:
            return {};
    }
}

QVariant readArray(DBusMessageIter* iter) {
    const int element = dbus_message_iter_get_element_type(iter);
    DBusMessageIter array;
    dbus_message_iter_recurse(iter, &array);
    if (element == DBUS_TYPE_INT16) {
        const auto numbers = automationlink::readArray<dbus_int16_t>(iter, DBUS_TYPE_INT16);
        return QVariant::fromValue(QList<short>(numbers.begin(), numbers.end()));
    }
    if (element == DBUS_TYPE_DOUBLE) {
        const auto numbers = automationlink::readArray<double>(iter, DBUS_TYPE_DOUBLE);
        return QVariant::fromValue(QList<double>(numbers.begin(), numbers.end()));
    }
    if (element == DBUS_TYPE_DICT_ENTRY) {
        QVariantMap map;
        for (; dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_DICT_ENTRY;
             dbus_message_iter_next(&array)) {
            DBusMessageIter entry;
            dbus_message_iter_recurse(&array, &entry);
            const QVariant key = readValue(&entry);
            dbus_message_iter_next(&entry);
            map.insert(key.toString(), readValue(&entry));
        }
        return map;
    }
    QVariantList values;
    for (; dbus_message_iter_get_arg_type(&array) != DBUS_TYPE_INVALID;
         dbus_message_iter_next(&array)) {
        values.push_back(readValue(&array));
    }
    return values;
}

QVariant readValue(DBusMessageIter* iter) {
    const int type = dbus_message_iter_get_arg_type(iter);
    switch (type) {
        case DBUS_TYPE_VARIANT: {
            DBusMessageIter inner;
            dbus_message_iter_recurse(iter, &inner);
            return QVariant::fromValue(QDBusVariant(readValue(&inner)));
        }
        case DBUS_TYPE_ARRAY:
            return readArray(iter);
        case DBUS_TYPE_STRUCT: {
            QVariantList fields;
            DBusMessageIter inner;
            dbus_message_iter_recurse(iter, &inner);
            for (; dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_INVALID;
                 dbus_message_iter_next(&inner)) {
                fields.push_back(readValue(&inner));
            }
            return fields;
        }
        case DBUS_TYPE_UNIX_FD:
            return {};
        default:
            return readBasic(iter, type);
    }
}

// ---- writing ---------------------------------------------------------------------------------

struct Unwritable {};

// Raises Unwritable before anything is written, so that no message is left half built.
QByteArray signatureOf(const QVariant& value) {
    const QMetaType type = value.metaType();
    switch (type.id()) {
        case QMetaType::Bool:
            return DBUS_TYPE_BOOLEAN_AS_STRING;
        case QMetaType::UChar:
            return DBUS_TYPE_BYTE_AS_STRING;
        case QMetaType::Short:
            return DBUS_TYPE_INT16_AS_STRING;
        case QMetaType::UShort:
            return DBUS_TYPE_UINT16_AS_STRING;
        case QMetaType::Int:
            return DBUS_TYPE_INT32_AS_STRING;
        case QMetaType::UInt:
            return DBUS_TYPE_UINT32_AS_STRING;
        case QMetaType::LongLong:
            return DBUS_TYPE_INT64_AS_STRING;
        case QMetaType::ULongLong:
            return DBUS_TYPE_UINT64_AS_STRING;
        case QMetaType::Double:
            return DBUS_TYPE_DOUBLE_AS_STRING;
        case QMetaType::QString:
            return DBUS_TYPE_STRING_AS_STRING;
        case QMetaType::QStringList:
            return "as";
        case QMetaType::QVariantMap:
            for (const QVariant& item : value.toMap()) {
                signatureOf(item);
            }
            return "a{sv}";
        case QMetaType::QVariantList:
            for (const QVariant& item : value.toList()) {
                signatureOf(item);
            }
            return "av";
        default:
            break;
    }
    if (type == QMetaType::fromType<QDBusVariant>()) {
        signatureOf(value.value<QDBusVariant>().variant());
        return DBUS_TYPE_VARIANT_AS_STRING;
    }
    if (type == QMetaType::fromType<QDBusObjectPath>()) {
        return DBUS_TYPE_OBJECT_PATH_AS_STRING;
    }
    if (type == QMetaType::fromType<QList<QDBusObjectPath>>()) {
        return "ao";
    }
    if (type == QMetaType::fromType<QList<short>>()) {
        return "an";
    }
    if (type == QMetaType::fromType<QList<double>>()) {
        return "ad";
    }
    throw Unwritable{};
}

// Writes values into a message, counting its bytes on the wire from above (alignment included)
// and giving up with TooLarge beyond the limit.
class ValueWriter {
public:
    struct TooLarge {};

    explicit ValueWriter(std::size_t limit) : remaining_(limit) {}

    void append(DBusMessageIter* iter, int type, const void* value) {
        spend(8);
        automationlink::appendBasic(iter, type, value);
    }

    void appendText(DBusMessageIter* iter, int type, const QString& text) {
        // A C string ends at the first NUL, so a text holding one is cut there.
        const QByteArray bytes = text.toUtf8();
        spend(static_cast<std::size_t>(bytes.size()));
        const char* data = bytes.constData();
        append(iter, type, &data);
    }

    template <typename Fill>
    void container(DBusMessageIter* iter, int type, const char* signature, Fill&& fill) {
        spend(8);
        automationlink::appendContainer(iter, type, signature, std::forward<Fill>(fill));
    }

    void writeValue(DBusMessageIter* iter, const QVariant& value) {
        if (!writeNumber(iter, value) && !writeTextOrList(iter, value)) {
            writeBusType(iter, value);
        }
    }

private:
    template <typename Number>
    bool appendNumber(DBusMessageIter* iter, int type, Number number) {
        append(iter, type, &number);
        return true;
    }

    // A boolean, a byte, an integer or a double; false for anything else.
    bool writeNumber(DBusMessageIter* iter, const QVariant& value) {
        switch (value.metaType().id()) {
            case QMetaType::Bool:
                return appendNumber<dbus_bool_t>(iter, DBUS_TYPE_BOOLEAN,
                                                 value.toBool() ? TRUE : FALSE);
            case QMetaType::UChar:
                return appendNumber<unsigned char>(iter, DBUS_TYPE_BYTE, value.value<uchar>());
            case QMetaType::Short:
                return appendNumber<dbus_int16_t>(iter, DBUS_TYPE_INT16, value.value<short>());
            case QMetaType::UShort:
                return appendNumber<dbus_uint16_t>(iter, DBUS_TYPE_UINT16, value.value<ushort>());
            case QMetaType::Int:
                return appendNumber<dbus_int32_t>(iter, DBUS_TYPE_INT32, value.toInt());
            case QMetaType::UInt:
                return appendNumber<dbus_uint32_t>(iter, DBUS_TYPE_UINT32, value.toUInt());
            case QMetaType::LongLong:
                return appendNumber<dbus_int64_t>(iter, DBUS_TYPE_INT64, value.toLongLong());
            case QMetaType::ULongLong:
                return appendNumber<dbus_uint64_t>(iter, DBUS_TYPE_UINT64, value.toULongLong());
            case QMetaType::Double:
                return appendNumber<double>(iter, DBUS_TYPE_DOUBLE, value.toDouble());
            default:
                return false;
        }
    }

    // A string, a string list, a map or a list; false for anything else.
    bool writeTextOrList(DBusMessageIter* iter, const QVariant& value) {
        switch (value.metaType().id()) {
            case QMetaType::QString:
                appendText(iter, DBUS_TYPE_STRING, value.toString());
                return true;
            case QMetaType::QStringList:
                container(iter, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, [&](auto* array) {
                    for (const QString& text : value.toStringList()) {
                        appendText(array, DBUS_TYPE_STRING, text);
                    }
                });
                return true;
            case QMetaType::QVariantMap:
                container(iter, DBUS_TYPE_ARRAY, "{sv}", [&](auto* array) {
                    const QVariantMap map = value.toMap();
                    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
                        container(array, DBUS_TYPE_DICT_ENTRY, nullptr, [&](auto* pair) {
                            appendText(pair, DBUS_TYPE_STRING, entry.key());
                            writeValue(pair, QVariant::fromValue(QDBusVariant(entry.value())));
                        });
                    }
                });
                return true;
            case QMetaType::QVariantList:
                container(iter, DBUS_TYPE_ARRAY, DBUS_TYPE_VARIANT_AS_STRING, [&](auto* array) {
                    for (const QVariant& item : value.toList()) {
                        writeValue(array, QVariant::fromValue(QDBusVariant(item)));
                    }
                });
                return true;
            default:
                return false;
        }
    }

    // The bus's own types: a variant, object paths and the number arrays; Unwritable otherwise.
    void writeBusType(DBusMessageIter* iter, const QVariant& value) {
        const QMetaType type = value.metaType();
        if (type == QMetaType::fromType<QDBusVariant>()) {
            const QVariant inner = value.value<QDBusVariant>().variant();
            const QByteArray signature = signatureOf(inner);
            container(iter, DBUS_TYPE_VARIANT, signature.constData(),
                      [&](auto* variant) { writeValue(variant, inner); });
            return;
        }
        if (type == QMetaType::fromType<QDBusObjectPath>()) {
            appendText(iter, DBUS_TYPE_OBJECT_PATH, value.value<QDBusObjectPath>().path());
            return;
        }
        if (type == QMetaType::fromType<QList<QDBusObjectPath>>()) {
            container(iter, DBUS_TYPE_ARRAY, DBUS_TYPE_OBJECT_PATH_AS_STRING, [&](auto* array) {
                for (const QDBusObjectPath& path : value.value<QList<QDBusObjectPath>>()) {
                    appendText(array, DBUS_TYPE_OBJECT_PATH, path.path());
                }
            });
            return;
        }
        if (type == QMetaType::fromType<QList<short>>()) {
            const QList<short> numbers = value.value<QList<short>>();
            const std::vector<std::int16_t> items(numbers.begin(), numbers.end());
            spend(8 * (items.size() + 1));
            automationlink::appendInt16s(iter, items.data(), items.size());
            return;
        }
        if (type == QMetaType::fromType<QList<double>>()) {
            const QList<double> numbers = value.value<QList<double>>();
            spend(8 * (static_cast<std::size_t>(numbers.size()) + 1));
            automationlink::appendDoubles(iter, numbers.constData(),
                                          static_cast<std::size_t>(numbers.size()));
            return;
        }
        throw Unwritable{};
    }

    void spend(std::size_t bytes) {
        if (bytes > remaining_) {
            throw TooLarge{};
        }
        remaining_ -= bytes;
    }

    std::size_t remaining_;
};

DBusMessage* newError(DBusMessage* call, const QString& name, const QString& message) {
    const QByteArray nameBytes = name.toUtf8();
    const QByteArray messageBytes = message.toUtf8();
    const bool validName = dbus_validate_error_name(nameBytes.constData(), nullptr);
    DBusMessage* error = dbus_message_new_error(
        call, validName ? nameBytes.constData() : DBUS_ERROR_FAILED, messageBytes.constData());
    if (error == nullptr) {
        throw std::bad_alloc();
    }
    return error;
}

}  // namespace

BusMessage::BusMessage(DBusMessage* message) : message_(message) {
    if (message_ != nullptr) {
        dbus_message_ref(message_);
    }
}

BusMessage::~BusMessage() {
    if (message_ != nullptr) {
        dbus_message_unref(message_);
    }
}

BusMessage::BusMessage(const BusMessage& other) : BusMessage(other.message_) {}

BusMessage& BusMessage::operator=(const BusMessage& other) {
    BusMessage copy(other);
    std::swap(message_, copy.message_);
    return *this;
}

BusMessage::BusMessage(BusMessage&& other) noexcept
    : message_(std::exchange(other.message_, nullptr)) {}

BusMessage& BusMessage::operator=(BusMessage&& other) noexcept {
    std::swap(message_, other.message_);
    return *this;
}

QString BusMessage::service() const {
    return QString::fromUtf8(dbus_message_get_sender(message_));
}

QString BusMessage::path() const {
    return QString::fromUtf8(dbus_message_get_path(message_));
}

QString BusMessage::interface() const {
    return QString::fromUtf8(dbus_message_get_interface(message_));
}

QString BusMessage::member() const {
    return QString::fromUtf8(dbus_message_get_member(message_));
}

QString BusMessage::signature() const {
    return QString::fromUtf8(dbus_message_get_signature(message_));
}

bool BusMessage::isReplyRequired() const {
    return !dbus_message_get_no_reply(message_);
}

QVariantList BusMessage::arguments() const {
    QVariantList values;
    DBusMessageIter iter;
    if (!dbus_message_iter_init(message_, &iter)) {
        return values;
    }
    for (; dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_INVALID;
         dbus_message_iter_next(&iter)) {
        values.push_back(readValue(&iter));
    }
    return values;
}

BusMessage BusMessage::createReply(const QVariantList& values) const {
    try {
        for (const QVariant& value : values) {
            signatureOf(value);
        }
    } catch (const Unwritable&) {
        return createErrorReply(QStringLiteral(DBUS_ERROR_FAILED),
                                QStringLiteral("回答中有总线无法传送的值。"));
    }
    DBusMessage* reply = dbus_message_new_method_return(message_);
    if (reply == nullptr) {
        throw std::bad_alloc();
    }
    BusMessage message(reply);
    dbus_message_unref(reply);
    DBusMessageIter iter;
    dbus_message_iter_init_append(reply, &iter);
    ValueWriter writer(kMaxReplyBody);
    try {
        for (const QVariant& value : values) {
            writer.writeValue(&iter, value);
        }
    } catch (const ValueWriter::TooLarge&) {
        // Sent anyway, it would make the bus daemon drop this connection.
        return createErrorReply(QStringLiteral(DBUS_ERROR_LIMITS_EXCEEDED),
                                QStringLiteral("回答超过总线单条消息的上限（%1 MB），未发送。")
                                    .arg(kMaxReplyBody >> 20));
    }
    return message;
}

BusMessage BusMessage::createReply(const QVariant& value) const {
    return createReply(QVariantList{value});
}

BusMessage BusMessage::createErrorReply(const QString& name, const QString& message) const {
    constexpr qsizetype kMaxErrorText = 4096;
    DBusMessage* error =
        newError(message_, name,
                 message.size() > kMaxErrorText ? message.left(kMaxErrorText) + u'…' : message);
    BusMessage answer(error);
    dbus_message_unref(error);
    return answer;
}

}  // namespace quorvel::cadhost
