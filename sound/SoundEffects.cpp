#include "sound/SoundEffects.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

#include <QFile>

#include "sdl/SdlLibrary.h"

namespace quadix {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kEffectCount = 6;
constexpr int kRate = 8000;
constexpr int kBufferSamples = 512;     // 64 ms: short enough that a cut-off is prompt

bool IsEffect(int id) { return id >= 1 && id <= kEffectCount; }

// The format the device is opened with; SDL resamples to the hardware itself.
SDL_AudioSpec DeviceSpec()
{
    SDL_AudioSpec spec{};
    spec.freq = kRate;
    spec.format = AUDIO_S16SYS;
    spec.channels = 1;
    spec.samples = kBufferSamples;
    return spec;
}

// How long a queue of S16 mono samples takes to be heard.
std::chrono::milliseconds Duration(qsizetype bytes)
{
    return std::chrono::milliseconds(bytes / 2 * 1000 / kRate);
}

// Keeps the sound libraries quiet while it lives: without a sound card, ALSA
// writes a page of errors to stderr while SDL looks for a device, and the game
// is meant to go on silently then.
class QuietStderr {
public:
    QuietStderr()
    {
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            dup2(null, STDERR_FILENO);
        if (null >= 0)
            close(null);
    }
    ~QuietStderr()
    {
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

} // namespace

QByteArray LoadEffect(int id)
{
    if (!IsEffect(id))
        return {};
    QFile file(QStringLiteral(":/sounds/effect%1.wav").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

namespace {

QByteArray Decode(const sdl::Api* sdl, int id)
{
    const QByteArray wav = LoadEffect(id);
    if (sdl == nullptr || wav.isEmpty())
        return {};

    // ADPCM fills its last block up to 500 samples; the fact chunk holds the
    // true length, which SDL honours only when told to.
    sdl->SDL_SetHint(SDL_HINT_WAVE_FACT_CHUNK, "truncate");
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!sdl->SDL_LoadWAV_RW(sdl->SDL_RWFromConstMem(wav.constData(), int(wav.size())), 1, &spec, &buffer,
                             &length))
        return {};

    const SDL_AudioSpec want = DeviceSpec();
    SDL_AudioCVT cvt{};
    const int needed = sdl->SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, want.format,
                                              want.channels, want.freq);
    QByteArray pcm;
    if (needed == 0) {
        pcm = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length));
    } else if (needed > 0) {
        QByteArray work(qsizetype(length) * cvt.len_mult, '\0');
        memcpy(work.data(), buffer, length);
        cvt.buf = reinterpret_cast<Uint8*>(work.data());
        cvt.len = int(length);
        if (sdl->SDL_ConvertAudio(&cvt) == 0)
            pcm = work.left(cvt.len_cvt);
    }
    sdl->SDL_FreeWAV(buffer);
    return pcm;
}

} // namespace

QByteArray SoundEffects::DecodeEffect(int id)
{
    return Decode(sdl::Load(), id);
}

// ---- The thread that owns the audio device ------------------------------------

class SoundEffects::Player {
public:
    explicit Player(SdlLoader load) : load_(load), thread_([this] { run(); }) {}

    ~Player()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    // 0 asks only for SDL and the decoded effects.
    void request(int id)
    {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(id);
        }
        wake_.notify_all();
    }

    void settle()
    {
        std::unique_lock lock(mutex_);
        settled_.wait(lock, [this] { return requests_.empty() && !busy_; });
    }

    void setIdleClose(std::chrono::milliseconds idle)
    {
        std::lock_guard lock(mutex_);
        idleClose_ = idle;
    }

    bool hasDevice() const
    {
        std::lock_guard lock(deviceMutex_);
        return device_ != 0;
    }

    int lastPlayed() const
    {
        std::lock_guard lock(deviceMutex_);
        return lastPlayed_;
    }

    uint32_t queuedBytes() const
    {
        std::lock_guard lock(deviceMutex_);
        return device_ != 0 ? sdl_->SDL_GetQueuedAudioSize(device_) : 0;
    }

