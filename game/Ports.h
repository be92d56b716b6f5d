#pragma once
// The game reaches the screen, the sounds, the clock and the random draw only
// through these interfaces. The main window plugs in the real ones; tests plug
// in fakes that record or script what happens.
#include <cstdint>

namespace quadix {

// The two drawing surfaces: the playfield (target 1) and the preview (target 2).
class Screen {
public:
    virtual ~Screen() = default;
    // Copies one tile. Target 1: playfield image, at (x * scale, y * scale),
    // scale 0 meaning 14. Target 2: preview, at cell (x, y) of 7 pixels.
    // Any other target draws nothing; colours above 8 use tile 8.
    virtual void DrawBlock(int x, int y, int colour, int target, int scale) = 0;
    // Shows the playfield image on screen now.
    virtual void RefreshField() = 0;
    // Clears the playfield image to black; shown at the next refresh.
    virtual void ClearField() = 0;
    // Clears the preview to black.
    virtual void ClearPreview() = 0;
};

// The score, lines and level displays.
class Scoreboard {
public:
    virtual ~Scoreboard() = default;
    virtual void ShowScore(int32_t score) = 0;
    virtual void ShowLines(int16_t lines) = 0;
    virtual void ShowLevel(int16_t level) = 0;
};

// The six sound effects; the player itself knows whether effects are on.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void PlaySoundEffect(int16_t id) = 0;
};

// The millisecond tick count: 32 bits, wrapping after 2^32 ms.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t TickCount() = 0;
    // Holds the thread until the tick count reaches `tick` (at once if it
    // already has); nothing else runs meanwhile. The real clock sleeps; a
    // test clock jumps there.
    virtual void SleepUntil(uint32_t tick) = 0;
};

// The uniform random draw that deals pieces.
class Random {
public:
    virtual ~Random() = default;
    // Seeds once per game; the real generator uses the time of day.
    virtual void SeedFromTimeOfDay() = 0;
    // A number r with 0 <= r < 1.
    virtual double Next() = 0;
};

} // namespace quadix
