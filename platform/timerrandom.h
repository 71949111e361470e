#pragma once
#include <cstdint>
#include <random>

#include "engine/services.h"

namespace quorvel::platform {

// Random whole numbers from 0 to 999,999,999, re-seeded from the system timer on request.
class TimerSeededRandom final : public engine::RandomNumbers {
public:
    TimerSeededRandom();
    void reseedFromTimer() override;
    std::uint32_t next() override;

private:
    std::mt19937 generator_;
};

}  // namespace quorvel::platform
