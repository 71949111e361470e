#pragma once
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QWidget;

namespace quorvel::platform {

// One row of a dialog's file-type list: the text shown and the name patterns it stands for.
struct FileFilter {
    QString label;
    QStringList patterns;
};

// The common file dialogs. Every call returns nothing when the user cancels. Tests script them
// with chosen paths or a cancel.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // Several files at once; the result holds full paths in the order the dialog gave them.
    virtual std::optional<QStringList> chooseFilesToOpen(
        QWidget* owner, const QString& title, const std::vector<FileFilter>& filters) = 0;
    virtual std::optional<QString> chooseFileToOpen(QWidget* owner, const QString& title,
                                                    const std::vector<FileFilter>& filters) = 0;
    // No overwrite question and no default extension: a name typed without one stays so.
    virtual std::optional<QString> chooseFileToSave(QWidget* owner, const QString& title,
                                                    const std::vector<FileFilter>& filters) = 0;
};

// QFileDialog, Qt's own widget-based dialog, so that the filter rows show their labels exactly.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<QStringList> chooseFilesToOpen(QWidget* owner, const QString& title,
                                                 const std::vector<FileFilter>& filters) override;
    std::optional<QString> chooseFileToOpen(QWidget* owner, const QString& title,
                                            const std::vector<FileFilter>& filters) override;
    std::optional<QString> chooseFileToSave(QWidget* owner, const QString& title,
                                            const std::vector<FileFilter>& filters) override;
};

}  // namespace quorvel::platform
