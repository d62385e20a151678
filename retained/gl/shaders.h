// GLSL sources of the renderer: the lighting formula of retained/lighting.h per vertex.
#pragma once

namespace rm::gl {

extern const char* const kVertexShader;
extern const char* const kFragmentShader;

}  // namespace rm::gl
