#include "cadhost/host/busserver.h"

#include "cadhost/core/objectchecks.h"
#include "cadhost/core/selectionsets.h"
#include "cadhost/host/busdispatch.h"
#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/directlistener.h"
#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace quorvel::cadhost {
namespace {

[[noreturn]] void invalidArgument(const QString& message) {
    throw HostError(HostErrorKind::InvalidArgument, message);
}

QVariant objectPath(const QString& path) {
    return QVariant::fromValue(QDBusObjectPath(path));
}

QString toQString(const std::string& utf8) {
    return QString::fromUtf8(utf8);
}

std::vector<std::int16_t> readFilterTypes(const QVariant& value) {
    const auto types = value.value<QList<short>>();
    return {types.begin(), types.end()};
}

// A filter value as the text it is matched as: numbers by their decimal digits.
std::string filterValueText(const QVariant& wrapped) {
    const QVariant value = unwrapVariant(wrapped);
    switch (value.metaType().id()) {
        case QMetaType::QString:
            return value.toString().toStdString();
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::UChar:
            return value.toString().toStdString();
        case QMetaType::Bool:
            return value.toBool() ? "1" : "0";
        case QMetaType::Double:
            return QString::number(value.toDouble(), 'g', 15).toStdString();
        default:
            core::refuseFilterValue();
    }
}

std::vector<std::string> readFilterValues(const QVariant& value) {
    const QVariantList values = value.toList();
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(values.size()));
    for (const QVariant& v : values) {
        texts.push_back(filterValueText(v));
    }
    return texts;
}

HostError fromDxfError(const dxf::DxfError& error) {
    const QString message = QString::fromUtf8(error.what());
    switch (error.kind()) {
        case dxf::DxfError::Kind::Format:
            return HostError(HostErrorKind::OpenFailed, message);
        case dxf::DxfError::Kind::Io:
            return HostError(HostErrorKind::SaveFailed, message);
        case dxf::DxfError::Kind::InvalidArgument:
            return HostError(HostErrorKind::InvalidArgument, message);
        case dxf::DxfError::Kind::NoSuchEntity:
            return HostError(HostErrorKind::ObjectErased,
                             QStringLiteral("该对象已被删除。") + message);
    }
    return HostError(HostErrorKind::InvalidArgument, message);
}

int checkedIndex(const QVariant& value, std::size_t count) {
    return static_cast<int>(core::checkedIndex(value.toInt(), count));
}

}  // namespace

BusServer::BusServer(HostModel& model, CommandInterpreter& interpreter, HostWindowControl& window,
                     QString executablePath, QObject* parent)
    : QObject(parent),
      model_(model),
      interpreter_(interpreter),
      window_(window),
      executablePath_(std::move(executablePath)) {}

BusServer::~BusServer() = default;

void BusServer::forget(const BusEndpoint* endpoint) {
    std::erase_if(queue_,
                  [endpoint](const PendingCall& call) { return call.endpoint == endpoint; });
}

void BusServer::handleMessage(const BusMessage& message, BusEndpoint& endpoint) {
    if (busy_ || depth_ > 0) {
        queue_.push_back({message, &endpoint});
        return;
    }
    serve(message, endpoint);
    if (!queue_.empty()) {
        drainQueue();
    }
}

void BusServer::setBusy(bool busy) {
    busy_ = busy;
    if (!busy_ && !queue_.empty() && !drainScheduled_) {
        drainScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            drainScheduled_ = false;
            drainQueue();
        });
    }
}

void BusServer::drainQueue() {
    while (!busy_ && depth_ == 0 && !queue_.empty()) {
        PendingCall next = std::move(queue_.front());
        queue_.pop_front();
        serve(next.message, *next.endpoint);
    }
}

void BusServer::serve(const BusMessage& message, BusEndpoint& endpoint) {
    ++depth_;
    const BusMessage reply = answer(message, endpoint);
    --depth_;
    if (message.isReplyRequired()) {
        endpoint.send(reply);
    }
}

