#pragma once
#include <QWidget>
#include <functional>

#include "engine/services.h"
#include "platform/messageboxes.h"

namespace quorvel::platform {

// The engine's message boxes shown through MessageBoxes. The owner is asked for at each message:
// during a batch run the main window is hidden and the progress window stands in for it.
class EngineMessageBoxes final : public engine::Messages {
public:
    EngineMessageBoxes(MessageBoxes& boxes, std::function<QWidget*()> owner);
    void showMessage(const std::u16string& text, const std::u16string& caption,
                     engine::MessageIcon icon) override;
    void showDetailedMessage(const std::u16string& text, const std::u16string& caption,
                             engine::MessageIcon icon, const std::u16string& details) override;

private:
    MessageBoxes& boxes_;
    std::function<QWidget*()> owner_;
};

}  // namespace quorvel::platform
