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
};

// Modal QMessageBox with a single OK button.
class QtMessageBoxes final : public MessageBoxes {
public:
    void showMessage(QWidget* owner, const QString& text, const QString& caption,
                     MessageIcon icon) override;
};

}  // namespace quorvel::platform
