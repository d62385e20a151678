// Device: the drawing surface's size and quality, and the hand-over point between the
// thread that renders the scene and the thread that owns the OpenGL context.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "retained/object.h"
#include "retained/result.h"
#include "retained/snapshot.h"
#include "retained/types.h"

namespace rm {

// Frame flow: Viewport::Clear and Viewport::Render (scene lock held) record snapshots
// into the device; Update publishes them as one DeviceFrame and calls the frame-ready
// callback. The thread that owns the OpenGL context takes LatestFrame() — guarded by
// the device's own small lock, not the scene lock — and draws it whenever it likes.
class Device : public Object {
  public:
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // The highest quality any visual is drawn with (see EffectiveQuality). Default 137.
    void SetQuality(Quality q) { quality_ = q; }
    Quality GetQuality() const { return quality_; }

    // Publishes what was rendered since the last Update. Calls the frame-ready callback
    // on the calling thread, after the publication: it must be quick and must not take
    // the scene lock (the window asks its GUI thread to repaint).
    Result Update();
    void SetFrameReadyCallback(std::function<void()> callback);
    // The last published frame, or null before the first Update. Safe from any thread.
    std::shared_ptr<const DeviceFrame> LatestFrame() const;

  private:
    friend class RetainedMode;
    friend class Viewport;
    Device(int width, int height) : width_(width), height_(height) {}
    // Records a viewport's snapshot; one that follows a Clear of the same viewport fills
    // the cleared entry, so Clear + Render publish one viewport frame.
    void Record(ViewportSnapshot snapshot);
    // The visual list of a published frame nobody holds any more, its records still in
    // it (empty when there is none): Render writes over them rather than freeing one list
    // and filling a new one every frame.
    std::vector<VisualSnapshot> TakeSpareVisuals() { return std::move(spare_); }

    int width_, height_;
    Quality quality_ = kRenderGouraud;
    std::uint64_t frames_ = 0;
    std::vector<ViewportSnapshot> pending_;
    std::vector<VisualSnapshot> spare_;
    std::function<void()> frameReady_;
    mutable std::mutex frameMutex_;  // guards latest_ only
    std::shared_ptr<const DeviceFrame> latest_;
};

}  // namespace rm
