// The gamepad as the game reads it, through a pretend pad on SDL's virtual
// joystick: which press each button and stick gives, the stick's dead zone,
// held directions repeating like held keys, pads coming and going, and the
// presses coming from the event loop rather than from inside a reading.
#include <QSignalSpy>
#include <QTest>

#include "support/VirtualPad.h"
#include "ui/Gamepad.h"

using quadix::Gamepad;
using quadix::PadButton;
using quadix::test::VirtualPad;

Q_DECLARE_METATYPE(PadButton)
Q_DECLARE_METATYPE(SDL_GameControllerButton)
Q_DECLARE_METATYPE(SDL_GameControllerAxis)

namespace {

// One reading of the pads, and the presses it posted delivered.
void read(Gamepad& gamepad)
{
    gamepad.poll();
    QCoreApplication::sendPostedEvents();
}

QList<PadButton> presses(const QSignalSpy& spy)
{
    QList<PadButton> out;
    for (const auto& args : spy)
        out << args[0].value<PadButton>();
    return out;
}

} // namespace

class GamepadTest : public QObject {
    Q_OBJECT
    qint64 now_ = 0;

    // A started Gamepad on the test's clock.
    void startOnFakeClock(Gamepad& pad)
    {
        pad.now = [this] { return now_; };
        pad.setRepeat(500, 40);
        QVERIFY(pad.start());
    }

private slots:
    void init() { now_ = 1000; }

    // A press read inside a timer's slot and acted on there would start a
    // game inside it, and Qt fires that timer no more until the game ends:
    // the presses and the unplugging wait for the event loop.
    void pressesAreDeliveredFromTheEventLoop()
    {
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        auto pad = std::make_unique<VirtualPad>();
        read(gamepad);
        QSignalSpy pressed(&gamepad, &Gamepad::pressed);
        QSignalSpy unplugged(&gamepad, &Gamepad::unplugged);
        pad->button(SDL_CONTROLLER_BUTTON_BACK, true);
        pad->button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        gamepad.poll();
        pad.reset();
        gamepad.poll();
        QCOMPARE(pressed.count() + unplugged.count(), 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(presses(pressed), (QList{PadButton::Back, PadButton::Left}));
        QCOMPARE(unplugged.count(), 1);
    }

    void buttonsGiveTheirKeys_data()
    {
        QTest::addColumn<SDL_GameControllerButton>("button");
        QTest::addColumn<QList<PadButton>>("expected");
        QTest::newRow("A") << SDL_CONTROLLER_BUTTON_A << QList{PadButton::A};
        QTest::newRow("B") << SDL_CONTROLLER_BUTTON_B << QList{PadButton::B};
        QTest::newRow("Start") << SDL_CONTROLLER_BUTTON_START << QList{PadButton::Start};
        QTest::newRow("Back") << SDL_CONTROLLER_BUTTON_BACK << QList{PadButton::Back};
        QTest::newRow("D-pad left") << SDL_CONTROLLER_BUTTON_DPAD_LEFT << QList{PadButton::Left};
        QTest::newRow("D-pad right") << SDL_CONTROLLER_BUTTON_DPAD_RIGHT << QList{PadButton::Right};
        QTest::newRow("D-pad down") << SDL_CONTROLLER_BUTTON_DPAD_DOWN << QList{PadButton::Down};
        QTest::newRow("D-pad up does nothing") << SDL_CONTROLLER_BUTTON_DPAD_UP << QList<PadButton>{};
        QTest::newRow("X does nothing") << SDL_CONTROLLER_BUTTON_X << QList<PadButton>{};
    }
    void buttonsGiveTheirKeys()
    {
        QFETCH(SDL_GameControllerButton, button);
        QFETCH(QList<PadButton>, expected);
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        VirtualPad pad;
        QVERIFY(pad.plugged());
        read(gamepad);
        QVERIFY(gamepad.connected());
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.button(button, true);
        read(gamepad);
        pad.button(button, false);  // a press is given once, on the way down
        read(gamepad);
        QCOMPARE(presses(spy), expected);
    }

    void stickCountsPastAQuarterOfItsTravel_data()
    {
        QTest::addColumn<SDL_GameControllerAxis>("axis");
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<PadButton>>("expected");
        QTest::newRow("left") << SDL_CONTROLLER_AXIS_LEFTX << -20000 << QList{PadButton::Left};
        QTest::newRow("right") << SDL_CONTROLLER_AXIS_LEFTX << 9000 << QList{PadButton::Right};
        QTest::newRow("right, inside the dead zone") << SDL_CONTROLLER_AXIS_LEFTX << 8000 << QList<PadButton>{};
        QTest::newRow("left, inside the dead zone") << SDL_CONTROLLER_AXIS_LEFTX << -8000 << QList<PadButton>{};
        QTest::newRow("down") << SDL_CONTROLLER_AXIS_LEFTY << 32767 << QList{PadButton::Down};
        QTest::newRow("up does nothing") << SDL_CONTROLLER_AXIS_LEFTY << -32768 << QList<PadButton>{};
        QTest::newRow("right stick does nothing") << SDL_CONTROLLER_AXIS_RIGHTX << 32767 << QList<PadButton>{};
    }
    void stickCountsPastAQuarterOfItsTravel()
    {
        QFETCH(SDL_GameControllerAxis, axis);
        QFETCH(int, value);
        QFETCH(QList<PadButton>, expected);
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        VirtualPad pad;
        read(gamepad);
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.axis(axis, value);
        read(gamepad);
        pad.axis(axis, value / 2);  // still on the same side: no second press
        read(gamepad);
        QCOMPARE(presses(spy), expected);
    }

    // A stick pushed slowly, or resting near the edge of the dead zone,
    // trembles across it: that is one press (each crossing moved the piece
    // again). It lets go back inside an eighth of its travel.
    void stickTremblingAtTheEdgeGivesOnePress_data()
    {
        QTest::addColumn<QList<int>>("readings");
        QTest::addColumn<int>("expected");
        QTest::newRow("trembling across a quarter") << QList{8400, 8000, 8400, 7800, 8300} << 1;
        QTest::newRow("back inside an eighth, then out") << QList{9000, 4000, 9000} << 2;
        QTest::newRow("left, trembling") << QList{-8400, -8000, -8400} << 1;
    }
    void stickTremblingAtTheEdgeGivesOnePress()
    {
        QFETCH(QList<int>, readings);
        QFETCH(int, expected);
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        VirtualPad pad;
        read(gamepad);
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        for (int value : readings) {
            pad.axis(SDL_CONTROLLER_AXIS_LEFTX, value);
            read(gamepad);
        }
        QCOMPARE(spy.count(), expected);
    }

    // Held, a direction repeats after the delay at the repeat rate, also
    // held by the stick and the D-pad together until both let go; a late
    // wake-up gives one repeat, not all it missed.
    void heldDirectionRepeatsLikeAHeldKey()
    {
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        VirtualPad pad;
        read(gamepad);
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        read(gamepad);
        const QList<std::pair<qint64, int>> timeline = {
            {1499, 1}, {1500, 2}, {1539, 2}, {1540, 3}, {1580, 4}, {2500, 5}, {2539, 5}, {2540, 6}};
        for (auto [at, count] : timeline) {
            now_ = at;
            read(gamepad);
            QVERIFY2(spy.count() == count, qPrintable(QStringLiteral("%1 presses at %2 ms").arg(spy.count()).arg(at)));
        }
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -30000);   // the stick joins in: no new press
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
        read(gamepad);
        QCOMPARE(spy.count(), 6);
        now_ = 2580;
        read(gamepad);
        QCOMPARE(spy.count(), 7);   // the stick still holds it
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
        now_ = 5000;
        read(gamepad);
        QCOMPARE(spy.count(), 7);
        QVERIFY(std::all_of(spy.begin(), spy.end(), [](const auto& a) { return a[0].template value<PadButton>() == PadButton::Left; }));
    }

