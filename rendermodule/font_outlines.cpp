#include "rendermodule/font_outlines.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include <GL/glu.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

class FontFace {
  public:
    FontFace(FT_Face face, bool makeBold, bool makeItalic)
        : ft(face),
          bold(makeBold),
          italic(makeItalic),
          em(face->units_per_EM > 0 ? static_cast<float>(face->units_per_EM) : 2048.0f) {}
    ~FontFace() { FT_Done_Face(ft); }
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    FT_Face ft;
    bool bold, italic;                               // made from a plain face
    float em;                                        // font units per em
    std::unordered_map<FT_UInt, GlyphShape> glyphs;  // by glyph index
};

struct FontLibrary::Handles {
    FT_Library ft = nullptr;
    FcConfig* config = nullptr;
    ~Handles() {
        if (config) FcConfigDestroy(config);
        if (ft) FT_Done_FreeType(ft);
    }
};

namespace {

// A made italic slants by this much (x grows by it per unit of height).
constexpr float kSlant = 0.2f;
// A made bold thickens each outline by this share of the em on each side.
constexpr float kEmbolden = 1.0f / 28;

// How far a line piece may stray from the curve it stands for, in ems: 0.6 of a
// pixel on text three hundred pixels high.
constexpr double kTolerance = 0.002;

// The outline of one glyph as closed polylines, in ems; curves cut into line pieces
// within kTolerance of them.
struct Contours {
    float em = 1, slant = 0;
    std::vector<std::vector<glm::dvec2>> list;
    glm::dvec2 last{0.0};

    glm::dvec2 Point(const FT_Vector* v) const {
        const double y = static_cast<double>(v->y) / em;
        return {static_cast<double>(v->x) / em + slant * y, y};
    }
    void Add(glm::dvec2 p) {
        if (list.empty()) list.emplace_back();
        if (list.back().empty() || glm::length(list.back().back() - p) > 1e-9)
            list.back().push_back(p);
        last = p;
    }
    // Line pieces for a curve whose second derivative stays within `bend`: enough that
    // none strays from the curve by more than kTolerance (a piece of parameter length h
    // strays by at most bend × h² / 8).
    static int Pieces(double bend) {
        const double n = std::ceil(std::sqrt(bend / (8 * kTolerance)));
        return std::clamp(static_cast<int>(n), 1, 16);
    }
};

int MoveTo(const FT_Vector* to, void* user) {
    auto* c = static_cast<Contours*>(user);
    c->list.emplace_back();
    c->Add(c->Point(to));
    return 0;
}
int LineTo(const FT_Vector* to, void* user) {
    auto* c = static_cast<Contours*>(user);
    c->Add(c->Point(to));
    return 0;
}
int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* c = static_cast<Contours*>(user);
    const glm::dvec2 p0 = c->last, p1 = c->Point(control), p2 = c->Point(to);
    const int n = Contours::Pieces(2 * glm::length(p0 - 2.0 * p1 + p2));
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        c->Add(u * u * p0 + 2 * u * t * p1 + t * t * p2);
    }
    return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* c = static_cast<Contours*>(user);
    const glm::dvec2 p0 = c->last, p1 = c->Point(c1), p2 = c->Point(c2), p3 = c->Point(to);
    const int n = Contours::Pieces(
        6 * std::max(glm::length(p0 - 2.0 * p1 + p2), glm::length(p1 - 2.0 * p2 + p3)));
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        c->Add(u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3);
    }
    return 0;
}

// What the tessellator's callbacks fill: the glyph's vertices (the outline's, then
// those it makes where outlines cross) and its triangles.
struct Tessellation {
    GlyphShape* shape;
    bool failed = false;
};

void TessVertex(void* vertex, void* data) {
    static_cast<Tessellation*>(data)->shape->triangles.push_back(
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(vertex)));
}
void TessCombine(GLdouble coords[3], void* [4], GLfloat[4], void** out, void* data) {
    GlyphShape& s = *static_cast<Tessellation*>(data)->shape;
    s.vertices.emplace_back(static_cast<float>(coords[0]), static_cast<float>(coords[1]));
    *out = reinterpret_cast<void*>(static_cast<std::uintptr_t>(s.vertices.size() - 1));
}
void TessError(GLenum, void* data) {
    static_cast<Tessellation*>(data)->failed = true;
}
void TessBegin(GLenum, void*) {}
void TessEnd(void*) {}
void TessEdgeFlag(GLboolean, void*) {}  // asking for edge flags keeps the output to triangles

