#include "retained/device.h"

#include <atomic>

namespace rm {

void Device::Record(ViewportSnapshot snapshot) {
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (it->viewportId != snapshot.viewportId) continue;
        if (it->clear && it->visuals.empty() && it->lights.empty() && !snapshot.clear) {
            snapshot.clear = true;
            snapshot.backdrop = std::move(it->backdrop);
            *it = std::move(snapshot);
            return;
        }
        break;
    }
    pending_.push_back(std::move(snapshot));
}

Result Device::Update() {
    auto frame = std::make_shared<DeviceFrame>();
    frame->width = width_;
    frame->height = height_;
    frame->number = ++frames_;
    frame->viewports = std::move(pending_);
    pending_.clear();
    std::function<void()> ready;
    std::shared_ptr<const DeviceFrame> previous;
    {
        std::lock_guard lock(frameMutex_);
        previous = std::move(latest_);
        latest_ = std::move(frame);
        ready = frameReady_;
    }
    if (ready) ready();
    // No longer the latest, the previous frame can gain no new holders: when this is the
    // last reference, its largest visual list is kept for the next Render to fill again.
    if (previous && previous.use_count() == 1) {
        // Whatever the last other holder did with the frame happened before its release.
        std::atomic_thread_fence(std::memory_order_acquire);
        auto& viewports = const_cast<DeviceFrame&>(*previous).viewports;  // made non-const
        for (ViewportSnapshot& v : viewports)
            if (v.visuals.capacity() > spare_.capacity()) spare_ = std::move(v.visuals);
    }
    return kOk;
}

void Device::SetFrameReadyCallback(std::function<void()> callback) {
    std::lock_guard lock(frameMutex_);
    frameReady_ = std::move(callback);
}

std::shared_ptr<const DeviceFrame> Device::LatestFrame() const {
    std::lock_guard lock(frameMutex_);
    return latest_;
}

}  // namespace rm
