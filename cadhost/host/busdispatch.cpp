#include "cadhost/host/busdispatch.h"

#include "cadhost/host/hosterror.h"

#include <QDBusVariant>
#include <QVariantMap>

#include <algorithm>

namespace quorvel::cadhost {
namespace {

const QString kIntrospectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

const BusProperty* findProperty(const std::vector<const BusInterface*>& interfaces,
                                const QString& interfaceName, const QString& name) {
    for (const BusInterface* candidate : interfaces) {
        if (!interfaceName.isEmpty() && interfaceName != QLatin1String(candidate->name)) {
            continue;
        }
        if (const BusProperty* property = candidate->property(name)) {
            return property;
        }
    }
    if (!interfaceName.isEmpty() &&
        std::none_of(interfaces.begin(), interfaces.end(), [&](auto* candidate) {
            return interfaceName == QLatin1String(candidate->name);
        })) {
        failWith("UnknownInterface", QStringLiteral("没有接口“%1”。").arg(interfaceName));
    }
    failWith("UnknownProperty", QStringLiteral("没有属性“%1”。").arg(name));
}

BusMessage answerProperties(const BusMessage& message, const BusObjectAccess& object,
                            const QVariantList& args) {
    const QString member = message.member();
    if (member == u"Get" && message.signature() == u"ss") {
        findProperty(object.interfaces, args[0].toString(), args[1].toString());
        const QVariant value = object.get(args[1].toString());
        return message.createReply(QVariant::fromValue(QDBusVariant(value)));
    }
    if (member == u"Set" && message.signature() == u"ssv") {
        const BusProperty* property =
            findProperty(object.interfaces, args[0].toString(), args[1].toString());
        if (!property->writable) {
            failWith("PropertyReadOnly",
                     QStringLiteral("属性“%1”是只读的。").arg(args[1].toString()));
        }
        object.set(args[1].toString(), unwrapVariant(args[2]));
        return message.createReply();
    }
    if (member == u"GetAll" && message.signature() == u"s") {
        const QString interfaceName = args[0].toString();
        QVariantMap values;
        bool found = interfaceName.isEmpty();
        for (const BusInterface* candidate : object.interfaces) {
            if (!interfaceName.isEmpty() && interfaceName != QLatin1String(candidate->name)) {
                continue;
            }
            found = true;
            for (const BusProperty& property : candidate->properties) {
                try {
                    values.insert(QLatin1String(property.name),
                                  object.get(QLatin1String(property.name)));
                } catch (const core::HostError&) {
                    // a value that cannot be had now (no active document) is left out
                }
            }
        }
        if (!found) {
            failWith("UnknownInterface", QStringLiteral("没有接口“%1”。").arg(interfaceName));
        }
        return message.createReply(QVariant::fromValue(values));
    }
    if (member == u"Get" || member == u"Set" || member == u"GetAll") {
        failWith("InvalidArgs", QStringLiteral("“%1”的参数类型不对。").arg(member));
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

const BusMethod& findMethod(const std::vector<const BusInterface*>& interfaces,
                            const QString& interface, const QString& member) {
    const BusMethod* method = nullptr;
    if (interface.isEmpty()) {
        for (const BusInterface* candidate : interfaces) {
            method = candidate->method(member);
            if (method != nullptr) {
                break;
            }
        }
    } else {
        const auto found = std::find_if(interfaces.begin(), interfaces.end(), [&](auto* candidate) {
            return interface == QLatin1String(candidate->name);
        });
        if (found == interfaces.end()) {
            failWith("UnknownInterface", QStringLiteral("没有接口“%1”。").arg(interface));
        }
        method = (*found)->method(member);
    }
    if (method == nullptr) {
        failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
    }
    return *method;
}

}  // namespace

void failWith(const char* name, const QString& message) {
    throw BusFailure{QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(name), message};
}

QVariant unwrapVariant(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return value.value<QDBusVariant>().variant();
    }
    return value;
}

BusMessage dispatchCall(const BusMessage& message, const BusObjectAccess& object) {
    const QString interface = message.interface();
    const QString member = message.member();
    if (interface == kIntrospectable || (interface.isEmpty() && member == u"Introspect")) {
        if (member != u"Introspect" || !message.signature().isEmpty()) {
            failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
        }
        return message.createReply(introspectionXml(object.interfaces, object.children()));
    }
    const QVariantList args = message.arguments();
    if (interface == kProperties) {
        return answerProperties(message, object, args);
    }
    const BusMethod& method = findMethod(object.interfaces, interface, member);
    if (message.signature() != method.inSignature()) {
        failWith("InvalidArgs", QStringLiteral("“%1”的参数应为“%2”，收到的是“%3”。")
                                    .arg(member, method.inSignature(), message.signature()));
    }
    return message.createReply(object.call(member, args));
}

}  // namespace quorvel::cadhost
