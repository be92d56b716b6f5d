#include "sound/SoundEffects.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <QFile>

#include "sdl/SdlLibrary.h"
#include "sound/AudioRates.h"
#include "sound/PulseOutput.h"

namespace quadix {

namespace {

using audio::Duration;
using audio::IsPlausibleRate;
using audio::kFallbackRate;
using SteadyClock = std::chrono::steady_clock;

constexpr int kEffectCount = 6;
constexpr int kSourceRate = 8000;      // the embedded effects
// SDL hands the device a buffer this long at a time: an effect waits behind
// what is left of the one being played and the sound server's own buffer
// of about the same size, so this is most of the delay from the picture to
// the sound.
constexpr int kBufferMs = 6;
// Once SDL's queue is empty, what is still to be heard: SDL's buffer, the
// sound server's (about as long) and the device's, with room to spare.
constexpr std::chrono::milliseconds kHeardAfterQueue{5 * kBufferMs};

// An effect asked for this long ago, behind a sound system that was slow to
// answer, would be heard out of step with the game: it is dropped.
constexpr std::chrono::milliseconds kStale{150};
// The sound server gets this long to answer when the game connects.
constexpr std::chrono::milliseconds kConnectWithin{500};

bool IsEffect(int id) { return id >= 1 && id <= kEffectCount; }

// The rate of the device sound goes to, as SDL tells it: at that rate the
// sound server has nothing to convert, and a buffer is as long as it seems.
int DeviceRate(const sdl::Api& sdl)
{
    SDL_AudioSpec own{};
    if (sdl.SDL_GetDefaultAudioInfo != nullptr && sdl.SDL_GetDefaultAudioInfo(nullptr, &own, 0) == 0
        && IsPlausibleRate(own.freq))
        return own.freq;
    return kFallbackRate;
}

SDL_AudioSpec DeviceSpec(int rate)
{
    SDL_AudioSpec spec{};
    spec.freq = rate;
    spec.format = AUDIO_S16SYS;
    spec.channels = 1;
    spec.samples = Uint16(std::bit_floor(unsigned(rate * kBufferMs / 1000)));
    return spec;
}


// Without a sound card ALSA writes a page of errors to stderr while SDL looks
// for a device, and the game is meant to go on silently then. ALSA is told
// through an error handler of its own, not by pointing the whole game's
// stderr away; the library is kept loaded so that the handler stays put
// while SDL unloads and reloads it with every device.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] {
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        using SetHandler = int (*)(decltype(&IgnoreAlsaError));
        const auto setHandler =
            alsa != nullptr ? reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")) : nullptr;
        if (setHandler != nullptr)
            setHandler(&IgnoreAlsaError);
    });
}

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

// Samples in the format from, converted to S16 mono at rate.
QByteArray Convert(const sdl::Api* sdl, const SDL_AudioSpec& from, const QByteArray& samples, int rate)
{
    SDL_AudioCVT cvt{};
    const int needed = sdl->SDL_BuildAudioCVT(&cvt, from.format, from.channels, from.freq, AUDIO_S16SYS, 1, rate);
    if (needed == 0)
        return samples;
    if (needed < 0)
        return {};
    QByteArray work(samples.size() * cvt.len_mult, '\0');
    memcpy(work.data(), samples.constData(), size_t(samples.size()));
    cvt.buf = reinterpret_cast<Uint8*>(work.data());
    cvt.len = int(samples.size());
    if (sdl->SDL_ConvertAudio(&cvt) != 0)
        return {};
    work.truncate(cvt.len_cvt);
    return work;
}

SDL_AudioSpec SourceSpec()
{
    SDL_AudioSpec spec{};
    spec.freq = kSourceRate;
    spec.format = AUDIO_S16SYS;
    spec.channels = 1;
    return spec;
}

// The effect as it is stored: S16 mono at 8000 Hz.
QByteArray Decode(const sdl::Api* sdl, int id)
{
    const QByteArray wav = LoadEffect(id);
    if (sdl == nullptr || wav.isEmpty())
        return {};
    // SDL was told when it was loaded to honour the fact chunk: ADPCM fills
    // its last block up to 500 samples, the fact chunk holds the true length.
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!sdl->SDL_LoadWAV_RW(sdl->SDL_RWFromConstMem(wav.constData(), int(wav.size())), 1, &spec, &buffer,
                             &length))
        return {};
    QByteArray pcm = Convert(sdl, spec, QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length)),
                             kSourceRate);
    sdl->SDL_FreeWAV(buffer);
    return pcm;
}

} // namespace

