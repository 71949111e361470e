#include "platform/filedialogs.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>

namespace quorvel::platform {

namespace {

// The widget dialog derives the patterns from the label's last "(...)"; a label such as
// "所有文件（*.*)" (full-width bracket) has none, so the patterns are applied by hand whenever
// a row is chosen.
void applyFilters(QFileDialog& dialog, const std::vector<FileFilter>& filters) {
    QStringList labels;
    for (const FileFilter& filter : filters) {
        labels << filter.label;
    }
    dialog.setNameFilters(labels);
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (!model || filters.empty()) {
        return;
    }
    const auto usePatternsOf = [model, filters, labels](const QString& label) {
        const qsizetype row = labels.indexOf(label);
        if (row >= 0) {
            model->setNameFilters(filters[static_cast<std::size_t>(row)].patterns);
        }
    };
    // Runs after the dialog's own handling of the same choice, which it overrides.
    QObject::connect(&dialog, &QFileDialog::filterSelected, model, usePatternsOf);
    dialog.selectNameFilter(labels.front());
    usePatternsOf(labels.front());
}

std::optional<QStringList> runDialog(QWidget* owner, const QString& title,
                                     const std::vector<FileFilter>& filters,
                                     QFileDialog::AcceptMode acceptMode, bool several) {
    QFileDialog dialog(owner, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(acceptMode);
    // AnyFile: a typed name is handed on as typed, existing or not (the ExistingFiles mode would
    // refuse it). Several files are still chosen at once in the dialog's views.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (several) {
        for (const char* name : {"listView", "treeView"}) {
            if (auto* view = dialog.findChild<QAbstractItemView*>(QLatin1String(name))) {
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
            }
        }
    }
    applyFilters(dialog, filters);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    QStringList chosen = dialog.selectedFiles();
    if (several) {
        // A folder picked along with files is not a file (alone it only opens in the dialog).
        chosen.removeIf([](const QString& path) { return QFileInfo(path).isDir(); });
    }
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

}  // namespace

std::optional<QStringList> QtFileDialogs::chooseFilesToOpen(
    QWidget* owner, const QString& title, const std::vector<FileFilter>& filters) {
    return runDialog(owner, title, filters, QFileDialog::AcceptOpen, true);
}

std::optional<QString> QtFileDialogs::chooseFileToOpen(QWidget* owner, const QString& title,
                                                       const std::vector<FileFilter>& filters) {
    // A typed name that does not exist is handed on, and reading it then fails.
    auto chosen = runDialog(owner, title, filters, QFileDialog::AcceptOpen, false);
    return chosen ? std::optional<QString>(chosen->front()) : std::nullopt;
}

std::optional<QString> QtFileDialogs::chooseFileToSave(QWidget* owner, const QString& title,
                                                       const std::vector<FileFilter>& filters) {
    auto chosen = runDialog(owner, title, filters, QFileDialog::AcceptSave, false);
    return chosen ? std::optional<QString>(chosen->front()) : std::nullopt;
}

}  // namespace quorvel::platform
