#pragma once
// The half of answering a call that knows nothing of drawings: introspection, the standard
// Properties interface, and finding the method a call names in the interface tables, with its
// argument check. What the object then does is the object model's business.

#include "cadhost/host/busmessage.h"
#include "cadhost/host/busprotocol.h"

#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

namespace quorvel::cadhost {

// A failure answered with one of the standard D-Bus error names.
struct BusFailure {
    QString name;
    QString message;
};

// Raises BusFailure for "org.freedesktop.DBus.Error." followed by name.
[[noreturn]] void failWith(const char* name, const QString& message);

// Unwraps a variant argument as it is read off the bus.
QVariant unwrapVariant(const QVariant& value);

// One object as the dispatch sees it: what it offers and how its members are reached.
struct BusObjectAccess {
    std::vector<const BusInterface*> interfaces;
    std::function<QStringList()> children;
    std::function<QVariant(const QString& name)> get;
    std::function<void(const QString& name, const QVariant& value)> set;
    std::function<QVariantList(const QString& member, const QVariantList& args)> call;
};

// The answer to a call on that object; failures are raised, not answered.
BusMessage dispatchCall(const BusMessage& message, const BusObjectAccess& object);

}  // namespace quorvel::cadhost
