// The host as clients see it: the real cad-host on a private bus, driven by QtDBus calls.
#include "automationlink/contract.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <QThread>

#include <gmock/gmock.h>

#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace ezdxf = quorvel::testsupport::ezdxfqt;

namespace quorvel::cadhost::test {
namespace {

using ::testing::SizeIs;
using testsupport::firstArgument;
using testsupport::pathOf;
using testsupport::PrivateBus;
using testsupport::valueOf;

const QString kApplication = QStringLiteral("/Application");
const QString kDocumentsPath = QStringLiteral("/Application/Documents");
const QString kApp = QStringLiteral("org.quorvel.CadHost.Application");
const QString kWindows = QStringLiteral("org.quorvel.CadHost.Windows");
const QString kDocuments = QStringLiteral("org.quorvel.CadHost.Documents");
const QString kDocument = QStringLiteral("org.quorvel.CadHost.Document");
const QString kSets = QStringLiteral("org.quorvel.CadHost.SelectionSets");
const QString kSet = QStringLiteral("org.quorvel.CadHost.SelectionSet");
const QString kEntity = QStringLiteral("org.quorvel.CadHost.Entity");
const QString kText = QStringLiteral("org.quorvel.CadHost.Text");
const QString kError = QStringLiteral("org.quorvel.CadHost.Error.");
const QString kDBusError = QStringLiteral("org.freedesktop.DBus.Error.");

MATCHER(Succeeds, "") {
    if (arg.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    *result_listener << arg.errorName().toStdString() << ": " << arg.errorMessage().toStdString();
    return false;
}

MATCHER_P(FailsWith, name, "") {
    if (arg.type() == QDBusMessage::ErrorMessage && arg.errorName() == name) {
        return true;
    }
    *result_listener << "answered "
                     << (arg.type() == QDBusMessage::ErrorMessage ? arg.errorName().toStdString()
                                                                  : std::string("a reply"));
    return false;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QString socketOf(const QString& address) {
    return address.section(QStringLiteral("path="), 1).section(u',', 0, 0);
}

long residentMegabytes(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong() / 1024;
        }
    }
    return -1;
}

// A bare socket to the host's direct connection, past the handshake; -1 on failure.
int connectDirectly(const QString& address) {
    const QByteArray path = QFile::encodeName(socketOf(address));
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    std::memcpy(name.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(client, reinterpret_cast<sockaddr*>(&name), sizeof(name)) != 0) {
        ::close(client);
        return -1;
    }
    const QByteArray auth =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n";
    char answer[256] = {};
    if (::write(client, auth.constData(), static_cast<size_t>(auth.size())) != auth.size() ||
        ::read(client, answer, sizeof(answer) - 1) < 2 || std::strncmp(answer, "OK", 2) != 0 ||
        ::write(client, "BEGIN\r\n", 7) != 7) {
        ::close(client);
        return -1;
    }
    return client;
}

class BusTest : public ::testing::Test {
protected:
    QString activeDocument() {
        return pathOf(bus.getProperty(kApplication, kApp, QStringLiteral("ActiveDocument")));
    }

    QString sampleFile(const QString& name = QStringLiteral("sample.dwg")) {
        const QString path = folder.filePath(name);
        ezdxf::write(QStringLiteral("sample"), path);
        return path;
    }

    // A selection set of the document filled by Select mode 5 with the filter.
    QStringList selectAll(const QString& document, const QList<short>& types,
                          const QVariantList& values, const QString& name) {
        const QString sets =
            pathOf(bus.getProperty(document, kDocument, QStringLiteral("SelectionSets")));
        const QString set = pathOf(bus.call(sets, kSets, QStringLiteral("Add"), {name}));
        const QVariant omitted =
            QVariant::fromValue(QDBusVariant(QVariant::fromValue(QList<double>{})));
        EXPECT_THAT(bus.call(set, kSet, QStringLiteral("Select"),
                             {5, omitted, omitted, QVariant::fromValue(types), values}),
                    Succeeds());
        const QDBusMessage entities = bus.call(set, kSet, QStringLiteral("Entities"));
        QStringList paths;
        const QDBusArgument argument = firstArgument(entities).value<QDBusArgument>();
        QList<QDBusObjectPath> list;
        argument >> list;
        for (const auto& path : list) {
            paths.append(path.path());
        }
        return paths;
    }

