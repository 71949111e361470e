#include "platform/helpviewer.h"
#include "platform/windows/windowservices.h"

namespace quorvel::platform {

// The system's HTML Help, as the help file is made for.
void DesktopHelpViewer::showHelp(QWidget* /*owner*/, const QString& helpFilePath) {
    windows::showHelp(helpFilePath.toStdU16String());
}

}  // namespace quorvel::platform
