#pragma once
// What the host offers on the bus, object kind by object kind: the interfaces, their methods
// and properties. The bus server dispatches by these tables and introspection is generated from
// them, so a member that is not listed answers with the D-Bus "unknown" errors. Release R14
// lacks the documents collection and SendCommand.

#include "automationlink/contract.h"
#include "cadhost/host/hostmodel.h"

#include <QString>

#include <optional>
#include <vector>

namespace quorvel::cadhost {

using automationlink::kApplicationPath;
using automationlink::kBusName;

struct BusArgument {
    const char* name;
    const char* type;
    bool out = false;
};

struct BusMethod {
    const char* name;
    std::vector<BusArgument> arguments;
    QString inSignature() const;
};

struct BusProperty {
    const char* name;
    const char* type;
    bool writable = false;
};

struct BusInterface {
    const char* name;
    std::vector<BusMethod> methods;
    std::vector<BusProperty> properties;

    const BusMethod* method(const QString& name) const;
    const BusProperty* property(const QString& name) const;
};

enum class ObjectKind {
    Application,
    Documents,
    Document,
    ModelSpace,
    PaperSpace,
    Utility,
    SelectionSets,
    SelectionSet,
    Entity,
};

// An object named by a path. Which fields count depends on the kind.
struct ObjectRef {
    ObjectKind kind = ObjectKind::Application;
    int document = 0;
    int selectionSet = 0;
    int load = 0;
    dxf::EntityId entity = 0;
};

std::optional<ObjectRef> parseObjectPath(const QString& path);

QString documentPath(int document);
QString selectionSetPath(int document, int selectionSet);
QString entityPath(int document, int load, dxf::EntityId entity);

// The interfaces an object of that kind offers under the release; text entities get the Text
// interface as well.
std::vector<const BusInterface*> interfacesOf(ObjectKind kind, Release release, bool textEntity);

// Introspection data: the interfaces, then the standard ones, then child nodes.
QString introspectionXml(const std::vector<const BusInterface*>& interfaces,
                         const QStringList& children);

}  // namespace quorvel::cadhost