    QString textOf(const QString& entity) {
        return valueOf(bus.getProperty(entity, kText, QStringLiteral("TextString"))).toString();
    }

    QTemporaryDir folder;
    PrivateBus bus{PrivateBus::Activation::BuildHost, PrivateBus::ActivatedDisplay::Offscreen};
};

TEST_F(BusTest, ActivationStartsOneHiddenHostWithAnUntitledDrawing) {
    EXPECT_EQ(bus.activateHost(), 1u);
    EXPECT_EQ(bus.activateHost(), 2u);  // attached, not started again

    EXPECT_EQ(valueOf(bus.getProperty(kApplication, kApp, QStringLiteral("Caption"))).toString(),
              QStringLiteral("CAD 主机 - [Drawing1.dwg]"));
    EXPECT_EQ(valueOf(bus.getProperty(kApplication, kApp, QStringLiteral("Visible"))), false);
    const QString fullName =
        valueOf(bus.getProperty(kApplication, kApp, QStringLiteral("FullName"))).toString();
    EXPECT_TRUE(fullName.endsWith(QStringLiteral("/cad-host")));
    EXPECT_TRUE(
        QFile::exists(fullName.left(fullName.size() - 9) + QStringLiteral("/TEMPLATE/acad.dwt")));

    const QString document = activeDocument();
    EXPECT_EQ(valueOf(bus.getProperty(document, kDocument, QStringLiteral("Name"))).toString(),
              QStringLiteral("Drawing1.dwg"));
    EXPECT_EQ(valueOf(bus.getProperty(document, kDocument, QStringLiteral("Saved"))), true);
    EXPECT_EQ(valueOf(bus.getProperty(kDocumentsPath, kDocuments, QStringLiteral("Count"))), 1);

    EXPECT_THAT(bus.setProperty(kApplication, kApp, QStringLiteral("Visible"), true), Succeeds());
    EXPECT_EQ(valueOf(bus.getProperty(kApplication, kApp, QStringLiteral("Visible"))), true);
}

// One drawing the way a batch run treats it: select texts, copy, erase, rewrite, justify,
// new height, Close(true); the file is then read back with ezdxf.
TEST_F(BusTest, ObjectModelRewritesTextsAndCloseSavesTheFile) {
    bus.activateHost();
    const QString file = sampleFile();
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    EXPECT_EQ(activeDocument(), document);
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("SendCommand"),
                         {QStringLiteral("filedia\r0\r")}),
                Succeeds());

    const QStringList onLayer = selectAll(
        document, {0, 8}, {QStringLiteral("text"), QStringLiteral("标注")}, QStringLiteral("4711"));
    ASSERT_THAT(onLayer, SizeIs(1));
    EXPECT_EQ(textOf(onLayer[0]), QStringLiteral("图号 旧文本-01"));

