#include "windows/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace quorvel::windows {

QString songtiFontFamily() {
    const QStringList installed = QFontDatabase::families();
    for (const QString& candidate :
         {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
          QStringLiteral("Noto Sans CJK SC")}) {
        if (installed.contains(candidate)) {
            return candidate;
        }
    }
    return QStringLiteral("宋体");
}

}  // namespace quorvel::windows
