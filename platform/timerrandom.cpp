#include "platform/timerrandom.h"

#include <chrono>

namespace quorvel::platform {

TimerSeededRandom::TimerSeededRandom() {
    reseedFromTimer();
}

void TimerSeededRandom::reseedFromTimer() {
    // Nanoseconds, so two drawings done within one timer tick still get different seeds.
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    const auto wide = static_cast<std::uint64_t>(ticks);
    std::seed_seq seed{static_cast<std::uint32_t>(wide), static_cast<std::uint32_t>(wide >> 32)};
    generator_.seed(seed);
}

std::uint32_t TimerSeededRandom::next() {
    std::uniform_int_distribution<std::uint32_t> range(0, 999'999'999);
    return range(generator_);
}

}  // namespace quorvel::platform
