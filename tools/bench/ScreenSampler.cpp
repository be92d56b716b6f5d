#include "ScreenSampler.h"

#include "Clocks.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <ctime>

namespace quadix::bench {

bool ScreenSampler::start()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    stop_ = false;
    thread_ = std::thread([this, display] { run(display); });
    return true;
}

void ScreenSampler::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void ScreenSampler::run(void* handle)
{
    auto* display = static_cast<Display*>(handle);
    const Window root = DefaultRootWindow(display);
    while (!stop_) {
        XImage* image = XGetImage(display, root, x_, y_, 1, 1, AllPlanes, ZPixmap);
        const int64_t at = monotonicNs();
        if (image == nullptr)
            break;
        const auto rgb = static_cast<uint32_t>(XGetPixel(image, 0, 0) & 0xFFFFFF);
        XDestroyImage(image);
        ++samples_;
        if (changes_.empty() || changes_.back().rgb != rgb)
            changes_.push_back({at, rgb});
    }
    XCloseDisplay(display);
}

} // namespace quadix::bench
