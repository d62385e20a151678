// Fonts for Text: finds the font file of a FontStyle family and style through
// fontconfig (SERIF, SANS and TYPEWRITER are the DejaVu Serif, Sans and Sans Mono
// faces; any other name is looked up as it is), reads glyph outlines with FreeType and
// cuts each into triangles, holes left open, with the GLU tessellator (no OpenGL
// context involved). A glyph is cut once per face and kept. Everything is in ems: the
// font's em square is 1 × 1 with the baseline at y = 0. A style the font files lack
// (an italic or bold face) is made from the plain one: slanted, or its outline
// thickened. Callers hold the scene lock; a library is not shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <glm/glm.hpp>

// One glyph's triangles, counter-clockwise seen from +z.
struct GlyphShape {
    float advance = 0;  // ems
    std::vector<glm::vec2> vertices;
    std::vector<std::uint32_t> triangles;  // three vertex indices each
};

class FontFace;

class FontLibrary {
  public:
    // With the system's fontconfig set-up, or (configXml) with a configuration of its
    // own: "<fontconfig/>" knows no fonts at all.
    explicit FontLibrary(const char* configXml = nullptr);
    ~FontLibrary();
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;

    struct Found {
        FontFace* face = nullptr;  // null: no font at all
        bool fellBack = false;     // none of the families is installed: SANS stands in
    };
    // The first of `families` installed, in `style` (PLAIN, BOLD, ITALIC, BOLDITALIC);
    // no families means SERIF.
    Found Find(std::span<const std::string> families, const std::string& style);

    // The glyph of a code point (the font's missing-glyph shape when it has none).
    const GlyphShape& Glyph(FontFace& face, char32_t code);
    // The change of advance between two neighbouring code points, in ems.
    float Kerning(FontFace& face, char32_t left, char32_t right);
    // How far the face reaches above and below its baseline, in ems (both positive).
    float Ascent(const FontFace& face) const;
    float Descent(const FontFace& face) const;

  private:
    FontFace* Open(const std::string& family, bool bold, bool italic, bool exact);

    struct Handles;
    std::unique_ptr<Handles> m_handles;
    std::map<std::string, std::unique_ptr<FontFace>> m_faces;  // by file, index and made style
    std::map<std::string, FontFace*> m_requests;               // by family and style asked for
};
