#include "engine/automation.h"

#include "engine/textutil.h"

namespace quorvel::engine {

AutomationError::AutomationError(std::int32_t number, std::u16string description)
    : number_(number),
      description_(std::move(description)),
      what_("automation error " + std::to_string(number) + ": " + toUtf8(description_)) {}

}  // namespace quorvel::engine
