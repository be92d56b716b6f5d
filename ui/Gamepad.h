#pragma once
// Gamepads, through SDL's game-controller layer: one more source of the keys
// the game already has. The pad's presses come out as the keys they stand
// for, and the main window hands them to the same handlers as the keyboard.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <set>

class QFileSystemWatcher;
struct _SDL_GameController;

namespace quadix {

enum class PadButton {
    Left,       // D-pad or left stick: Left arrow
    Right,      // Right arrow
    Down,       // Down arrow
    TurnRight,  // A, the south button: Up arrow
    TurnLeft,   // B, the east button: Insert
    Start,      // F4, or Enter in the name box
    Back,       // F2
};

class Gamepad : public QObject {
    Q_OBJECT
public:
    // A stick counts as a direction past a quarter of its travel.
    static constexpr int kDeadZone = 32767 / 4;
    // Qt 6.4 tells the desktop's key repeat rate but not its delay; this is
    // the usual desktop default.
    static constexpr int kRepeatDelayMs = 500;
    // Between games and while paused, nobody else looks at the pads this often.
    static constexpr int kIdlePollMs = 30;

    explicit Gamepad(QObject* parent = nullptr);
    ~Gamepad() override;

    // Starts SDL's game-controller layer and watches /dev/input for pads
    // plugged in or pulled out. Silent, and false, where there is no SDL
    // or no gamepad support: the game is played from the keyboard then.
    bool start();
    bool started() const { return started_; }
    // Reads what the pads did since the last time and emits the presses.
    // The game loop calls it at every pass while a pad is connected, so a
    // press reaches the playfield within one gravity step.
    void poll();
    bool connected() const { return !pads_.empty(); }

    // Held directions repeat like held keys: first after delayMs, then
    // every intervalMs.
    void setRepeat(int delayMs, int intervalMs);
    // Milliseconds of a monotonic clock; tests put their own in.
    std::function<qint64()> now;

signals:
    void pressed(quadix::PadButton button);
    // A pad was pulled out.
    void unplugged();

private:
    enum Direction { Left, Right, Down, DirectionCount };
    enum Source { Pad, Stick };

    void handleEvents();
    void setHeld(Direction direction, int pad, Source source, bool held);
    void repeatHeld();
    void scheduleRepeat();
    void rescanSoon();
    void closeAll();

    bool started_ = false;
    std::map<int, _SDL_GameController*> pads_;   // by joystick instance id
    // Who holds each direction: (pad, D-pad or stick).
    std::array<std::set<std::pair<int, Source>>, DirectionCount> holders_;
    std::array<qint64, DirectionCount> nextRepeat_{};
    int repeatDelayMs_ = kRepeatDelayMs;
    int repeatIntervalMs_ = 33;
    QElapsedTimer clock_;
    QTimer idlePoll_;
    QTimer repeat_;
    QFileSystemWatcher* devices_ = nullptr;
    int depth_ = 0;   // a press may start a game, whose loop polls again
};

} // namespace quadix
