#include "platform/enginemessages.h"

namespace quorvel::platform {

EngineMessageBoxes::EngineMessageBoxes(MessageBoxes& boxes, QWidget* owner)
    : boxes_(boxes), owner_(owner) {}

void EngineMessageBoxes::showMessage(const std::u16string& text, const std::u16string& caption,
                                     engine::MessageIcon icon) {
    // The owner may be hidden during a batch run; a hidden owner would hide the box with it.
    QWidget* owner = owner_ && owner_->isVisible() ? owner_.data() : nullptr;
    boxes_.showMessage(owner, QString::fromStdU16String(text), QString::fromStdU16String(caption),
                       icon == engine::MessageIcon::Stop ? MessageIcon::Stop : MessageIcon::None);
}

}  // namespace quorvel::platform
