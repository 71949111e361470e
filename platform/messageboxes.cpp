#include "platform/messageboxes.h"

#include <QMessageBox>

namespace quorvel::platform {

void QtMessageBoxes::showMessage(QWidget* owner, const QString& text, const QString& caption,
                                 MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace quorvel::platform
