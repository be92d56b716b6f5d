#pragma once
// Events a test schedules on a fake clock. The game loop's event pump hands
// control to the script: the events that are due run; with none due, the
// clock jumps to the next event or to the end of the loop's wait.
#include <cstdint>
#include <functional>
#include <map>

#include "support/ModelFakes.h"

namespace quadix::test {

class EventScript {
public:
    explicit EventScript(FakeClock& clock) : clock_(clock), seen_(clock.now) {}

    // Schedules an event `afterMs` from now (in fake time).
    void at(uint32_t afterMs, std::function<void()> event)
    {
        sync();
        events_.emplace(time_ + afterMs, std::move(event));
    }

    // One hand-over from the game loop, which may wait up to waitMs
    // (waitMs < 0: until the next event). Returns false when nothing at all
    // could ever wake the loop: a paused game with no event left.
    bool pump(int waitMs)
    {
        if (runDue() || waitMs == 0)
            return true;
        const bool haveEvent = !events_.empty();
        uint64_t target;
        if (waitMs < 0) {
            if (!haveEvent)
                return false;
            target = events_.begin()->first;
        } else {
            target = std::min<uint64_t>(time_ + static_cast<uint64_t>(waitMs),
                                        haveEvent ? events_.begin()->first : UINT64_MAX);
        }
        clock_.now += static_cast<uint32_t>(target - time_);
        runDue();
        return true;
    }

    bool empty() const { return events_.empty(); }

private:
    // Fake time in 64 bits, so that the 32-bit tick count may wrap under the events.
    void sync()
    {
        time_ += clock_.now - seen_;
        seen_ = clock_.now;
    }

    bool runDue()
    {
        sync();
        bool ran = false;
        while (!events_.empty() && events_.begin()->first <= time_) {
            auto event = std::move(events_.begin()->second);
            events_.erase(events_.begin());
            event();
            sync();
            ran = true;
        }
        return ran;
    }

    FakeClock& clock_;
    uint64_t time_ = 0;
    uint32_t seen_;
    std::multimap<uint64_t, std::function<void()>> events_;
};

} // namespace quadix::test
