#pragma once
// Test doubles for the game's interfaces: a screen that records what is drawn,
// a clock the test moves, and generators that deal chosen or seeded pieces.
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "game/Game.h"
#include "game/SystemPorts.h"

namespace quadix::test {

struct DrawCall {
    int x, y, colour, target, scale;
};

// Records every call and keeps what the playfield would show: the colour
// index last copied to each tile position (pixels, top-left corner).
class RecordingScreen : public Screen {
public:
    void DrawBlock(int x, int y, int colour, int target, int scale) override
    {
        calls.push_back({x, y, colour, target, scale});
        order.push_back('d');
        if (scale == 0)
            scale = 14;
        if (target == 1)
            field[{x * scale, y * scale}] = colour > 8 ? 8 : colour;
        else if (target == 2)
            preview[{x, y}] = colour > 8 ? 8 : colour;
    }
    void RefreshField() override
    {
        ++refreshes;
        order.push_back('r');
        if (now)
            refreshTimes.push_back(*now);
    }
    void ClearField() override { field.clear(); ++fieldClears; order.push_back('c'); }
    void ClearPreview() override { preview.clear(); ++previewClears; }

    // Colour shown at board cell (c, r) when a tile sits exactly on it; 0 if none.
    int cellColour(int c, int r) const
    {
        auto it = field.find({(c - 10) * 14, (r - 10) * 14});
        return it == field.end() ? 0 : it->second;
    }
    void forget() { calls.clear(); order.clear(); refreshes = 0; refreshTimes.clear(); }

    std::vector<DrawCall> calls;
    std::vector<char> order; // 'd' draw, 'r' refresh, 'c' playfield cleared
    std::map<std::pair<int, int>, int> field;
    std::map<std::pair<int, int>, int> preview;
    int refreshes = 0;
    // With a clock attached, the tick count at each refresh.
    const uint32_t* now = nullptr;
    std::vector<uint32_t> refreshTimes;
    int fieldClears = 0;
    int previewClears = 0;
};

class RecordingScoreboard : public Scoreboard {
public:
    void ShowScore(int32_t v) override { score = v; ++updates; }
    void ShowLines(int16_t v) override { lines = v; ++updates; }
    void ShowLevel(int16_t v) override { level = v; ++updates; }
    int32_t score = -1;
    int lines = -1;
    int level = -1;
    int updates = 0;
};

class RecordingSound : public Sound {
public:
    void PlaySoundEffect(int16_t id) override { played.push_back(id); }
    std::vector<int> played;
};

// Time stands still until the test moves it; a sleep jumps to its end.
class FakeClock : public Clock {
public:
    uint32_t TickCount() override { return now; }
    void SleepUntil(uint32_t tick) override
    {
        ++sleeps;
        if (static_cast<int32_t>(tick - now) > 0)
            now = tick;
    }
    uint32_t now = 100000;
    int sleeps = 0;
};

// The real generator with a seed of the test's choosing.
class SeededRandom : public MersenneRandom {
public:
    explicit SeededRandom(uint32_t seed = 1) : seed_(seed) {}
    void SeedFromTimeOfDay() override { Reseed(seed_); }

private:
    uint32_t seed_;
};

// Deals the listed types in order (then type 1 forever).
class ScriptedRandom : public Random {
public:
    void SeedFromTimeOfDay() override {}
    double Next() override
    {
        int type = 1;
        if (!types.empty()) {
            type = types.front();
            types.pop_front();
        }
        return (type - 1 + 0.5) / 7.0;
    }
    std::deque<int> types;
};

// A game with recording fakes around it.
struct ModelRig {
    ModelRig() { screen.now = &clock.now; }
    RecordingScreen screen;
    RecordingScoreboard scoreboard;
    RecordingSound sound;
    FakeClock clock;
    ScriptedRandom random;
    Game game{screen, scoreboard, sound, clock, random};
    GameState& s = game.state;
};

} // namespace quadix::test
