#include "sound/PulseOutput.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <dlfcn.h>
#include <pulse/pulseaudio.h>

#include "sound/AudioRates.h"

namespace quadix {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The whole way from the stream to the loudspeaker, the server's buffers
// and the sink's together: the server keeps about half of it in the sink.
// Every effect is written whole, so a short buffer can't run dry.
constexpr int kLatencyMs = 20;
// A server that answers takes well under a millisecond to make a stream;
// one that takes longer than this is treated as gone.
constexpr std::chrono::milliseconds kAnswerWithin{250};

// The functions of libpulse the game calls.
#define QUADIX_PULSE_FUNCTIONS(X)                                                                           \
    X(pa_mainloop_new) X(pa_mainloop_free) X(pa_mainloop_get_api) X(pa_mainloop_prepare) X(pa_mainloop_poll) \
    X(pa_mainloop_dispatch) X(pa_context_new_with_proplist) X(pa_context_connect) X(pa_context_get_state)    \
    X(pa_context_disconnect) X(pa_context_unref) X(pa_context_is_pending) X(pa_context_get_sink_info_by_name) \
    X(pa_stream_new_with_proplist) X(pa_stream_connect_playback) X(pa_stream_get_state) X(pa_stream_write)   \
    X(pa_stream_flush) X(pa_stream_drain) X(pa_stream_disconnect) X(pa_stream_unref) X(pa_operation_unref)  \
    X(pa_operation_get_state) X(pa_proplist_new) X(pa_proplist_sets) X(pa_proplist_free)

struct PulseApi {
#define QUADIX_PULSE_MEMBER(name) decltype(&::name) name = nullptr;
    QUADIX_PULSE_FUNCTIONS(QUADIX_PULSE_MEMBER)
#undef QUADIX_PULSE_MEMBER
};

const PulseApi* LoadOnce()
{
    void* library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return nullptr;
    static PulseApi api;
#define QUADIX_PULSE_RESOLVE(name)                                                   \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));          \
    if (api.name == nullptr)                                                         \
        return nullptr;
    QUADIX_PULSE_FUNCTIONS(QUADIX_PULSE_RESOLVE)
#undef QUADIX_PULSE_RESOLVE
    return &api;
}

const PulseApi* LoadPulse()
{
    static const PulseApi* const api = LoadOnce();
    return api;
}

// A player who named SDL another sound driver first (SDL takes a list,
// in any case) wants the effects there.
bool DriverAllowsServer()
{
    const char* drivers = std::getenv("SDL_AUDIODRIVER");
    if (drivers == nullptr || *drivers == '\0')
        return true;
    const size_t first = std::strcspn(drivers, ",");
    const auto is = [&](const char* name) {
        return first == std::strlen(name) && strncasecmp(drivers, name, first) == 0;
    };
    return is("pulseaudio") || is("pipewire");
}

} // namespace

struct PulseOutput::Impl {
    const PulseApi& pa;
    PulseOutput::Abandon abandon;
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    // Answered once the server has taken the last sample of the effect
    // from the stream; until then ending the stream would cut it short.
    pa_operation* drain = nullptr;
    SteadyClock::time_point drainedBy;
    int rate = 0;
    bool broken = false;

    Impl(const PulseApi& api, PulseOutput::Abandon give_up) : pa(api), abandon(std::move(give_up)) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    ~Impl()
    {
        closeStream();
        if (context != nullptr) {
            // Hangs up at once, whatever the server is doing.
            pa.pa_context_disconnect(context);
            pa.pa_context_unref(context);
        }
        if (loop != nullptr)
            pa.pa_mainloop_free(loop);
    }