    const QStringList texts =
        selectAll(document, {0}, {QStringLiteral("TEXT")}, QStringLiteral("4712"));
    ASSERT_THAT(texts, SizeIs(3));  // MTEXT is not single-line text
    for (const QString& entity : texts) {
        const QString before = textOf(entity);
        if (!before.contains(QStringLiteral("旧文本"))) {
            continue;
        }
        const QString copy = pathOf(bus.call(entity, kEntity, QStringLiteral("Copy")));
        ASSERT_FALSE(copy.isEmpty());
        ASSERT_THAT(bus.call(entity, kEntity, QStringLiteral("erase")), Succeeds());
        EXPECT_THAT(bus.getProperty(entity, kText, QStringLiteral("TextString")),
                    FailsWith(kError + QStringLiteral("ObjectErased")));
        EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("SendCommand"),
                             {QStringLiteral("justifytext\rl\r\rmc\r")}),
                    Succeeds());
        QString after = before;
        after.replace(QStringLiteral("旧文本"), QStringLiteral("新文本"));
        EXPECT_THAT(bus.setProperty(copy, kText, QStringLiteral("TextString"), after), Succeeds());
        EXPECT_THAT(bus.setProperty(copy, kText, QStringLiteral("Height"), 7.5), Succeeds());
        for (const double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
            EXPECT_THAT(bus.setProperty(copy, kText, QStringLiteral("Height"), bad),
                        FailsWith(kError + QStringLiteral("InvalidArgument")));
        }
    }
    EXPECT_EQ(valueOf(bus.getProperty(document, kDocument, QStringLiteral("Saved"))), false);
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("Close"), {true}), Succeeds());
    EXPECT_EQ(valueOf(bus.getProperty(kDocumentsPath, kDocuments, QStringLiteral("Count"))), 1);
    EXPECT_THAT(bus.getProperty(document, kDocument, QStringLiteral("Name")),
                FailsWith(kError + QStringLiteral("ObjectClosed")));

    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("sample.bak"))));
    const auto saved = ezdxf::modelSpaceTexts(file);
    ASSERT_THAT(saved, SizeIs(3));
    EXPECT_EQ(saved[0].text, QStringLiteral("Hello World"));  // untouched, now first
    EXPECT_EQ(saved[1].text, QStringLiteral("图号 新文本-01"));
    EXPECT_EQ(saved[2].text, QStringLiteral("新文本"));
    for (const auto& rewritten : {saved[1], saved[2]}) {
        EXPECT_DOUBLE_EQ(rewritten.height, 7.5);
        EXPECT_EQ(rewritten.halign, 1);
        EXPECT_EQ(rewritten.valign, 2);
    }
    EXPECT_EQ(saved[0].height, 3.0);
}

TEST_F(BusTest, OpenReadsFromDiskIntoANewDocumentAndDocumentOpenReplacesContent) {
    bus.activateHost();
    const QString file = sampleFile();
    const QString first =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList texts = selectAll(first, {0}, {QStringLiteral("text")}, QStringLiteral("1"));
    ASSERT_THAT(texts, SizeIs(3));
    ASSERT_THAT(
        bus.setProperty(texts[0], kText, QStringLiteral("TextString"), QStringLiteral("改")),
        Succeeds());

    // Opening the file again sets the unsaved edits aside as a recovery copy, which the first
    // document now belongs to, and reads the file afresh: no two documents claim the file.
    const QString second =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    EXPECT_NE(second, first);
    EXPECT_EQ(textOf(texts[0]), QStringLiteral("改"));
    EXPECT_EQ(valueOf(bus.getProperty(first, kDocument, QStringLiteral("Saved"))), true);
    const QString recovery =
        valueOf(bus.getProperty(first, kDocument, QStringLiteral("FullName"))).toString();
    EXPECT_NE(recovery, file);
    EXPECT_TRUE(QFileInfo::exists(recovery)) << recovery.toStdString();
    EXPECT_EQ(textOf(selectAll(second, {0}, {QStringLiteral("text")}, QStringLiteral("3"))[0]),
              QStringLiteral("图号 旧文本-01"));

    EXPECT_EQ(pathOf(bus.call(first, kDocument, QStringLiteral("Open"), {file})), first);
    EXPECT_EQ(valueOf(bus.getProperty(first, kDocument, QStringLiteral("Saved"))), true);
    EXPECT_THAT(bus.getProperty(texts[0], kText, QStringLiteral("TextString")),
                FailsWith(kError + QStringLiteral("ObjectClosed")));

    EXPECT_THAT(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"),
                         {folder.filePath(QStringLiteral("missing.dwg"))}),
                FailsWith(kError + QStringLiteral("OpenFailed")));
    QFile notADrawing(folder.filePath(QStringLiteral("binary.dwg")));
    ASSERT_TRUE(notADrawing.open(QIODevice::WriteOnly));
    notADrawing.write("AC1015\0\0\0\0\0\0binary", 18);
    notADrawing.close();
    EXPECT_THAT(bus.call(first, kDocument, QStringLiteral("Open"), {notADrawing.fileName()}),
                FailsWith(kError + QStringLiteral("OpenFailed")));
    EXPECT_EQ(textOf(selectAll(first, {0}, {QStringLiteral("text")}, QStringLiteral("2"))[0]),
              QStringLiteral("图号 旧文本-01"));  // a failed Open keeps the content
}

