// The D-Bus automation link against the real cad-host on a private bus.
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <signal.h>

#include "engine/module1.h"
#include "platform/dbus/busautomation.h"
#include "platform/dbus/buscaller.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"

using quorvel::engine::AutomationError;
using quorvel::platform::dbus::BusHostConnector;
using quorvel::platform::dbus::BusWindowControl;
using quorvel::testsupport::PrivateBus;
namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace {

const std::u16string kProgId = quorvel::engine::kCadProgId;

// Runs the call and hands back the automation error it raised (number 0 when none).
template <typename Call>
AutomationError failureOf(Call&& call) {
    try {
        call();
    } catch (const AutomationError& error) {
        return error;
    }
    return AutomationError(0, u"");
}

// FILEDIA as the host keeps it, asked over the bus.
int fileDialogSetting(const PrivateBus& bus, const QString& documentPath) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("AutoCAD.Application"), documentPath,
        QStringLiteral("org.quorvel.CadHost.Document"), QStringLiteral("GetVariable"));
    message.setArguments({QStringLiteral("FILEDIA")});
    const QDBusMessage reply = bus.connection().call(message);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return -1;
    }
    return reply.arguments().value(0).value<QDBusVariant>().variant().toInt();
}

QString activeDocumentPath(const PrivateBus& bus) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("AutoCAD.Application"), QStringLiteral("/Application"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments(
        {QStringLiteral("org.quorvel.CadHost.Application"), QStringLiteral("ActiveDocument")});
    const QDBusMessage reply = bus.connection().call(message);
    return reply.arguments()
        .value(0)
        .value<QDBusVariant>()
        .variant()
        .value<QDBusObjectPath>()
        .path();
}

TEST(BusErrors, OnlyTheUnknownMemberErrorsAre438) {
    using quorvel::platform::dbus::automationErrorFrom;
    for (const char* name : {"UnknownMethod", "UnknownProperty", "UnknownInterface"}) {
        const auto error =
            automationErrorFrom(QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(name),
                                QStringLiteral("没有"));
        EXPECT_EQ(error.number(), 438) << name;
    }
    // A path the host never handed out is a fault, not a missing member.
    for (const char* name :
         {"org.freedesktop.DBus.Error.UnknownObject", "org.freedesktop.DBus.Error.AccessDenied",
          "org.freedesktop.DBus.Error.NoReply", "org.quorvel.CadHost.Error.ObjectErased"}) {
        const AutomationError converted =
            automationErrorFrom(QLatin1String(name), QStringLiteral("message"));
        EXPECT_EQ(converted.number(), quorvel::engine::kErrorAutomation) << name;
        EXPECT_FALSE(converted.description().empty());
    }
}

TEST(BusHostConnector, StartsOneHostByActivationAndAttachesToItAfterwards) {
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    BusHostConnector connector(bus.address());

    const AutomationError nothingRunning = failureOf([&] { connector.attachRunning(kProgId); });
    EXPECT_NE(nothingRunning.number(), 0);
    EXPECT_NE(nothingRunning.number(), 438);
    EXPECT_FALSE(bus.hostRunning());

    // The bus was started without a display; the connector hands its own on.
    const auto created = connector.create(kProgId);
    const pid_t host = bus.hostPid();
    ASSERT_NE(host, 0);
    const std::u16string fullName = created->FullName();
    EXPECT_TRUE(fullName.ends_with(u"/cad-host"))
        << QString::fromStdU16String(fullName).toStdString();
    EXPECT_FALSE(created->Caption().empty());

    const auto attached = connector.attachRunning(kProgId);
    EXPECT_EQ(attached->Caption(), created->Caption());
    connector.create(kProgId);  // already running: the same host answers
    EXPECT_EQ(bus.hostPid(), host);
}

TEST(BusHostConnector, CannotCreateGivesAChineseDescription) {
    for (const auto activation :
         {PrivateBus::Activation::None, PrivateBus::Activation::FailingHost}) {
        PrivateBus bus(activation);
        ASSERT_TRUE(bus.started());
        BusHostConnector connector(bus.address());
        const AutomationError failure = failureOf([&] { connector.create(kProgId); });
        EXPECT_EQ(failure.number(), quorvel::platform::dbus::kErrorCannotCreateObject);
        const QString description = QString::fromStdU16String(failure.description());
        EXPECT_TRUE(description.startsWith(u"无法启动 CAD 主机")) << description.toStdString();
        EXPECT_TRUE(activation == PrivateBus::Activation::None ? description.contains(u"没有安装")
                                                               : description.contains(u"没能运行"))
            << description.toStdString();
    }
}

