#pragma once
// SDL's audio, pretended, for the sound player: a device that writes down
// what it is asked to do, a default device of a chosen rate, and a sound
// server that can hang in the call a test names until the test lets it go.
// Everything else is the real SDL's. One at a time: SDL's functions are
// plain pointers, so they find the fake through a static.
#include <SDL.h>

#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "sdl/SdlLibrary.h"

namespace quadix::test {

class FakeSdlAudio {
public:
    // The device's own rate, as SDL_GetDefaultAudioInfo tells it; 0 where
    // the driver cannot say.
    int defaultRate = 0;
    // The rate the device takes, when it will not take the one asked for.
    int forcedRate = 0;
    // "load", "init", "open" or "close": that call never returns until
    // release().
    QString hangIn;
    // Effects converted to another rate so far.
    std::atomic<int> conversions{0};

    // What the device was opened with.
    SDL_AudioSpec desired{};
    int allowedChanges = 0;

    FakeSdlAudio()
    {
        api_ = *sdl::Load();
        api_.SDL_SetHint = [](const char* name, const char*) { return fake().note(QStringLiteral("hint ") + name); };
        api_.SDL_InitSubSystem = [](Uint32 flags) { return flags == SDL_INIT_AUDIO ? fake().init() : real().SDL_InitSubSystem(flags); };
        api_.SDL_QuitSubSystem = [](Uint32 flags) { flags == SDL_INIT_AUDIO ? fake().quit() : real().SDL_QuitSubSystem(flags); };
        api_.SDL_AudioInit = [](const char*) { return fake().init(); };
        api_.SDL_AudioQuit = [] { fake().quit(); };
        api_.SDL_GetCurrentAudioDriver = []() -> const char* { return fake().running_ ? "fake" : nullptr; };
        api_.SDL_GetDefaultAudioInfo = [](char**, SDL_AudioSpec* spec, int) {
            if (fake().defaultRate == 0)
                return -1;
            *spec = SDL_AudioSpec{};
            spec->freq = fake().defaultRate;
            spec->format = AUDIO_F32SYS;
            spec->channels = 2;
            return 0;
        };
        api_.SDL_OpenAudioDevice = [](const char*, int, const SDL_AudioSpec* want, SDL_AudioSpec* got, int allowed) {
            return fake().open(*want, got, allowed);
        };
        api_.SDL_CloseAudioDevice = [](SDL_AudioDeviceID) { fake().note(QStringLiteral("close"), "close"); };
        api_.SDL_PauseAudioDevice = [](SDL_AudioDeviceID, int on) { fake().note(on ? "pause" : "unpause"); };
        api_.SDL_QueueAudio = [](SDL_AudioDeviceID, const void*, Uint32 bytes) {
            fake().queued_ += bytes;
            fake().note(QStringLiteral("queue %1").arg(bytes / 2));
            return 0;
        };
        api_.SDL_ClearQueuedAudio = [](SDL_AudioDeviceID) {
            fake().queued_ = 0;
            fake().note("clear");
        };
        api_.SDL_GetQueuedAudioSize = [](SDL_AudioDeviceID) { return fake().queued_.load(); };
        api_.SDL_ConvertAudio = [](SDL_AudioCVT* cvt) {
            ++fake().conversions;
            return real().SDL_ConvertAudio(cvt);
        };
        api_.SDL_TLSCleanup = [] {
            real().SDL_TLSCleanup();
            fake().note("thread ends");
        };
        current_ = this;
    }
    ~FakeSdlAudio() { current_ = nullptr; }
    FakeSdlAudio(const FakeSdlAudio&) = delete;
    FakeSdlAudio& operator=(const FakeSdlAudio&) = delete;

    // For SoundEffects(SdlLoader): as slow as a cold disk when told to.
    static const sdl::Api* Load()
    {
        fake().note(QStringLiteral("load"), "load");
        return &fake().api_;
    }
    // The device has played all that was queued.
    void drain() { queued_ = 0; }

    // Every call so far, in order: "load", "init", "open", "queue N" (N samples),
    // "clear", "unpause", "close", "quit", "hint NAME", "thread ends".
    QStringList calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // The calls from the last "open" on.
    QStringList sinceOpen() const
    {
        const QStringList all = calls();
        return all.mid(all.lastIndexOf(QStringLiteral("open")));
    }
    // Waits until call has been made (or is hanging), or ms have passed.
    bool waitFor(const QString& call, int ms = 5000) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return calls_.contains(call); });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    static FakeSdlAudio& fake() { return *current_; }
    static const sdl::Api& real() { return *sdl::Load(); }

    SDL_bool note(const QString& call, const char* hangHere = nullptr)
    {
        std::unique_lock lock(mutex_);
        calls_ << call;
        changed_.notify_all();
        if (hangHere != nullptr && hangIn == QLatin1String(hangHere))
            changed_.wait(lock, [this] { return released_; });
        return SDL_TRUE;
    }
    int init()
    {
        note("init", "init");
        running_ = true;
        return 0;
    }
    void quit()
    {
        running_ = false;
        note("quit");
    }
    SDL_AudioDeviceID open(const SDL_AudioSpec& want, SDL_AudioSpec* got, int allowed)
    {
        desired = want;
        allowedChanges = allowed;
        if (got != nullptr) {
            *got = want;
            if (forcedRate != 0 && (allowed & SDL_AUDIO_ALLOW_FREQUENCY_CHANGE))
                got->freq = forcedRate;
        }
        note("open", "open");
        return 7;
    }

    static inline FakeSdlAudio* current_ = nullptr;
    sdl::Api api_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QStringList calls_;
    bool released_ = false;
    std::atomic<bool> running_{false};
    std::atomic<Uint32> queued_{0};
};

} // namespace quadix::test