// Cuts the contours into triangles: the areas they wind round a non-zero number of
// times, so that holes (wound the other way) stay open whatever the font's direction.
void Tessellate(const Contours& contours, GlyphShape& shape) {
    std::vector<std::array<GLdouble, 3>> coords;
    for (const auto& contour : contours.list)
        for (const glm::dvec2& p : contour) coords.push_back({p.x, p.y, 0.0});
    if (coords.size() < 3) return;
    shape.vertices.reserve(coords.size());
    for (const auto& c : coords)
        shape.vertices.emplace_back(static_cast<float>(c[0]), static_cast<float>(c[1]));
    GLUtesselator* tess = gluNewTess();
    if (tess == nullptr) return;
    Tessellation state{&shape};
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(&TessBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(&TessVertex));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<_GLUfuncptr>(&TessEnd));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&TessCombine));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(&TessError));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(&TessEdgeFlag));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0, 0, 1);
    gluTessBeginPolygon(tess, &state);
    std::size_t at = 0;
    for (const auto& contour : contours.list) {
        if (contour.size() < 3) {
            at += contour.size();
            continue;
        }
        gluTessBeginContour(tess);
        for (std::size_t i = 0; i < contour.size(); ++i, ++at)
            gluTessVertex(tess, coords[at].data(), reinterpret_cast<void*>(at));
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    if (state.failed || shape.triangles.size() % 3 != 0) {
        shape.vertices.clear();
        shape.triangles.clear();
        return;
    }
    // Every triangle counter-clockwise seen from +z.
    for (std::size_t t = 0; t < shape.triangles.size(); t += 3) {
        const glm::vec2 a = shape.vertices[shape.triangles[t]];
        const glm::vec2 b = shape.vertices[shape.triangles[t + 1]];
        const glm::vec2 c = shape.vertices[shape.triangles[t + 2]];
        const glm::vec2 ab = b - a, ac = c - a;
        if (ab.x * ac.y - ab.y * ac.x < 0)
            std::swap(shape.triangles[t + 1], shape.triangles[t + 2]);
    }
}

// The DejaVu face fontconfig knows each of the standard families by.
std::string FamilyName(const std::string& family) {
    if (family.empty() || family == "SERIF") return "DejaVu Serif";
    if (family == "SANS") return "DejaVu Sans";
    if (family == "TYPEWRITER") return "DejaVu Sans Mono";
    return family;
}

}  // namespace

FontLibrary::FontLibrary(const char* configXml) : m_handles(std::make_unique<Handles>()) {
    if (FT_Init_FreeType(&m_handles->ft) != 0) m_handles->ft = nullptr;
    if (configXml == nullptr) {
        m_handles->config = FcInitLoadConfigAndFonts();
    } else {
        m_handles->config = FcConfigCreate();
        if (m_handles->config != nullptr) {
            FcConfigParseAndLoadFromMemory(m_handles->config,
                                           reinterpret_cast<const FcChar8*>(configXml), FcFalse);
            FcConfigBuildFonts(m_handles->config);
        }
    }
}

FontLibrary::~FontLibrary() {
    m_faces.clear();  // before the FreeType library they belong to
}

