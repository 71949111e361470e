#include "platform/dbus/busautomation.h"

#include <dbus/dbus.h>
#include <unistd.h>
#include <QThread>
#include <chrono>

#include "automationlink/contract.h"
#include "platform/dbus/buscaller.h"

namespace quorvel::platform::dbus {

namespace {

using namespace automationlink;

// A host that has been activated owns its name by the time the bus answers; this is only a
// safety margin for a bus that answers early.
constexpr auto kOwnerWait = std::chrono::seconds(10);

using Caller = std::shared_ptr<const BusCaller>;
using Connection = std::shared_ptr<const BusConnection>;

QString qtext(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

// ---- the bus daemon -------------------------------------------------------------------------

Connection requireBus(LazyBusConnection& lazy) {
    Connection connection = lazy.get();
    if (!connection) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"无法连接 CAD 主机：连接不到本用户的会话总线。");
    }
    return connection;
}

// The unique name of the name's owner, or empty when it has none.
QString ownerOf(const BusConnection& connection, const QString& name) {
    QString owner;
    connection.callDaemon(
        "GetNameOwner", [&](MessageWriter& writer) { writer.text(name); },
        [&](MessageReader& reader) { owner = reader.text(); });
    return owner;
}

// Drawings and keystrokes go only to a host that runs as this user.
void requireOwnUser(const BusConnection& connection, const QString& hostName) {
    bool own = false;
    try {
        connection.callDaemon(
            "GetConnectionUnixUser", [&](MessageWriter& writer) { writer.text(hostName); },
            [&](MessageReader& reader) { own = reader.uint32() == ::getuid(); });
    } catch (const engine::AutomationError&) {
        own = false;
    }
    if (!own) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"总线上的 CAD 主机不属于当前用户，不能连接。");
    }
}

// A bus started without the display variables hands none to the programs it starts, and a
// window program cannot start without them.
void passActivationEnvironment(const BusConnection& connection) {
    static const char* const kVariables[] = {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                                             "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
    std::vector<std::pair<QString, QString>> environment;
    for (const char* variable : kVariables) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            environment.emplace_back(QLatin1String(variable), qEnvironmentVariable(variable));
        }
    }
    if (environment.empty()) {
        return;
    }
    // A bus that refuses the update may still start the host; the start reports what fails.
    connection.callDaemon("UpdateActivationEnvironment",
                          [&](MessageWriter& writer) { writer.textMap(environment); }, {});
}

engine::AutomationError startFailure(const QString& name, const QString& message) {
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
                                   u"无法启动 CAD 主机：" + message.toStdU16String());
}

// ---- the host's objects ---------------------------------------------------------------------

class BusObject : public engine::AutomationObject {
public:
    BusObject(Caller caller, QString path) : caller_(std::move(caller)), path_(std::move(path)) {}

protected:
    QString pathProperty(const char* interface, const char* name) const {
        QString path;
        caller_->property(path_, interface, name,
                          [&](MessageReader& reader) { path = reader.objectPath(); });
        return path;
    }
    QString pathAnswer(const char* interface, const char* member,
                       const WriteArguments& write = {}) const {
        QString path;
        caller_->call(path_, interface, member, write,
                      [&](MessageReader& reader) { path = reader.objectPath(); });
        return path;
    }

    Caller caller_;
    QString path_;
};

class BusTextEntity final : public engine::TextEntity, private BusObject {
public:
    using BusObject::BusObject;

    std::u16string TextString() override {
        std::u16string text;
        caller_->property(path_, kTextInterface, textentity::kTextString,
                          [&](MessageReader& reader) { text = reader.text().toStdU16String(); });
        return text;
    }
    void setTextString(const std::u16string& text) override {
        caller_->setProperty(path_, kTextInterface, textentity::kTextString,
                             [&](MessageWriter& writer) { writer.variantText(qtext(text)); });
    }
    std::shared_ptr<engine::TextEntity> Copy() override {
        return std::make_shared<BusTextEntity>(caller_,
                                               pathAnswer(kEntityInterface, entity::kCopy));
    }
    void erase() override { caller_->call(path_, kEntityInterface, entity::kErase); }
    void setHeight(double height) override {
        caller_->setProperty(path_, kTextInterface, textentity::kHeight,
                             [&](MessageWriter& writer) { writer.variantReal(height); });
    }
};

class BusSelectionSet final : public engine::SelectionSet, private BusObject {
public:
    using BusObject::BusObject;

