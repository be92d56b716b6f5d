#pragma once
// The real clock and random generator of the game.
#include <random>

#include "game/Ports.h"

namespace quadix {

// Milliseconds of the monotonic system clock, cut to 32 bits like the
// classic tick count: it wraps after about 49.7 days of uptime.
class SystemClock : public Clock {
public:
    uint32_t TickCount() override;
    void SleepUntil(uint32_t tick) override;
};

// Mersenne Twister; each game seeds it afresh.
class MersenneRandom : public Random {
public:
    void SeedFromTimeOfDay() override;
    double Next() override;
    void Reseed(uint32_t seed) { engine_.seed(seed); }

private:
    std::mt19937 engine_;
};

// Milliseconds since local midnight: the time of day that seeds each game.
uint32_t MillisecondsSinceMidnight();

} // namespace quadix
