// Viewport: a camera frame looking into a rectangle of a device. It turns the scene
// into snapshots (Render) and finds what lies under a pixel (Pick).
#pragma once

#include <vector>

#include <glm/glm.hpp>

#include "retained/device.h"
#include "retained/frame.h"
#include "retained/object.h"
#include "retained/result.h"
#include "retained/snapshot.h"

namespace rm {

// One visual under the picked pixel.
struct PickHit {
    Ptr<MeshBuilder> visual;
    std::vector<Ptr<Frame>> path;  // from the scene's root frame down to the visual's frame
    float distance = 0.0f;         // along the camera's direction
    glm::vec3 position{0.0f};      // world coordinates of the hit
};

// The camera looks along its frame's direction (−z) with its +y up on screen and its +x
// to the right. The field is the tangent of half the view angle across the larger side
// of the viewport; the other side gets the same scale. Depth runs from the front
// clipping plane (0.1 by default: the viewer walks up close to objects in steps of 0.1)
// to the back plane (5000 by default).
class Viewport : public Object {
  public:
    Result SetField(float field);  // kInvalidArg unless finite and > 0
    float GetField() const { return field_; }
    Result SetFront(float front);  // kInvalidArg unless 0 < front < back
    float GetFront() const { return front_; }
    Result SetBack(float back);  // kInvalidArg unless back > front
    float GetBack() const { return back_; }
    Frame* GetCamera() const { return camera_.Get(); }
    Device* GetDevice() const { return device_.Get(); }
    int GetX() const { return x_; }
    int GetY() const { return y_; }
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }

    glm::mat4 Projection() const;

    // Asks for the viewport to be cleared (colour: the background of the camera's scene
    // root, and depth) before whatever is rendered next.
    Result Clear();
    // Takes a snapshot of the scene below `scene` seen through the camera and records it
    // in the device; the device's Update publishes it. Call with the scene lock held:
    // this is the only moment the renderer reads the scene. The camera must belong to
    // the same hierarchy (kInvalidArg otherwise).
    Result Render(Frame* scene);
    // Every visual under device pixel (x, y) (y down), nearest first, empty when nothing
    // is hit. Searches the camera's scene; kInvalidArg outside the viewport.
    Result Pick(int x, int y, std::vector<PickHit>* hits) const;

  private:
    friend class RetainedMode;
    Viewport(Device* device, Frame* camera, int x, int y, int w, int h);
    ~Viewport() override;
    glm::vec2 HalfExtent() const;   // half width and height of the view at distance 1
    ViewportSnapshot Base() const;  // rectangle, camera and clear colour

    Ptr<Device> device_;
    Ptr<Frame> camera_;
    int x_, y_, width_, height_;
    float field_ = 0.5f;
    float front_ = 0.1f;
    float back_ = 5000.0f;
    std::size_t lastVisuals_ = 0;  // visuals of the last Render, to size the next one
};

}  // namespace rm
