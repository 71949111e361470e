#include "cadhost/host/busprotocol.h"

namespace quorvel::cadhost {
namespace {

namespace link = automationlink;

const BusMethod kOpenDirectConnection{link::application::kOpenDirectConnection,
                                      {{"address", "s", true}}};

// The older generation has no documents collection.
const BusInterface kApplicationR14{
    automationlink::kApplicationInterface,
    {kOpenDirectConnection},
    {{link::application::kVisible, "b", true},
     {link::application::kCaption, "s"},
     {link::application::kFullName, "s"},
     {"Release", "s"},
     {link::application::kActiveDocument, "o"}},
};

const BusInterface kApplication = [] {
    BusInterface application = kApplicationR14;
    application.properties.push_back({link::application::kDocuments, "o"});
    return application;
}();

const BusInterface kWindows{
    automationlink::kWindowsInterface,
    {{link::windows::kActivateWindow, {{"title", "s"}}},
     {link::windows::kSendKeys, {{"keys", "s"}}}},
    {},
};

const BusInterface kDocuments{
    automationlink::kDocumentsInterface,
    {{"Item", {{"index", "i"}, {"document", "o", true}}},
     {link::documents::kAdd, {{"templatePath", "s"}, {"document", "o", true}}},
     {link::documents::kOpen, {{"path", "s"}, {"document", "o", true}}}},
    {{"Count", "i"}},
};

const BusMethod kOpenIntoDocument{link::document::kOpen, {{"path", "s"}, {"document", "o", true}}};
const BusMethod kSendCommand{link::document::kSendCommand, {{"text", "s"}}};
const BusMethod kGetVariable{"GetVariable", {{"name", "s"}, {"value", "v", true}}};
const BusMethod kClose{link::document::kClose, {{"saveChanges", "b"}}};
const std::vector<BusProperty> kDocumentProperties{
    {"Name", "s"},
    {"FullName", "s"},
    {"Saved", "b"},
    {link::document::kModelSpace, "o"},
    {link::document::kPaperSpace, "o"},
    {link::document::kUtility, "o"},
    {link::document::kSelectionSets, "o"},
};

const BusInterface kDocument{
    automationlink::kDocumentInterface,
    {kOpenIntoDocument, kSendCommand, kGetVariable, kClose},
    kDocumentProperties,
};

// The older generation types its commands instead.
const BusInterface kDocumentR14{
    automationlink::kDocumentInterface,
    {kOpenIntoDocument, kGetVariable, kClose},
    kDocumentProperties,
};

const BusInterface kSpace{automationlink::kSpaceInterface, {}, {{"Name", "s"}, {"Count", "i"}}};

const BusInterface kUtility{automationlink::kUtilityInterface, {}, {{"Document", "o"}}};

const BusInterface kSelectionSets{
    automationlink::kSelectionSetsInterface,
    {{link::selectionsets::kAdd, {{"name", "s"}, {"selectionSet", "o", true}}}},
    {{"Count", "i"}},
};

const BusInterface kSelectionSet{
    automationlink::kSelectionSetInterface,
    {{link::selectionset::kSelect,
      {{"mode", "i"},
       {"corner1", "v"},
       {"corner2", "v"},
       {"filterTypes", "an"},
       {"filterValues", "av"}}},
     {"Item", {{"index", "i"}, {"entity", "o", true}}},
     {link::selectionset::kEntities, {{"entities", "ao", true}}}},
    {{"Name", "s"}, {"Count", "i"}},
};

const BusInterface kEntity{
    automationlink::kEntityInterface,
    {{link::entity::kCopy, {{"copy", "o", true}}}, {link::entity::kErase, {}}},
    {{"ObjectName", "s"}, {"Handle", "s"}, {"Layer", "s"}},
};

const BusInterface kText{
    automationlink::kTextInterface,
    {},
    {{link::textentity::kTextString, "s", true}, {link::textentity::kHeight, "d", true}},
};

const QString kDocumentsPrefix = QStringLiteral("/Application/Documents/D");

bool readNumber(QStringView text, int& number) {
    if (text.isEmpty() || text.size() > 9 || text.startsWith(u'0')) {
        return false;
    }
    bool ok = false;
    number = text.toInt(&ok);
    return ok && number > 0;
}

}  // namespace

QString BusMethod::inSignature() const {
    QString signature;
    for (const BusArgument& argument : arguments) {
        if (!argument.out) {
            signature += QLatin1String(argument.type);
        }
    }
    return signature;
}

const BusMethod* BusInterface::method(const QString& wanted) const {
    for (const BusMethod& m : methods) {
        if (wanted == QLatin1String(m.name)) {
            return &m;
        }
    }
    return nullptr;
}

const BusProperty* BusInterface::property(const QString& wanted) const {
    for (const BusProperty& p : properties) {
        if (wanted == QLatin1String(p.name)) {
            return &p;
        }
    }
    return nullptr;
}

std::optional<ObjectRef> parseObjectPath(const QString& path) {
    if (path == QLatin1String(kApplicationPath)) {
        return ObjectRef{ObjectKind::Application};
    }
    if (path == u"/Application/Documents") {
        return ObjectRef{ObjectKind::Documents};
    }
    if (!path.startsWith(kDocumentsPrefix)) {
        return std::nullopt;
    }
    const QStringView rest = QStringView(path).mid(kDocumentsPrefix.size());
    const QList<QStringView> parts = rest.split(u'/');
    ObjectRef ref;
    if (!readNumber(parts[0], ref.document)) {
        return std::nullopt;
    }
    if (parts.size() == 1) {
        ref.kind = ObjectKind::Document;
        return ref;
    }
    if (parts.size() == 2) {
        if (parts[1] == u"ModelSpace") {
            ref.kind = ObjectKind::ModelSpace;
        } else if (parts[1] == u"PaperSpace") {
            ref.kind = ObjectKind::PaperSpace;
        } else if (parts[1] == u"Utility") {
            ref.kind = ObjectKind::Utility;
        } else if (parts[1] == u"SelectionSets") {
            ref.kind = ObjectKind::SelectionSets;
        } else {
            return std::nullopt;
        }
        return ref;
    }
    if (parts.size() != 3) {
        return std::nullopt;
    }
    if (parts[1] == u"SelectionSets" && parts[2].startsWith(u'S')) {
        ref.kind = ObjectKind::SelectionSet;
        if (!readNumber(parts[2].mid(1), ref.selectionSet)) {
            return std::nullopt;
        }
        return ref;
    }
    if (parts[1] == u"Entities" && parts[2].startsWith(u'E')) {
        const QStringView name = parts[2].mid(1);
        const qsizetype separator = name.indexOf(u'_');
        if (separator < 0 || !readNumber(name.left(separator), ref.load)) {
            return std::nullopt;
        }
        const QStringView id = name.mid(separator + 1);
        bool ok = false;
        ref.entity = id.toULongLong(&ok);
        if (!ok || ref.entity == 0 || id.startsWith(u'0') || id.startsWith(u'+')) {
            return std::nullopt;
        }
        ref.kind = ObjectKind::Entity;
        return ref;
    }
    return std::nullopt;
}

QString documentPath(int document) {
    return kDocumentsPrefix + QString::number(document);
}

QString selectionSetPath(int document, int selectionSet) {
    return documentPath(document) + QStringLiteral("/SelectionSets/S") +
           QString::number(selectionSet);
}

QString entityPath(int document, int load, dxf::EntityId entity) {
    return documentPath(document) + QStringLiteral("/Entities/E") + QString::number(load) + u'_' +
           QString::number(entity);
}

std::vector<const BusInterface*> interfacesOf(ObjectKind kind, Release release, bool textEntity) {
    const bool older = release == Release::R14;
    switch (kind) {
        case ObjectKind::Application:
            return {older ? &kApplicationR14 : &kApplication, &kWindows};
        case ObjectKind::Documents:
            if (older) {
                return {};
            }
            return {&kDocuments};
        case ObjectKind::Document:
            return {older ? &kDocumentR14 : &kDocument};
        case ObjectKind::ModelSpace:
        case ObjectKind::PaperSpace:
            return {&kSpace};
        case ObjectKind::Utility:
            return {&kUtility};
        case ObjectKind::SelectionSets:
            return {&kSelectionSets};
        case ObjectKind::SelectionSet:
            return {&kSelectionSet};
        case ObjectKind::Entity:
            if (textEntity) {
                return {&kEntity, &kText};
            }
            return {&kEntity};
    }
    return {};
}

QString introspectionXml(const std::vector<const BusInterface*>& interfaces,
                         const QStringList& children) {
    QString xml = QStringLiteral(
        "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n");
    for (const BusInterface* interface : interfaces) {
        xml += QStringLiteral("  <interface name=\"%1\">\n").arg(QLatin1String(interface->name));
        for (const BusProperty& property : interface->properties) {
            xml +=
                QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"%3\"/>\n")
                    .arg(QLatin1String(property.name), QLatin1String(property.type),
                         property.writable ? QStringLiteral("readwrite") : QStringLiteral("read"));
        }
        for (const BusMethod& method : interface->methods) {
            if (method.arguments.empty()) {
                xml +=
                    QStringLiteral("    <method name=\"%1\"/>\n").arg(QLatin1String(method.name));
                continue;
            }
            xml += QStringLiteral("    <method name=\"%1\">\n").arg(QLatin1String(method.name));
            for (const BusArgument& argument : method.arguments) {
                xml += QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
                           .arg(QLatin1String(argument.name), QLatin1String(argument.type),
                                argument.out ? QStringLiteral("out") : QStringLiteral("in"));
            }
            xml += QStringLiteral("    </method>\n");
        }
        xml += QStringLiteral("  </interface>\n");
    }
    xml += QStringLiteral(
        "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
        "    <method name=\"Introspect\">\n"
        "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
        "    </method>\n"
        "  </interface>\n"
        "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
        "    <method name=\"Get\">\n"
        "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
        "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
        "      <arg name=\"value\" type=\"v\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"Set\">\n"
        "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
        "      <arg name=\"property_name\" type=\"s\" direction=\"in\"/>\n"
        "      <arg name=\"value\" type=\"v\" direction=\"in\"/>\n"
        "    </method>\n"
        "    <method name=\"GetAll\">\n"
        "      <arg name=\"interface_name\" type=\"s\" direction=\"in\"/>\n"
        "      <arg name=\"values\" type=\"a{sv}\" direction=\"out\"/>\n"
        "    </method>\n"
        "  </interface>\n");
    for (const QString& child : children) {
        xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(child);
    }
    xml += QStringLiteral("</node>\n");
    return xml;
}

}  // namespace quorvel::cadhost
