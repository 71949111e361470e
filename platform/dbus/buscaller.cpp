#include "platform/dbus/buscaller.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <chrono>

namespace quorvel::platform::dbus {

namespace {

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

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

}  // namespace

BusCallStatistics& busCallStatistics() {
    static BusCallStatistics statistics;
    return statistics;
}

engine::AutomationError automationErrorFrom(const QDBusError& error) {
    const QString name = error.name();
    if (memberMissing(name)) {
        return engine::AutomationError(
            engine::kErrorMemberNotSupported,
            u"对象不支持该属性或方法（" + error.message().toStdU16String() + u"）");
    }
    if (hostGone(name)) {
        return engine::AutomationError(engine::kErrorAutomation, u"CAD 主机已退出，调用没有完成。");
    }
    const QString message = error.message().isEmpty() ? name : error.message();
    return engine::AutomationError(engine::kErrorAutomation,
                                   u"自动化错误：" + message.toStdU16String());
}

BusCaller::BusCaller(QDBusConnection connection, QString hostName)
    : connection_(std::move(connection)), hostName_(std::move(hostName)) {}

QVariantList BusCaller::call(const QString& path, const char* interface, const char* member,
                             const QVariantList& arguments) const {
    QDBusMessage message = QDBusMessage::createMethodCall(hostName_, path, QLatin1String(interface),
                                                          QLatin1String(member));
    message.setArguments(arguments);
    message.setAutoStartService(false);
    const auto started = std::chrono::steady_clock::now();
    // Block, not BlockWithGui: the runs must not re-enter the event loop mid-run.
    const QDBusMessage reply = connection_.call(message, QDBus::Block, kNoCallTimeout);
    const auto waited = std::chrono::steady_clock::now() - started;
    BusCallStatistics& statistics = busCallStatistics();
    statistics.calls.fetch_add(1, std::memory_order_relaxed);
    statistics.nanoseconds.fetch_add(
        static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(waited).count()),
        std::memory_order_relaxed);

    if (reply.type() == QDBusMessage::ErrorMessage) {
        throw automationErrorFrom(QDBusError(reply));
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        throw automationErrorFrom(connection_.lastError());
    }
    return reply.arguments();
}

QVariant BusCaller::property(const QString& path, const char* interface, const char* name) const {
    const QVariantList answer = call(path, kPropertiesInterface, "Get",
                                     {QString::fromLatin1(interface), QString::fromLatin1(name)});
    if (answer.size() != 1 || !answer.front().canConvert<QDBusVariant>()) {
        throw malformedAnswer();
    }
    return answer.front().value<QDBusVariant>().variant();
}

void BusCaller::setProperty(const QString& path, const char* interface, const char* name,
                            const QVariant& value) const {
    call(path, kPropertiesInterface, "Set",
         {QString::fromLatin1(interface), QString::fromLatin1(name),
          QVariant::fromValue(QDBusVariant(value))});
}

QString objectPathFrom(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        throw malformedAnswer();
    }
    return value.value<QDBusObjectPath>().path();
}

QString textFrom(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QString>()) {
        throw malformedAnswer();
    }
    return value.toString();
}

QStringList objectPathsFrom(const QVariant& value) {
    QList<QDBusObjectPath> paths;
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() != u"ao") {
            throw malformedAnswer();
        }
        argument >> paths;
    } else if (value.metaType() == QMetaType::fromType<QList<QDBusObjectPath>>()) {
        paths = value.value<QList<QDBusObjectPath>>();
    } else {
        throw malformedAnswer();
    }
    QStringList result;
    result.reserve(paths.size());
    for (const QDBusObjectPath& path : paths) {
        result.push_back(path.path());
    }
    return result;
}

}  // namespace quorvel::platform::dbus