    void Select(std::int32_t mode, const std::optional<engine::Point3>& corner1,
                const std::optional<engine::Point3>& corner2,
                const std::vector<std::int16_t>& filterTypes,
                const std::vector<engine::FilterValue>& filterValues) override {
        caller_->call(path_, kSelectionSetInterface, selectionset::kSelect,
                      [&](MessageWriter& writer) {
                          writer.int32(mode)
                              .variantReals(corner(corner1))
                              .variantReals(corner(corner2))
                              .int16s(filterTypes)
                              .variants(filterValues);
                      });
    }

    std::vector<std::shared_ptr<engine::TextEntity>> entities() override {
        // The whole enumeration in one call.
        std::vector<std::shared_ptr<engine::TextEntity>> result;
        caller_->call(path_, kSelectionSetInterface, selectionset::kEntities, {},
                      [&](MessageReader& reader) {
                          for (const QString& path : reader.objectPaths()) {
                              result.push_back(std::make_shared<BusTextEntity>(caller_, path));
                          }
                      });
        return result;
    }

private:
    // An omitted point is an empty list of coordinates.
    static std::vector<double> corner(const std::optional<engine::Point3>& point) {
        if (!point) {
            return {};
        }
        return {(*point)[0], (*point)[1], (*point)[2]};
    }
};

class BusSelectionSets final : public engine::SelectionSets, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::SelectionSet> Add(const std::u16string& name) override {
        return std::make_shared<BusSelectionSet>(
            caller_, pathAnswer(kSelectionSetsInterface, selectionsets::kAdd,
                                [&](MessageWriter& writer) { writer.text(qtext(name)); }));
    }
};

class BusDocument final : public engine::Document, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        return std::make_shared<BusDocument>(
            caller_, pathAnswer(kDocumentInterface, document::kOpen,
                                [&](MessageWriter& writer) { writer.text(qtext(path)); }));
    }
    std::shared_ptr<engine::AutomationObject> ModelSpace() override {
        return object(document::kModelSpace);
    }
    std::shared_ptr<engine::AutomationObject> PaperSpace() override {
        return object(document::kPaperSpace);
    }
    std::shared_ptr<engine::AutomationObject> Utility() override {
        return object(document::kUtility);
    }
    void SendCommand(const std::u16string& text) override {
        caller_->call(path_, kDocumentInterface, document::kSendCommand,
                      [&](MessageWriter& writer) { writer.text(qtext(text)); });
    }
    std::shared_ptr<engine::SelectionSets> SelectionSets() override {
        return std::make_shared<BusSelectionSets>(
            caller_, pathProperty(kDocumentInterface, document::kSelectionSets));
    }
    void Close(bool saveChanges) override {
        caller_->call(path_, kDocumentInterface, document::kClose,
                      [&](MessageWriter& writer) { writer.boolean(saveChanges); });
    }

private:
    std::shared_ptr<engine::AutomationObject> object(const char* property) {
        return std::make_shared<BusObject>(caller_, pathProperty(kDocumentInterface, property));
    }
};

class BusDocuments final : public engine::Documents, private BusObject {
public:
    using BusObject::BusObject;

    std::shared_ptr<engine::Document> Add(const std::u16string& templatePath) override {
        return document(documents::kAdd, templatePath);
    }
    std::shared_ptr<engine::Document> Open(const std::u16string& path) override {
        return document(documents::kOpen, path);
    }

private:
    std::shared_ptr<engine::Document> document(const char* member, const std::u16string& path) {
        return std::make_shared<BusDocument>(
            caller_, pathAnswer(kDocumentsInterface, member,
                                [&](MessageWriter& writer) { writer.text(qtext(path)); }));
    }
};

class BusApplication final : public engine::Application, private BusObject {
public:
    explicit BusApplication(Caller caller)
        : BusObject(std::move(caller), QLatin1String(kApplicationPath)) {}

    void setVisible(bool visible) override {
        caller_->setProperty(path_, kApplicationInterface, application::kVisible,
                             [&](MessageWriter& writer) { writer.variantBoolean(visible); });
    }
    std::u16string Caption() override { return text(application::kCaption); }
    std::u16string FullName() override { return text(application::kFullName); }
    std::shared_ptr<engine::Document> ActiveDocument() override {
        return std::make_shared<BusDocument>(
            caller_, pathProperty(kApplicationInterface, application::kActiveDocument));
    }
    std::shared_ptr<engine::Documents> Documents() override {
        return std::make_shared<BusDocuments>(
            caller_, pathProperty(kApplicationInterface, application::kDocuments));
    }

private:
    std::u16string text(const char* property) {
        std::u16string value;
        caller_->property(path_, kApplicationInterface, property,
                          [&](MessageReader& reader) { value = reader.text().toStdU16String(); });
        return value;
    }
};