TEST_F(BusTest, MembersTheHostLacksAnswerTheStandardUnknownErrors) {
    bus.activateHost();
    const QString document = activeDocument();
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("Plot")),
                FailsWith(kDBusError + QStringLiteral("UnknownMethod")));
    EXPECT_THAT(bus.call(document, QString(), QStringLiteral("Plot")),
                FailsWith(kDBusError + QStringLiteral("UnknownMethod")));
    EXPECT_THAT(bus.getProperty(document, kDocument, QStringLiteral("Layers")),
                FailsWith(kDBusError + QStringLiteral("UnknownProperty")));
    EXPECT_THAT(
        bus.call(document, QStringLiteral("org.quorvel.CadHost.Plotter"), QStringLiteral("Plot")),
        FailsWith(kDBusError + QStringLiteral("UnknownInterface")));
    EXPECT_THAT(bus.setProperty(kApplication, kApp, QStringLiteral("Caption"), QStringLiteral("x")),
                FailsWith(kDBusError + QStringLiteral("PropertyReadOnly")));
    EXPECT_THAT(bus.call(QStringLiteral("/Application/Documents/D99"), kDocument,
                         QStringLiteral("Close"), {false}),
                FailsWith(kError + QStringLiteral("ObjectClosed")));
    EXPECT_THAT(bus.call(QStringLiteral("/Elsewhere"), kDocument, QStringLiteral("Close"), {false}),
                FailsWith(kDBusError + QStringLiteral("UnknownObject")));
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("Close"), {QStringLiteral("yes")}),
                FailsWith(kDBusError + QStringLiteral("InvalidArgs")));

    // a line has no text members
    const QString file = sampleFile();
    const QString opened =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList lines = selectAll(opened, {0}, {QStringLiteral("LINE")}, QStringLiteral("x"));
    ASSERT_THAT(lines, SizeIs(1));
    EXPECT_THAT(bus.getProperty(lines[0], kText, QStringLiteral("TextString")),
                FailsWith(kDBusError + QStringLiteral("UnknownInterface")));
    EXPECT_THAT(bus.getProperty(lines[0], QString(), QStringLiteral("TextString")),
                FailsWith(kDBusError + QStringLiteral("UnknownProperty")));
}

TEST_F(BusTest, OlderReleaseLacksDocumentsAndSendCommandAndWorksByKeystrokes) {
    ASSERT_TRUE(bus.startHostByHand(QStringLiteral("R14")));
    const QString document = activeDocument();
    EXPECT_THAT(bus.getProperty(kApplication, kApp, QStringLiteral("Documents")),
                FailsWith(kDBusError + QStringLiteral("UnknownProperty")));
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("SendCommand"),
                         {QStringLiteral("filedia\r0\r")}),
                FailsWith(kDBusError + QStringLiteral("UnknownMethod")));
    EXPECT_THAT(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {sampleFile()}),
                FailsWith(kDBusError + QStringLiteral("UnknownInterface")));

    // the older generation's path: Open on the active document, keystrokes, "qsave"
    const QString file = sampleFile(QStringLiteral("older.dwg"));
    EXPECT_EQ(pathOf(bus.call(document, kDocument, QStringLiteral("Open"), {file})), document);
    const QString caption =
        valueOf(bus.getProperty(kApplication, kApp, QStringLiteral("Caption"))).toString();
    EXPECT_EQ(caption, QStringLiteral("CAD 主机 - [older.dwg]"));
    EXPECT_THAT(bus.call(kApplication, kWindows, QStringLiteral("ActivateWindow"), {caption}),
                FailsWith(kError + QStringLiteral("NoSuchWindow")));  // still hidden
    ASSERT_THAT(bus.setProperty(kApplication, kApp, QStringLiteral("Visible"), true), Succeeds());
    EXPECT_THAT(bus.call(kApplication, kWindows, QStringLiteral("ActivateWindow"), {caption}),
                Succeeds());
    EXPECT_THAT(bus.call(kApplication, kWindows, QStringLiteral("ActivateWindow"),
                         {QStringLiteral("cad 主机")}),
                Succeeds());  // beginning of the title, letter case ignored
    EXPECT_THAT(bus.call(kApplication, kWindows, QStringLiteral("ActivateWindow"),
                         {QStringLiteral("记事本")}),
                FailsWith(kError + QStringLiteral("NoSuchWindow")));

    EXPECT_THAT(bus.call(kApplication, kWindows, QStringLiteral("SendKeys"),
                         {QStringLiteral("filedia~0~")}),
                Succeeds());
    const QVariant filedia =
        firstArgument(bus.call(document, kDocument, QStringLiteral("GetVariable"),
                               {QStringLiteral("FILEDIA")}))
            .value<QDBusVariant>()
            .variant();
    EXPECT_EQ(filedia.toInt(), 0);

    const QStringList texts =
        selectAll(document, {0}, {QStringLiteral("text")}, QStringLiteral("7"));
    ASSERT_THAT(texts, SizeIs(3));
    ASSERT_THAT(
        bus.setProperty(texts[2], kText, QStringLiteral("TextString"), QStringLiteral("R14 改")),
        Succeeds());
    EXPECT_THAT(
        bus.call(kApplication, kWindows, QStringLiteral("SendKeys"), {QStringLiteral("qsave~")}),
        Succeeds());
    EXPECT_EQ(valueOf(bus.getProperty(document, kDocument, QStringLiteral("Saved"))), true);
    EXPECT_EQ(ezdxf::modelSpaceTexts(file)[2].text, QStringLiteral("R14 改"));

    EXPECT_THAT(
        bus.call(kApplication, kWindows, QStringLiteral("SendKeys"), {QStringLiteral("^s")}),
        FailsWith(kError + QStringLiteral("InvalidKeys")));
    EXPECT_THAT(
        bus.call(kApplication, kWindows, QStringLiteral("SendKeys"), {QStringLiteral("plot~")}),
        Succeeds());  // unknown input is no error
}

