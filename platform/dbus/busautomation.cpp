#include "platform/dbus/busautomation.h"

#include <unistd.h>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>
#include <QThread>
#include <chrono>

#include "platform/dbus/buscaller.h"

namespace quorvel::platform::dbus {

namespace {

constexpr char kApplicationPath[] = "/Application";
constexpr char kApplicationInterface[] = "org.quorvel.CadHost.Application";
constexpr char kWindowsInterface[] = "org.quorvel.CadHost.Windows";
constexpr char kDocumentsInterface[] = "org.quorvel.CadHost.Documents";
constexpr char kDocumentInterface[] = "org.quorvel.CadHost.Document";
constexpr char kSelectionSetsInterface[] = "org.quorvel.CadHost.SelectionSets";
constexpr char kSelectionSetInterface[] = "org.quorvel.CadHost.SelectionSet";
constexpr char kEntityInterface[] = "org.quorvel.CadHost.Entity";
constexpr char kTextInterface[] = "org.quorvel.CadHost.Text";

// A host that has been activated owns its name by the time the bus answers; this is only a
// safety margin for a bus that answers early.
constexpr auto kOwnerWait = std::chrono::seconds(10);

using Caller = std::shared_ptr<const BusCaller>;

QString qtext(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// ---- the bus daemon -------------------------------------------------------------------------

QDBusMessage callDaemon(const QDBusConnection& connection, const char* member,
                        const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QLatin1String(member));
    message.setArguments(arguments);
    return connection.call(message, QDBus::Block, kNoCallTimeout);
}

void requireBus(const QDBusConnection& connection) {
    if (!connection.isConnected()) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"无法连接 CAD 主机：连接不到本用户的会话总线。");
    }
}

// The unique name of the name's owner, or empty when it has none.
QString ownerOf(const QDBusConnection& connection, const QString& name) {
    const QDBusMessage reply = callDaemon(connection, "GetNameOwner", {name});
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        return reply.arguments().front().toString();
    }
    return {};
}

// Drawings and keystrokes go only to a host that runs as this user.
void requireOwnUser(const QDBusConnection& connection, const QString& hostName) {
    const QDBusMessage reply = callDaemon(connection, "GetConnectionUnixUser", {hostName});
    const bool own = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
                     reply.arguments().front().toUInt() == ::getuid();
    if (!own) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"总线上的 CAD 主机不属于当前用户，不能连接。");
    }
}

// A bus started without the display variables hands none to the programs it starts, and a
// window program cannot start without them.
void passActivationEnvironment(const QDBusConnection& connection) {
    static const char* const kVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                                             "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
    QMap<QString, QString> environment;
    for (const char* variable : kVariables) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            environment.insert(QLatin1String(variable), qEnvironmentVariable(variable));
        }
    }
    if (environment.isEmpty()) {
        return;
    }
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    (void)registered;
    // A bus that refuses the update may still start the host; the start reports what fails.
    callDaemon(connection, "UpdateActivationEnvironment", {QVariant::fromValue(environment)});
}

engine::AutomationError startFailure(const QDBusError& error) {
    const QString name = error.name();
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown") {
        return engine::AutomationError(
            kErrorCannotCreateObject,
            u"无法启动 CAD 主机：会话总线上没有“AutoCAD.Application”的启动文件，cad-host "
            u"可能没有安装。");
    }
    if (name.startsWith(u"org.freedesktop.DBus.Error.Spawn.")) {
        return engine::AutomationError(
            kErrorCannotCreateObject,
            u"无法启动 CAD 主机：cad-host 没能运行起来，请检查图形显示和程序安装。");
    }
    if (name == u"org.freedesktop.DBus.Error.TimedOut" ||
        name == u"org.freedesktop.DBus.Error.Timeout") {
        return engine::AutomationError(kErrorCannotCreateObject,
                                       u"无法启动 CAD 主机：cad-host 启动后迟迟没有响应。");
    }
    return engine::AutomationError(kErrorCannotCreateObject,
                                   u"无法启动 CAD 主机：" + error.message().toStdU16String());
}

// ---- the host's objects ---------------------------------------------------------------------

class BusObject : public engine::AutomationObject {
public:
    BusObject(Caller caller, QString path) : caller_(std::move(caller)), path_(std::move(path)) {}

protected:
    Caller caller_;
    QString path_;
};

class BusTextEntity final : public engine::TextEntity, private BusObject {
public:
    using BusObject::BusObject;

