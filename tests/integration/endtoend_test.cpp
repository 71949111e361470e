// Quorvel end to end: the main window's buttons run the real engine, which drives the real
// cad-host on a private bus; the drawings are written and read back by ezdxf.
#include <QCheckBox>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>
#include <signal.h>

#include "engine/replacementrun.h"
#include "platform/runlock.h"
#include "tests/integration/quorvelrig.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"
#include "windows/progresswindow.h"

using quorvel::integration::Quorvel;
using quorvel::testsupport::PrivateBus;
using quorvel::testsupport::ezdxfqt::fileBytes;
namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace {

struct HostDocument {
    QString fullName;
    bool saved = true;
};

QVariant hostProperty(const PrivateBus& bus, const QString& path, const char* interface,
                      const char* name) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("AutoCAD.Application"), path,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({QLatin1String(interface), QLatin1String(name)});
    return bus.connection().call(message).arguments().value(0).value<QDBusVariant>().variant();
}

// The documents open in the host, asked over the bus.
std::vector<HostDocument> hostDocuments(const PrivateBus& bus) {
    const QString documents = QStringLiteral("/Application/Documents");
    const int count =
        hostProperty(bus, documents, "org.quorvel.CadHost.Documents", "Count").toInt();
    std::vector<HostDocument> result;
    for (int index = 0; index < count; ++index) {
        QDBusMessage item = QDBusMessage::createMethodCall(
            QStringLiteral("AutoCAD.Application"), documents,
            QStringLiteral("org.quorvel.CadHost.Documents"), QStringLiteral("Item"));
        item.setArguments({index});
        const QString path =
            bus.connection().call(item).arguments().value(0).value<QDBusObjectPath>().path();
        result.push_back(
            {hostProperty(bus, path, "org.quorvel.CadHost.Document", "FullName").toString(),
             hostProperty(bus, path, "org.quorvel.CadHost.Document", "Saved").toBool()});
    }
    return result;
}

// Keys typed on the host's command line as its user would.
void typeOnHost(const PrivateBus& bus, const QString& keys) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("AutoCAD.Application"), QStringLiteral("/Application"),
        QStringLiteral("org.quorvel.CadHost.Windows"), QStringLiteral("SendKeys"));
    message.setArguments({keys});
    const QDBusMessage reply = bus.connection().call(message);
    EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

QStringList textsOnLayer(const std::vector<ezdxf::Entity>& entities, const QString& layer) {
    QStringList result;
    for (const ezdxf::Entity& entity : entities) {
        if (entity.type == u"TEXT" && entity.layer == layer) {
            result.push_back(entity.text);
        }
    }
    result.sort();
    return result;
}

// The host keeps the previous file beside the drawing with the extension ".bak".
QString backupOf(const QString& drawing) {
    const QFileInfo file(drawing);
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".bak"));
}

class EndToEnd : public ::testing::Test {
protected:
    QString drawing(const QString& kind, const QString& name) {
        const QString path = folder.filePath(name);
        EXPECT_NO_THROW(ezdxf::write(kind, path)) << name.toStdString();
        return path;
    }

    QTemporaryDir folder;
    QTemporaryDir programFolder;
};

TEST_F(EndToEnd, BatchRunOverThreeGenerationsOfDrawingsWithEveryOption) {
    const QStringList drawings = {drawing(QStringLiteral("r12"), QStringLiteral("a-r12.dwg")),
                                  drawing(QStringLiteral("r2000"), QStringLiteral("b-r2000.dwg")),
                                  drawing(QStringLiteral("r2018"), QStringLiteral("c-r2018.dwg"))};
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list(drawings);
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.window->Check1->setChecked(true);
    quorvel.window->Text3->setText(QStringLiteral("标注"));
    quorvel.window->Check4->setChecked(true);
    quorvel.window->Text5->setText(QStringLiteral(" 7.5mm"));
    quorvel.window->Check3->setChecked(true);
    quorvel.window->Text4->setText(QStringLiteral("MC"));
    quorvel.newerGeneration(true);

    quorvel.window->Command9->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(bus.hostRunning());  // started by activation, still there
    EXPECT_TRUE(quorvel.listed().isEmpty());
    ASSERT_NE(quorvel.commands->progress().form(), nullptr);
    EXPECT_EQ(quorvel.commands->progress().form()->Label1->text(),
              QStringLiteral("文本替换完成 双击窗口返回"));
    EXPECT_EQ(fileBytes(programFolder.filePath(QStringLiteral("batch.scr"))),
              QByteArray("\xBE\xC9\xCE\xC4\xB1\xBE"));  // "旧文本" in code page 936

    for (const QString& path : drawings) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(QFileInfo::exists(backupOf(path)));
        const auto entities = ezdxf::entities(path);
        ASSERT_FALSE(entities.empty());
        EXPECT_EQ(
            textsOnLayer(entities, QStringLiteral("TEXT")),
            QStringList({QStringLiteral("Hello 旧文本 World"), QStringLiteral("Plain English")}));
        EXPECT_EQ(textsOnLayer(entities, QStringLiteral("0")),
                  QStringList{QStringLiteral("旧文本旧文本")});
        QStringList expected = {QStringLiteral("图号 新文字-01"), QStringLiteral("新文字")};
        if (!path.contains(u"r12")) {
            expected.push_back(QStringLiteral("新文字 图框"));  // paper space counts too
        }
        expected.sort();
        EXPECT_EQ(textsOnLayer(entities, QStringLiteral("标注")), expected);
        for (const ezdxf::Entity& entity : entities) {
            const QString type = entity.type;
            if (type == u"MTEXT") {
                EXPECT_EQ(entity.text, QStringLiteral("旧文本 多行"));
            }
            if (type == u"TEXT" && entity.layer == u"标注") {
                EXPECT_DOUBLE_EQ(entity.height, 7.5);
                EXPECT_EQ(entity.halign, 1);  // centre
                EXPECT_EQ(entity.valign, 2);  // middle
            } else if (type == u"TEXT") {
                EXPECT_EQ(entity.halign, 0);
            }
        }
    }
}

