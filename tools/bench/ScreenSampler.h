#pragma once
// Watches a few pixels of the screen from a second connection to the X
// server, as fast as the server answers, and keeps every change: what a
// player would have seen, and when, with the game's own drawing out of the
// picture.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace quadix::bench {

struct ScreenChange {
    int64_t atNs = 0;      // CLOCK_MONOTONIC
    uint32_t rgb = 0;      // 0xRRGGBB of the watched pixel
};

class ScreenSampler {
public:
    // Watches the pixel at (x, y) of the root window.
    ScreenSampler(int x, int y) : x_(x), y_(y) {}
    ~ScreenSampler() { stop(); }

    // False when the X server cannot be reached.
    bool start();
    void stop();

    // Valid after stop(): the pixel's value at the start and at every change.
    const std::vector<ScreenChange>& changes() const { return changes_; }
    long samples() const { return samples_; }

private:
    void run(void* display);

    int x_, y_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<ScreenChange> changes_;
    long samples_ = 0;
};

} // namespace quadix::bench
