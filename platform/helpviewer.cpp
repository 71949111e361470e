#include "platform/helpviewer.h"

#include <QProcess>
#include <QStandardPaths>

namespace quorvel::platform {

namespace {

const QString kHelpMimeType = QStringLiteral("application/vnd.ms-htmlhelp");
// Debian's viewers, for desktops whose associations know none.
const char* const kKnownViewers[] = {"xchm", "kchmviewer"};
constexpr int kQueryTimeoutMs = 3000;

bool xdgMimeNamesAHelpProgram() {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) {
        return false;
    }
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), kHelpMimeType});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

std::optional<HelpLaunch> chooseHelpLaunch(const QString& helpFilePath,
                                           const HelpDesktop& desktop) {
    if (desktop.hasHelpAssociation()) {
        const QString xdgOpen = desktop.findProgram(QStringLiteral("xdg-open"));
        if (!xdgOpen.isEmpty()) {
            return HelpLaunch{xdgOpen, {helpFilePath}};
        }
    }
    for (const char* viewer : kKnownViewers) {
        const QString path = desktop.findProgram(QString::fromLatin1(viewer));
        if (!path.isEmpty()) {
            return HelpLaunch{path, {helpFilePath}};
        }
    }
    return std::nullopt;
}

HelpDesktop systemHelpDesktop() {
    HelpDesktop desktop;
    desktop.hasHelpAssociation = xdgMimeNamesAHelpProgram;
    desktop.findProgram = [](const QString& name) { return QStandardPaths::findExecutable(name); };
    return desktop;
}

void DesktopHelpViewer::showHelp(QWidget* /*owner*/, const QString& helpFilePath) {
    if (const auto launch = chooseHelpLaunch(helpFilePath, systemHelpDesktop())) {
        QProcess::startDetached(launch->program, launch->arguments);
    }
}

}  // namespace quorvel::platform
