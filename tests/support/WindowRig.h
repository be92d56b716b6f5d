#pragma once
// The real main window on the fake clock, for the whole-game tests: a seeded
// generator, and an event pump that runs Qt's pending events and then the
// test's script at every pass of the game loop. A test class takes it in as
// a base, beside QObject.
#include <QCoreApplication>
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

    // A new window keeping its records at `scoreFile`; the script stays.
    void makeWindow(const ScoreFilePaths& scoreFile)
    {
        GamePorts ports;
        ports.clock = &clock;
        ports.random = &random;
        ports.scoreFile = scoreFile;
        ports.pump = [this](int waitMs) {
            QCoreApplication::processEvents();
            if (!script->pump(waitMs)) {
                hung = true;
                window->flow().Abandon();
            }
        };
        window = std::make_unique<FrmGame>(ports);
    }

    GameState& state() { return window->game().state; }
};

} // namespace quadix::test
