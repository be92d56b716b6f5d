#include "SoundRecorder.h"

#include "Clocks.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace quadix::bench {

namespace {

// Reads of about 20 ms: asking the monitor for less drags the sink's own
// latency down below what the game's stream asks for, and so changes what
// is measured.
constexpr int kFragmentMs = 20;

template <typename IsReady>
bool waitUntil(pa_threaded_mainloop* loop, IsReady isReady)
{
    for (;;) {
        const int state = isReady();
        if (state != 0)
            return state > 0;
        pa_threaded_mainloop_wait(loop);
    }
}

void signalLoop(void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); }

} // namespace

SoundRecorder::~SoundRecorder()
{
    stop();
}

bool SoundRecorder::start(const char* source)
{
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr)
        return false;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "quadix_bench recorder");
    pa_context_set_state_callback(context_, [](pa_context*, void* loop) { signalLoop(loop); }, loop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0
        || pa_threaded_mainloop_start(loop_) < 0)
        return false;
    pa_threaded_mainloop_lock(loop_);
    bool ok = waitUntil(loop_, [this] {
        const pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
    if (ok) {
        const pa_sample_spec spec{PA_SAMPLE_S16NE, kRate, 1};
        stream_ = pa_stream_new(context_, "monitor", &spec, nullptr);
        pa_stream_set_state_callback(stream_, [](pa_stream*, void* loop) { signalLoop(loop); }, loop_);
        pa_stream_set_read_callback(stream_, &SoundRecorder::onRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentMs * 1000, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING
                                                          | PA_STREAM_AUTO_TIMING_UPDATE);
        ok = pa_stream_connect_record(stream_, source, &attr, flags) == 0 && waitUntil(loop_, [this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
        });
    }
    pa_threaded_mainloop_unlock(loop_);
    return ok;
}

void SoundRecorder::onRead(pa_stream* stream, size_t, void* self)
{
    static_cast<SoundRecorder*>(self)->read(stream);
}

// On the loop's thread. The stream's latency is how long ago the first
// sample not yet read was heard.
void SoundRecorder::read(pa_stream* stream)
{
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        pa_usec_t latency = 0;
        int negative = 0;
        // The server's first timing reports for a new stream are far off:
        // its first second is not dated by them.
        if (data != nullptr && samples_.size() >= size_t(kRate)
            && pa_stream_get_latency(stream, &latency, &negative) == 0) {
            const int64_t ago = static_cast<int64_t>(latency) * 1000 * (negative ? -1 : 1);
            anchors_.push_back({samples_.size(), monotonicNs() - ago});
        }
        const size_t count = bytes / sizeof(int16_t);
        if (data == nullptr) {
            samples_.resize(samples_.size() + count, 0);   // a hole in the stream: nothing was heard
        } else {
            const auto* s = static_cast<const int16_t*>(data);
            samples_.insert(samples_.end(), s, s + count);
        }
        pa_stream_drop(stream);
    }
}

void SoundRecorder::stop()
{
    if (loop_ == nullptr)
        return;
    pa_threaded_mainloop_lock(loop_);
    if (stream_ != nullptr) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

// The sink runs on the system's clock, so over a second or two one offset
// fits every read; the median of those near the sample leaves out the odd
// late timing update, and a gap in the stream moves it as it should.
size_t SoundRecorder::indexHeardAt(int64_t ns) const
{
    if (anchors_.empty())
        return 0;
    // From the first dated read, twice: the first guess finds the reads near
    // the sample.
    auto index = static_cast<int64_t>(anchors_.front().first);
    for (int pass = 0; pass < 2; ++pass) {
        const int64_t at = heardAtNs(static_cast<size_t>(index));
        if (at < 0)
            break;
        index = std::max<int64_t>(0, index + (ns - at) * kRate / 1000000000);
    }
    return static_cast<size_t>(index);
}

int64_t SoundRecorder::heardAtNs(size_t index) const
{
    const auto sampleNs = [](size_t i) { return static_cast<int64_t>(i) * 1000000000 / kRate; };
    std::vector<int64_t> offsets;
    for (const auto& [at, ns] : anchors_) {
        if (at + kRate >= index && at <= index + kRate)
            offsets.push_back(ns - sampleNs(at));
    }
    if (offsets.empty())
        return -1;
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    return offsets[offsets.size() / 2] + sampleNs(index);
}

} // namespace quadix::bench