    std::u16string TextString() override {
        return textFrom(caller_->property(path_, kTextInterface, "TextString")).toStdU16String();
    }
    void setTextString(const std::u16string& text) override {
        caller_->setProperty(path_, kTextInterface, "TextString", qtext(text));
    }
    std::shared_ptr<engine::TextEntity> Copy() override {
        const QVariantList answer = caller_->call(path_, kEntityInterface, "Copy");
        return std::make_shared<BusTextEntity>(caller_, objectPathFrom(answer.value(0)));
    }
    void erase() override { caller_->call(path_, kEntityInterface, "erase"); }
    void setHeight(double height) override {
        caller_->setProperty(path_, kTextInterface, "Height", height);
    }
};

class BusSelectionSet final : public engine::SelectionSet, private BusObject {
public:
    using BusObject::BusObject;

    void Select(std::int32_t mode, const std::optional<engine::Point3>& corner1,
                const std::optional<engine::Point3>& corner2,
                const std::vector<std::int16_t>& filterTypes,
                const std::vector<engine::FilterValue>& filterValues) override {
        const QList<short> types(filterTypes.begin(), filterTypes.end());
        QVariantList values;
        for (const engine::FilterValue& value : filterValues) {
            values.push_back(std::visit(
                [](const auto& alternative) -> QVariant {
                    using T = std::decay_t<decltype(alternative)>;
                    if constexpr (std::is_same_v<T, std::u16string>) {
                        return qtext(alternative);
                    } else {
                        return QVariant::fromValue(alternative);
                    }
                },
                value));
        }
        caller_->call(path_, kSelectionSetInterface, "Select",
                      {mode, corner(corner1), corner(corner2), QVariant::fromValue(types), values});
    }

    std::vector<std::shared_ptr<engine::TextEntity>> entities() override {
        // The whole enumeration in one call.
        const QVariantList answer = caller_->call(path_, kSelectionSetInterface, "Entities");
        std::vector<std::shared_ptr<engine::TextEntity>> result;
        for (const QString& path : objectPathsFrom(answer.value(0))) {
            result.push_back(std::make_shared<BusTextEntity>(caller_, path));
        }
        return result;
    }

private:
    // An omitted point is an empty list of coordinates.
    static QVariant corner(const std::optional<engine::Point3>& point) {
        QList<double> coordinates;
        if (point) {
            coordinates = {(*point)[0], (*point)[1], (*point)[2]};
        }
        return QVariant::fromValue(QDBusVariant(QVariant::fromValue(coordinates)));
    }
};

class BusSelectionSets final : public engine::SelectionSets, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::SelectionSet> Add(const std::u16string& name) override {
        const QVariantList answer =
            caller_->call(path_, kSelectionSetsInterface, "Add", {qtext(name)});
        return std::make_shared<BusSelectionSet>(caller_, objectPathFrom(answer.value(0)));
    }
};

class BusDocument final : public engine::Document, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        const QVariantList answer = caller_->call(path_, kDocumentInterface, "Open", {qtext(path)});
        return std::make_shared<BusDocument>(caller_, objectPathFrom(answer.value(0)));
    }
    std::shared_ptr<engine::AutomationObject> ModelSpace() override { return object("ModelSpace"); }
    std::shared_ptr<engine::AutomationObject> PaperSpace() override { return object("PaperSpace"); }
    std::shared_ptr<engine::AutomationObject> Utility() override { return object("Utility"); }
    void SendCommand(const std::u16string& text) override {
        caller_->call(path_, kDocumentInterface, "SendCommand", {qtext(text)});
    }
    std::shared_ptr<engine::SelectionSets> SelectionSets() override {
        return std::make_shared<BusSelectionSets>(
            caller_, objectPathFrom(caller_->property(path_, kDocumentInterface, "SelectionSets")));
    }
    void Close(bool saveChanges) override {
        caller_->call(path_, kDocumentInterface, "Close", {saveChanges});
    }

private:
    std::shared_ptr<engine::AutomationObject> object(const char* property) {
        return std::make_shared<BusObject>(
            caller_, objectPathFrom(caller_->property(path_, kDocumentInterface, property)));
    }
};

class BusDocuments final : public engine::Documents, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::Document> Add(const std::u16string& templatePath) override {
        return document("Add", templatePath);
    }
    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        return document("Open", path);
    }

private:
    std::shared_ptr<engine::Document> document(const char* member, const std::u16string& path) {
        const QVariantList answer =
            caller_->call(path_, kDocumentsInterface, member, {qtext(path)});
        return std::make_shared<BusDocument>(caller_, objectPathFrom(answer.value(0)));
    }
};

