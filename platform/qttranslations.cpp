#include "platform/qttranslations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <utility>

namespace quorvel::platform {

namespace {

// Texts of Qt's own that its Chinese catalogue lacks: the type column of the file dialog.
class MissingQtTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) {
            return {};
        }
        static const std::pair<const char*, const char*> kTexts[] = {
            {"Folder", "文件夹"},     {"File Folder", "文件夹"}, {"Drive", "驱动器"},
            {"Shortcut", "快捷方式"}, {"Alias", "替身"},
        };
        for (const auto& [english, chinese] : kTexts) {
            if (qstrcmp(sourceText, english) == 0) {
                return QString::fromUtf8(chinese);
            }
        }
        return {};
    }
};

}  // namespace

bool installChineseQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    // A Qt linked into the program (Windows) brings the catalogue of its one module, qtbase, as
    // a resource. Otherwise "qt_zh_CN" pulls in the catalogues of every Qt module that has one.
    const QString embedded = QStringLiteral(":/qt-translations");
    const bool linkedIn = QFileInfo::exists(embedded + QStringLiteral("/qtbase_zh_CN.qm"));
    const bool loaded = translator->load(
        QLocale(QLocale::Chinese, QLocale::China),
        linkedIn ? QStringLiteral("qtbase") : QStringLiteral("qt"), QStringLiteral("_"),
        linkedIn ? embedded : QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(new MissingQtTexts(&application));
    return true;
}

}  // namespace quorvel::platform