    // A direction let go of just before its repeat was due: the repeat
    // timer, which comes before the next reading, must not give it once
    // more (the piece went a column past where the player let go).
    void letGoDirectionGivesNoLateRepeat()
    {
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        gamepad.setRepeat(10, 10);   // due well before the 30 ms reading
        VirtualPad pad;
        read(gamepad);
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        read(gamepad);
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
        now_ += 10;
        QTest::qWait(60);
        QCOMPARE(presses(spy), QList{PadButton::Left});
    }

    // Pads come and go at any moment; a pad pulled out lets go of what it held.
    void padsComeAndGo()
    {
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        QSignalSpy unplugged(&gamepad, &Gamepad::unplugged);
        QSignalSpy pressed(&gamepad, &Gamepad::pressed);
        QVERIFY(!gamepad.connected());
        auto first = std::make_unique<VirtualPad>();
        VirtualPad second;
        read(gamepad);
        QVERIFY(gamepad.connected());
        first->button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
        read(gamepad);
        QCOMPARE(pressed.count(), 1);
        first.reset();
        read(gamepad);
        QCOMPARE(unplugged.count(), 1);
        QVERIFY(gamepad.connected());   // the second pad is still there
        now_ = 5000;
        read(gamepad);
        QCOMPARE(pressed.count(), 1);   // nothing held any more
        second.button(SDL_CONTROLLER_BUTTON_START, true);
        read(gamepad);
        QCOMPARE(presses(pressed).last(), PadButton::Start);
        second.unplug();
        read(gamepad);
        QCOMPARE(unplugged.count(), 2);
        QVERIFY(!gamepad.connected());
    }
};

QTEST_MAIN(GamepadTest)
#include "tst_gamepad.moc"
