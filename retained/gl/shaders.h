// GLSL sources of the renderer: the lighting formula of retained/lighting.h per vertex.
#pragma once

namespace rm::gl {

// The vertex shader without its first line: "#version 330 core" and the two light
// counts' #defines go before it (see shaders.cpp).
extern const char* const kVertexShader;
extern const char* const kFragmentShader;

}  // namespace rm::gl