TEST(BusHostConnector, MissingMembersAre438AndEveryOtherFailureIsNot) {
    QTemporaryDir folder;
    const QString drawing = folder.filePath(QStringLiteral("plan.dwg"));
    ASSERT_NO_THROW(ezdxf::write(QStringLiteral("r2000"), drawing));
    {
        PrivateBus older;
        ASSERT_TRUE(older.startHostByHand(QStringLiteral("R14")));
        const auto host = BusHostConnector(older.address()).attachRunning(kProgId);
        EXPECT_EQ(failureOf([&] { host->Documents(); }).number(), 438);
        const auto document = host->ActiveDocument();
        EXPECT_EQ(failureOf([&] { document->SendCommand(u"filedia\r0\r"); }).number(), 438);
        EXPECT_EQ(failureOf([&] { document->Open(drawing.toStdU16String()); }).number(), 0);
    }
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const auto host = BusHostConnector(bus.address()).attachRunning(kProgId);
    const AutomationError missingFile = failureOf([&] {
        host->Documents()->Open(folder.filePath(QStringLiteral("nope.dwg")).toStdU16String());
    });
    EXPECT_EQ(missingFile.number(), quorvel::engine::kErrorAutomation);
    EXPECT_FALSE(missingFile.description().empty());

    const auto document = host->Documents()->Open(drawing.toStdU16String());
    const auto selection = document->SelectionSets()->Add(u"s1");
    EXPECT_NE(failureOf([&] { document->SelectionSets()->Add(u"s1"); }).number(), 438);
    selection->Select(quorvel::engine::kSelectAll, std::nullopt, std::nullopt, {0, 8},
                      {std::u16string(u"text"), std::u16string(u"标注")});
    const auto texts = selection->entities();
    ASSERT_EQ(texts.size(), 3u);  // two in model space, one in paper space
    EXPECT_EQ(texts[0]->TextString(), u"图号 旧文本-01");

    const AutomationError badHeight = failureOf([&] { texts[0]->setHeight(-1.0); });
    EXPECT_NE(badHeight.number(), 0);
    EXPECT_NE(badHeight.number(), 438);
    const auto copy = texts[0]->Copy();
    copy->setTextString(u"新文字 ✓");
    EXPECT_EQ(copy->TextString(), u"新文字 ✓");
    texts[0]->erase();
    const AutomationError erased = failureOf([&] { texts[0]->TextString(); });
    EXPECT_NE(erased.number(), 0);
    EXPECT_NE(erased.number(), 438);
}

TEST(BusHostConnector, ABusyHostIsWaitedForWithoutATimeLimit) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const auto host = BusHostConnector(bus.address()).attachRunning(kProgId);
    const pid_t pid = bus.hostPid();
    // Longer than the bus's usual 25-second limit on a reply.
    ::kill(pid, SIGSTOP);
    std::thread resume([pid] {
        std::this_thread::sleep_for(std::chrono::seconds(27));
        ::kill(pid, SIGCONT);
    });
    QElapsedTimer waited;
    waited.start();
    std::u16string caption;
    const AutomationError failure = failureOf([&] { caption = host->Caption(); });
    resume.join();
    EXPECT_EQ(failure.number(), 0) << failure.what();
    EXPECT_FALSE(caption.empty());
    EXPECT_GE(waited.elapsed(), 26000);
}

TEST(BusHostConnector, AHostKilledDuringACallEndsTheCallAtOnceAndIsNotRestarted) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const auto host = BusHostConnector(bus.address()).attachRunning(kProgId);
    const pid_t pid = bus.hostPid();
    ::kill(pid, SIGSTOP);
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, SIGKILL);
    });
    QElapsedTimer waited;
    waited.start();
    const AutomationError pending = failureOf([&] { host->Caption(); });
    killer.join();
    EXPECT_LT(waited.elapsed(), 10000);
    EXPECT_EQ(pending.number(), quorvel::engine::kErrorAutomation);

    // The old host's objects must not wake a new host that knows none of them.
    const AutomationError later = failureOf([&] { host->ActiveDocument(); });
    EXPECT_EQ(later.number(), quorvel::engine::kErrorAutomation);
    QThread::msleep(300);
    EXPECT_FALSE(bus.hostRunning());
}

// The run's calls go straight to the host: they are answered while the bus daemon is stopped.
TEST(BusHostConnector, CallsGoOnADirectConnectionThatNeedsNoBusDaemon) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const auto host = BusHostConnector(bus.address()).attachRunning(kProgId);
    ::kill(bus.daemonPid(), SIGSTOP);
    auto caption = std::async(std::launch::async, [&] { return host->Caption(); });
    const bool answered = caption.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    ::kill(bus.daemonPid(), SIGCONT);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(caption.get().empty());
}

TEST(BusWindowControl, ActivatesTheHostWindowAndTypesIntoIt) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const auto host = BusHostConnector(bus.address()).attachRunning(kProgId);
    BusWindowControl windows(bus.address());

    EXPECT_EQ(failureOf([&] { windows.sendKeys(u"filedia~0~", true); }).number(),
              quorvel::engine::kErrorInvalidCall);
    // A hidden window cannot be brought to the front.
    EXPECT_EQ(failureOf([&] { windows.activateByTitle(host->Caption()); }).number(),
              quorvel::engine::kErrorInvalidCall);
    host->setVisible(true);
    EXPECT_EQ(failureOf([&] { windows.activateByTitle(u"另一个窗口"); }).number(),
              quorvel::engine::kErrorInvalidCall);
    windows.activateByTitle(host->Caption());

    const QString document = activeDocumentPath(bus);
    windows.sendKeys(u"filedia~0~", true);
    EXPECT_EQ(fileDialogSetting(bus, document), 0);
    windows.sendKeys(u"filedia~1~", true);
    EXPECT_EQ(fileDialogSetting(bus, document), 1);
    const AutomationError refused = failureOf([&] { windows.sendKeys(u"^c", true); });
    EXPECT_NE(refused.number(), 0);
    EXPECT_NE(refused.number(), 438);
}

}  // namespace
