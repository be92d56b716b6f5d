#pragma once
// SDL2, loaded when it is first needed rather than with the program. The
// sound effects and the gamepads use it; the window comes up without waiting
// for SDL and the fifty libraries it brings, and a machine without SDL2 is
// simply silent and keyboard-only.
#include <SDL.h>
#include <mutex>

namespace quadix::sdl {

// The functions of SDL2 that the game calls.
#define QUADIX_SDL_FUNCTIONS(X)                                                                             \
    X(SDL_SetHint) X(SDL_InitSubSystem) X(SDL_QuitSubSystem) X(SDL_WasInit) X(SDL_GetError) X(SDL_TLSCleanup) \
    X(SDL_OpenAudioDevice) X(SDL_CloseAudioDevice) X(SDL_PauseAudioDevice) X(SDL_QueueAudio)                \
    X(SDL_ClearQueuedAudio) X(SDL_GetQueuedAudioSize) X(SDL_LoadWAV_RW) X(SDL_RWFromConstMem)               \
    X(SDL_FreeWAV) X(SDL_BuildAudioCVT) X(SDL_ConvertAudio) X(SDL_AudioInit) X(SDL_AudioQuit)               \
    X(SDL_GetCurrentAudioDriver)                                                                            \
    X(SDL_PumpEvents) X(SDL_PeepEvents) X(SDL_FlushEvents) X(SDL_NumJoysticks) X(SDL_IsGameController)      \
    X(SDL_GameControllerOpen) X(SDL_GameControllerClose) X(SDL_GameControllerGetJoystick)                   \
    X(SDL_JoystickInstanceID) X(SDL_GameControllerGetAxis) X(SDL_GameControllerGetButton)

// Newer than some SDL2 still in use: nullptr there.
#define QUADIX_SDL_OPTIONAL_FUNCTIONS(X) X(SDL_GetDefaultAudioInfo)

struct Api {
#define QUADIX_SDL_MEMBER(name) decltype(&::name) name = nullptr;
    QUADIX_SDL_FUNCTIONS(QUADIX_SDL_MEMBER)
    QUADIX_SDL_OPTIONAL_FUNCTIONS(QUADIX_SDL_MEMBER)
#undef QUADIX_SDL_MEMBER
};

// The library, loaded on the first call from whichever thread makes it;
// nullptr when SDL2 is not installed or lacks a function.
const Api* Load();

// SDL counts the starts and stops of its subsystems without a lock of its
// own: whoever starts or stops one holds this. The gamepads do, on the window
// thread; sound starts SDL's audio by itself, outside that count, so that a
// sound server that hangs never holds this lock.
std::mutex& SubsystemLock();

} // namespace quadix::sdl