QByteArray SoundEffects::DecodeEffect(int id, int rate)
{
    const sdl::Api* sdl = sdl::Load();
    const QByteArray pcm = Decode(sdl, id);
    return rate == kSourceRate || pcm.isEmpty() ? pcm : Convert(sdl, SourceSpec(), pcm, rate);
}

// ---- The thread that owns the audio device ------------------------------------

// The thread keeps the player alive while it runs: a game that closes while
// the sound server hangs leaves the thread behind, stuck in SDL, and goes.
class SoundEffects::Player {
public:
    static std::shared_ptr<Player> Start(SdlLoader load)
    {
        auto player = std::make_shared<Player>(load);
        player->thread_ = std::thread([player] { player->run(); });
        return player;
    }

    explicit Player(SdlLoader load) : load_(load) {}
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Drops the effects still waiting and lets the thread close the device;
    // waits for that only as long as a sound server that answers needs.
    void close()
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        requests_.clear();
        wake_.notify_all();
        const bool ended = settled_.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs), [this] { return ended_; });
        lock.unlock();
        if (ended)
            thread_.join();
        else
            thread_.detach();
    }

    // 0 asks only for SDL and the decoded effects.
    void request(int id)
    {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({id, SteadyClock::now()});
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
        return device_ != 0 || serverStream_;
    }

    int lastPlayed() const
    {
        std::lock_guard lock(deviceMutex_);
        return lastPlayed_;
    }

    int deviceRate() const
    {
        std::lock_guard lock(deviceMutex_);
        return deviceRate_;
    }

    uint32_t queuedBytes() const
    {
        std::lock_guard lock(deviceMutex_);
        return device_ != 0 ? sdl_->SDL_GetQueuedAudioSize(device_) : 0;
    }

