#include "platform/enginemessages.h"

namespace quorvel::platform {

EngineMessageBoxes::EngineMessageBoxes(MessageBoxes& boxes, std::function<QWidget*()> owner)
    : boxes_(boxes), owner_(std::move(owner)) {}

void EngineMessageBoxes::showMessage(const std::u16string& text, const std::u16string& caption,
                                     engine::MessageIcon icon) {
    boxes_.showMessage(owner_ ? owner_() : nullptr, QString::fromStdU16String(text),
                       QString::fromStdU16String(caption),
                       icon == engine::MessageIcon::Stop ? MessageIcon::Stop : MessageIcon::None);
}

void EngineMessageBoxes::showDetailedMessage(const std::u16string& text,
                                             const std::u16string& caption,
                                             engine::MessageIcon icon,
                                             const std::u16string& details) {
    boxes_.showDetailedMessage(
        owner_ ? owner_() : nullptr, QString::fromStdU16String(text),
        QString::fromStdU16String(caption),
        icon == engine::MessageIcon::Stop ? MessageIcon::Stop : MessageIcon::None,
        QString::fromStdU16String(details));
}

}  // namespace quorvel::platform
