#include "platform/messageboxes.h"

#include <QMessageBox>

namespace quorvel::platform {

void QtMessageBoxes::showMessage(QWidget* owner, const QString& text, const QString& caption,
                                 MessageIcon icon) {
    showDetailedMessage(owner, text, caption, icon, QString());
}

void QtMessageBoxes::showDetailedMessage(QWidget* owner, const QString& text,
                                         const QString& caption, MessageIcon icon,
                                         const QString& details) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, owner);
    box.setDetailedText(details);  // an empty text shows no details button
    box.exec();
}

}  // namespace quorvel::platform
