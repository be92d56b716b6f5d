#pragma once
// A pretend gamepad, attached through SDL's virtual joystick: the game sees
// it as a real one at its next poll, with SDL's own mapping for it (buttons
// and axes numbered as SDL's game-controller buttons and axes).
#include <SDL.h>
#include <mutex>

#include "sdl/SdlLibrary.h"

namespace quadix::test {

class VirtualPad {
public:
    // Keeps SDL's game-controller layer running while it is plugged, so a pad
    // can be there before the game's Gamepad starts, as a pad plugged in
    // before the game is.
    VirtualPad()
    {
        {
            std::lock_guard subsystems(sdl::SubsystemLock());
            SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
                return;
        }
        started_ = true;
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index >= 0)
            joystick_ = SDL_JoystickOpen(index);
    }
    ~VirtualPad()
    {
        unplug();
        if (started_) {
            std::lock_guard subsystems(sdl::SubsystemLock());
            SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        }
    }
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    bool plugged() const { return joystick_ != nullptr; }
    void button(SDL_GameControllerButton button, bool down)
    {
        SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0);
    }
    void axis(SDL_GameControllerAxis axis, int value) { SDL_JoystickSetVirtualAxis(joystick_, axis, Sint16(value)); }

    void unplug()
    {
        if (joystick_ == nullptr)
            return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                break;
            }
        }
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
    }

private:
    bool started_ = false;
    SDL_Joystick* joystick_ = nullptr;
};

} // namespace quadix::test
