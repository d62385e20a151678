// The Text geometry builder: lays out a Text node's strings with its FontStyle
// (text_layout.h) and fills a meshbuilder with the glyphs' triangles from the font
// library (font_outlines.h), in the z = 0 plane, front towards +z, both sides drawn.
// Callers hold the scene lock.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "node/node_typedef.h"
#include "rendermodule/font_outlines.h"
#include "rendermodule/geometry_builder.h"
#include "rendermodule/text_layout.h"

// A Text node and its FontStyle as their fields hold them (the FontStyle's defaults
// without one).
struct TextInput {
    std::span<const SFString> strings;  // UTF-8, one line each
    std::span<const SFFloat> length;
    float maxExtent = 0;
    std::vector<std::string> family = {"SERIF"};
    std::string style = "PLAIN";
    float size = 1, spacing = 1;
    std::vector<std::string> justify = {"BEGIN"};
    bool horizontal = true, leftToRight = true, topToBottom = true;
};

// How the font was found: the families asked for, SANS standing in for them, or none.
enum class FontOutcome { Found, FellBack, NoFont };

struct TextResult {
    GeometryProblems problems = 0;  // zero or negative size, negative spacing, length, maxExtent
    FontOutcome font = FontOutcome::Found;
    std::size_t glyphs = 0;  // glyphs drawn
};

// Texture coordinates run from the first string's justified start, one size to one unit,
// S to the right and T up. Draws nothing (and adds no faces) for a size of zero, an
// empty string list or no font.
TextResult GetAText(rm::MeshBuilder* mb, FontLibrary& fonts, const TextInput& in);

// The one message for a Text node's result, naming the families asked for; "" for none.
std::string DescribeText(const TextInput& in, const TextResult& result);