class BusApplication final : public engine::Application, private BusObject {
public:
    explicit BusApplication(Caller caller)
        : BusObject(std::move(caller), QLatin1String(kApplicationPath)) {}

    void setVisible(bool visible) override {
        caller_->setProperty(path_, kApplicationInterface, "Visible", visible);
    }
    std::u16string Caption() override { return text("Caption"); }
    std::u16string FullName() override { return text("FullName"); }
    std::shared_ptr<engine::Document> ActiveDocument() override {
        return std::make_shared<BusDocument>(caller_, path("ActiveDocument"));
    }
    std::shared_ptr<engine::Documents> Documents() override {
        return std::make_shared<BusDocuments>(caller_, path("Documents"));
    }

private:
    std::u16string text(const char* property) {
        return textFrom(caller_->property(path_, kApplicationInterface, property)).toStdU16String();
    }
    QString path(const char* property) {
        return objectPathFrom(caller_->property(path_, kApplicationInterface, property));
    }
};

std::shared_ptr<engine::Application> applicationOn(const QDBusConnection& connection,
                                                   const QString& hostName) {
    requireOwnUser(connection, hostName);
    return std::make_shared<BusApplication>(std::make_shared<BusCaller>(connection, hostName));
}

}  // namespace

// ---- connector --------------------------------------------------------------------------------

BusHostConnector::BusHostConnector(QDBusConnection connection)
    : connection_(std::move(connection)) {}

std::shared_ptr<engine::Application> BusHostConnector::attachRunning(const std::u16string& progId) {
    requireBus(connection_);
    const QString owner = ownerOf(connection_, qtext(progId));
    if (owner.isEmpty()) {
        throw engine::AutomationError(kErrorCannotCreateObject, u"没有正在运行的 CAD 主机。");
    }
    return applicationOn(connection_, owner);
}

std::shared_ptr<engine::Application> BusHostConnector::create(const std::u16string& progId) {
    requireBus(connection_);
    const QString name = qtext(progId);
    passActivationEnvironment(connection_);
    const QDBusMessage started = callDaemon(connection_, "StartServiceByName", {name, 0u});
    if (started.type() != QDBusMessage::ReplyMessage) {
        throw startFailure(QDBusError(started));
    }
    const auto deadline = std::chrono::steady_clock::now() + kOwnerWait;
    QString owner = ownerOf(connection_, name);
    while (owner.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(20);
        owner = ownerOf(connection_, name);
    }
    if (owner.isEmpty()) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"无法启动 CAD 主机：cad-host 启动后没有在会话总线上出现。");
    }
    return applicationOn(connection_, owner);
}

// ---- window control -------------------------------------------------------------------------

BusWindowControl::BusWindowControl(QDBusConnection connection, QString hostBusName)
    : connection_(std::move(connection)), hostBusName_(std::move(hostBusName)) {}

void BusWindowControl::activateByTitle(const std::u16string& title) {
    const QString host = connection_.isConnected() ? ownerOf(connection_, hostBusName_) : QString();
    if (host.isEmpty()) {
        throw engine::AutomationError(engine::kErrorInvalidCall, u"找不到 CAD 主机窗口。");
    }
    requireOwnUser(connection_, host);
    try {
        BusCaller(connection_, host)
            .call(QLatin1String(kApplicationPath), kWindowsInterface, "ActivateWindow",
                  {qtext(title)});
    } catch (const engine::AutomationError& failure) {
        // No such window is a plain failure, whatever the host says.
        throw engine::AutomationError(engine::kErrorInvalidCall, failure.description());
    }
    foregroundHost_ = host;
}

void BusWindowControl::sendKeys(const std::u16string& keys, bool wait) {
    if (foregroundHost_.isEmpty()) {
        throw engine::AutomationError(engine::kErrorInvalidCall,
                                      u"没有激活的 CAD 主机窗口，无法发送按键。");
    }
    const BusCaller host(connection_, foregroundHost_);
    if (wait) {
        // The host answers once it has processed the keys.
        host.call(QLatin1String(kApplicationPath), kWindowsInterface, "SendKeys", {qtext(keys)});
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        foregroundHost_, QLatin1String(kApplicationPath), QLatin1String(kWindowsInterface),
        QStringLiteral("SendKeys"));
    message.setArguments({qtext(keys)});
    message.setAutoStartService(false);
    connection_.send(message);
}

}  // namespace quorvel::platform::dbus
