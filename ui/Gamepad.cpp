#include "ui/Gamepad.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QStyleHints>
#include <algorithm>

#include "sdl/SdlLibrary.h"

namespace quadix {

namespace {

// Where the kernel makes the nodes of input devices: a change there is the
// only time SDL needs to be asked whether a pad came or went.
const char* const kInputDevices = "/dev/input";

// udev names and opens up a new device a moment after its node appears; SDL
// sees it then. Without udev SDL looks for new devices every three seconds.
constexpr int kRescanAfterMs[] = {0, 250, 1000, 3500};

// What each held direction gives, in the order of Gamepad::Direction.
constexpr PadButton kDirectionButtons[] = {PadButton::Left, PadButton::Right, PadButton::Down};

} // namespace

Gamepad::Gamepad(QObject* parent)
    : QObject(parent)
{
    clock_.start();
    now = [this] { return clock_.elapsed(); };
    const int rate = QGuiApplication::styleHints()->keyboardAutoRepeatRate();
    repeatIntervalMs_ = rate > 0 ? std::max(1, 1000 / rate) : 33;
    idlePoll_.setInterval(kIdlePollMs);
    connect(&idlePoll_, &QTimer::timeout, this, &Gamepad::poll);
    repeat_.setSingleShot(true);
    repeat_.setTimerType(Qt::PreciseTimer);
    // A repeat reads the pads first: a direction let go of since the last
    // reading would otherwise be given once more.
    connect(&repeat_, &QTimer::timeout, this, &Gamepad::poll);
}

Gamepad::~Gamepad()
{
    closeAll();
    if (started_) {
        std::lock_guard subsystems(sdl::SubsystemLock());
        sdl::Load()->SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }
}

bool Gamepad::start()
{
    if (started_)
        return true;
    const sdl::Api* sdl = sdl::Load();
    if (sdl == nullptr)
        return false;
    {
        std::lock_guard subsystems(sdl::SubsystemLock());
        if (sdl->SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
            return false;
    }
    started_ = true;
    // Nothing runs while no pad is connected: the folder is watched by the
    // kernel, and SDL is asked only when something in it changes.
    if (QFileInfo(QString::fromLatin1(kInputDevices)).isDir()) {
        devices_ = new QFileSystemWatcher({QString::fromLatin1(kInputDevices)}, this);
        connect(devices_, &QFileSystemWatcher::directoryChanged, this, &Gamepad::rescanSoon);
    }
    poll();  // pads already plugged in
    return true;
}

void Gamepad::setRepeat(int delayMs, int intervalMs)
{
    repeatDelayMs_ = delayMs;
    repeatIntervalMs_ = std::max(1, intervalMs);
}

void Gamepad::rescanSoon()
{
    for (int ms : kRescanAfterMs)
        QTimer::singleShot(ms, this, &Gamepad::poll);
}

void Gamepad::poll()
{
    if (!started_)
        return;
    handleEvents();
    repeatHeld();
    scheduleRepeat();
    // Restarted at every reading: while the game loop reads the pad at every
    // pass, the timer never fires; where nothing else runs it still does.
    if (connected())
        idlePoll_.start();
    else
        idlePoll_.stop();
}

// Qt never fires a timer again while its slot still runs: a press that
// started a game, whose loop may run for minutes, inside this timer's slot
// would leave the pad unread in every wait of that game.
void Gamepad::post(PadButton button)
{
    QMetaObject::invokeMethod(this, [this, button] { emit pressed(button); }, Qt::QueuedConnection);
}

void Gamepad::handleEvents()
{
    const sdl::Api* sdl = sdl::Load();
    sdl->SDL_PumpEvents();
    SDL_Event event;
    while (sdl->SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_CONTROLLERAXISMOTION, SDL_CONTROLLERDEVICEREMAPPED) > 0) {
        switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED:
            if (SDL_GameController* pad = sdl->SDL_GameControllerOpen(event.cdevice.which)) {
                const int id = sdl->SDL_JoystickInstanceID(sdl->SDL_GameControllerGetJoystick(pad));
                if (pads_.count(id))
                    sdl->SDL_GameControllerClose(pad);   // SDL opens a pad once; the extra handle goes
                else
                    pads_[id] = pad;
            }
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            if (auto it = pads_.find(event.cdevice.which); it != pads_.end()) {
                for (int d = 0; d < DirectionCount; ++d) {
                    setHeld(Direction(d), it->first, Pad, false);
                    setHeld(Direction(d), it->first, Stick, false);
                }
                sdl->SDL_GameControllerClose(it->second);
                pads_.erase(it);
                QMetaObject::invokeMethod(this, &Gamepad::unplugged, Qt::QueuedConnection);
            }
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            if (!pads_.count(event.cbutton.which))
                break;
            const bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
            switch (event.cbutton.button) {
            case SDL_CONTROLLER_BUTTON_DPAD_LEFT: setHeld(Left, event.cbutton.which, Pad, down); break;
            case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: setHeld(Right, event.cbutton.which, Pad, down); break;
            case SDL_CONTROLLER_BUTTON_DPAD_DOWN: setHeld(Down, event.cbutton.which, Pad, down); break;
            case SDL_CONTROLLER_BUTTON_A: if (down) post(PadButton::A); break;
            case SDL_CONTROLLER_BUTTON_B: if (down) post(PadButton::B); break;
            case SDL_CONTROLLER_BUTTON_START: if (down) post(PadButton::Start); break;
            case SDL_CONTROLLER_BUTTON_BACK: if (down) post(PadButton::Back); break;
            default: break;
            }
            break;
        }
        case SDL_CONTROLLERAXISMOTION: {
            if (!pads_.count(event.caxis.which))
                break;
            const int value = event.caxis.value;
            if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
                setStick(Left, event.caxis.which, -value);
                setStick(Right, event.caxis.which, value);
            } else if (event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) {
                setStick(Down, event.caxis.which, value);   // y grows downward
            }
            break;
        }
        default:
            break;
        }
    }
    // The joystick layer underneath reports the same things again, and sound
    // may report its devices: nobody reads those, so they must not pile up.
    sdl->SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