bool BusServer::callerAllowed(const BusMessage& message, BusEndpoint& endpoint) {
    const QString sender = message.service();
    if (sender.isEmpty()) {
        return true;  // a direct call within this process
    }
    const auto known = allowedCallers_.constFind(sender);
    if (known != allowedCallers_.constEnd()) {
        return *known;
    }
    const std::optional<uint> uid = endpoint.unixUser(sender);
    const bool allowed = uid && *uid == ::getuid();
    allowedCallers_.insert(sender, allowed);
    return allowed;
}

BusMessage BusServer::answer(const BusMessage& message, BusEndpoint& endpoint) {
    try {
        if (!callerAllowed(message, endpoint)) {
            failWith("AccessDenied", QStringLiteral("只为本用户的程序服务。"));
        }
        const auto ref = parseObjectPath(message.path());
        if (!ref && message.path() == u"/" && message.member() == u"Introspect" &&
            message.signature().isEmpty()) {
            // Lets generic bus tools walk down to the application object.
            return message.createReply(introspectionXml({}, {QStringLiteral("Application")}));
        }
        if (!ref) {
            failWith("UnknownObject", QStringLiteral("没有对象“%1”。").arg(message.path()));
        }
        checkExists(*ref);
        const ObjectRef object = *ref;
        return dispatchCall(
            message,
            BusObjectAccess{interfacesOf(object.kind, model_.release(), isTextEntity(object)),
                            [&] { return childrenOf(object); },
                            [&](const QString& name) { return getProperty(object, name); },
                            [&](const QString& name, const QVariant& value) {
                                setProperty(object, name, value);
                            },
                            [&](const QString& member, const QVariantList& args) {
                                return call(object, member, args);
                            }});
    } catch (const BusFailure& failure) {
        return message.createErrorReply(failure.name, failure.message);
    } catch (const core::HostError& error) {
        return message.createErrorReply(dbusErrorName(error), errorMessage(error));
    } catch (const dxf::DxfError& error) {
        const HostError converted = fromDxfError(error);
        return message.createErrorReply(dbusErrorName(converted), errorMessage(converted));
    } catch (const std::bad_alloc&) {
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoMemory"),
                                        QStringLiteral("内存不足。"));
    }
}

HostDocument& BusServer::documentOf(const ObjectRef& ref) {
    HostDocument* document = model_.find(ref.document);
    if (document == nullptr) {
        throw HostError(HostErrorKind::ObjectClosed, QStringLiteral("该对象所属的图形已关闭。"));
    }
    return *document;
}

void BusServer::checkExists(const ObjectRef& ref) {
    switch (ref.kind) {
        case ObjectKind::Application:
        case ObjectKind::Documents:
            return;
        case ObjectKind::Document:
        case ObjectKind::ModelSpace:
        case ObjectKind::PaperSpace:
        case ObjectKind::Utility:
        case ObjectKind::SelectionSets:
            documentOf(ref);
            return;
        case ObjectKind::SelectionSet: {
            HostDocument& document = documentOf(ref);
            const bool found = std::any_of(
                document.selectionSets.begin(), document.selectionSets.end(),
                [&](const SelectionSetData& set) { return set.number == ref.selectionSet; });
            if (!found) {
                throw HostError(HostErrorKind::ObjectClosed,
                                QStringLiteral("该选择集已随图形内容一起消失。"));
            }
            return;
        }
        case ObjectKind::Entity: {
            core::checkEntity(documentOf(ref), ref.load, ref.entity);
            return;
        }
    }
}

bool BusServer::isTextEntity(const ObjectRef& ref) {
    return ref.kind == ObjectKind::Entity &&
           core::isSingleLineText(documentOf(ref).drawing.entityType(ref.entity));
}

QStringList BusServer::childrenOf(const ObjectRef& ref) {
    switch (ref.kind) {
        case ObjectKind::Application:
            return model_.release() == Release::R14 ? QStringList{}
                                                    : QStringList{QStringLiteral("Documents")};
        case ObjectKind::Documents: {
            QStringList children;
            for (const auto& document : model_.documents()) {
                children.append(QStringLiteral("D%1").arg(document->number));
            }
            return children;
        }
        case ObjectKind::Document:
            return {QStringLiteral("ModelSpace"), QStringLiteral("PaperSpace"),
                    QStringLiteral("Utility"), QStringLiteral("SelectionSets")};
        case ObjectKind::SelectionSets: {
            QStringList children;
            for (const SelectionSetData& set : documentOf(ref).selectionSets) {
                children.append(QStringLiteral("S%1").arg(set.number));
            }
            return children;
        }
        default:
            return {};
    }
}