private:
    // Requests are taken under mutex_, which is never held while SDL works,
    // so that a new request never waits for a device being opened. A player
    // that is closing plays nothing more.
    void run()
    {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            if (!requests_.empty()) {
                // Each effect cuts off the one before: of those asked for
                // while the thread was busy, the player would hear the last
                // only, and only when it is still on time.
                // (0, asking only for SDL, comes with any effect anyway.)
                const auto effect = std::find_if(requests_.rbegin(), requests_.rend(),
                                                 [](const auto& request) { return request.first != 0; });
                const bool onTime = effect != requests_.rend() && SteadyClock::now() - effect->second <= kStale;
                const int id = onTime ? effect->first : 0;
                const auto askedAt = onTime ? effect->second : SteadyClock::now();
                requests_.clear();
                busy_ = true;
                lock.unlock();
                handle(id, askedAt);
                lock.lock();
                busy_ = false;
                if (requests_.empty())
                    settled_.notify_all();
            } else if (!hasDevice()) {
                wake_.wait(lock);
            } else if (wake_.wait_until(lock, closeAt_) == std::cv_status::timeout && requests_.empty()
                       && !stopping_) {
                lock.unlock();
                closeWhenHeard();
                lock.lock();
            }
        }
        settled_.notify_all();
        lock.unlock();
        closeDevice();
        server_.reset();
        // SDL keeps its error messages per thread; a thread it did not make
        // has to let go of them itself.
        if (sdl_ != nullptr)
            sdl_->SDL_TLSCleanup();
        lock.lock();
        ended_ = true;
        settled_.notify_all();
    }

    // A device that took long to open may find the game gone.
    bool closing() const
    {
        std::lock_guard lock(mutex_);
        return stopping_;
    }

    bool loadSdl()
    {
        if (sdl_ != nullptr)
            return true;
        const sdl::Api* sdl = load_();
        if (sdl == nullptr)
            return false;
        QuietAlsa();
        for (int effect = 1; effect <= kEffectCount; ++effect)
            source_[effect] = Decode(sdl, effect);
        {
            std::lock_guard device(deviceMutex_);
            sdl_ = sdl;
        }
        connectServer();
        return true;
    }

    // The sound server, when the session has one: connected once, and kept
    // while the game runs; the effects are converted to its rate here.
    bool connectServer()
    {
        if (server_ && !server_->connected()) {
            dropServer();
            serverFailedAt_ = SteadyClock::now();
        }
        if (server_ || hasDevice())
            return server_ != nullptr;
        if (serverFailedAt_ && SteadyClock::now() - *serverFailedAt_ < std::chrono::milliseconds(kRetryMs))
            return false;
        server_ = PulseOutput::Connect(kConnectWithin, [this] { return closing(); });
        if (!server_) {
            serverFailedAt_ = SteadyClock::now();
            return false;
        }
        serverFailedAt_.reset();
        for (int effect = 1; effect <= kEffectCount; ++effect)
            effectAt(effect, server_->rate());
        std::lock_guard device(deviceMutex_);
        deviceRate_ = server_->rate();
        return true;
    }

    // The connection, and with it the stream it may still have open (a
    // server that went away while an effect played).
    void dropServer()
    {
        server_.reset();
        std::lock_guard device(deviceMutex_);
        serverStream_ = false;
    }

    // An effect written to the sound server whole: it cuts off the one
    // before in the same stream.
    bool playThroughServer(int id)
    {
        const int rate = server_->rate();
        const QByteArray& pcm = effectAt(id, rate);
        const bool played = server_->play(pcm);
        {
            std::lock_guard device(deviceMutex_);
            serverStream_ = server_->hasStream();
            if (played)
                lastPlayed_ = id;
        }
        std::lock_guard lock(mutex_);
        closeAt_ = SteadyClock::now() + Duration(pcm.size(), rate) + kHeardAfterQueue + idleClose_;
        return played;
    }

    void handle(int id, SteadyClock::time_point askedAt)
    {
        if (!loadSdl() || closing() || !IsEffect(id) || source_[id].isEmpty())
            return;
        if (connectServer()) {
            if (playThroughServer(id) || server_->connected() || closing())
                return;
            // The server went away since the last effect, most often to
            // restart: a connection it answers now plays this effect, where
            // waiting for the next retry would lose it.
            dropServer();
            serverFailedAt_.reset();
            if (connectServer() && playThroughServer(id))
                return;
        }
        // A game that closed while the server kept it waiting wants no
        // device, and an effect it kept waiting is late.
        if (closing() || SteadyClock::now() - askedAt > kStale || !openDevice(id) || closing())
            return;
        const int rate = deviceRate();
        const QByteArray& pcm = effectAt(id, rate);
        {
            std::lock_guard device(deviceMutex_);
            // Dropping what is still queued is what cuts the old effect off.
            // A device just opened is still paused: the effect goes in
            // first, so the device starts with it and not with silence.
            if (!starting_)
                sdl_->SDL_ClearQueuedAudio(device_);
            if (sdl_->SDL_QueueAudio(device_, pcm.constData(), Uint32(pcm.size())) == 0)
                lastPlayed_ = id;
            if (starting_)
                sdl_->SDL_PauseAudioDevice(device_, 0);
            starting_ = false;
        }
        // The device's buffer and the sound server's play on after the
        // queue is empty.
        std::lock_guard lock(mutex_);
        closeAt_ = SteadyClock::now() + Duration(pcm.size(), rate) + kHeardAfterQueue + idleClose_;
    }

    // Each effect is converted once, when first played at a rate: the first
    // effect waits for its own conversion only.
    const QByteArray& effectAt(int id, int rate)
    {
        if (pcmRate_[id] != rate) {
            pcm_[id] = Convert(sdl_, SourceSpec(), source_[id], rate);
            pcmRate_[id] = rate;
        }
        return pcm_[id];
    }

    // Opens the device paused, at the rate of the device underneath, with
    // effect id ready at that rate: once open, SDL's thread feeds the device
    // silence until the effect is queued.
    bool openDevice(int id)
    {
        if (hasDevice())
            return true;
        if (failedAt_ && SteadyClock::now() - *failedAt_ < std::chrono::milliseconds(kRetryMs))
            return false;
        SDL_AudioDeviceID device = 0;
        SDL_AudioSpec got{};
        // Audio is started on its own, not through SDL_InitSubSystem: that
        // counts its starts in a table the gamepads share on the window
        // thread under a lock, and a sound server can keep SDL waiting for
        // ever. A game that closed meanwhile wants no device.
        if (sdl_->SDL_AudioInit(nullptr) == 0) {
            if (!closing())
                device = openAtOwnRate(id, got);
            // Without a device the driver would keep its hot-plug thread
            // listing the sound cards every few seconds.
            if (device == 0)
                sdl_->SDL_AudioQuit();
        }
        if (device == 0) {
            failedAt_ = SteadyClock::now();
            return false;
        }
        failedAt_.reset();
        std::lock_guard lock(deviceMutex_);
        device_ = device;
        deviceRate_ = got.freq;
        starting_ = true;
        return true;
    }

    SDL_AudioDeviceID openAtOwnRate(int id, SDL_AudioSpec& got)
    {
        const SDL_AudioSpec want = DeviceSpec(DeviceRate(*sdl_));
        // The device gave this rate last time, whatever it says it runs at.
        const int lastRate = deviceRate();
        effectAt(id, lastRate != 0 ? lastRate : want.freq);
        SDL_AudioDeviceID device =
            sdl_->SDL_OpenAudioDevice(nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        // A rate past reason is left to SDL to convert to.
        if (device != 0 && !IsPlausibleRate(got.freq)) {
            sdl_->SDL_CloseAudioDevice(device);
            got = want;
            device = sdl_->SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        }
        return device;
    }

    void closeWhenHeard()
    {
        if (server_ && !server_->heard()) {
            std::lock_guard lock(mutex_);
            closeAt_ = SteadyClock::now() + kHeardAfterQueue;
            return;
        }
        const uint32_t queued = queuedBytes();
        if (queued > 0) {
            std::lock_guard lock(mutex_);
            closeAt_ = SteadyClock::now() + Duration(queued, deviceRate()) + kHeardAfterQueue + idleClose_;
            return;
        }
        closeDevice();
    }

    // Closing the device and SDL's audio stops their threads and ends the
    // game's stream in the sound server; the next effect opens them anew.
    // The device is forgotten first: closing may wait on a hung server.
    void closeDevice()
    {
        SDL_AudioDeviceID device = 0;
        {
            std::lock_guard lock(deviceMutex_);
            std::swap(device, device_);
            serverStream_ = false;
        }
        if (server_)
            server_->closeStream();
        if (device == 0)
            return;
        sdl_->SDL_CloseAudioDevice(device);
        sdl_->SDL_AudioQuit();
    }

    // mutex_: the requests, the idle time, when to close and whether the
    // thread is still there; deviceMutex_: the device, its rate, what was
    // last played and SDL itself once loaded.
    mutable std::mutex mutex_;
    mutable std::mutex deviceMutex_;
    std::condition_variable wake_;
    std::condition_variable settled_;
    std::vector<std::pair<int, SteadyClock::time_point>> requests_;   // ids, when asked for
    bool busy_ = false;
    bool stopping_ = false;
    bool ended_ = false;
    std::chrono::milliseconds idleClose_{kIdleCloseMs};
    const SdlLoader load_;
    const sdl::Api* sdl_ = nullptr;
    std::array<QByteArray, kEffectCount + 1> source_{};   // as stored, 8000 Hz
    std::array<QByteArray, kEffectCount + 1> pcm_{};      // at the rate beside it
    std::array<int, kEffectCount + 1> pcmRate_{};
    SDL_AudioDeviceID device_ = 0;
    std::unique_ptr<PulseOutput> server_;       // the sound server, where effects go when there is one
    std::optional<SteadyClock::time_point> serverFailedAt_;
    bool serverStream_ = false;                 // an effect's stream open in the server
    int deviceRate_ = 0;
    bool starting_ = false;   // opened, paused until the first effect is in
    int lastPlayed_ = 0;
    SteadyClock::time_point closeAt_;
    std::optional<SteadyClock::time_point> failedAt_;
    std::thread thread_;
};

SoundEffects::SoundEffects(SdlLoader load)
    : load_(load != nullptr ? load : sdl::Load)
{
}

SoundEffects::~SoundEffects()
{
    if (player_)
        player_->close();
}

SoundEffects::Player& SoundEffects::player()
{
    if (!player_)
        player_ = Player::Start(load_);
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

int SoundEffects::deviceRate() const
{
    return player_ ? player_->deviceRate() : 0;
}

uint32_t SoundEffects::queuedBytes() const
{
    return player_ ? player_->queuedBytes() : 0;
}

} // namespace quadix
