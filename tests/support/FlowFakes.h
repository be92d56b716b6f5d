#pragma once
// A main window stand-in for the game flow: it records menu and message
// states, and its event pump hands over to the test's event script on a fake
// clock, so whole games play in milliseconds.
#include <functional>
#include <map>
#include <string>

#include "control/GameFlow.h"
#include "support/EventScript.h"
#include "support/ModelFakes.h"

namespace quadix::test {

class ScriptedWindow : public GameWindow {
public:
    explicit ScriptedWindow(FakeClock& clock) : script_(clock) {}

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

    // Hands over to the script: its due events run, or the clock moves on.
    void ProcessEvents(int waitMs) override
    {
        ++pumps;
        waits.push_back(waitMs);
        if (onPump)
            onPump();
        if (!script_.pump(waitMs)) { // nothing would ever wake the loop
            ++deadlocks;
            if (onDeadlock)
                onDeadlock();
        }
    }

    // Schedules an event `afterMs` from now (in fake time).
    void at(uint32_t afterMs, std::function<void()> event) { script_.at(afterMs, std::move(event)); }

    bool isEnabled(MenuItem item) const { return enabled_.count(item) ? enabled_.at(item) : true; }
    bool isShown(Message message) const { return shown.count(message) && shown.at(message); }

    std::map<MenuItem, std::string> captions;
    std::map<MenuItem, bool> enabled_;
    std::map<Message, bool> shown;
    std::vector<int> waits;
    std::function<void()> onEnterName;
    std::function<void()> onPump; // at every pass of the game loop
    std::function<void()> onDeadlock;
    int focusRequests = 0;
    int nameEntries = 0;
    int pumps = 0;
    int deadlocks = 0;

private:
    EventScript script_;
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