QVariant BusServer::getProperty(const ObjectRef& ref, const QString& name) {
    if (std::optional<QVariant> value = propertyOf(ref, name)) {
        return *std::move(value);
    }
    failWith("UnknownProperty", QStringLiteral("没有属性“%1”。").arg(name));
}

std::optional<QVariant> BusServer::propertyOf(const ObjectRef& ref, const QString& name) {
    switch (ref.kind) {
        case ObjectKind::Application:
            return applicationProperty(name);
        case ObjectKind::Documents:
            if (name == u"Count") {
                return static_cast<int>(model_.documents().size());
            }
            break;
        case ObjectKind::Document:
            return documentProperty(ref, name);
        case ObjectKind::ModelSpace:
        case ObjectKind::PaperSpace:
            return spaceProperty(ref, name);
        case ObjectKind::Utility:
            if (name == u"Document") {
                return objectPath(documentPath(ref.document));
            }
            break;
        case ObjectKind::SelectionSets:
            if (name == u"Count") {
                return static_cast<int>(documentOf(ref).selectionSets.size());
            }
            break;
        case ObjectKind::SelectionSet:
            return selectionSetProperty(ref, name);
        case ObjectKind::Entity:
            return entityProperty(ref, name);
    }
    return std::nullopt;
}

std::optional<QVariant> BusServer::applicationProperty(const QString& name) {
    if (name == QLatin1String(automationlink::application::kVisible)) {
        return window_.isHostWindowVisible();
    }
    if (name == QLatin1String(automationlink::application::kCaption)) {
        return model_.caption();
    }
    if (name == QLatin1String(automationlink::application::kFullName)) {
        return executablePath_;
    }
    if (name == u"Release") {
        return model_.release() == Release::R14 ? QStringLiteral("R14") : QStringLiteral("R2000");
    }
    if (name == QLatin1String(automationlink::application::kActiveDocument)) {
        return objectPath(documentPath(model_.activeOrThrow().number));
    }
    if (name == QLatin1String(automationlink::application::kDocuments)) {
        return objectPath(QLatin1String(automationlink::kDocumentsPath));
    }
    return std::nullopt;
}

std::optional<QVariant> BusServer::documentProperty(const ObjectRef& ref, const QString& name) {
    HostDocument& document = documentOf(ref);
    if (name == u"Name") {
        return QString::fromStdString(document.name());
    }
    if (name == u"FullName") {
        return fromFsPath(document.filePath);
    }
    if (name == u"Saved") {
        return document.isSaved();
    }
    if (name == QLatin1String(automationlink::document::kModelSpace) ||
        name == QLatin1String(automationlink::document::kPaperSpace) ||
        name == QLatin1String(automationlink::document::kUtility) ||
        name == QLatin1String(automationlink::document::kSelectionSets)) {
        return objectPath(documentPath(document.number) + u'/' + name);
    }
    return std::nullopt;
}

std::optional<QVariant> BusServer::spaceProperty(const ObjectRef& ref, const QString& name) {
    const bool model = ref.kind == ObjectKind::ModelSpace;
    if (name == u"Name") {
        return model ? QStringLiteral("*Model_Space") : QStringLiteral("*Paper_Space");
    }
    if (name == u"Count") {
        return static_cast<int>(
            documentOf(ref).drawing.entities(model ? dxf::Space::Model : dxf::Space::Paper).size());
    }
    return std::nullopt;
}

std::optional<QVariant> BusServer::selectionSetProperty(const ObjectRef& ref, const QString& name) {
    for (const SelectionSetData& set : documentOf(ref).selectionSets) {
        if (set.number != ref.selectionSet) {
            continue;
        }
        if (name == u"Name") {
            return QString::fromStdString(set.name);
        }
        if (name == u"Count") {
            return static_cast<int>(set.entities.size());
        }
    }
    return std::nullopt;
}

