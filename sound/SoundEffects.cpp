#include "sound/SoundEffects.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <SDL.h>

namespace quadix {

namespace {

constexpr int kEffectCount = 6;
constexpr int kRate = 8000;

bool IsEffect(int id) { return id >= 1 && id <= kEffectCount; }

// The format the device is opened with; SDL resamples to the hardware itself.
SDL_AudioSpec DeviceSpec()
{
    SDL_AudioSpec spec{};
    spec.freq = kRate;
    spec.format = AUDIO_S16SYS;
    spec.channels = 1;
    spec.samples = 512;     // 64 ms: short enough that a cut-off is prompt
    return spec;
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

QByteArray SoundEffects::DecodeEffect(int id)
{
    const QByteArray wav = LoadEffect(id);
    if (wav.isEmpty())
        return {};

    // ADPCM fills its last block up to 500 samples; the fact chunk holds the
    // true length, which SDL honours only when told to.
    SDL_SetHint(SDL_HINT_WAVE_FACT_CHUNK, "truncate");
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(wav.constData(), int(wav.size())), 1,
                        &spec, &buffer, &length))
        return {};

    const SDL_AudioSpec want = DeviceSpec();
    SDL_AudioCVT cvt{};
    const int needed = SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq,
                                         want.format, want.channels, want.freq);
    QByteArray pcm;
    if (needed == 0) {
        pcm = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length));
    } else if (needed > 0) {
        QByteArray work(qsizetype(length) * cvt.len_mult, '\0');
        memcpy(work.data(), buffer, length);
        cvt.buf = reinterpret_cast<Uint8*>(work.data());
        cvt.len = int(length);
        if (SDL_ConvertAudio(&cvt) == 0)
            pcm = work.left(cvt.len_cvt);
    }
    SDL_FreeWAV(buffer);
    return pcm;
}

SoundEffects::SoundEffects()
{
    // Left to itself SDL would take over SIGINT and SIGTERM from the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return;
        audioStarted_ = true;
        const SDL_AudioSpec want = DeviceSpec();
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    }
    if (device_ == 0)
        return;
    for (int id = 1; id <= kEffectCount; ++id)
        pcm_[id] = DecodeEffect(id);
    SDL_PauseAudioDevice(device_, 0);
}

SoundEffects::~SoundEffects()
{
    if (device_ != 0)
        SDL_CloseAudioDevice(device_);
    if (audioStarted_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SoundEffects::PlaySoundEffect(int16_t id)
{
    if (!soundOn_ || !IsEffect(id))
        return;
    if (onStarted)
        onStarted(id);
    if (device_ == 0)
        return;
    const QByteArray& pcm = pcm_[id];
    if (pcm.isEmpty())
        return;
    // Dropping what is still queued is what cuts the old effect off.
    SDL_ClearQueuedAudio(device_);
    if (SDL_QueueAudio(device_, pcm.constData(), Uint32(pcm.size())) == 0)
        lastPlayed_ = id;
}

uint32_t SoundEffects::queuedBytes() const
{
    return device_ != 0 ? SDL_GetQueuedAudioSize(device_) : 0;
}

} // namespace quadix
