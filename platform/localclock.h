#pragma once
#include "engine/services.h"

namespace quorvel::platform {

// The time of day in the system locale's long time format, without a time-zone name.
class LocaleClock final : public engine::Clock {
public:
    std::u16string timeOfDayText() override;
};

}  // namespace quorvel::platform
