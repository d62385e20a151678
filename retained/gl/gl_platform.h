// GLPlatform: one way of getting an OpenGL 3.3 core context (headless EGL here, a Qt
// widget in the viewer). The renderer only needs the context to be current.
#pragma once

namespace rm::gl {

class GLPlatform {
  public:
    virtual ~GLPlatform() = default;
    // Makes the platform's context current on the calling thread.
    virtual bool MakeCurrent() = 0;
    virtual void DoneCurrent() = 0;
    virtual const char* Name() const = 0;
};

}  // namespace rm::gl
