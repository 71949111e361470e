#include "platform/helpviewer.h"

#include <QDesktopServices>
#include <QUrl>

namespace quorvel::platform {

void DesktopHelpViewer::showHelp(QWidget* /*owner*/, const QString& helpFilePath) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(helpFilePath));
}

}  // namespace quorvel::platform