TEST_F(BusTest, ASaveThatFailsIsReportedAndLeavesTheDocumentOpen) {
    bus.activateHost();
    QTemporaryDir doomed;
    const QString file = doomed.filePath(QStringLiteral("gone.dwg"));
    ezdxf::write(QStringLiteral("sample"), file);
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList texts =
        selectAll(document, {0}, {QStringLiteral("text")}, QStringLiteral("s"));
    ASSERT_THAT(bus.setProperty(texts[0], kText, QStringLiteral("TextString"), QStringLiteral("x")),
                Succeeds());
    doomed.remove();

    EXPECT_THAT(
        bus.call(document, kDocument, QStringLiteral("SendCommand"), {QStringLiteral("qsave\r")}),
        FailsWith(kError + QStringLiteral("CommandFailed")));
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("Close"), {true}),
                FailsWith(kError + QStringLiteral("SaveFailed")));
    EXPECT_EQ(valueOf(bus.getProperty(kDocumentsPath, kDocuments, QStringLiteral("Count"))), 2);
    EXPECT_EQ(textOf(texts[0]), QStringLiteral("x"));

    // an untitled drawing has no file to save to
    const QString untitled =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Add"), {QString()}));
    EXPECT_EQ(valueOf(bus.getProperty(untitled, kDocument, QStringLiteral("Name"))).toString(),
              QStringLiteral("Drawing2.dwg"));
    EXPECT_THAT(bus.call(untitled, kDocument, QStringLiteral("Close"), {true}),
                FailsWith(kError + QStringLiteral("SaveFailed")));
    EXPECT_THAT(bus.call(untitled, kDocument, QStringLiteral("Close"), {false}), Succeeds());
}

TEST_F(BusTest, SelectionSetsRefuseDuplicateNamesAndMismatchedFilters) {
    bus.activateHost();
    const QString document = activeDocument();
    const QString sets =
        pathOf(bus.getProperty(document, kDocument, QStringLiteral("SelectionSets")));
    const QString set = pathOf(bus.call(sets, kSets, QStringLiteral("Add"), {QStringLiteral("a")}));
    EXPECT_THAT(bus.call(sets, kSets, QStringLiteral("Add"), {QStringLiteral("A")}),
                FailsWith(kError + QStringLiteral("DuplicateName")));
    const QVariant omitted =
        QVariant::fromValue(QDBusVariant(QVariant::fromValue(QList<double>{})));
    EXPECT_THAT(bus.call(set, kSet, QStringLiteral("Select"),
                         {5, omitted, omitted, QVariant::fromValue(QList<short>{0, 8}),
                          QVariantList{QStringLiteral("text")}}),
                FailsWith(kError + QStringLiteral("InvalidArgument")));
    EXPECT_THAT(
        bus.call(set, kSet, QStringLiteral("Select"),
                 {1, omitted, omitted, QVariant::fromValue(QList<short>{}), QVariantList{}}),
        FailsWith(kError + QStringLiteral("InvalidArgument")));
    EXPECT_THAT(bus.call(set, kSet, QStringLiteral("Item"), {0}),
                FailsWith(kError + QStringLiteral("InvalidArgument")));
}

