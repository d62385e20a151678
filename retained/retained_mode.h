// RetainedMode: the root object that creates every other retained-mode object.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "retained/device.h"
#include "retained/frame.h"
#include "retained/light.h"
#include "retained/material.h"
#include "retained/meshbuilder.h"
#include "retained/object.h"
#include "retained/result.h"
#include "retained/texture.h"
#include "retained/viewport.h"
#include "retained/wrap.h"

namespace rm {

// Threads. The objects of this layer do no locking of their own. Every call that reads
// or changes the frames, meshbuilders, faces, lights, materials, textures, wraps,
// viewports or devices of one root must be serialised by the caller with one lock of
// its own, which also guards the caller's tables: in Orvane that is the render module's
// scene lock (CRenderModule::SceneLock), taken by the window thread and the render
// thread alike. Viewport::Render copies what it needs into a snapshot while that lock is
// held; drawing the snapshot (retained/gl) needs no lock and happens on the thread that
// owns the OpenGL context. Reference counts are atomic; Device::LatestFrame has its own
// lock. Never show a modal message box while holding the scene lock: the other thread
// may be waiting for it.
//
// Every Create... call returns kOk and an object with one reference owned by the
// caller, or a failure code and null.
class RetainedMode : public Object {
  public:
    static Result Create(RetainedMode** out);

    // A frame, added as a child of parent when parent is not null (the parent holds a
    // second reference).
    Result CreateFrame(Frame* parent, Frame** out);
    Result CreateMeshBuilder(MeshBuilder** out);
    Result CreateFace(Face** out);
    Result CreateLightRGB(LightType type, float r, float g, float b, Light** out);
    Result CreateMaterial(float power, Material** out);
    // Copies the picture; kInvalidArg for sizes outside 1..Texture::kMaxSize or too few
    // pixels for the size and stride.
    Result CreateTexture(const ImageView& image, Texture** out);
    // kInvalidArg for a zero direction or an up parallel to it.
    Result CreateWrap(const WrapParams& params, Wrap** out);
    // kInvalidArg unless both sides are 1..16384.
    Result CreateDevice(int width, int height, Device** out);
    // kInvalidArg for null device or camera, or a rectangle not inside the device.
    Result CreateViewport(Device* device, Frame* camera, int x, int y, int width, int height,
                          Viewport** out);

    // A meshbuilder of geometry built once and shown by many (MeshBuilder::ShowScaled),
    // filed under a key of the caller's choosing and kept while this root lives.
    // *created is true when it is new and empty, for the caller to fill; null when
    // none can be made.
    MeshBuilder* UnitMesh(std::uint64_t key, bool* created);

  private:
    RetainedMode() = default;
    std::unordered_map<std::uint64_t, Ptr<MeshBuilder>> unitMeshes_;
};

}  // namespace rm
