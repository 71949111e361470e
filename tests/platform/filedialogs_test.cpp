#include "platform/filedialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using quorvel::platform::FileFilter;
using quorvel::platform::QtFileDialogs;

namespace {

const std::vector<FileFilter> kListFilters = {
    {QStringLiteral("列表文件(*.txt)"), {QStringLiteral("*.txt")}},
    {QStringLiteral("所有文件（*.*)"), {QStringLiteral("*")}}};

// Runs `inspect` on the dialog once it is showing.
void whenShown(std::function<void(QFileDialog&)> inspect) {
    QTimer::singleShot(0, [inspect] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        inspect(*dialog);
    });
}

}  // namespace

TEST(QtFileDialogs, LabelsShowAsGivenAndEachRowFiltersByItsOwnPatterns) {
    QStringList labels;
    QString title;
    QStringList firstRowPatterns;
    QStringList secondRowPatterns;
    whenShown([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        labels = dialog.nameFilters();
        auto* model = dialog.findChild<QFileSystemModel*>();
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(model, nullptr);
        ASSERT_NE(combo, nullptr);
        firstRowPatterns = model->nameFilters();
        // The user picks the second row.
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        emit combo->textActivated(combo->itemText(1));
        secondRowPatterns = model->nameFilters();
        dialog.reject();
    });
    QtFileDialogs dialogs;
    EXPECT_EQ(dialogs.chooseFileToSave(nullptr, QStringLiteral("保存列表文件"), kListFilters),
              std::nullopt);
    EXPECT_EQ(title, "保存列表文件");
    EXPECT_EQ(labels, QStringList({"列表文件(*.txt)", "所有文件（*.*)"}));
    EXPECT_EQ(firstRowPatterns, QStringList({"*.txt"}));
    EXPECT_EQ(secondRowPatterns, QStringList({"*"}));
}

TEST(QtFileDialogs, SeveralChosenFilesComeBackAsFullPaths) {
    QTemporaryDir folder;
    for (const char* name : {"a.dwg", "b 图.dwg"}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    whenShown([&](QFileDialog& dialog) {
        auto* files = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"));
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->selectionMode(), QAbstractItemView::ExtendedSelection);
        dialog.setDirectory(folder.path());
        dialog.selectFile(QStringLiteral("\"a.dwg\" \"b 图.dwg\""));
        static_cast<QDialog&>(dialog).accept();  // the dialog's own checks run
    });
    QtFileDialogs dialogs;
    const auto chosen =
        dialogs.chooseFilesToOpen(nullptr, QStringLiteral("Select File(s)..."),
                                  {{QStringLiteral("图形 (*.dwg)"), {QStringLiteral("*.dwg")}}});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QStringList({folder.filePath("a.dwg"), folder.filePath("b 图.dwg")}));

    // Typed names are taken as typed: no test that the files exist, no extension added.
    whenShown([&](QFileDialog& dialog) {
        dialog.setDirectory(folder.path());
        dialog.selectFile(QStringLiteral("\"new.dwg\" \"plan\""));
        // A "file not found" box would mean the names were refused: answer it, then give up.
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->reject();
            }
        });
        static_cast<QDialog&>(dialog).accept();
        if (dialog.isVisible()) {
            dialog.reject();
        }
    });
    EXPECT_EQ(dialogs.chooseFilesToOpen(nullptr, QStringLiteral("Select File(s)..."), {}),
              QStringList({folder.filePath("new.dwg"), folder.filePath("plan")}));
}

TEST(QtFileDialogs, ATypedNameWithoutExtensionIsSavedWithout) {
    QTemporaryDir folder;
    whenShown([&](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.defaultSuffix().isEmpty());
        dialog.setDirectory(folder.path());
        dialog.selectFile(QStringLiteral("list"));
        static_cast<QDialog&>(dialog).accept();  // the dialog's own checks run
    });
    QtFileDialogs dialogs;
    EXPECT_EQ(dialogs.chooseFileToSave(nullptr, QStringLiteral("保存列表文件"), kListFilters),
              folder.filePath("list"));
}