std::optional<QVariant> BusServer::entityProperty(const ObjectRef& ref, const QString& name) {
    const dxf::Drawing& drawing = documentOf(ref).drawing;
    if (name == u"ObjectName") {
        return toQString(drawing.entityType(ref.entity));
    }
    if (name == u"Handle") {
        return toQString(drawing.handle(ref.entity));
    }
    if (name == u"Layer") {
        const auto info = drawing.entity(ref.entity);
        return info ? toQString(info->layer) : QString();
    }
    if (name == QLatin1String(automationlink::textentity::kTextString)) {
        return toQString(drawing.text(ref.entity));
    }
    if (name == QLatin1String(automationlink::textentity::kHeight)) {
        return drawing.height(ref.entity);
    }
    return std::nullopt;
}

void BusServer::setProperty(const ObjectRef& ref, const QString& name, const QVariant& value) {
    if (ref.kind == ObjectKind::Application &&
        name == QLatin1String(automationlink::application::kVisible)) {
        if (value.metaType().id() != QMetaType::Bool) {
            failWith("InvalidArgs", QStringLiteral("Visible 需要布尔值。"));
        }
        window_.setHostWindowVisible(value.toBool());
        return;
    }
    if (ref.kind == ObjectKind::Entity &&
        name == QLatin1String(automationlink::textentity::kTextString)) {
        if (value.metaType().id() != QMetaType::QString) {
            failWith("InvalidArgs", QStringLiteral("TextString 需要文字。"));
        }
        HostDocument& document = documentOf(ref);
        document.drawing.setText(ref.entity, value.toString().toStdString());
        model_.markChanged(document.number);
        return;
    }
    if (ref.kind == ObjectKind::Entity &&
        name == QLatin1String(automationlink::textentity::kHeight)) {
        bool numeric = false;
        const double height = value.toDouble(&numeric);
        if (!numeric || value.metaType().id() == QMetaType::QString ||
            value.metaType().id() == QMetaType::Bool) {
            failWith("InvalidArgs", QStringLiteral("Height 需要数字。"));
        }
        if (!std::isfinite(height) || height <= 0) {
            invalidArgument(QStringLiteral("文字高度必须是正数，收到的是 %1。").arg(height));
        }
        HostDocument& document = documentOf(ref);
        document.drawing.setHeight(ref.entity, height);
        model_.markChanged(document.number);
        return;
    }
    failWith("PropertyReadOnly", QStringLiteral("属性“%1”是只读的。").arg(name));
}

