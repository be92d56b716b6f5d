#pragma once
// A main window stand-in for the game flow: it records menu and message
// states, and its event pump runs the test's scripted events at their times
// on a fake clock, so whole games play in milliseconds.
#include <functional>
#include <map>
#include <string>

#include "control/GameFlow.h"
#include "support/ModelFakes.h"

namespace quadix::test {

class ScriptedWindow : public GameWindow {
public:
    explicit ScriptedWindow(FakeClock& clock) : clock_(clock) {}

    void SetMenuCaption(MenuItem item, const std::string& caption) override { captions[item] = caption; }
    void SetMenuEnabled(MenuItem item, bool enabled) override { enabled_[item] = enabled; }
    void ShowMessage(Message message, bool visible) override { shown[message] = visible; }
    void FocusPlayfield() override { ++focusRequests; }
    void EnterName() override
    {
        ++nameEntries;
        if (onEnterName)
            onEnterName();
    }

    // Runs the events due now; with none due, moves the clock on to the next
    // event or to the end of the wait, whichever comes first.
    void ProcessEvents(int waitMs) override
    {
        ++pumps;
        waits.push_back(waitMs);
        if (onPump)
            onPump();
        if (runDue())
            return;
        if (waitMs == 0)
            return;
        const bool haveEvent = !events.empty();
        uint64_t target;
        if (waitMs < 0) {
            if (!haveEvent) { // nothing would ever wake the loop
                ++deadlocks;
                if (onDeadlock)
                    onDeadlock();
                return;
            }
            target = events.begin()->first;
        } else {
            target = std::min<uint64_t>(time_ + static_cast<uint64_t>(waitMs),
                                        haveEvent ? events.begin()->first : UINT64_MAX);
        }
        clock_.now += static_cast<uint32_t>(target - time_);
        runDue();
    }

    // Schedules an event `afterMs` from now (in fake time).
    void at(uint32_t afterMs, std::function<void()> event)
    {
        sync();
        events.emplace(time_ + afterMs, std::move(event));
    }

    bool isEnabled(MenuItem item) const { return enabled_.count(item) ? enabled_.at(item) : true; }
    bool isShown(Message message) const { return shown.count(message) && shown.at(message); }

    std::map<MenuItem, std::string> captions;
    std::map<MenuItem, bool> enabled_;
    std::map<Message, bool> shown;
    std::multimap<uint64_t, std::function<void()>> events;
    std::vector<int> waits;
    std::function<void()> onEnterName;
    std::function<void()> onPump; // at every pass of the game loop
    std::function<void()> onDeadlock;
    int focusRequests = 0;
    int nameEntries = 0;
    int pumps = 0;
    int deadlocks = 0;

private:
    // Fake time in 64 bits, so that the tick count may wrap under the events.
    void sync()
    {
        time_ += clock_.now - seen_;
        seen_ = clock_.now;
    }

    bool runDue()
    {
        sync();
        bool ran = false;
        while (!events.empty() && events.begin()->first <= time_) {
            auto event = std::move(events.begin()->second);
            events.erase(events.begin());
            event();
            sync();
            ran = true;
        }
        return ran;
    }

    FakeClock& clock_;
    uint64_t time_ = 0;
    uint32_t seen_ = clock_.now;
};
// A game, its flow and the scripted window, around a seeded generator.
struct FlowRig {
    explicit FlowRig(uint32_t seed = 7) : random(seed) {}
    RecordingScreen screen;
    RecordingScoreboard scoreboard;
    RecordingSound sound;
    FakeClock clock;
    SeededRandom random;
    Game game{screen, scoreboard, sound, clock, random};
    GameState& s = game.state;
    ScriptedWindow window{clock};
    GameFlow flow{game, clock, sound, window};
};

} // namespace quadix::test
