#pragma once
// Answers the automation calls on the bus for every object path under /Application.
//
// Calls run one at a time on the GUI thread. While the window has a dialog open, or while a call
// is still being answered, new calls wait in order and are answered afterwards: a busy host
// answers later, never with an error.

#include "cadhost/host/busendpoint.h"
#include "cadhost/host/busmessage.h"
#include "cadhost/host/busprotocol.h"

#include <QHash>
#include <QObject>
#include <QVariant>

#include <deque>
#include <memory>
#include <optional>

namespace quorvel::cadhost {
namespace core {
struct Document;
}

class DirectListener;
class CommandInterpreter;
class HostModel;
using HostDocument = core::Document;

// What the bus needs of the host window.
class HostWindowControl {
public:
    virtual ~HostWindowControl() = default;
    virtual bool isHostWindowVisible() const = 0;
    virtual void setHostWindowVisible(bool visible) = 0;
    // Brings the visible window to the front with its command line focused.
    virtual void activateHostWindow() = 0;
};

class BusServer : public QObject, public CallHandler {
    Q_OBJECT
public:
    BusServer(HostModel& model, CommandInterpreter& interpreter, HostWindowControl& window,
              QString executablePath, QObject* parent = nullptr);
    ~BusServer() override;

    void handleMessage(const BusMessage& message, BusEndpoint& endpoint) override;

    // While busy, calls are kept and answered once it ends.
    void setBusy(bool busy);
    bool isServing() const override { return depth_ > 0; }
    void forget(const BusEndpoint* endpoint) override;

    // The answer to one call: a reply or an error message. Public for tests of the dispatch.
    BusMessage answer(const BusMessage& call, BusEndpoint& endpoint);

private:
    struct PendingCall {
        BusMessage message;
        BusEndpoint* endpoint;
    };

    void serve(const BusMessage& message, BusEndpoint& endpoint);
    void drainQueue();
    bool callerAllowed(const BusMessage& message, BusEndpoint& endpoint);

    QVariantList call(const ObjectRef& ref, const QString& member, const QVariantList& args);
    QVariant getProperty(const ObjectRef& ref, const QString& name);
    // Nothing when the object has no property of that name.
    std::optional<QVariant> propertyOf(const ObjectRef& ref, const QString& name);
    std::optional<QVariant> applicationProperty(const QString& name);
    std::optional<QVariant> documentProperty(const ObjectRef& ref, const QString& name);
    std::optional<QVariant> spaceProperty(const ObjectRef& ref, const QString& name);
    std::optional<QVariant> selectionSetProperty(const ObjectRef& ref, const QString& name);
    std::optional<QVariant> entityProperty(const ObjectRef& ref, const QString& name);
    void setProperty(const ObjectRef& ref, const QString& name, const QVariant& value);

    // Raises ObjectClosed / ObjectErased when the object is gone.
    void checkExists(const ObjectRef& ref);
    bool isTextEntity(const ObjectRef& ref);
    QStringList childrenOf(const ObjectRef& ref);
    HostDocument& documentOf(const ObjectRef& ref);

    QVariantList callApplication(const QString& member, const QVariantList& args);
    QVariantList callDocuments(const QString& member, const QVariantList& args);
    QVariantList callDocument(const ObjectRef& ref, const QString& member,
                              const QVariantList& args);
    QVariantList callSelectionSets(const ObjectRef& ref, const QString& member,
                                   const QVariantList& args);
    QVariantList callSelectionSet(const ObjectRef& ref, const QString& member,
                                  const QVariantList& args);
    QVariantList callEntity(const ObjectRef& ref, const QString& member);
    void runCommandInput(const std::function<void()>& typeInput);

    HostModel& model_;
    CommandInterpreter& interpreter_;
    HostWindowControl& window_;
    QString executablePath_;
    bool busy_ = false;
    int depth_ = 0;
    bool drainScheduled_ = false;
    std::deque<PendingCall> queue_;
    QHash<QString, bool> allowedCallers_;
    std::unique_ptr<DirectListener> directListener_;  // opened when first asked for
};

}  // namespace quorvel::cadhost
