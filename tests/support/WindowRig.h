#pragma once
// The real main window on the fake clock, for the whole-game tests: a seeded
// generator, and an event pump that runs Qt's pending events and then the
// test's script at every pass of the game loop. A test class takes it in as
// a base, beside QObject.
#include <QCoreApplication>
#include <QTimer>
#include <memory>

#include "support/EventScript.h"
#include "ui/FrmGame.h"

namespace quadix::test {

struct WindowRig {
    FakeClock clock;
    SeededRandom random{11};
    std::unique_ptr<EventScript> script;
    std::unique_ptr<FrmGame> window;
    bool hung = false;  // the loop waited with nothing left that could wake it
    // How long, for real, a paused game with nothing scheduled may wait.
    static constexpr int kPatienceMs = 2000;

    // A new window keeping its records at `scoreFile`; the script stays.
    void makeWindow(const ScoreFilePaths& scoreFile)
    {
        GamePorts ports;
        ports.clock = &clock;
        ports.random = &random;
        ports.scoreFile = scoreFile;
        ports.pump = [this](int waitMs) {
            QCoreApplication::processEvents();
            if (!script->pump(waitMs) && !waitToBeResumed()) {
                hung = true;
                window->flow().Abandon();
            }
        };
        window = std::make_unique<FrmGame>(ports);
    }

    // A paused game with nothing scheduled waits in Qt's event loop as the
    // game does, but with no pass of the game loop in between: only what
    // comes in through the event loop itself (a test's timer, the gamepad's
    // own reading) can resume it.
    bool waitToBeResumed()
    {
        QTimer patience;
        patience.setSingleShot(true);
        patience.start(kPatienceMs);
        while (state().paused && patience.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return !state().paused;
    }

    GameState& state() { return window->game().state; }
};

} // namespace quadix::test
