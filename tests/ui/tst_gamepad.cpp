// The gamepad as the game reads it, through a pretend pad on SDL's virtual
// joystick: which press each button and stick gives, the stick's dead zone,
// held directions repeating like held keys, and pads coming and going.
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

    void buttonsGiveTheirKeys_data()
    {
        QTest::addColumn<SDL_GameControllerButton>("button");
        QTest::addColumn<QList<PadButton>>("expected");
        QTest::newRow("A turns clockwise") << SDL_CONTROLLER_BUTTON_A << QList{PadButton::TurnRight};
        QTest::newRow("B turns the other way") << SDL_CONTROLLER_BUTTON_B << QList{PadButton::TurnLeft};
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
        gamepad.poll();
        QVERIFY(gamepad.connected());
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.button(button, true);
        gamepad.poll();
        pad.button(button, false);  // a press is given once, on the way down
        gamepad.poll();
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
        gamepad.poll();
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.axis(axis, value);
        gamepad.poll();
        pad.axis(axis, value / 2);  // still on the same side: no second press
        gamepad.poll();
        QCOMPARE(presses(spy), expected);
    }

    // Held, a direction repeats after the delay at the repeat rate, also
    // held by the stick and the D-pad together until both let go; a late
    // wake-up gives one repeat, not all it missed.
    void heldDirectionRepeatsLikeAHeldKey()
    {
        Gamepad gamepad;
        startOnFakeClock(gamepad);
        VirtualPad pad;
        gamepad.poll();
        QSignalSpy spy(&gamepad, &Gamepad::pressed);
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
        gamepad.poll();
        const QList<std::pair<qint64, int>> timeline = {
            {1499, 1}, {1500, 2}, {1539, 2}, {1540, 3}, {1580, 4}, {2500, 5}, {2539, 5}, {2540, 6}};
        for (auto [at, count] : timeline) {
            now_ = at;
            gamepad.poll();
            QVERIFY2(spy.count() == count, qPrintable(QStringLiteral("%1 presses at %2 ms").arg(spy.count()).arg(at)));
        }
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, -30000);   // the stick joins in: no new press
        pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
        gamepad.poll();
        QCOMPARE(spy.count(), 6);
        now_ = 2580;
        gamepad.poll();
        QCOMPARE(spy.count(), 7);   // the stick still holds it
        pad.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
        now_ = 5000;
        gamepad.poll();
        QCOMPARE(spy.count(), 7);
        QVERIFY(std::all_of(spy.begin(), spy.end(), [](const auto& a) { return a[0].template value<PadButton>() == PadButton::Left; }));
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
        gamepad.poll();
        QVERIFY(gamepad.connected());
        first->button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
        gamepad.poll();
        QCOMPARE(pressed.count(), 1);
        first.reset();
        gamepad.poll();
        QCOMPARE(unplugged.count(), 1);
        QVERIFY(gamepad.connected());   // the second pad is still there
        now_ = 5000;
        gamepad.poll();
        QCOMPARE(pressed.count(), 1);   // nothing held any more
        second.button(SDL_CONTROLLER_BUTTON_START, true);
        gamepad.poll();
        QCOMPARE(presses(pressed).last(), PadButton::Start);
        second.unplug();
        gamepad.poll();
        QCOMPARE(unplugged.count(), 2);
        QVERIFY(!gamepad.connected());
    }
};

QTEST_MAIN(GamepadTest)
#include "tst_gamepad.moc"
