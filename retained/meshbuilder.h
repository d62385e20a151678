// Meshbuilder: a visual made of polygon faces, with a colour, an optional material and
// texture, and a render quality. Face: a polygon being built before AddFace.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <glm/glm.hpp>

#include "retained/material.h"
#include "retained/mesh_data.h"
#include "retained/object.h"
#include "retained/result.h"
#include "retained/snapshot.h"
#include "retained/texture.h"
#include "retained/types.h"

namespace rm {

// A polygon of vertices in order; its front is the side from which they run
// counter-clockwise. AddFace copies it into a meshbuilder.
class Face : public Object {
  public:
    void AddVertex(float x, float y, float z) { vertices_.emplace_back(x, y, z); }
    void SetColorRGB(float r, float g, float b) {
        color_ = {r, g, b};
        hasColor_ = true;
    }
    std::size_t GetVertexCount() const { return vertices_.size(); }
    const std::vector<glm::vec3>& Vertices() const { return vertices_; }

  private:
    friend class RetainedMode;
    friend class MeshBuilder;
    Face() = default;
    std::vector<glm::vec3> vertices_;
    glm::vec3 color_{1.0f};
    bool hasColor_ = false;
};

// Polygons over shared vertices, as indexed geometry gives them; what AddPolygons takes.
// Each optional list is either empty or holds one entry per vertex (texCoords) or per
// corner (the corner lists), corners running polygon after polygon.
struct PolygonMesh {
    std::vector<glm::vec3> vertices;
    std::vector<glm::vec2> texCoords;  // per vertex; none: (0, 0)
    std::vector<glm::vec3> normals;
    std::vector<std::uint32_t> polygonSizes;  // the corner count of each polygon, at least 1
    std::vector<std::uint32_t> cornerVertex;
    std::vector<std::int32_t> cornerNormal;  // an index into normals, or kNoNormal
    std::vector<glm::vec3> cornerColor;
    std::vector<glm::vec2> cornerTexCoord;
};

class MeshBuilder : public Object {
  public:
    // Appends vertices and normals and the faces that use them. faceData holds, per face,
    // a corner count n and then n (vertex index, normal index) pairs — or n vertex indices
    // alone when `normals` is empty — and ends with a 0 count (or at the end of the span).
    // Indices count from the first vertex/normal of this call. A face running past the
    // span or naming an index out of range fails with kInvalidArg and adds nothing.
    // A face whose normals are not given gets its polygon's own normal.
    Result AddFaces(std::span<const glm::vec3> vertices, std::span<const glm::vec3> normals,
                    std::span<const std::uint32_t> faceData);
    // Appends the face's vertices and one face over them; a face with a colour keeps it.
    Result AddFace(const Face* face);
    // Appends the polygons, their vertices and normals; corner colours and texture
    // coordinates, when given, are kept per corner. Lists of the wrong length or an index
    // out of range fail with kInvalidArg and add nothing. An empty meshbuilder takes the
    // lists over without copying them.
    Result AddPolygons(PolygonMesh&& mesh);
    // As AddPolygons, for a meshbuilder of polylines (each polygon an open line through
    // its corners; one of a single corner draws nothing) or of points (one at each
    // corner). A meshbuilder holds one primitive: adding another to a meshbuilder that
    // has faces fails with kInvalidArg; Empty() makes it take any again.
    Result AddPolylines(PolygonMesh&& mesh);
    Result AddPoints(PolygonMesh&& mesh);
    Primitive GetPrimitive() const { return data_->primitive; }

    // Sets the meshbuilder colour and clears every face colour (the faces take it too).
    // Corner colours stay: they are the geometry's own.
    void SetColorRGB(float r, float g, float b);
    // Whether some face has corner colours; those then stand in for a material's colour.
    bool HasCornerColors() const { return !data_->cornerColor.empty(); }
    // A solid meshbuilder is a closed surface seen from outside: its back faces are not
    // drawn. Off by default: both sides are drawn and lit.
    void SetSolid(bool solid) { solid_ = solid; }
    bool IsSolid() const { return solid_; }
    // Holds a reference to the material/texture; null removes it.
    void SetMaterial(Material* material);
    void SetTexture(Texture* texture);
    void SetQuality(Quality q) { quality_ = q; }
    Quality GetQuality() const { return quality_; }
    Material* GetMaterial() const { return material_.Get(); }
    Texture* GetTexture() const { return texture_.Get(); }
    glm::vec3 GetColor() const { return data_->color; }