TEST_F(EndToEnd, RunsAttachToTheHostAlreadyRunning) {
    const QString first = drawing(QStringLiteral("r2000"), QStringLiteral("first.dwg"));
    const QString second = drawing(QStringLiteral("r2018"), QStringLiteral("second.dwg"));
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const pid_t host = bus.hostPid();
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(true);

    for (const QString& path : {first, second}) {
        quorvel.list({path});
        quorvel.window->Command9->click();
        EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
        EXPECT_EQ(bus.hostPid(), host);
        const QStringList texts = ezdxf::texts(path);
        EXPECT_TRUE(texts.contains(QStringLiteral("新文字新文字")));
        EXPECT_TRUE(texts.contains(QStringLiteral("Hello 新文字 World")));
        EXPECT_FALSE(texts.join(u'|').contains(u"旧文本"));
    }
}

TEST_F(EndToEnd, PreviewLeavesTheFileAsItWasAndTheDrawingOpenAndUnsaved) {
    const QString first = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    const QString second = drawing(QStringLiteral("r2018"), QStringLiteral("b.dwg"));
    const QByteArray firstBefore = fileBytes(first);
    const QByteArray secondBefore = fileBytes(second);
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({first, second});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(true);

    quorvel.window->xpcmdbutton7->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_EQ(quorvel.listed(), QStringList({first, second}));
    EXPECT_TRUE(quorvel.window->isVisible());
    EXPECT_EQ(fileBytes(first), firstBefore);
    EXPECT_EQ(fileBytes(second), secondBefore);
    EXPECT_FALSE(QFileInfo::exists(backupOf(first)));
    int previewed = 0;
    for (const HostDocument& document : hostDocuments(bus)) {
        EXPECT_NE(document.fullName, second);
        if (document.fullName == first) {
            ++previewed;
            EXPECT_FALSE(document.saved);
        }
    }
    EXPECT_EQ(previewed, 1);
}

TEST_F(EndToEnd, OlderGenerationRunsThroughKeystrokes) {
    const QStringList drawings = {drawing(QStringLiteral("r12"), QStringLiteral("a.dwg")),
                                  drawing(QStringLiteral("r2000"), QStringLiteral("b.dwg"))};
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand(QStringLiteral("R14")));
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list(drawings);
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.window->Check4->setChecked(true);
    quorvel.window->Text5->setText(QStringLiteral("6"));
    quorvel.window->Check3->setChecked(true);  // no justification on the older path
    quorvel.window->Text4->setText(QStringLiteral("MC"));
    quorvel.newerGeneration(false);

    quorvel.window->Command9->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(quorvel.listed().isEmpty());
    for (const QString& path : drawings) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(QFileInfo::exists(backupOf(path)));
        for (const ezdxf::Entity& entity : ezdxf::entities(path)) {
            if (entity.type != u"TEXT") {
                continue;
            }
            const QString text = entity.text;
            EXPECT_FALSE(text.contains(u"旧文本")) << text.toStdString();
            EXPECT_EQ(entity.halign, 0);
            if (text.contains(u"新文字")) {
                EXPECT_DOUBLE_EQ(entity.height, 6.0);
            }
        }
    }
}

