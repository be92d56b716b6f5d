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

void SystemClock::Idle()
{
    // The line flash waits for the next millisecond; give the core away meanwhile.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
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
