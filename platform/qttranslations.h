#pragma once

class QCoreApplication;

namespace quorvel::platform {

// Installs Qt's own Simplified Chinese texts (file dialogs, message box buttons, the text
// fields' context menu) from Qt's translations folder. Returns false when they are not
// installed; Qt's texts then stay English.
bool installChineseQtTranslations(QCoreApplication& application);

}  // namespace quorvel::platform
