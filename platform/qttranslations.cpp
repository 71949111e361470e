#include "platform/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quorvel::platform {

bool installChineseQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    // "qt_zh_CN" pulls in the catalogues of every Qt module that has one (qtbase, ...).
    const bool loaded =
        translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace quorvel::platform
