#pragma once
#include <QString>

class QWidget;

namespace quorvel::platform {

enum class MessageIcon { None, Stop };

// One-button (OK) message boxes. Tests answer them with a recording double.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void showMessage(QWidget* owner, const QString& text, const QString& caption,
                             MessageIcon icon) = 0;
    // The same box with more text behind a "details" button.
    virtual void showDetailedMessage(QWidget* owner, const QString& text, const QString& caption,
                                     MessageIcon icon, const QString& details) {
        Q_UNUSED(details);
        showMessage(owner, text, caption, icon);
    }
};

// Modal QMessageBox with a single OK button.
class QtMessageBoxes final : public MessageBoxes {
public:
    void showMessage(QWidget* owner, const QString& text, const QString& caption,
                     MessageIcon icon) override;
    void showDetailedMessage(QWidget* owner, const QString& text, const QString& caption,
                             MessageIcon icon, const QString& details) override;
};

}  // namespace quorvel::platform