TEST_F(BusTest, AReplyTooLargeForTheBusIsAnErrorAndTheHostStaysOnIt) {
    bus.activateHost();
    const QString file = folder.filePath(QStringLiteral("longtext.dwg"));
    ezdxf::write(QStringLiteral("longtext"), file);
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList texts =
        selectAll(document, {0}, {QStringLiteral("TEXT")}, QStringLiteral("long"));
    ASSERT_THAT(texts, SizeIs(4));
    EXPECT_THAT(bus.getProperty(texts.back(), kText, QStringLiteral("TextString")),
                FailsWith(kDBusError + QStringLiteral("LimitsExceeded")));
    EXPECT_TRUE(bus.hostRunning());
    EXPECT_EQ(textOf(texts.front()), QStringLiteral("图号 旧文本-01"));
}

TEST_F(BusTest, ADirectConnectionAnswersAsTheBusDoesFromAFolderOfTheUsersOwn) {
    bus.activateHost();
    const QDBusMessage offered =
        bus.call(kApplication, kApp, QStringLiteral("OpenDirectConnection"));
    ASSERT_THAT(offered, Succeeds());
    const QString address = firstArgument(offered).toString();
    const QString socket = socketOf(address);
    ASSERT_FALSE(socket.isEmpty()) << address.toStdString();
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFileInfo(QFileInfo(socket).path()).permissions() & others, QFile::Permissions());

    {
        QDBusConnection peer = QDBusConnection::connectToPeer(address, QStringLiteral("direct"));
        ASSERT_TRUE(peer.isConnected()) << peer.lastError().message().toStdString();
        QDBusMessage get = QDBusMessage::createMethodCall(
            QString(), kApplication, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << kApp << QStringLiteral("Caption");
        EXPECT_EQ(valueOf(peer.call(get)).toString(), QStringLiteral("CAD 主机 - [Drawing1.dwg]"));
    }
    QDBusConnection::disconnectFromPeer(QStringLiteral("direct"));
    EXPECT_TRUE(bus.hostRunning());
}

// TextString as the windows' run uses it: bytes of the drawing that are not GBK come back as
// they were, and a value longer than the drawing's version holds is refused.
TEST_F(BusTest, TextStringKeepsBytesThatAreNotTextAndRefusesValuesTooLong) {
    bus.activateHost();
    const QString file = sampleFile();
    QByteArray bytes = readAll(file);
    ASSERT_TRUE(bytes.contains("\nHello World"));
    bytes.replace("\nHello World", "\nx\xFFy Hello caf\xE9 \\M+5D6D0");
    writeAll(file, bytes);
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList texts =
        selectAll(document, {8}, {QStringLiteral("TEXT")}, QStringLiteral("b"));
    ASSERT_THAT(texts, SizeIs(1));
    QString text = textOf(texts[0]);
    text.replace(QStringLiteral("Hello"), QStringLiteral("新"));
    EXPECT_THAT(bus.setProperty(texts[0], kText, QStringLiteral("TextString"), text), Succeeds());
    EXPECT_THAT(bus.setProperty(texts[0], kText, QStringLiteral("TextString"), QString(3000, u'y')),
                FailsWith(kError + QStringLiteral("InvalidArgument")));
    EXPECT_EQ(textOf(texts[0]), text);
    EXPECT_THAT(bus.call(document, kDocument, QStringLiteral("Close"), {true}), Succeeds());
    EXPECT_TRUE(readAll(file).contains("\nx\xFFy \xD0\xC2 caf\xE9 \\M+5D6D0\n"));
}

