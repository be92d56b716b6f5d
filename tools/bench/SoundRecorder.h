#pragma once
// Records what a PulseAudio server plays, from the monitor of its sink, and
// tells when each recorded sample was heard: the sound's side of the
// effect-latency measurement.
#include <cstddef>
#include <cstdint>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace quadix::bench {

class SoundRecorder {
public:
    static constexpr int kRate = 48000;   // mono, signed 16-bit

    SoundRecorder() = default;
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;

    // Connects to the server that PULSE_SERVER names and records the monitor
    // of its sink; false when either cannot be reached.
    bool start(const char* source = "sink.monitor");
    void stop();

    // Valid after stop(): every sample heard since start().
    const std::vector<int16_t>& samples() const { return samples_; }
    // CLOCK_MONOTONIC of the moment the sink played sample index; -1 when
    // no read near it was dated.
    int64_t heardAtNs(size_t index) const;
    // The sample the sink played at CLOCK_MONOTONIC ns.
    size_t indexHeardAt(int64_t ns) const;

private:
    static void onRead(pa_stream* stream, size_t bytes, void* self);
    void read(pa_stream* stream);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::vector<int16_t> samples_;
    // When the first sample of each read was heard, by the server's own
    // account of the stream's latency at that read: (index, ns).
    std::vector<std::pair<size_t, int64_t>> anchors_;
};

} // namespace quadix::bench