    Result SetTextureCoordinates(std::uint32_t vertex, float u, float v);
    Result GetTextureCoordinates(std::uint32_t vertex, float* u, float* v) const;
    // Replaces every texture coordinate (u, v), per vertex and per corner, by m · (u, v, 1).
    void TransformTextureCoordinates(const glm::mat3& m);
    Result SetVertex(std::uint32_t vertex, glm::vec3 position);
    // Multiplies every vertex by s; normals follow (divided by s, renormalised).
    // A zero factor fails with kInvalidArg.
    Result Scale(float sx, float sy, float sz);
    void Translate(float tx, float ty, float tz);
    // Bounding box of the vertices in the meshbuilder's coordinates; kEmpty without any.
    Result GetBox(Box* box) const;

    std::size_t GetVertexCount() const { return data_->vertices.size(); }
    std::size_t GetNormalCount() const { return data_->normals.size(); }
    std::size_t GetFaceCount() const { return data_->faces.size(); }
    // Removes every face, vertex and normal; colour, material, texture and quality stay.
    void Empty();

    // Shows unit's geometry and colours scaled by `scale` axis by axis, sharing unit's
    // data instead of copying it: many meshbuilders of one primitive at different sizes
    // then hold a single copy, which the backend recognises by its address. Reads see the
    // scaled geometry; the first change makes the meshbuilder a scaled copy of its own.
    // Each factor must be finite and above 0 (normals follow the scale as in Scale),
    // else kInvalidArg and nothing changes. Material, texture, quality and solidity stay.
    Result ShowScaled(const MeshBuilder& unit, glm::vec3 scale);

    // Lets the backend draw `coarser`'s geometry in place of this one where this one
    // covers fewer than belowPixels pixels across on screen; `coarser` must show the
    // same shape with fewer vertices, and is read as it is now. Kept until the next
    // change of this geometry. kInvalidArg for a threshold not above 0, this meshbuilder
    // or an empty one.
    Result AddCoarser(float belowPixels, const MeshBuilder& coarser);

    // The current geometry; the shared pointer stays valid and unchanged after later edits.
    // A meshbuilder showing scaled shared data (ShowScaled) returns a scaled copy.
    std::shared_ptr<const MeshData> Data() const;
    // The data as held, before UnitScale: what Data() is for a scale of 1. Snapshots,
    // bounds and picking read this, with the scale folded into their matrices.
    std::shared_ptr<const MeshData> UnitData() const { return data_; }
    glm::vec3 UnitScale() const { return scale_; }
    // Grows by one at every change of the geometry, colours or texture coordinates; the
    // backend re-uploads a mesh only when it moved.
    std::uint64_t GetVersion() const { return version_; }

  private:
    friend class RetainedMode;
    friend class Viewport;
    // What a viewport last recorded of this visual's material, quality, texture and
    // solidity, and what it was made from: kept while none of that changes, so that a
    // frame of thousands of visuals reads no material again.
    struct Look {
        // Counts the times the look was made; 0: never. With the meshbuilder's Id it
        // names what a snapshot record holds of it (VisualSnapshot::look).
        std::uint64_t made = 0;
        std::uint64_t version = 0;
        const Material* material = nullptr;
        std::uint64_t materialEdits = 0;
        std::uint64_t textureId = 0;  // 0: none
        Quality meshQuality = 0, deviceQuality = 0;
        Quality quality = 0;
        bool solid = false;
        bool hasFaces = false;
        MaterialSnapshot values;
    };
    MeshBuilder();
    ~MeshBuilder() override;
    // Copy-on-write: a private MeshData to change, copied only while a snapshot or another
    // meshbuilder shares it, with scale_ applied to the copy.
    MeshData& Edit();
    // Grows the corner colour and texture-coordinate lists, once in use, to every corner.
    static void KeepCornerListsInStep(MeshData& d);
    // Whether faces of primitive p may be added: the meshbuilder is empty or holds p.
    bool Takes(Primitive p) const { return data_->faces.empty() || data_->primitive == p; }
    Result Add(PolygonMesh&& mesh, Primitive p);

    std::shared_ptr<MeshData> data_;
    glm::vec3 scale_{1.0f};  // of data_'s vertices (ShowScaled); Edit bakes it in
    std::uint64_t version_ = 0;
    Quality quality_ = kRenderGouraud;
    bool solid_ = false;
    Ptr<Material> material_;
    Ptr<Texture> texture_;
    // Only Viewport::Render reads and writes it, under the scene lock; made at the first
    // Render, apart from the meshbuilder, so that the objects a scene is built of stay
    // close together in memory.
    mutable std::unique_ptr<Look> look_;
};

}  // namespace rm