void Gamepad::setHeld(Direction direction, int pad, Source source, bool held)
{
    auto& holders = holders_[direction];
    const bool wasHeld = !holders.empty();
    if (held)
        holders.insert({pad, source});
    else
        holders.erase({pad, source});
    if (!wasHeld && !holders.empty()) {
        nextRepeat_[direction] = now() + repeatDelayMs_;
        post(kDirectionButtons[direction]);
    }
}

// A stick pushed slowly, or resting near the edge of the dead zone, trembles
// across it; without the narrower zone to let go in, each crossing would be
// one more press.
void Gamepad::setStick(Direction direction, int pad, int towards)
{
    const bool holding = holders_[direction].count({pad, Stick}) > 0;
    setHeld(direction, pad, Stick, towards > (holding ? kLetGoZone : kDeadZone));
}

void Gamepad::repeatHeld()
{
    for (int d = 0; d < DirectionCount; ++d) {
        while (!holders_[d].empty() && now() >= nextRepeat_[d]) {
            nextRepeat_[d] += repeatIntervalMs_;
            // A late wake-up does not make up for the repeats it missed.
            if (nextRepeat_[d] < now())
                nextRepeat_[d] = now() + repeatIntervalMs_;
            post(kDirectionButtons[d]);
        }
    }
}

void Gamepad::scheduleRepeat()
{
    qint64 next = -1;
    for (int d = 0; d < DirectionCount; ++d) {
        if (!holders_[d].empty() && (next < 0 || nextRepeat_[d] < next))
            next = nextRepeat_[d];
    }
    if (next < 0) {
        repeat_.stop();
        return;
    }
    repeat_.start(int(std::max<qint64>(0, next - now())));
}

void Gamepad::closeAll()
{
    const sdl::Api* sdl = started_ ? sdl::Load() : nullptr;
    for (auto& [id, pad] : pads_) {
        if (sdl)
            sdl->SDL_GameControllerClose(pad);
    }
    pads_.clear();
    for (auto& holders : holders_)
        holders.clear();
}

} // namespace quadix
