#include "windows/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace quorvel::windows {

QString songtiFontFamily() {
    const QStringList installed = QFontDatabase::families();
    // A Song face with the classic small-size metrics first: at 12 pixels (9 points at 96 dpi)
    // "AR PL UMing CN" needs 13 rows from accent to tail, where the Noto CJK faces need 15 to 17
    // and lose the tails of g, j, p, q, y and the underscore in an 18-pixel text field.
    // On Windows without the optional SimSun (Western editions of Windows 10 and later), the
    // Song face NSimSun comes with it or not at all; Microsoft YaHei is always there.
    for (const QString& candidate :
         {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("新宋体"),
          QStringLiteral("NSimSun"), QStringLiteral("AR PL UMing CN"),
          QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
          QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei")}) {
        if (installed.contains(candidate)) {
            return candidate;
        }
    }
    return QStringLiteral("宋体");
}

}  // namespace quorvel::windows