FontFace* FontLibrary::Open(const std::string& family, bool bold, bool italic, bool exact) {
    if (m_handles->ft == nullptr || m_handles->config == nullptr) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(m_handles->config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(m_handles->config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return nullptr;

    FontFace* found = nullptr;
    FcChar8* file = nullptr;
    bool named = !exact;
    FcChar8* name = nullptr;
    for (int i = 0; !named && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        named = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0;
    if (named && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        const bool makeBold = bold && weight < FC_WEIGHT_DEMIBOLD;
        const bool makeItalic = italic && slant == FC_SLANT_ROMAN;
        const std::string key = reinterpret_cast<const char*>(file) +
                                ("#" + std::to_string(index)) + (makeBold ? "b" : "") +
                                (makeItalic ? "i" : "");
        auto it = m_faces.find(key);
        if (it != m_faces.end()) {
            found = it->second.get();
        } else {
            FT_Face face = nullptr;
            if (FT_New_Face(m_handles->ft, reinterpret_cast<const char*>(file), index, &face) ==
                0) {
                if (FT_IS_SCALABLE(face)) {
                    auto made = std::make_unique<FontFace>(face, makeBold, makeItalic);
                    found = made.get();
                    m_faces.emplace(key, std::move(made));
                } else {
                    FT_Done_Face(face);
                }
            }
        }
    }
    FcPatternDestroy(match);
    return found;
}

FontLibrary::Found FontLibrary::Find(std::span<const std::string> families,
                                     const std::string& style) {
    const bool bold = style == "BOLD" || style == "BOLDITALIC";
    const bool italic = style == "ITALIC" || style == "BOLDITALIC";
    const std::string styleKey = std::string(bold ? "b" : "") + (italic ? "i" : "");
    auto request = [&](const std::string& family, bool exact) {
        const std::string key = family + "|" + styleKey + (exact ? "" : "|any");
        auto it = m_requests.find(key);
        if (it == m_requests.end())
            it = m_requests.emplace(key, Open(family, bold, italic, exact)).first;
        return it->second;
    };
    static const std::string kSerif = "SERIF";
    if (families.empty()) families = std::span<const std::string>(&kSerif, 1);
    for (const std::string& family : families)
        if (FontFace* face = request(FamilyName(family), true)) return {face, false};
    // None is installed: SANS, or failing that whatever font fontconfig offers.
    FontFace* face = request(FamilyName("SANS"), true);
    if (face == nullptr) face = request("sans-serif", false);
    return {face, true};
}

const GlyphShape& FontLibrary::Glyph(FontFace& face, char32_t code) {
    // Code points without a glyph share the missing-glyph shape (index 0).
    const FT_UInt index = FT_Get_Char_Index(face.ft, code);
    auto it = face.glyphs.find(index);
    if (it != face.glyphs.end()) return it->second;
    GlyphShape& shape = face.glyphs[index];
    if (FT_Load_Glyph(face.ft, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) !=
        0)
        return shape;
    FT_GlyphSlot slot = face.ft->glyph;
    shape.advance = static_cast<float>(slot->metrics.horiAdvance) / face.em;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return shape;
    if (face.bold) {
        const FT_Pos strength = static_cast<FT_Pos>(face.em * kEmbolden);
        FT_Outline_Embolden(&slot->outline, strength);
        shape.advance += static_cast<float>(strength) / face.em;
    }
    Contours contours;
    contours.em = face.em;
    contours.slant = face.italic ? kSlant : 0.0f;
    FT_Outline_Funcs funcs{};
    funcs.move_to = &MoveTo;
    funcs.line_to = &LineTo;
    funcs.conic_to = &ConicTo;
    funcs.cubic_to = &CubicTo;
    if (FT_Outline_Decompose(&slot->outline, &funcs, &contours) != 0) return shape;
    // A contour that closes on its first point need not repeat it.
    for (auto& contour : contours.list)
        if (contour.size() > 1 && glm::length(contour.front() - contour.back()) < 1e-9)
            contour.pop_back();
    Tessellate(contours, shape);
    return shape;
}

float FontLibrary::Kerning(FontFace& face, char32_t left, char32_t right) {
    if (!FT_HAS_KERNING(face.ft)) return 0;
    FT_Vector kern{};
    if (FT_Get_Kerning(face.ft, FT_Get_Char_Index(face.ft, left), FT_Get_Char_Index(face.ft, right),
                       FT_KERNING_UNSCALED, &kern) != 0)
        return 0;
    return static_cast<float>(kern.x) / face.em;
}

float FontLibrary::Ascent(const FontFace& face) const {
    return std::abs(static_cast<float>(face.ft->ascender)) / face.em;
}

float FontLibrary::Descent(const FontFace& face) const {
    return std::abs(static_cast<float>(face.ft->descender)) / face.em;
}