TEST_F(BusTest, ADirectClientThatNeverReadsItsAnswersIsDroppedAndTheHostGoesOn) {
    bus.activateHost();
    const QString file = sampleFile();
    QByteArray bytes = readAll(file);
    bytes.replace("\nHello World", "\n" + QByteArray(1 << 20, 'x'));
    writeAll(file, bytes);
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {file}));
    const QStringList texts =
        selectAll(document, {8}, {QStringLiteral("TEXT")}, QStringLiteral("b"));
    ASSERT_THAT(texts, SizeIs(1));
    const QString address =
        firstArgument(bus.call(kApplication, kApp, QStringLiteral("OpenDirectConnection")))
            .toString();

    // A client that asks for the megabyte text again and again and reads nothing.
    const int client = connectDirectly(address);
    ASSERT_GE(client, 0);
    DBusMessage* get = dbus_message_new_method_call(nullptr, texts[0].toUtf8().constData(),
                                                    "org.freedesktop.DBus.Properties", "Get");
    const QByteArray interface = kText.toUtf8();
    const char* interfaceName = interface.constData();
    const char* property = "TextString";
    dbus_message_append_args(get, DBUS_TYPE_STRING, &interfaceName, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    for (dbus_uint32_t serial = 1; serial <= 160; ++serial) {
        dbus_message_set_serial(get, serial);
        char* wire = nullptr;
        int length = 0;
        ASSERT_TRUE(dbus_message_marshal(get, &wire, &length));
        const ssize_t written = ::send(client, wire, static_cast<size_t>(length), MSG_NOSIGNAL);
        dbus_free(wire);
        if (written != length) {
            break;  // dropped already
        }
    }
    dbus_message_unref(get);
    pollfd hangUp{client, POLLRDHUP, 0};
    EXPECT_EQ(::poll(&hangUp, 1, 30000), 1);
    EXPECT_TRUE(hangUp.revents & (POLLRDHUP | POLLHUP));
    ::close(client);

    EXPECT_TRUE(bus.hostRunning());
    // The dropped client's answers are freed with its connection (about 40 MB are the host's own).
    for (int i = 0; i < 40 && residentMegabytes(bus.hostPid()) > 80; ++i) {
        QThread::msleep(50);
    }
    EXPECT_LE(residentMegabytes(bus.hostPid()), 80);
    EXPECT_EQ(textOf(texts[0]).size(), 1 << 20);  // other clients are answered as before
}

TEST_F(BusTest, TheDirectSocketGoesWithItsHostAndStaleOnesAreCleared) {
    bus.activateHost();
    const QString first =
        socketOf(firstArgument(bus.call(kApplication, kApp, QStringLiteral("OpenDirectConnection")))
                     .toString());
    ASSERT_TRUE(QFileInfo::exists(first));
    // The socket of a host killed long ago: nobody listens on it.
    const QString stale = QFileInfo(first).path() + QStringLiteral("/dbus-quorvel-test-stale");
    QFile::remove(stale);
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const QByteArray stalePath = QFile::encodeName(stale);
    std::memcpy(name.sun_path, stalePath.constData(), static_cast<size_t>(stalePath.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&name), sizeof(name)), 0);
    ::close(socket);
    const timespec longAgo[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, stalePath.constData(), longAgo, 0), 0);

    ::kill(bus.hostPid(), SIGTERM);
    for (int i = 0; i < 100 && bus.hostRunning(); ++i) {
        QThread::msleep(50);
    }
    ASSERT_FALSE(bus.hostRunning());
    EXPECT_FALSE(QFileInfo::exists(first));

    bus.activateHost();
    const QString second =
        socketOf(firstArgument(bus.call(kApplication, kApp, QStringLiteral("OpenDirectConnection")))
                     .toString());
    EXPECT_TRUE(QFileInfo::exists(second));
    EXPECT_FALSE(QFileInfo::exists(stale));
}

TEST_F(BusTest, ASecondHostCannotTakeTheNameAndEnds) {
    bus.activateHost();
    EXPECT_EQ(bus.runHostToEnd({}), 1);
    EXPECT_EQ(bus.runHostToEnd({QStringLiteral("--release"), QStringLiteral("R1")}), 2);
    EXPECT_TRUE(bus.hostRunning());
}

