#pragma once
// Gamepads, through SDL's game-controller layer: one more source of the
// game's commands. The pad's presses come out as buttons; the main window
// looks up what each stands for where it is pressed (ui/Bindings.h).
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <set>

#include "ui/Bindings.h"

class QFileSystemWatcher;
struct _SDL_GameController;

namespace quadix {

class Gamepad : public QObject {
    Q_OBJECT
public:
    // A stick counts as a direction past a quarter of its travel, and lets
    // go of it back inside an eighth.
    static constexpr int kDeadZone = 32767 / 4;
    static constexpr int kLetGoZone = kDeadZone / 2;
    // Qt 6.4 tells the desktop's key repeat rate but not its delay; this is
    // the usual desktop default.
    static constexpr int kRepeatDelayMs = 500;
    // The longest a connected pad goes unread, wherever the program waits.
    static constexpr int kIdlePollMs = 30;

    explicit Gamepad(QObject* parent = nullptr);
    ~Gamepad() override;

    // Starts SDL's game-controller layer and watches /dev/input for pads
    // plugged in or pulled out. Silent, and false, where there is no SDL
    // or no gamepad support: the game is played from the keyboard then.
    bool start();
    bool started() const { return started_; }
    // Reads what the pads did since the last time and posts the presses to
    // the event loop: they are emitted from there, never inside this call, so
    // a press may start a game (whose loop polls again) or open a window.
    // The game loop calls it at every pass while a pad is connected, so a
    // press reaches the playfield within one gravity step; in between, and
    // in every wait (a paused game, a modal window), a timer calls it at
    // least every kIdlePollMs while a pad is connected.
    void poll();
    bool connected() const { return !pads_.empty(); }

    // Held directions repeat like held keys: first after delayMs, then
    // every intervalMs.
    void setRepeat(int delayMs, int intervalMs);
    // Milliseconds of a monotonic clock; tests put their own in.
    std::function<qint64()> now;

signals:
    // Both come from the event loop, in the order the pads did them.
    void pressed(quadix::PadButton button);
    // A pad was pulled out.
    void unplugged();

private:
    enum Direction { Left, Right, Down, DirectionCount };
    enum Source { Pad, Stick };

    void handleEvents();
    void post(PadButton button);
    void setHeld(Direction direction, int pad, Source source, bool held);
    // The stick pushed `towards` a direction (negative: away from it).
    void setStick(Direction direction, int pad, int towards);
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
};

} // namespace quadix
