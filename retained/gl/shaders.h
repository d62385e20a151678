// GLSL sources of the renderer: the lighting formula of retained/lighting.h per vertex.
#pragma once

#include <string>

namespace rm::gl {

// The shaders without their first line: "#version 330 core" and the #defines of a
// program (the light counts, FRONT_ONLY) go before them (see shaders.cpp).
extern const char* const kVertexShader;
extern const char* const kFragmentShader;

// Compiles one shader of `type` (GL_VERTEX_SHADER, GL_FRAGMENT_SHADER); 0 with *error
// ("<what> shader compile failed: <log>") when it does not compile. The context must be
// current.
unsigned CompileShader(unsigned type, const char* source, const char* what, std::string* error);

}  // namespace rm::gl
