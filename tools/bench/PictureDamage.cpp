#include "PictureDamage.h"

#include "Clocks.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <algorithm>
#include <poll.h>

namespace quadix::bench {

bool PictureDamage::start(unsigned long window, int x, int y, int width, int height)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    int eventBase = 0, errorBase = 0;
    if (!XDamageQueryExtension(display, &eventBase, &errorBase)) {
        XCloseDisplay(display);
        return false;
    }
    x_ = x;
    y_ = y;
    width_ = width;
    height_ = height;
    // Every drawing request is reported as it is carried out, not only the
    // first one since the last look.
    XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);
    stop_ = false;
    thread_ = std::thread([this, display, eventBase] { run(display, eventBase); });
    return true;
}

void PictureDamage::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void PictureDamage::run(void* handle, int eventBase)
{
    auto* display = static_cast<Display*>(handle);
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    while (!stop_) {
        if (XPending(display) == 0) {
            poll(&connection, 1, 20);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        const int64_t at = monotonicNs();
        if (event.type != eventBase + XDamageNotify)
            continue;
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        const XRectangle& r = damage.area;
        const bool inside = r.x < x_ + width_ && r.x + r.width > x_ && r.y < y_ + height_ && r.y + r.height > y_;
        if (inside) {
            std::lock_guard lock(mutex_);
            reports_.push_back(at);
        }
    }
    XCloseDisplay(display);
}

std::vector<int64_t> PictureDamage::reports() const
{
    std::lock_guard lock(mutex_);
    return reports_;
}

int64_t PictureDamage::firstReportFrom(int64_t ns) const
{
    std::lock_guard lock(mutex_);
    const auto it = std::lower_bound(reports_.begin(), reports_.end(), ns);
    return it == reports_.end() ? -1 : *it;
}

} // namespace quadix::bench
