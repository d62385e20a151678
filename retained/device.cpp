#include "retained/device.h"

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
    {
        std::lock_guard lock(frameMutex_);
        latest_ = std::move(frame);
        ready = frameReady_;
    }
    if (ready) ready();
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