// A run makes several calls per text; on a connection of their own to the host they skip the
// bus daemon, which halves what each costs. Null when the host offers none (an older host) or
// it cannot be reached: the calls then go through the bus.
Connection directConnectionTo(const BusConnection& bus, const QString& hostName) {
    QString address;
    QString errorName;
    QString errorMessage;
    const bool offered = bus.tryCall(
        hostName, QLatin1String(kApplicationPath), kApplicationInterface,
        application::kOpenDirectConnection, {},
        [&](MessageReader& reader) { address = reader.text(); }, &errorName, &errorMessage);
    if (!offered || address.isEmpty()) {
        return nullptr;
    }
    return BusConnection::openPeer(address);
}

std::shared_ptr<engine::Application> applicationOn(const Connection& connection,
                                                   const QString& hostName) {
    requireOwnUser(*connection, hostName);
    if (Connection direct = directConnectionTo(*connection, hostName)) {
        return std::make_shared<BusApplication>(std::make_shared<BusCaller>(direct, QString()));
    }
    return std::make_shared<BusApplication>(std::make_shared<BusCaller>(connection, hostName));
}

}  // namespace

std::shared_ptr<const BusConnection> LazyBusConnection::get() {
    if (!connection_ || !connection_->isConnected()) {
        connection_ = BusConnection::open(address_);
    }
    return connection_;
}

// ---- connector --------------------------------------------------------------------------------

BusHostConnector::BusHostConnector(QString busAddress) : connection_(std::move(busAddress)) {}

std::shared_ptr<engine::Application> BusHostConnector::attachRunning(const std::u16string& progId) {
    const Connection connection = requireBus(connection_);
    const QString owner = ownerOf(*connection, qtext(progId));
    if (owner.isEmpty()) {
        throw engine::AutomationError(kErrorCannotCreateObject, u"没有正在运行的 CAD 主机。");
    }
    return applicationOn(connection, owner);
}

std::shared_ptr<engine::Application> BusHostConnector::create(const std::u16string& progId) {
    const Connection connection = requireBus(connection_);
    const QString name = qtext(progId);
    passActivationEnvironment(*connection);
    QString errorName;
    QString errorMessage;
    const bool started = connection->callDaemon(
        "StartServiceByName", [&](MessageWriter& writer) { writer.text(name).uint32(0); }, {},
        &errorName, &errorMessage);
    if (!started) {
        throw startFailure(errorName, errorMessage);
    }
    const auto deadline = std::chrono::steady_clock::now() + kOwnerWait;
    QString owner = ownerOf(*connection, name);
    while (owner.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(20);
        owner = ownerOf(*connection, name);
    }
    if (owner.isEmpty()) {
        throw engine::AutomationError(kErrorCannotCreateObject,
                                      u"无法启动 CAD 主机：cad-host 启动后没有在会话总线上出现。");
    }
    return applicationOn(connection, owner);
}

// ---- window control -------------------------------------------------------------------------

BusWindowControl::BusWindowControl(QString busAddress, QString hostBusName)
    : connection_(std::move(busAddress)), hostBusName_(std::move(hostBusName)) {}

void BusWindowControl::activateByTitle(const std::u16string& title) {
    const Connection connection = connection_.get();
    const QString host = connection ? ownerOf(*connection, hostBusName_) : QString();
    if (host.isEmpty()) {
        throw engine::AutomationError(engine::kErrorInvalidCall, u"找不到 CAD 主机窗口。");
    }
    requireOwnUser(*connection, host);
    try {
        BusCaller(connection, host)
            .call(QLatin1String(kApplicationPath), kWindowsInterface, windows::kActivateWindow,
                  [&](MessageWriter& writer) { writer.text(qtext(title)); });
    } catch (const engine::AutomationError& failure) {
        // No such window is a plain failure, whatever the host says.
        throw engine::AutomationError(engine::kErrorInvalidCall, failure.description());
    }
    foregroundHost_ = host;
}

void BusWindowControl::sendKeys(const std::u16string& keys, bool wait) {
    const Connection connection = connection_.get();
    if (foregroundHost_.isEmpty() || !connection) {
        throw engine::AutomationError(engine::kErrorInvalidCall,
                                      u"没有激活的 CAD 主机窗口，无法发送按键。");
    }
    const auto write = [&](MessageWriter& writer) { writer.text(qtext(keys)); };
    if (wait) {
        // The host answers once it has processed the keys.
        BusCaller(connection, foregroundHost_)
            .call(QLatin1String(kApplicationPath), kWindowsInterface, windows::kSendKeys, write);
        return;
    }
    connection->send(foregroundHost_, QLatin1String(kApplicationPath), kWindowsInterface,
                     windows::kSendKeys, write);
}

}  // namespace quorvel::platform::dbus
