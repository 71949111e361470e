// cad-host: the CAD host that Quorvel drives. Serves its drawings on the session bus under the
// name "AutoCAD.Application" and shows them in a window that stays hidden until a client sets
// Visible (or --show is given).
#include "cadhost/host/busendpoint.h"
#include "cadhost/host/busprotocol.h"
#include "cadhost/host/busserver.h"
#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"
#include "cadhost/host/hostwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>

using namespace quorvel::cadhost;

namespace {

void complain(const QString& message) {
    std::fprintf(stderr, "cad-host: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cad-host"));
    // The host keeps running with its window hidden; it ends when its user closes the window.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Quorvel 的 CAD 主机"));
    options.addHelpOption();
    const QCommandLineOption releaseOption(
        QStringLiteral("release"), QStringLiteral("模仿的 CAD 版本：R14 或 R2000（默认）。"),
        QStringLiteral("release"), QStringLiteral("R2000"));
    const QCommandLineOption showOption(QStringLiteral("show"),
                                        QStringLiteral("启动时就显示窗口。"));
    options.addOption(releaseOption);
    options.addOption(showOption);
    options.addPositionalArgument(QStringLiteral("图形"), QStringLiteral("启动后打开的图形文件。"),
                                  QStringLiteral("[图形...]"));
    options.process(application);

    const QString releaseName = options.value(releaseOption).toUpper();
    if (releaseName != u"R14" && releaseName != u"R2000") {
        complain(QStringLiteral("--release 只能是 R14 或 R2000，收到的是“%1”。")
                     .arg(options.value(releaseOption)));
        return 2;
    }
    const Release release = releaseName == u"R14" ? Release::R14 : Release::R2000;

    QString busError;
    const std::unique_ptr<BusEndpoint> bus = BusEndpoint::connect(QString(), &busError);
    if (!bus) {
        complain(QStringLiteral("无法连接会话总线：%1").arg(busError));
        return 1;
    }

    const QString programFolder = QCoreApplication::applicationDirPath();
    HostModel model(release, programFolder + QStringLiteral("/TEMPLATE/acad.dwt"));
    CommandInterpreter interpreter(model);
    HostWindow window(model, interpreter);
    BusServer server(model, interpreter, window, QCoreApplication::applicationFilePath());
    window.setBusServer(&server);

    // Like a CAD host, start with one new drawing, so there is always an active document.
    try {
        model.addFromTemplate(QString());
    } catch (const core::HostError& error) {
        complain(errorMessage(error));
    }
    for (const QString& file : options.positionalArguments()) {
        try {
            model.openNew(file);
        } catch (const core::HostError& error) {
            complain(errorMessage(error));
        }
    }

    bus->setServer(&server);
    // The name is taken last, so a client that sees it finds a host ready to answer.
    if (!bus->requestName(QLatin1String(kBusName), &busError)) {
        complain(QStringLiteral("总线名称 %1 已被另一个程序占用。%2")
                     .arg(QLatin1String(kBusName), busError));
        return 1;
    }

    // Without its bus nobody can reach a hidden host any more; a visible one stays for its user.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, [&] {
        if (!bus->isConnected() && !window.isVisible()) {
            QApplication::quit();
        }
    });
    busWatch.start(2000);

    if (options.isSet(showOption)) {
        window.show();
    }
    return QApplication::exec();
}
