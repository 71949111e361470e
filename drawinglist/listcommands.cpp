#include "drawinglist/listcommands.h"

#include <exception>

#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"
#include "drawinglist/listfileio.h"
#include "platform/filedialogs.h"
#include "platform/messageboxes.h"

namespace quorvel::drawinglist {

const QString DrawingListCommands::kChooseFileMessage = QStringLiteral("请选择文件！");
const QString DrawingListCommands::kSaveCancelledMessage = QStringLiteral("保存文件被取消！");
const QString DrawingListCommands::kReadCancelledMessage = QStringLiteral("读取文件被取消！");
const QString DrawingListCommands::kBadListFileMessage =
    QStringLiteral("数据文件格式有误或操作不当！");
const QString DrawingListCommands::kErrorCaption = QStringLiteral("错误");

namespace {

std::vector<platform::FileFilter> drawingFilters() {
    return {{QStringLiteral("图形 (*.dwg)"), {QStringLiteral("*.dwg")}}};
}

// "*.*" on the system the list files come from means every file, with or without a dot.
std::vector<platform::FileFilter> listFileFilters() {
    return {{QStringLiteral("列表文件(*.txt)"), {QStringLiteral("*.txt")}},
            {QStringLiteral("所有文件（*.*)"), {QStringLiteral("*")}}};
}

}  // namespace

DrawingListCommands::DrawingListCommands(DrawingListView* list, platform::FileDialogs* dialogs,
                                         platform::MessageBoxes* messages, QWidget* owner)
    : QObject(list), list_(list), dialogs_(dialogs), messages_(messages), owner_(owner) {}

void DrawingListCommands::showError(const QString& text) {
    if (messages_) {
        messages_->showMessage(owner_, text, kErrorCaption, platform::MessageIcon::Stop);
    }
}

void DrawingListCommands::addFiles() {
    try {
        const std::optional<QStringList> chosen =
            dialogs_ ? dialogs_->chooseFilesToOpen(owner_, QStringLiteral("Select File(s)..."),
                                                   drawingFilters())
                     : std::nullopt;
        if (!chosen || chosen->isEmpty()) {
            showError(kChooseFileMessage);
            return;
        }
        list_->drawings()->addChosenPaths(*chosen);
    } catch (const std::exception&) {
        showError(kChooseFileMessage);
    }
}

void DrawingListCommands::removeSelected() {
    list_->removeSelected();
}

void DrawingListCommands::removeAll() {
    list_->drawings()->removeAll();
}

void DrawingListCommands::saveList() {
    runListFileCommand(kSaveCancelledMessage, [this]() -> std::optional<ListFileOutcome> {
        const std::optional<QString> path =
            dialogs_ ? dialogs_->chooseFileToSave(owner_, QStringLiteral("保存列表文件"),
                                                  listFileFilters())
                     : std::nullopt;
        if (!path) {
            return std::nullopt;
        }
        return saveListFile(*path, *list_->drawings());
    });
}

void DrawingListCommands::readList() {
    // Emptied before the dialog opens, whatever follows.
    list_->drawings()->removeAll();
    runListFileCommand(kReadCancelledMessage, [this]() -> std::optional<ListFileOutcome> {
        const std::optional<QString> path =
            dialogs_ ? dialogs_->chooseFileToOpen(owner_, QStringLiteral("读取列表文件"),
                                                  listFileFilters())
                     : std::nullopt;
        if (!path) {
            return std::nullopt;
        }
        return readListFile(*path, *list_->drawings());
    });
}

// A cancelled dialog or a refused file gets the command's own message; every other failure
// the common one.
void DrawingListCommands::runListFileCommand(
    const QString& cancelledMessage,
    const std::function<std::optional<ListFileOutcome>()>& command) {
    try {
        const std::optional<ListFileOutcome> outcome = command();
        if (!outcome || *outcome == ListFileOutcome::Refused) {
            showError(cancelledMessage);
        } else if (*outcome == ListFileOutcome::Failed) {
            showError(kBadListFileMessage);
        }
    } catch (const std::exception&) {
        showError(kBadListFileMessage);
    }
}

}  // namespace quorvel::drawinglist