TEST_F(EndToEnd, TheWrongGenerationIsReportedAndNothingIsTouched) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    const QByteArray before = fileBytes(path);
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand(QStringLiteral("R14")));
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({path});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(true);

    quorvel.window->Command9->click();

    ASSERT_EQ(quorvel.boxes.texts(), QStringList{QStringLiteral("CAD版本不对！")});
    EXPECT_EQ(quorvel.boxes.shown[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(quorvel.boxes.shown[0].icon, quorvel::platform::MessageIcon::Stop);
    EXPECT_EQ(quorvel.listed(), QStringList{path});
    EXPECT_EQ(fileBytes(path), before);
}

TEST_F(EndToEnd, NoHostGivesTheDescriptionThenImproperOperation) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    for (const auto activation :
         {PrivateBus::Activation::None, PrivateBus::Activation::FailingHost}) {
        PrivateBus bus(activation);
        ASSERT_TRUE(bus.started());
        Quorvel quorvel(bus.address(), programFolder.path());
        quorvel.list({path});
        quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
        quorvel.window->Command9->click();

        ASSERT_EQ(quorvel.boxes.shown.size(), 2u) << quorvel.boxes.texts().join(u'|').toStdString();
        EXPECT_TRUE(quorvel.boxes.shown[0].text.startsWith(u"无法启动 CAD 主机"));
        EXPECT_EQ(quorvel.boxes.shown[0].caption, QStringLiteral("Quorvel"));
        EXPECT_EQ(quorvel.boxes.shown[1].text, QStringLiteral("操作不当！"));
        EXPECT_EQ(quorvel.boxes.shown[1].caption, QStringLiteral("错误"));
        EXPECT_EQ(quorvel.listed(), QStringList{path});
    }
}

TEST_F(EndToEnd, AHostKilledMidRunEndsTheRunAtOnceAndTearsNoDrawing) {
    QStringList drawings;
    QList<QByteArray> originals;
    for (const char* name : {"a.dwg", "b.dwg", "c.dwg"}) {
        const QString path = folder.filePath(QLatin1String(name));
        ASSERT_TRUE(ezdxf::run(
            {QStringLiteral("bench"), path, QStringLiteral("300"), QStringLiteral("300")}));
        drawings.push_back(path);
        originals.push_back(fileBytes(path));
    }
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    const pid_t host = bus.hostPid();
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list(drawings);
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(true);

    // Killed as soon as the first drawing has been saved, while the second one is worked on.
    std::atomic<bool> stop{false};
    const QString firstBackup = backupOf(drawings[0]);
    std::thread killer([&] {
        while (!stop && !QFileInfo::exists(firstBackup)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::kill(host, SIGKILL);
    });
    QElapsedTimer elapsed;
    elapsed.start();
    quorvel.window->Command9->click();
    stop = true;
    killer.join();

    EXPECT_LT(elapsed.elapsed(), 60000);
    EXPECT_EQ(quorvel.boxes.texts(), QStringList{QStringLiteral("操作不当！")});
    const QStringList left = quorvel.listed();
    ASSERT_FALSE(left.isEmpty());
    EXPECT_EQ(left.back(), drawings.back());
    for (qsizetype index = 0; index < drawings.size(); ++index) {
        const QString& path = drawings[index];
        SCOPED_TRACE(path.toStdString());
        if (fileBytes(path) == originals[index]) {
            EXPECT_TRUE(left.contains(path));  // not done, so still listed
            continue;
        }
        // Changed on disk: a whole drawing with every text replaced.
        const QStringList texts = ezdxf::texts(path);
        EXPECT_EQ(texts.size(), 360);
        EXPECT_FALSE(texts.join(u'|').contains(u"旧文本"));
    }
    EXPECT_EQ(fileBytes(drawings.back()), originals.back());
}

TEST_F(EndToEnd, AFileListedUnderSeveralNamesIsRewrittenOnce) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    const QByteArray original = fileBytes(path);
    const QString link = folder.filePath(QStringLiteral("link.dwg"));
    ASSERT_TRUE(QFile::link(path, link));
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({path, folder.path() + QStringLiteral("/./a.dwg"), link});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("旧文本X"));  // a second pass shows
    quorvel.newerGeneration(true);

    quorvel.window->Command9->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(quorvel.listed().isEmpty());
    const QStringList texts = ezdxf::texts(path);
    EXPECT_TRUE(texts.contains(QStringLiteral("旧文本X旧文本X"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.join(u'|').contains(u"XX"));
    EXPECT_EQ(fileBytes(backupOf(path)), original);  // the backup is still the original
}

TEST_F(EndToEnd, OlderGenerationCancelsACommandTheUserLeftWaiting) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand(QStringLiteral("R14")));
    typeOnHost(bus, QStringLiteral("justifytext~"));  // and walked away
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({path});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(false);

    quorvel.window->Command9->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(quorvel.listed().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(backupOf(path)));
    const QStringList texts = ezdxf::texts(path);
    EXPECT_TRUE(texts.contains(QStringLiteral("新文字新文字"))) << texts.join(u'|').toStdString();
}