QVariantList BusServer::call(const ObjectRef& ref, const QString& member,
                             const QVariantList& args) {
    switch (ref.kind) {
        case ObjectKind::Application:
            return callApplication(member, args);
        case ObjectKind::Documents:
            return callDocuments(member, args);
        case ObjectKind::Document:
            return callDocument(ref, member, args);
        case ObjectKind::SelectionSets:
            return callSelectionSets(ref, member, args);
        case ObjectKind::SelectionSet:
            return callSelectionSet(ref, member, args);
        case ObjectKind::Entity:
            return callEntity(ref, member);
        default:
            break;
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

void BusServer::runCommandInput(const std::function<void()>& typeInput) {
    interpreter_.takeFailures();
    typeInput();
    const QStringList failures = interpreter_.takeFailures();
    if (!failures.isEmpty()) {
        throw HostError(HostErrorKind::CommandFailed, failures.join(u'\n'));
    }
}

QVariantList BusServer::callApplication(const QString& member, const QVariantList& args) {
    if (member == QLatin1String(automationlink::application::kOpenDirectConnection)) {
        if (!directListener_) {
            QString error;
            directListener_ = DirectListener::listen(
                QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
                    QStringLiteral("/cad-host"),
                *this, &error);
            if (!directListener_) {
                throw HostError(HostErrorKind::CommandFailed,
                                QStringLiteral("无法建立直接连接：%1").arg(error));
            }
        }
        return {directListener_->address()};
    }
    if (member == QLatin1String(automationlink::windows::kActivateWindow)) {
        const QString title = args[0].toString();
        const QString caption = model_.caption();
        const bool matches =
            !title.isEmpty() && (caption.compare(title, Qt::CaseInsensitive) == 0 ||
                                 caption.startsWith(title, Qt::CaseInsensitive));
        if (!matches || !window_.isHostWindowVisible()) {
            throw HostError(HostErrorKind::NoSuchWindow,
                            QStringLiteral("找不到标题为“%1”的窗口。").arg(title));
        }
        window_.activateHostWindow();
        return {};
    }
    if (member == QLatin1String(automationlink::windows::kSendKeys)) {
        const auto strokes = parseKeyStrokes(args[0].toString());
        runCommandInput([&] { interpreter_.typeKeys(strokes); });
        return {};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

QVariantList BusServer::callDocuments(const QString& member, const QVariantList& args) {
    if (member == u"Item") {
        const int index = checkedIndex(args[0], model_.documents().size());
        return {
            objectPath(documentPath(model_.documents()[static_cast<std::size_t>(index)]->number))};
    }
    if (member == QLatin1String(automationlink::documents::kAdd)) {
        return {objectPath(documentPath(model_.addFromTemplate(args[0].toString()).number))};
    }
    if (member == QLatin1String(automationlink::documents::kOpen)) {
        return {objectPath(documentPath(model_.openNew(args[0].toString()).number))};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

QVariantList BusServer::callDocument(const ObjectRef& ref, const QString& member,
                                     const QVariantList& args) {
    if (member == QLatin1String(automationlink::document::kOpen)) {
        return {objectPath(documentPath(model_.openInto(ref.document, args[0].toString()).number))};
    }
    if (member == QLatin1String(automationlink::document::kSendCommand)) {
        model_.setActive(ref.document);
        const QString text = args[0].toString();
        runCommandInput([&] { interpreter_.type(text); });
        return {};
    }
    if (member == u"GetVariable") {
        const QString name = args[0].toString();
        if (name.compare(u"FILEDIA", Qt::CaseInsensitive) == 0) {
            return {QVariant::fromValue(
                QDBusVariant(QVariant::fromValue(static_cast<short>(model_.filedia()))))};
        }
        invalidArgument(QStringLiteral("不支持系统变量“%1”。").arg(name));
    }
    if (member == QLatin1String(automationlink::document::kClose)) {
        model_.close(ref.document, args[0].toBool());
        return {};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

QVariantList BusServer::callSelectionSets(const ObjectRef& ref, const QString& member,
                                          const QVariantList& args) {
    if (member == QLatin1String(automationlink::selectionsets::kAdd)) {
        HostDocument& document = documentOf(ref);
        const SelectionSetData& set =
            core::addSelectionSet(document, args[0].toString().toStdString());
        return {objectPath(selectionSetPath(document.number, set.number))};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

QVariantList BusServer::callSelectionSet(const ObjectRef& ref, const QString& member,
                                         const QVariantList& args) {
    HostDocument& document = documentOf(ref);
    SelectionSetData* set = &core::selectionSet(document, ref.selectionSet);
    if (member == QLatin1String(automationlink::selectionset::kSelect)) {
        core::selectInto(document, *set, args[0].toInt(), readFilterTypes(args[3]),
                         readFilterValues(args[4]));
        return {};
    }
    if (member == u"Item") {
        const int index = checkedIndex(args[0], set->entities.size());
        return {objectPath(entityPath(document.number, document.load,
                                      set->entities[static_cast<std::size_t>(index)]))};
    }
    if (member == QLatin1String(automationlink::selectionset::kEntities)) {
        QList<QDBusObjectPath> paths;
        paths.reserve(static_cast<qsizetype>(set->entities.size()));
        for (const auto id : set->entities) {
            paths.append(QDBusObjectPath(entityPath(document.number, document.load, id)));
        }
        return {QVariant::fromValue(paths)};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

QVariantList BusServer::callEntity(const ObjectRef& ref, const QString& member) {
    HostDocument& document = documentOf(ref);
    if (member == QLatin1String(automationlink::entity::kCopy)) {
        const auto copy = document.drawing.copy(ref.entity);
        model_.markChanged(document.number);
        return {objectPath(entityPath(document.number, document.load, copy))};
    }
    if (member == QLatin1String(automationlink::entity::kErase)) {
        document.drawing.erase(ref.entity);
        model_.markChanged(document.number);
        return {};
    }
    failWith("UnknownMethod", QStringLiteral("没有方法“%1”。").arg(member));
}

}  // namespace quorvel::cadhost