private:
    // Requests are taken under mutex_, which is never held while SDL works,
    // so that a new request never waits for a device being opened.
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!requests_.empty()) {
                const int id = requests_.front();
                requests_.pop_front();
                busy_ = true;
                lock.unlock();
                handle(id);
                lock.lock();
                busy_ = false;
                if (requests_.empty())
                    settled_.notify_all();
                continue;
            }
            if (stopping_)
                break;
            if (!hasDevice()) {
                wake_.wait(lock);
            } else if (wake_.wait_until(lock, closeAt_) == std::cv_status::timeout && requests_.empty()) {
                lock.unlock();
                closeWhenHeard();
                lock.lock();
            }
        }
        lock.unlock();
        closeDevice();
        // SDL keeps its error messages per thread; a thread it did not make
        // has to let go of them itself.
        if (sdl_ != nullptr)
            sdl_->SDL_TLSCleanup();
    }

    void handle(int id)
    {
        if (sdl_ == nullptr) {
            const sdl::Api* sdl = load_();
            if (sdl == nullptr)
                return;
            for (int effect = 1; effect <= kEffectCount; ++effect)
                pcm_[effect] = Decode(sdl, effect);
            std::lock_guard device(deviceMutex_);
            sdl_ = sdl;
        }
        if (!IsEffect(id) || pcm_[id].isEmpty() || !openDevice())
            return;
        {
            std::lock_guard device(deviceMutex_);
            // Dropping what is still queued is what cuts the old effect off.
            sdl_->SDL_ClearQueuedAudio(device_);
            if (sdl_->SDL_QueueAudio(device_, pcm_[id].constData(), Uint32(pcm_[id].size())) == 0)
                lastPlayed_ = id;
        }
        // The device's own buffer plays on after the queue is empty.
        std::lock_guard lock(mutex_);
        closeAt_ = SteadyClock::now() + Duration(pcm_[id].size()) + 2 * Duration(kBufferSamples * 2) + idleClose_;
    }

    bool openDevice()
    {
        if (hasDevice())
            return true;
        if (failedAt_ && SteadyClock::now() - *failedAt_ < std::chrono::milliseconds(kRetryMs))
            return false;
        SDL_AudioDeviceID device = 0;
        {
            std::lock_guard subsystems(sdl::SubsystemLock());
            QuietStderr quiet;
            if (sdl_->SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
                const SDL_AudioSpec want = DeviceSpec();
                device = sdl_->SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
                // Without a device the subsystem would keep its hot-plug
                // thread listing the sound cards every few seconds.
                if (device == 0)
                    sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
            }
        }
        if (device == 0) {
            failedAt_ = SteadyClock::now();
            return false;
        }
        failedAt_.reset();
        sdl_->SDL_PauseAudioDevice(device, 0);
        std::lock_guard lock(deviceMutex_);
        device_ = device;
        return true;
    }

    void closeWhenHeard()
    {
        const uint32_t queued = queuedBytes();
        if (queued > 0) {
            std::lock_guard lock(mutex_);
            closeAt_ = SteadyClock::now() + Duration(queued) + idleClose_;
            return;
        }
        closeDevice();
    }

    // Closing the device and the subsystem stops SDL's audio and hot-plug
    // threads; the next effect opens them again.
    void closeDevice()
    {
        {
            std::lock_guard lock(deviceMutex_);
            if (device_ == 0)
                return;
            sdl_->SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        std::lock_guard subsystems(sdl::SubsystemLock());
        sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    // mutex_: the requests, the idle time and when to close; deviceMutex_:
    // the device, what was last played and SDL itself once loaded.
    mutable std::mutex mutex_;
    mutable std::mutex deviceMutex_;
    std::condition_variable wake_;
    std::condition_variable settled_;
    std::deque<int> requests_;
    bool busy_ = false;
    bool stopping_ = false;
    std::chrono::milliseconds idleClose_{kIdleCloseMs};
    const SdlLoader load_;
    const sdl::Api* sdl_ = nullptr;
    std::array<QByteArray, kEffectCount + 1> pcm_{};
    SDL_AudioDeviceID device_ = 0;
    int lastPlayed_ = 0;
    SteadyClock::time_point closeAt_;
    std::optional<SteadyClock::time_point> failedAt_;
    std::thread thread_;  // last: it starts once everything else is ready
};

SoundEffects::SoundEffects(SdlLoader load)
    : load_(load != nullptr ? load : sdl::Load)
{
}

SoundEffects::~SoundEffects() = default;

SoundEffects::Player& SoundEffects::player()
{
    if (!player_)
        player_ = std::make_unique<Player>(load_);
    return *player_;
}

void SoundEffects::PlaySoundEffect(int16_t id)
{
    if (!soundOn_ || !IsEffect(id))
        return;
    if (onStarted)
        onStarted(id);
    player().request(id);
}

void SoundEffects::warmUp()
{
    player().request(0);
}

void SoundEffects::settle()
{
    if (player_)
        player_->settle();
}

void SoundEffects::setIdleCloseMs(int ms)
{
    player().setIdleClose(std::chrono::milliseconds(ms));
}

bool SoundEffects::hasDevice() const
{
    return player_ && player_->hasDevice();
}

int SoundEffects::lastPlayed() const
{
    return player_ ? player_->lastPlayed() : 0;
}

uint32_t SoundEffects::queuedBytes() const
{
    return player_ ? player_->queuedBytes() : 0;
}

} // namespace quadix