// Interface members of one introspection text, as "interface.member:signature".
QSet<QString> membersOf(const QString& xml) {
    QSet<QString> members;
    QXmlStreamReader reader(xml);
    QString interface;
    QString method;
    QString signature;
    while (!reader.atEnd()) {
        reader.readNext();
        const auto attributes = reader.attributes();
        if (reader.isStartElement() && reader.name() == u"interface") {
            interface = attributes.value(QLatin1String("name")).toString();
        } else if (reader.isStartElement() && reader.name() == u"property") {
            members.insert(interface + u'.' + attributes.value(QLatin1String("name")).toString() +
                           u':' + attributes.value(QLatin1String("type")).toString() + u':' +
                           attributes.value(QLatin1String("access")).toString());
        } else if (reader.isStartElement() && reader.name() == u"method") {
            method = attributes.value(QLatin1String("name")).toString();
            signature.clear();
        } else if (reader.isStartElement() && reader.name() == u"arg") {
            signature += attributes.value(QLatin1String("direction")).toString() +
                         attributes.value(QLatin1String("type")).toString() + u' ';
        } else if (reader.isEndElement() && reader.name() == u"method") {
            members.insert(interface + u'.' + method + u'(' + signature + u')');
        }
    }
    QSet<QString> own;
    for (const QString& member : members) {
        if (member.startsWith(QStringLiteral("org.quorvel."))) {
            own.insert(member);
        }
    }
    return own;
}

TEST_F(BusTest, IntrospectionAgreesWithTheProtocolFiles) {
    bus.activateHost();
    const QString document =
        pathOf(bus.call(kDocumentsPath, kDocuments, QStringLiteral("Open"), {sampleFile()}));
    const QStringList texts =
        selectAll(document, {0}, {QStringLiteral("text")}, QStringLiteral("i"));
    ASSERT_FALSE(texts.isEmpty());
    const QString set = pathOf(
        bus.call(pathOf(bus.getProperty(document, kDocument, QStringLiteral("SelectionSets"))),
                 kSets, QStringLiteral("Add"), {QStringLiteral("j")}));
    const std::vector<std::pair<QString, QString>> objects{
        {QStringLiteral("application.xml"), kApplication},
        {QStringLiteral("documents.xml"), kDocumentsPath},
        {QStringLiteral("document.xml"), document},
        {QStringLiteral("space.xml"), document + QStringLiteral("/ModelSpace")},
        {QStringLiteral("utility.xml"), document + QStringLiteral("/Utility")},
        {QStringLiteral("selectionsets.xml"), document + QStringLiteral("/SelectionSets")},
        {QStringLiteral("selectionset.xml"), set},
        {QStringLiteral("entity.xml"), texts[0]},
    };
    QSet<QString> described;
    for (const auto& [fileName, path] : objects) {
        QFile file(QStringLiteral(CADHOST_XML_DIR "/") + fileName);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << fileName.toStdString();
        const QDBusMessage reply =
            bus.call(path, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                     QStringLiteral("Introspect"));
        ASSERT_THAT(reply, Succeeds());
        const QSet<QString> expected = membersOf(QString::fromUtf8(file.readAll()));
        const QSet<QString> actual = membersOf(firstArgument(reply).toString());
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(actual, expected) << fileName.toStdString();
        described.unite(expected);
    }
    // Every member Quorvel calls by name is one the files describe.
    for (const auto& [interface, member] : automationlink::kContractMembers) {
        const QString name = QLatin1String(interface) + u'.' + QLatin1String(member);
        EXPECT_TRUE(std::any_of(described.cbegin(), described.cend(), [&](const QString& entry) {
            return entry.startsWith(name + u':') || entry.startsWith(name + u'(');
        })) << name.toStdString();
    }
    const QDBusMessage root =
        bus.call(QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Introspectable"),
                 QStringLiteral("Introspect"));
    ASSERT_THAT(root, Succeeds());
    EXPECT_TRUE(firstArgument(root).toString().contains(u"<node name=\"Application\""));
}

}  // namespace
}  // namespace quorvel::cadhost::test
