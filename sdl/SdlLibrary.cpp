#include "sdl/SdlLibrary.h"

#include <dlfcn.h>

namespace quadix::sdl {

namespace {

const Api* LoadOnce()
{
    // The name the run-time package installs; a program that links SDL2
    // itself (the tests do) gets the copy it already has.
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return nullptr;
    static Api api;
#define QUADIX_SDL_RESOLVE(name)                                                     \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));          \
    if (api.name == nullptr)                                                         \
        return nullptr;
    QUADIX_SDL_FUNCTIONS(QUADIX_SDL_RESOLVE)
#undef QUADIX_SDL_RESOLVE
#define QUADIX_SDL_RESOLVE_OPTIONAL(name) api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));
    QUADIX_SDL_OPTIONAL_FUNCTIONS(QUADIX_SDL_RESOLVE_OPTIONAL)
#undef QUADIX_SDL_RESOLVE_OPTIONAL
    // Hints are set here and nowhere else: SDL keeps them in a list without a
    // lock, and from now on the sound and the gamepad threads read it.
    // Left to itself SDL would take over SIGINT and SIGTERM from the program.
    api.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // ADPCM fills its last block up to 500 samples; the fact chunk of the
    // sound effects holds their true length, which SDL honours only when told.
    api.SDL_SetHint(SDL_HINT_WAVE_FACT_CHUNK, "truncate");
    return &api;
}

} // namespace

const Api* Load()
{
    static const Api* const api = LoadOnce();
    return api;
}

std::mutex& SubsystemLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace quadix::sdl
