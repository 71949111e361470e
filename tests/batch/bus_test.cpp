// quorvel-batch --host bus against the real cad-host on a private bus: the same single-line texts
// as the in-process run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"

namespace quorvel::batch {
namespace {

using quorvel::testsupport::PrivateBus;
namespace ezdxf = quorvel::testsupport::ezdxfqt;

int runBatch(const QStringList& arguments, const QString& busAddress, const QString& dataFolder,
             QString* output) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataFolder);
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(QUORVEL_BATCH_PROGRAM), arguments);
    program.waitForFinished(120000);
    *output = QString::fromUtf8(program.readAll());
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

TEST(BatchBusTest, SingleLineTextComesOutAsInProcess) {
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    QTemporaryDir folder;
    const QStringList kinds{QStringLiteral("r12"), QStringLiteral("r2000"),
                            QStringLiteral("r2018")};
    for (const char* side : {"bus", "inprocess"}) {
        QDir(folder.path()).mkdir(QLatin1String(side));
        for (const QString& kind : kinds) {
            const QString path = folder.path() + "/" + side + "/" + kind + ".dwg";
            if (side == QLatin1String("bus"))
                ASSERT_NO_THROW(ezdxf::write(kind, path));
            else
                ASSERT_TRUE(QFile::copy(folder.path() + "/bus/" + kind + ".dwg", path));
        }
    }
    const QStringList pair{QStringLiteral("--find"),    QStringLiteral("旧文本"),
                           QStringLiteral("--replace"), QStringLiteral("新文字"),
                           QStringLiteral("--layer"),   QStringLiteral("标注,TEXT"),
                           QStringLiteral("--height"),  QStringLiteral("4")};
    QString output;
    ASSERT_EQ(runBatch(pair + QStringList{QStringLiteral("--host"), QStringLiteral("bus"),
                                          folder.path() + "/bus"},
                       bus.address(), folder.path() + "/data", &output),
              0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("运行编号："))) << output.toStdString();
    ASSERT_EQ(runBatch(pair + QStringList{folder.path() + "/inprocess"}, bus.address(),
                       folder.path() + "/data", &output),
              0)
        << output.toStdString();
    for (const QString& kind : kinds) {
        QStringList overBus = ezdxf::texts(folder.path() + "/bus/" + kind + ".dwg");
        QStringList inProcess = ezdxf::texts(folder.path() + "/inprocess/" + kind + ".dwg");
        overBus.sort();
        inProcess.sort();
        EXPECT_EQ(overBus, inProcess) << kind.toStdString();
        EXPECT_TRUE(inProcess.join('|').contains(QStringLiteral("新文字")));
        // Layer 0 is not in the pattern.
        EXPECT_TRUE(inProcess.contains(QStringLiteral("旧文本旧文本")));
    }
}

}  // namespace
}  // namespace quorvel::batch
