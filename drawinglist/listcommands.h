#pragma once
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "drawinglist/listfileio.h"

class QWidget;

namespace quorvel::platform {
class FileDialogs;
class MessageBoxes;
}  // namespace quorvel::platform

namespace quorvel::drawinglist {

class DrawingListView;

// The five buttons under the drawing list: add files, delete selected, delete all, save list,
// read list. Failures end the command with one message box; nothing done before is undone.
class DrawingListCommands : public QObject {
    Q_OBJECT
public:
    // Either service may be missing: no dialog then counts as a cancel, no message box as silence.
    DrawingListCommands(DrawingListView* list, platform::FileDialogs* dialogs,
                        platform::MessageBoxes* messages, QWidget* owner);

    void addFiles();
    void removeSelected();
    void removeAll();
    void saveList();
    void readList();

    static const QString kChooseFileMessage;     // "请选择文件！"
    static const QString kSaveCancelledMessage;  // "保存文件被取消！"
    static const QString kReadCancelledMessage;  // "读取文件被取消！"
    static const QString kBadListFileMessage;    // "数据文件格式有误或操作不当！"
    static const QString kErrorCaption;          // "错误"

private:
    void showError(const QString& text);
    void runListFileCommand(const QString& cancelledMessage,
                            const std::function<std::optional<ListFileOutcome>()>& command);

    DrawingListView* list_;
    platform::FileDialogs* dialogs_;
    platform::MessageBoxes* messages_;
    QWidget* owner_;
};

}  // namespace quorvel::drawinglist
