#pragma once
#include <QPointer>
#include <QWidget>

#include "engine/services.h"
#include "platform/messageboxes.h"

namespace quorvel::platform {

// The engine's message boxes shown through MessageBoxes, owned by the given window.
class EngineMessageBoxes final : public engine::Messages {
public:
    EngineMessageBoxes(MessageBoxes& boxes, QWidget* owner);
    void showMessage(const std::u16string& text, const std::u16string& caption,
                     engine::MessageIcon icon) override;

private:
    MessageBoxes& boxes_;
    QPointer<QWidget> owner_;
};

}  // namespace quorvel::platform
