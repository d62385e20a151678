// BackdropPass: draws a viewport's backdrop (retained/backdrop.h) over its cleared
// colour, before anything else, with one full-screen triangle: each pixel's view
// direction, turned into the backdrop's coordinates, picks the gradients' colours and
// the cube picture it meets. Use it on the thread that owns the context.
#pragma once

#include <array>
#include <memory>
#include <string>

#include <glm/glm.hpp>

#include "retained/snapshot.h"

namespace rm::gl {

class BackdropPass {
  public:
    // Gradient stops the shader takes per gradient; further ones are left out.
    static constexpr int kMaxStops = 16;
    // The cube pictures use texture units kFirstUnit … kFirstUnit + 5.
    static constexpr unsigned kFirstUnit = 1;

    // Compiles the program. The context must be current. Null with *error on failure.
    static std::unique_ptr<BackdropPass> Create(std::string* error);
    ~BackdropPass();  // the context must still be current
    BackdropPass(const BackdropPass&) = delete;
    BackdropPass& operator=(const BackdropPass&) = delete;

    // Draws b into the current viewport seen through view and projection (only view's
    // rotation counts); faces holds a texture name per BackdropFace (0: none). Leaves the
    // depth buffer alone; changes the program, the vertex array and the textures bound to
    // its units, and leaves unit 0 active.
    void Draw(const BackdropSnapshot& b, const glm::mat4& view, const glm::mat4& projection,
              const std::array<unsigned, 6>& faces);

  private:
    BackdropPass() = default;
    unsigned program_ = 0, vao_ = 0, sampler_ = 0;
    int toDirection_ = -1, skyCount_ = -1, skyColor_ = -1, skyAngle_ = -1, groundCount_ = -1,
        groundColor_ = -1, groundAngle_ = -1, hasFace_ = -1;
};

}  // namespace rm::gl