    // Runs the connection until done() or the deadline, or until the game
    // gives up on the sound; only this thread ever waits for the server.
    template <typename Done>
    bool runUntil(Done done, SteadyClock::time_point deadline)
    {
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now()).count();
            if (left <= 0 || broken || (abandon && abandon()))
                return false;
            // Waits for the server at most a few milliseconds at a time, to
            // notice a game that closes meanwhile.
            if (pa.pa_mainloop_prepare(loop, int(std::min<long long>(left, 5000))) < 0
                || pa.pa_mainloop_poll(loop) < 0 || pa.pa_mainloop_dispatch(loop) < 0)
                return false;
            if (!PA_CONTEXT_IS_GOOD(pa.pa_context_get_state(context)))
                broken = true;
        }
        return true;
    }

    bool connect(std::chrono::milliseconds within)
    {
        loop = pa.pa_mainloop_new();
        if (loop == nullptr)
            return false;
        pa_proplist* props = pa.pa_proplist_new();
        pa.pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quadix");
        pa.pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "quadix");
        pa.pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "quadix");
        context = pa.pa_context_new_with_proplist(pa.pa_mainloop_get_api(loop), "Quadix", props);
        pa.pa_proplist_free(props);
        if (context == nullptr || pa.pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        const auto deadline = SteadyClock::now() + within;
        if (!runUntil([this] { return pa.pa_context_get_state(context) == PA_CONTEXT_READY; }, deadline))
            return false;
        // The rate the default output runs at: the effects are converted to
        // it once, and the server has nothing to convert.
        pa_operation* op = pa.pa_context_get_sink_info_by_name(
            context, "@DEFAULT_SINK@",
            [](pa_context*, const pa_sink_info* info, int eol, void* self) {
                if (eol == 0 && info != nullptr)
                    static_cast<Impl*>(self)->rate = int(info->sample_spec.rate);
            },
            this);
        const bool answered =
            op != nullptr
            && runUntil([&] { return pa.pa_operation_get_state(op) != PA_OPERATION_RUNNING; }, deadline);
        if (op != nullptr)
            pa.pa_operation_unref(op);
        if (!answered)
            return false;
        if (!audio::IsPlausibleRate(rate))
            rate = audio::kFallbackRate;
        return true;
    }

    bool openStream()
    {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16NE;
        spec.rate = uint32_t(rate);
        spec.channels = 1;
        pa_proplist* props = pa.pa_proplist_new();
        pa.pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "game");
        pa.pa_proplist_sets(props, PA_PROP_MEDIA_NAME, "Effetti sonori");
        stream = pa.pa_stream_new_with_proplist(context, "Effetti sonori", &spec, nullptr, props);
        pa.pa_proplist_free(props);
        if (stream == nullptr)
            return false;
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(rate * kLatencyMs / 1000 * 2);
        // Plays as soon as the first samples are in: an effect arrives whole.
        attr.prebuf = 2;
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        // A server without an output refuses the stream at once.
        if (pa.pa_stream_connect_playback(stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0
            || !runUntil([this] { return pa.pa_stream_get_state(stream) != PA_STREAM_CREATING; },
                         SteadyClock::now() + kAnswerWithin)
            || pa.pa_stream_get_state(stream) != PA_STREAM_READY) {
            closeStream();
            return false;
        }
        return true;
    }

    void closeStream()
    {
        forgetDrain();
        if (stream == nullptr)
            return;
        pa.pa_stream_disconnect(stream);
        pa.pa_stream_unref(stream);
        stream = nullptr;
        sendAll();
    }

    // Hands what was asked to the server; its answers are read on the way.
    void sendAll()
    {
        if (!runUntil([this] { return pa.pa_context_is_pending(context) == 0; }, SteadyClock::now() + kAnswerWithin))
            broken = true;
    }

    void forgetDrain()
    {
        if (drain != nullptr)
            pa.pa_operation_unref(drain);
        drain = nullptr;
    }

    // A sink that takes its samples in long steps (a network or Bluetooth
    // one, a low rate) still holds the tail of an effect for a while after
    // the effect's own length. A server that never says is not waited for
    // past a second more.
    bool heard()
    {
        if (stream == nullptr || broken || SteadyClock::now() > drainedBy)
            return true;
        // Asked only now: the answer would hold every other request up.
        if (drain == nullptr)
            drain = pa.pa_stream_drain(stream, nullptr, nullptr);
        if (drain == nullptr)
            return true;
        // Reads what the server said meanwhile, without waiting for more.
        return runUntil([this] { return pa.pa_operation_get_state(drain) != PA_OPERATION_RUNNING; },
                        SteadyClock::now() + std::chrono::milliseconds(1))
               || broken;
    }

    bool play(const QByteArray& pcm)
    {
        // A stream asked to drain is at the end of its effect: a fresh one
        // cuts that tail off at once, where a flush would wait for the answer.
        if (stream != nullptr && (drain != nullptr || pa.pa_stream_get_state(stream) != PA_STREAM_READY))
            closeStream();
        const bool playing = stream != nullptr;
        if (broken || (!playing && !openStream()))
            return false;
        // What is left of the effect before goes, and the new one is in
        // the server before it could notice the gap.
        if (playing)
            if (pa_operation* flushed = pa.pa_stream_flush(stream, nullptr, nullptr))
                pa.pa_operation_unref(flushed);
        if (pa.pa_stream_write(stream, pcm.constData(), size_t(pcm.size()), nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return false;
        drainedBy = SteadyClock::now() + audio::Duration(pcm.size(), rate) + std::chrono::seconds(1);
        sendAll();
        return !broken;
    }
};

PulseOutput::PulseOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PulseOutput::~PulseOutput() = default;

std::unique_ptr<PulseOutput> PulseOutput::Connect(std::chrono::milliseconds within, const Abandon& abandon)
{
    if (!DriverAllowsServer())
        return nullptr;
    const PulseApi* pa = LoadPulse();
    if (pa == nullptr)
        return nullptr;
    auto impl = std::make_unique<Impl>(*pa, abandon);
    if (!impl->connect(within))
        return nullptr;
    return std::unique_ptr<PulseOutput>(new PulseOutput(std::move(impl)));
}

int PulseOutput::rate() const { return impl_->rate; }

bool PulseOutput::connected() const { return !impl_->broken; }

bool PulseOutput::play(const QByteArray& pcm) { return impl_->play(pcm); }

void PulseOutput::closeStream() { impl_->closeStream(); }

bool PulseOutput::heard() { return impl_->heard(); }

bool PulseOutput::hasStream() const { return impl_->stream != nullptr; }

} // namespace quadix
