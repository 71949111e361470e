// The host window on the offscreen platform: title, tabs, command line, closing with unsaved
// drawings, bus calls held back while a dialog is open and answered while a heavy drawing or a
// huge input is on show.
#include "cadhost/host/hostwindow.h"
#include "cadhost/host/busendpoint.h"
#include "cadhost/host/busprotocol.h"
#include "cadhost/host/busserver.h"
#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/drawingview.h"
#include "cadhost/host/hostmodel.h"
#include "cadhost/host/keystrokes.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace quorvel::cadhost {
namespace {

using ::testing::HasSubstr;

class HostWindowTest : public ::testing::Test {
protected:
    HostWindowTest() {
        model.addFromTemplate(QString());
        sample = folder.filePath(QStringLiteral("sample.dwg"));
        ezdxf::write(QStringLiteral("sample"), sample);
        model.openNew(sample);
    }

    QTabBar* tabs() { return window.findChild<QTabBar*>(QStringLiteral("DrawingTabs")); }

    // This window's model served on a private bus under the host's name.
    struct Served {
        std::unique_ptr<BusEndpoint> endpoint;
        std::unique_ptr<BusServer> server;
    };
    Served serveOn(testsupport::PrivateBus& bus) {
        Served served{BusEndpoint::connect(bus.address(), nullptr), nullptr};
        EXPECT_TRUE(served.endpoint);
        served.server = std::make_unique<BusServer>(model, interpreter, window,
                                                    QStringLiteral("/opt/cad/cad-host"));
        window.setBusServer(served.server.get());
        served.endpoint->setServer(served.server.get());
        EXPECT_TRUE(served.endpoint->requestName(QLatin1String(kBusName), nullptr));
        return served;
    }

    static QDBusPendingCall askCaption(testsupport::PrivateBus& bus) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kBusName), QLatin1String(kApplicationPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << QStringLiteral("org.quorvel.CadHost.Application") << QStringLiteral("Caption");
        return bus.connection().asyncCall(call, -1);
    }

    void editActiveDrawing() {
        HostDocument& document = model.activeOrThrow();
        const auto texts = document.drawing.select({0}, {"TEXT"});
        document.drawing.setText(texts.front(), "改");
        model.markChanged(document.number);
    }

    // Answers the next message box with the button of that text.
    void answerNextQuestion(const QString& button) {
        QTimer::singleShot(0, [button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* candidate : box->buttons()) {
                if (candidate->text() == button) {
                    candidate->click();
                    return;
                }
            }
            ADD_FAILURE() << "no button " << button.toStdString();
        });
    }

    QTemporaryDir folder;
    QString sample;
    HostModel model{Release::R2000, QStringLiteral(CADHOST_TEMPLATE_SOURCE)};
    CommandInterpreter interpreter{model};
    HostWindow window{model, interpreter};
};

TEST_F(HostWindowTest, TitleFollowsTheActiveDrawingAndTabsMarkUnsavedOnes) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("CAD 主机 - [sample.dwg]"));
    ASSERT_EQ(tabs()->count(), 2);
    EXPECT_EQ(tabs()->tabText(1), QStringLiteral("sample.dwg"));
    EXPECT_EQ(tabs()->currentIndex(), 1);

    editActiveDrawing();
    QTRY_COMPARE(tabs()->tabText(1), QStringLiteral("sample.dwg*"));

    tabs()->setCurrentIndex(0);
    EXPECT_EQ(model.activeOrThrow().name(), "Drawing1.dwg");
    EXPECT_EQ(window.windowTitle(), model.caption());

    model.close(model.documents()[0]->number, false);
    EXPECT_EQ(tabs()->count(), 1);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("CAD 主机 - [sample.dwg]"));
}

TEST_F(HostWindowTest, CommandLineRunsCommandsAndKeepsAHistory) {
    auto* commandLine = window.findChild<QLineEdit*>(QStringLiteral("CommandLine"));
    auto* history = window.findChild<QPlainTextEdit*>(QStringLiteral("CommandHistory"));
    commandLine->setText(QStringLiteral("filedia 0"));
    QTest::keyClick(commandLine, Qt::Key_Return);
    EXPECT_EQ(model.filedia(), 0);
    commandLine->setText(QStringLiteral("plot"));
    QTest::keyClick(commandLine, Qt::Key_Return);
    EXPECT_THAT(history->toPlainText().toStdString(), HasSubstr("命令: filedia"));
    EXPECT_THAT(history->toPlainText().toStdString(), HasSubstr("未知命令“plot”。"));
}

TEST_F(HostWindowTest, QsaveOfAnUntitledDrawingAsksOnTheCommandLineWhileTheWindowIsHidden) {
    model.addFromTemplate(QString());
    ASSERT_EQ(model.filedia(), 1);
    interpreter.type(QStringLiteral("qsave\r"));  // a dialog nobody sees would hold the host
    EXPECT_THAT(interpreter.prompt().toStdString(), HasSubstr("输入文件名 <Drawing2.dwg>"));
    const QString target = folder.filePath(QStringLiteral("named.dwg"));
    interpreter.type(target + u'\r');
    EXPECT_EQ(fromFsPath(model.activeOrThrow().filePath), target);
}

TEST_F(HostWindowTest, ClosingWithUnsavedDrawingsAsksFirst) {
    window.show();
    editActiveDrawing();

    answerNextQuestion(QStringLiteral("取消"));
    EXPECT_FALSE(window.close());
    EXPECT_EQ(model.documents().size(), 2u);

    answerNextQuestion(QStringLiteral("保存(&S)"));
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(model.activeOrThrow().isSaved());
    EXPECT_EQ(ezdxf::modelSpaceTexts(sample)[0].text, QStringLiteral("改"));
}

