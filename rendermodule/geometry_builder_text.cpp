// Text: strings laid out with their FontStyle and drawn as the glyphs' triangles.
#include "rendermodule/geometry_builder_text.h"

#include <cmath>

#include "trace/message_sink.h"

namespace {

// A length as laid out: zero, negative and non-finite values are reported; a negative
// one counts by its magnitude, a non-finite one as zero.
float Checked(float value, bool zeroAllowed, GeometryProblems& problems) {
    if (!std::isfinite(value) || value < 0 || (!zeroAllowed && value == 0)) {
        problems |= kBadSize;
        return std::isfinite(value) ? std::abs(value) : 0.0f;
    }
    return value;
}

// Control characters take no room and draw nothing.
bool Drawn(char32_t code) {
    return code >= 0x20 && code != 0x7F;
}

}  // namespace

TextResult GetAText(rm::MeshBuilder* mb, FontLibrary& fonts, const TextInput& in) {
    TextResult result;
    if (mb == nullptr) return result;
    GeometryProblems& problems = result.problems;
    TextStyle style;
    style.size = Checked(in.size, false, problems);
    style.spacing = Checked(in.spacing, true, problems);
    const float maxExtent = Checked(in.maxExtent, true, problems);
    std::vector<float> lengths;
    lengths.reserve(in.length.size());
    for (const SFFloat& l : in.length) lengths.push_back(Checked(l.Get(), true, problems));
    style.major = ParseJustify(in.justify.empty() ? "" : in.justify[0], Justify::Begin);
    style.minor = ParseJustify(in.justify.size() < 2 ? "" : in.justify[1], Justify::First);
    style.horizontal = in.horizontal;
    style.leftToRight = in.leftToRight;
    style.topToBottom = in.topToBottom;
    if (in.strings.empty() || !(style.size > 0)) return result;

    const FontLibrary::Found found = fonts.Find(in.family, in.style);
    if (found.face == nullptr) {
        result.font = FontOutcome::NoFont;
        return result;
    }
    result.font = found.fellBack ? FontOutcome::FellBack : FontOutcome::Found;
    FontFace& face = *found.face;
    style.ascent = fonts.Ascent(face);
    style.descent = fonts.Descent(face);

    // Each glyph's advance, kerned against the next one in horizontal text.
    std::vector<std::u32string> codes;
    std::vector<std::vector<float>> advances;
    codes.reserve(in.strings.size());
    advances.reserve(in.strings.size());
    for (const SFString& s : in.strings) {
        std::u32string line = DecodeUtf8(s.Get());
        std::erase_if(line, [](char32_t c) { return !Drawn(c); });
        std::vector<float> advance(line.size());
        for (std::size_t j = 0; j < line.size(); ++j) {
            advance[j] = fonts.Glyph(face, line[j]).advance;
            if (style.horizontal && j + 1 < line.size())
                advance[j] += fonts.Kerning(face, line[j], line[j + 1]);
        }
        codes.push_back(std::move(line));
        advances.push_back(std::move(advance));
    }
    const TextLayout layout = LayOutText(advances, lengths, maxExtent, style);

    rm::PolygonMesh m;
    m.normals = {glm::vec3(0, 0, 1)};
    for (std::size_t i = 0; i < codes.size(); ++i) {
        for (std::size_t j = 0; j < codes[i].size(); ++j) {
            const GlyphShape& glyph = fonts.Glyph(face, codes[i][j]);
            if (glyph.triangles.empty()) continue;
            const PlacedGlyph& place = layout.lines[i][j];
            const auto base = static_cast<std::uint32_t>(m.vertices.size());
            for (const glm::vec2& v : glyph.vertices) {
                const glm::vec2 p = place.origin + place.scale * v;
                m.vertices.emplace_back(p, 0.0f);
                // Pictures are stored top row first: T counts down from 1.
                const glm::vec2 st = (p - layout.textureOrigin) / style.size;
                m.texCoords.emplace_back(st.x, 1.0f - st.y);
            }
            for (std::uint32_t corner : glyph.triangles) {
                m.cornerVertex.push_back(base + corner);
                m.cornerNormal.push_back(0);
            }
            m.polygonSizes.insert(m.polygonSizes.end(), glyph.triangles.size() / 3, 3u);
            ++result.glyphs;
        }
    }
    if (m.polygonSizes.empty()) return result;
    if (rm::Failed(mb->AddPolygons(std::move(m)))) ShowMessage("Failed to add faces for Text.");
    mb->SetSolid(false);
    return result;
}

std::string DescribeText(const TextInput& in, const TextResult& result) {
    std::string text;
    if (result.font == FontOutcome::NoFont) {
        text = "Text: no font is installed; the text is not drawn";
    } else if (result.font == FontOutcome::FellBack) {
        text = "Text: font family ";
        for (std::size_t i = 0; i < in.family.size(); ++i)
            text += (i ? ", \"" : "\"") + in.family[i] + "\"";
        if (in.family.empty()) text += "\"SERIF\"";
        text += " not installed; drawn in SANS";
    }
    const std::string problems = DescribeProblems("Text", result.problems);
    if (problems.empty()) return text;
    if (text.empty()) return problems;
    return text + "; " + problems.substr(6);  // without the second "Text: "
}
