#include "game/SystemPorts.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace quadix {

uint32_t SystemClock::TickCount()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SystemClock::SleepUntil(uint32_t tick)
{
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto nowMs = duration_cast<milliseconds>(now.time_since_epoch());
    // The signed 32-bit distance stays right across the wrap of the count.
    const auto ahead = static_cast<int32_t>(tick - static_cast<uint32_t>(nowMs.count()));
    if (ahead <= 0)
        return;
    // The count reads `tick` from the start of that millisecond on.
    std::this_thread::sleep_until(steady_clock::time_point(nowMs + milliseconds(ahead)));
}

uint32_t MillisecondsSinceMidnight()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return static_cast<uint32_t>((local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000 + ms);
}

void MersenneRandom::SeedFromTimeOfDay()
{
    Reseed(MillisecondsSinceMidnight());
}

double MersenneRandom::Next()
{
    // 32 random bits scaled into [0, 1): never 1.
    return static_cast<double>(engine_()) / 4294967296.0;
}

} // namespace quadix