TEST_F(EndToEnd, ASecondRunOnTheSameHostIsRefusedAndTouchesNothing) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    const QByteArray before = fileBytes(path);
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    // Another window, or a batch tool, is running on this host.
    quorvel::platform::HostRunLock otherRun(bus.address().toStdString());
    ASSERT_TRUE(otherRun.tryLock());
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({path});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(true);

    quorvel.window->Command9->click();
    quorvel.window->xpcmdbutton7->click();

    const QString busy = QString::fromStdU16String(quorvel::engine::kHostBusyMessage);
    EXPECT_EQ(quorvel.boxes.texts(), QStringList({busy, busy}));
    EXPECT_FALSE(bus.hostRunning());  // not even started
    EXPECT_EQ(quorvel.listed(), QStringList{path});
    EXPECT_EQ(fileBytes(path), before);

    otherRun.unlock();
    quorvel.boxes.shown.clear();
    quorvel.window->Command9->click();
    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(ezdxf::texts(path).contains(QStringLiteral("新文字新文字")));
}

TEST_F(EndToEnd, ABatchAfterAPreviewSetsThePreviewAsideAndRewritesTheFileOnce) {
    const QString path = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    PrivateBus bus;
    ASSERT_TRUE(bus.startHostByHand());
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.list({path});
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("旧文本X"));
    quorvel.newerGeneration(true);
    quorvel.window->xpcmdbutton7->click();  // leaves the drawing open and changed
    ASSERT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();

    quorvel.window->Command9->click();

    ASSERT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(quorvel.listed().isEmpty());
    // The file was read afresh: one replacement, not the preview's plus the run's.
    const QStringList texts = ezdxf::texts(path);
    EXPECT_TRUE(texts.contains(QStringLiteral("旧文本X旧文本X"))) << texts.join(u'|').toStdString();
    int previews = 0;
    for (const HostDocument& document : hostDocuments(bus)) {
        EXPECT_NE(document.fullName, path);  // the run closed its copy; nothing else claims it
        if (document.fullName.contains(QStringLiteral("/cad-host/recovery/"))) {
            ++previews;
            EXPECT_TRUE(document.saved);
            EXPECT_TRUE(ezdxf::texts(document.fullName)
                            .contains(QStringLiteral("旧文本X旧文本X")));  // the preview's edits
        }
    }
    EXPECT_EQ(previews, 1);
}

TEST_F(EndToEnd, OlderGenerationOpeningOverUnsavedChangesKeepsThemAsARecoveryCopy) {
    const QString first = drawing(QStringLiteral("r2000"), QStringLiteral("a.dwg"));
    const QString second = drawing(QStringLiteral("r2018"), QStringLiteral("b.dwg"));
    QTemporaryDir dataHome;
    const QByteArray previousDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());  // the host's user data folder
    PrivateBus bus;
    const bool started = bus.startHostByHand(QStringLiteral("R14"));
    qputenv("XDG_DATA_HOME", previousDataHome);
    ASSERT_TRUE(started);
    Quorvel quorvel(bus.address(), programFolder.path());
    quorvel.search(QStringLiteral("旧文本"), QStringLiteral("新文字"));
    quorvel.newerGeneration(false);
    quorvel.list({first});
    quorvel.window->xpcmdbutton7->click();  // the first drawing, changed and unsaved
    quorvel.window->List2->drawings()->removeAll();
    quorvel.list({second});

    quorvel.window->Command9->click();

    EXPECT_TRUE(quorvel.boxes.shown.empty()) << quorvel.boxes.texts().join(u'|').toStdString();
    EXPECT_TRUE(ezdxf::texts(second).contains(QStringLiteral("新文字新文字")));
    const QDir recovery(dataHome.filePath(QStringLiteral("cad-host/recovery")));
    const QStringList copies = recovery.entryList(QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_TRUE(copies[0].startsWith(u"a-"));
    EXPECT_TRUE(ezdxf::texts(recovery.filePath(copies[0]))
                    .contains(QStringLiteral("新文字新文字")));  // the preview's edits
    EXPECT_TRUE(ezdxf::texts(first).contains(QStringLiteral("旧文本旧文本")));  // file untouched
}

}  // namespace