TEST_F(HostWindowTest, ClosingATabWithUnsavedChangesCanBeDeclined) {
    editActiveDrawing();
    answerNextQuestion(QStringLiteral("不保存(&N)"));
    emit tabs()->tabCloseRequested(1);
    EXPECT_EQ(model.documents().size(), 1u);
    EXPECT_EQ(ezdxf::modelSpaceTexts(sample)[0].text, QStringLiteral("图号 旧文本-01"));
}

TEST_F(HostWindowTest, BusCallsWaitWhileTheHostIsBusyAndAreAnsweredAfterwards) {
    testsupport::PrivateBus bus;
    const Served served = serveOn(bus);

    served.server->setBusy(true);
    QDBusPendingCall pending = askCaption(bus);
    QTest::qWait(300);
    EXPECT_FALSE(pending.isFinished());

    served.server->setBusy(false);
    QTRY_VERIFY(pending.isFinished());
    ASSERT_FALSE(pending.isError()) << pending.error().message().toStdString();
    EXPECT_EQ(pending.reply().arguments()[0].value<QDBusVariant>().variant().toString(),
              QStringLiteral("CAD 主机 - [sample.dwg]"));
    served.endpoint->releaseName(QLatin1String(kBusName));
}

// Nine levels of blocks, each inserting the next 20 times: the view draws a part of it and
// calls are still answered while it is shown.
TEST_F(HostWindowTest, DeeplyNestedBlocksLeaveTheShownHostAnsweringCalls) {
    const QString nested = folder.filePath(QStringLiteral("nested.dwg"));
    ezdxf::write(QStringLiteral("nested"), nested);
    model.openNew(nested);
    testsupport::PrivateBus bus;
    const Served served = serveOn(bus);
    window.show();
    QDBusPendingCall pending = askCaption(bus);
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 60000);
    ASSERT_FALSE(pending.isError()) << pending.error().message().toStdString();
    EXPECT_EQ(pending.reply().arguments()[0].value<QDBusVariant>().variant().toString(),
              QStringLiteral("CAD 主机 - [nested.dwg]"));
    EXPECT_FALSE(window.view()->grab().isNull());
    served.endpoint->releaseName(QLatin1String(kBusName));
}

// Megabytes typed into one field (a justification option taken from a setting, say): refused
// whole in linear time, and the command it was meant for is given up.
TEST_F(HostWindowTest, AFieldOfMegabytesIsRefusedQuicklyAndEndsTheCommand) {
    window.show();
    const auto lastJustification = [this] {
        HostDocument& document = model.activeOrThrow();
        const auto info = document.drawing.entity(*document.drawing.lastObject());
        return std::get<dxf::TextGeometry>(info->geometry).horizontal;
    };
    const int before = lastJustification();
    auto* history = window.findChild<QPlainTextEdit*>(QStringLiteral("CommandHistory"));
    QElapsedTimer clock;
    clock.start();
    interpreter.type(QStringLiteral("justifytext\rl\r\r") + QString(10 << 20, u'r') + u'\r');
    interpreter.typeKeys(
        parseKeyStrokes(QStringLiteral("justifytext~l~~") + QString(2 << 20, u'c') + u'~'));
    EXPECT_LT(clock.elapsed(), 30000);  // it took minutes before, for a tenth of this
    EXPECT_TRUE(interpreter.isIdle());
    EXPECT_EQ(lastJustification(), before);
    EXPECT_EQ(history->toPlainText().count(QStringLiteral("输入超过 32767 个字符，已放弃。")), 2);
    interpreter.type(QStringLiteral("filedia 0 "));
    EXPECT_EQ(model.filedia(), 0);
}

TEST_F(HostWindowTest, CallsBackToBackStillLeaveTheWindowItsEvents) {
    testsupport::PrivateBus bus;
    const Served served = serveOn(bus);

    // Two clients calling without a pause, so that a call is always waiting; the host answers
    // on this thread.
    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};
    std::atomic<int> answered{0};
    const QString address = bus.address();
    std::vector<std::thread> clients;
    for (int index = 0; index < 2; ++index) {
        clients.emplace_back([&, name = QStringLiteral("back-to-back-%1").arg(index)] {
            {
                QDBusConnection connection = QDBusConnection::connectToBus(address, name);
                QDBusMessage call = QDBusMessage::createMethodCall(
                    QLatin1String(kBusName), QLatin1String(kApplicationPath),
                    QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
                call << QStringLiteral("org.quorvel.CadHost.Application")
                     << QStringLiteral("Caption");
                while (!stop) {
                    if (connection.call(call, QDBus::Block, -1).type() ==
                        QDBusMessage::ReplyMessage) {
                        ++answered;
                    }
                }
            }
            QDBusConnection::disconnectFromBus(name);
            ++finished;
        });
    }
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    // Not QTest::qWait, which sleeps between its turns of the event loop.
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    stop = true;
    QTRY_VERIFY_WITH_TIMEOUT(finished.load() == 2, 10000);
    for (std::thread& client : clients) {
        client.join();
    }

    EXPECT_GT(answered.load(), 100);
    // About 50 when the host hands the event loop back in time, 11 to 15 when it does not; the
    // margin keeps a loaded machine from failing a sound host.
    EXPECT_GE(ticks, 20);
}

}  // namespace
}  // namespace quorvel::cadhost
