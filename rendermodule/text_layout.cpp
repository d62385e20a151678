#include "rendermodule/text_layout.h"

#include <algorithm>
#include <cmath>

Justify ParseJustify(std::string_view text, Justify otherwise) {
    if (text == "FIRST") return Justify::First;
    if (text == "BEGIN") return Justify::Begin;
    if (text == "MIDDLE") return Justify::Middle;
    if (text == "END") return Justify::End;
    return otherwise;
}

namespace {

// Where a run of length `length` starts, along its own direction, for a major
// justification: BEGIN and FIRST at 0, MIDDLE centred, END ending at 0.
float RunStart(Justify j, float length) {
    switch (j) {
        case Justify::Middle:
            return -length / 2;
        case Justify::End:
            return -length;
        default:
            return 0;
    }
}

}  // namespace

TextLayout LayOutText(std::span<const std::vector<float>> advances, std::span<const float> lengths,
                      float maxExtent, const TextStyle& style) {
    TextLayout out;
    const std::size_t count = advances.size();
    out.lines.resize(count);
    if (count == 0) return out;
    const float s = style.size;

    // Each line's natural length, its stretch factor and its length as drawn.
    std::vector<float> stretch(count, 1.0f), drawn(count, 0.0f);
    float longest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        float natural = 0;
        if (style.horizontal) {
            for (float a : advances[i]) natural += a;
            natural *= s;
        } else {
            natural = s * static_cast<float>(advances[i].size());
        }
        drawn[i] = natural;
        const float wanted = i < lengths.size() ? lengths[i] : 0.0f;
        if (wanted > 0 && natural > 0) {
            stretch[i] = wanted / natural;
            drawn[i] = wanted;
        }
        longest = std::max(longest, drawn[i]);
    }
    if (maxExtent > 0 && longest > maxExtent) {
        const float squeeze = maxExtent / longest;
        for (std::size_t i = 0; i < count; ++i) {
            stretch[i] *= squeeze;
            drawn[i] *= squeeze;
        }
    }

    // Across the lines: line i's baseline (horizontal) or column's near edge (vertical)
    // before the minor justification, then the block's shift for it.
    const float step = s * style.spacing;
    const bool forward = style.horizontal ? !style.topToBottom : style.leftToRight;
    const float sign = forward ? 1.0f : -1.0f;  // +: lines go up (horizontal) or right
    auto across = [&](std::size_t i) { return sign * step * static_cast<float>(i); };
    const float last = across(count - 1);
    float shift = 0;
    if (style.horizontal) {
        const float ascent = style.ascent * s, descent = style.descent * s;
        // The block's top and bottom edges.
        const float top = std::max(ascent, last + ascent),
                    bottom = std::min(-descent, last - descent);
        switch (style.minor) {
            case Justify::First:
                break;
            case Justify::Begin:  // the first line's outer edge: its top, or its bottom going up
                shift = forward ? descent : -ascent;
                break;
            case Justify::Middle:
                shift = -(top + bottom) / 2;
                break;
            case Justify::End:  // the last line's outer edge
                shift = forward ? -(last + ascent) : -(last - descent);
                break;
        }
    } else {
        // Column i spans [c, c + s] going right, [c - s, c] going left.
        const float lo = std::min(0.0f, last - (forward ? 0.0f : s));
        const float hi = std::max(0.0f, last + (forward ? s : 0.0f));
        switch (style.minor) {
            case Justify::First:
            case Justify::Begin:
                break;
            case Justify::Middle:
                shift = -(lo + hi) / 2;
                break;
            case Justify::End:
                shift = forward ? -(last + s) : -(last - s);
                break;
        }
    }

    for (std::size_t i = 0; i < count; ++i) {
        const float start = RunStart(style.major, drawn[i]);
        const float k = stretch[i];
        std::vector<PlacedGlyph>& line = out.lines[i];
        line.resize(advances[i].size());
        float pen = start;  // along the line's direction, from the justified origin
        for (std::size_t j = 0; j < advances[i].size(); ++j) {
            PlacedGlyph& g = line[j];
            const float advance = advances[i][j];
            if (style.horizontal) {
                const float width = s * k * advance;
                g.origin.x = style.leftToRight ? pen : -(pen + width);
                g.origin.y = across(i) + shift;
                g.scale = {s * k, s};
                pen += width;
            } else {
                const float height = s * k;
                const float total = style.ascent + style.descent;
                const float below = total > 0 ? style.descent / total : 0.0f;
                // The glyph's cell along y; its baseline a descent's share above the bottom.
                const float cellBottom = style.topToBottom ? -(pen + height) : pen;
                const float column = across(i) + shift - (forward ? 0.0f : s);
                g.origin.x = column + s * (1 - advance) / 2;
                g.origin.y = cellBottom + height * below;
                g.scale = {s, s * k};
                pen += height;
            }
        }
        if (i == 0) {
            if (style.horizontal)
                out.textureOrigin = {style.leftToRight ? start : -(start + drawn[0]), shift};
            else
                out.textureOrigin = {shift - (forward ? 0.0f : s),
                                     style.topToBottom ? -(start + drawn[0]) : start};
        }
    }
    return out;
}

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        int extra = 0;
        char32_t code = 0, least = 0;
        if (c < 0x80) {
            out.push_back(c);
            ++p;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07, least = 0x10000;
        } else {
            out.push_back(U'\uFFFD');
            ++p;
            continue;
        }
        int taken = 1;
        for (; taken <= extra && p + taken < end && (p[taken] & 0xC0) == 0x80; ++taken)
            code = (code << 6) | (p[taken] & 0x3F);
        p += taken;
        const bool complete = taken == extra + 1;
        if (!complete || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            out.push_back(U'\uFFFD');
        else
            out.push_back(code);
    }
    return out;
}
