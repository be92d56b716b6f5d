#pragma once
// Listens, on a second connection to the X server, for the server's reports
// of drawing into a rectangle of a window (the XDamage extension): when a
// picture reached the screen, by the server's account rather than the game's.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace quadix::bench {

class PictureDamage {
public:
    PictureDamage() = default;
    ~PictureDamage() { stop(); }
    PictureDamage(const PictureDamage&) = delete;
    PictureDamage& operator=(const PictureDamage&) = delete;

    // Watches the rectangle (x, y, width, height) of window, in its own
    // coordinates. False without an X server or its damage extension.
    bool start(unsigned long window, int x, int y, int width, int height);
    void stop();

    // CLOCK_MONOTONIC of every report received so far, in order.
    std::vector<int64_t> reports() const;
    // The first report at or after ns, or -1.
    int64_t firstReportFrom(int64_t ns) const;

private:
    void run(void* display, int eventBase);

    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<int64_t> reports_;
};

} // namespace quadix::bench
