// Text layout: where each glyph of a Text node's strings goes. Works from the glyphs'
// advances alone (in ems: the font's em square is 1 × 1), with the FontStyle's size,
// spacing, justification and directions and the Text's length and maxExtent, so that
// it is plain arithmetic, apart from fonts. Coordinates are the Text's own, in its
// z = 0 plane, +y up. The outlines come from font_outlines.h; geometry_builder_text.cpp
// puts both together.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

enum class Justify { First, Begin, Middle, End };

// One FontStyle justify entry ("FIRST", "BEGIN", "MIDDLE", "END"); anything else, the
// empty string included, gives `otherwise`.
Justify ParseJustify(std::string_view text, Justify otherwise);

struct TextStyle {
    float size = 1;     // the em square's height; at least 0
    float spacing = 1;  // baseline to baseline, in sizes; at least 0
    Justify major = Justify::Begin;
    Justify minor = Justify::First;
    bool horizontal = true, leftToRight = true, topToBottom = true;
    float ascent = 0.8f, descent = 0.2f;  // the font's, in ems: a line's edges about its baseline
};

// One glyph as placed: its outline (in ems, origin on the baseline at its left) is
// scaled by `scale` and moved to `origin`.
struct PlacedGlyph {
    glm::vec2 origin{0.0f};
    glm::vec2 scale{1.0f};
};

struct TextLayout {
    std::vector<std::vector<PlacedGlyph>> lines;  // one per string, one per glyph in it
    // The first string's start on its baseline, as justified: texture coordinates are
    // measured from there, one size to one unit.
    glm::vec2 textureOrigin{0.0f};
};

// Horizontal text: each line runs along x (to the left when !leftToRight), its glyphs
// `advances` (ems, kerning included) apart; lines are spacing × size apart down (up when
// !topToBottom). Vertical text: each glyph takes one size along y, centred across its
// column (its advance wide); columns are spacing × size apart to the right (left when
// !leftToRight), one size wide. A line's length is its advances (or glyph count, for
// vertical text) × size; lengths[i] > 0 stretches or squeezes line i to that length
// along its direction, and maxExtent > 0 squeezes every line by the same factor when the
// longest would pass it. Major justification places each line along its direction
// (BEGIN and FIRST: its start at 0, MIDDLE: its centre, END: its end); minor
// justification the block of lines across (horizontal: FIRST the first baseline at 0,
// BEGIN the first line's outer edge, END the last line's outer edge, MIDDLE the block's
// centre; vertical: FIRST and BEGIN the first column's outer edge, END the last
// column's, MIDDLE the centre).
TextLayout LayOutText(std::span<const std::vector<float>> advances, std::span<const float> lengths,
                      float maxExtent, const TextStyle& style);

// The code points of UTF-8 text; malformed or overlong sequences, surrogates and
// values past U+10FFFF each give one U+FFFD.
std::u32string DecodeUtf8(std::string_view text);
