// Geometry builders: fill a retained-mode meshbuilder with the faces of one
// primitive (box, sphere, cone, cylinder, circle, rectangle, flat polygon, the
// background sphere) or of an indexed face set, elevation grid or extrusion,
// with their texture coordinates, and build the pick highlight. Callers hold
// the scene lock. Builders that make wraps or meshbuilders of their own take the
// retained-mode root that makes them; every builder does nothing when given a
// null meshbuilder or frame.
#pragma once

#include <span>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "node/node_typedef.h"
#include "retained/retained_mode.h"

// Every primitive builder sets the meshbuilder colour to (0.8, 0.8, 0.8) after its faces;
// the indexed ones below leave it as it is.
void GetACircle(rm::RetainedMode& rm, rm::MeshBuilder* mb, float radius);
void GetARect(rm::MeshBuilder* mb, float x, float y);
// `points` holds count (x, y) pairs; count must be at least 3.
void GetAPolygon(rm::RetainedMode& rm, rm::MeshBuilder* mb, const float* points, int count);
void GetABox(rm::MeshBuilder* mb, float x, float y, float z);
void GetABoxFromCorners(rm::MeshBuilder* mb, const rm::Box& box);
void GetASphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude);
// A sphere seen from inside: normals inward, faces reversed, texture mirrored.
void GetABackgroundSphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude);
// The parts left out (side, bottom, top) add no faces; every vertex is still made.
void GetACone(rm::MeshBuilder* mb, float bottomRadius, float height, int segments, bool side = true,
              bool bottom = true);
// Into an empty meshbuilder, a cylinder of positive finite sizes shows a unit cylinder
// built once per root and set of parts (MeshBuilder::ShowScaled). `white` makes it white
// instead of grey, for a shape without a Material: such shapes share a white unit.
void GetACylinder(rm::RetainedMode& rm, rm::MeshBuilder* mb, float radius, float height,
                  int segments, bool side = true, bool top = true, bool bottom = true,
                  bool white = false);
// The same box, sphere and cone; given a root, an empty meshbuilder shows the primitive
// built once at unit size and scaled, as the cylinder above (a cone only while neither
// of its radius and height exceeds four times the other, so that its slanted normals
// keep their precision under the scale).
void GetABox(rm::RetainedMode* rm, rm::MeshBuilder* mb, float x, float y, float z,
             bool white = false);
void GetASphere(rm::RetainedMode* rm, rm::MeshBuilder* mb, float radius, int longitude,
                int latitude, bool white = false);
void GetACone(rm::RetainedMode* rm, rm::MeshBuilder* mb, float bottomRadius, float height,
              int segments, bool side = true, bool bottom = true, bool white = false);
// The pick highlight: a wireframe box over `box` and a small green box on each corner,
// added as visuals of `frame`.
void GetASelectionBox(rm::RetainedMode& rm, rm::Frame* frame, const rm::Box& box);

// Texture coordinates through a wrap: flat over the x/y extent, spherical, and
// cylindrical around y over the y extent.
void MakeWarpFlat(rm::RetainedMode& rm, rm::MeshBuilder* mb);
void MakeWarpSpherical(rm::RetainedMode& rm, rm::MeshBuilder* mb);
void MakeWrap(rm::RetainedMode& rm, rm::MeshBuilder* mb);

// ---- Indexed geometry: face sets, elevation grids, extrusions ----

// What a geometry node held that could not be drawn. The builders draw what is valid,
// leave the rest out and return these bits; the caller reports them once per node.
enum GeometryProblem : unsigned {
    kIndexPastList = 1u,  // an index past the end of the list it points into
    kNegativeIndex = 2u,  // a negative index other than the -1 that ends a polygon
    kMissingValues = 4u,  // fewer colours, normals, texture points or heights than needed
    kZeroNormal = 8u,     // a given normal of zero length (the face's own is used)
    kBadSize = 16u,       // a zero or negative size, dimension or spacing
    kDegenerate = 32u,    // a spine or cross-section of fewer than two distinct points
    kTooLarge = 64u,      // more points than kMaxSweptPoints
};
using GeometryProblems = unsigned;
// The most points an extrusion (spine points × cross-section points) is built of.
inline constexpr std::size_t kMaxSweptPoints = std::size_t{1} << 24;

// One message for all the problems of one node, naming the node type; "" for none.
std::string DescribeProblems(const char* nodeType, GeometryProblems problems);

// An IndexedFaceSet (or, with 2-D points at z = 0, an IndexedFaceSet2D) as its fields
// hold it. The optional lists are null when their node is absent.
struct FaceSetInput {
    std::vector<glm::vec3> points;  // taken over as the mesh's vertices
    std::span<const SFInt32> coordIndex;
    const std::vector<SFColor>* colors = nullptr;
    std::span<const SFInt32> colorIndex;
    bool colorPerVertex = true;
    const std::vector<SFVec3f>* normals = nullptr;
    std::span<const SFInt32> normalIndex;
    bool normalPerVertex = true;
    const std::vector<SFVec2f>* texPoints = nullptr;
    std::span<const SFInt32> texCoordIndex;
    bool ccw = true;
    bool solid = true;
    float creaseAngle = 0;
};
// Polygons end at each -1 and at the end of coordIndex; indices that name no point are
// skipped, polygons left with fewer than 3 corners are dropped. Colours, normals and
// texture points go per corner or per face as their index lists and per-vertex flags
// say; without texture points, S runs along the longest side of the bounding box from 0
// to 1 and T along the next longest at the same scale. Without normals, corners are
// smoothed across edges whose faces meet at less than creaseAngle.
GeometryProblems GetAFaceSet(rm::MeshBuilder* mb, FaceSetInput&& in);

struct ElevationGridInput {
    int xDimension = 0, zDimension = 0;
    float xSpacing = 1, zSpacing = 1;
    std::span<const SFFloat> height;
    const std::vector<SFColor>* colors = nullptr;
    bool colorPerVertex = true;
    const std::vector<SFVec3f>* normals = nullptr;
    bool normalPerVertex = true;
    const std::vector<SFVec2f>* texPoints = nullptr;
    bool ccw = true;
    bool solid = true;
    float creaseAngle = 0;
};
// A quad per grid cell, its front up (+y) when ccw. Only complete rows of heights are
// drawn.
GeometryProblems GetAnElevationGrid(rm::MeshBuilder* mb, const ElevationGridInput& in);

struct ExtrusionInput {
    std::span<const SFVec2f> crossSection;
    std::span<const SFVec3f> spine;
    std::span<const SFVec2f> scale;           // one for all, or one per spine point
    std::span<const SFRotation> orientation;  // likewise
    bool beginCap = true, endCap = true;
    bool ccw = true;
    bool solid = true;
    float creaseAngle = 0;
};
// The cross-section, scaled, turned by the orientation and placed in each spine point's
// cross-section plane (SpineFrames), joined by quads from one spine point to the next;
// the caps are the cross-section polygon at the first and last spine points, facing
// away from the spine.
GeometryProblems GetAnExtrusion(rm::MeshBuilder* mb, const ExtrusionInput& in);

// The cross-section plane of each spine point: y along the spine (the way from the
// previous distinct point to the next), z across a bend (kept on the side of the previous
// point's z), x = y × z. A spine whose first and last points coincide is closed, its ends
// aligned as one point. Coincident points share their neighbour's plane; an entirely
// straight spine takes the rotation from +y to its direction. Empty for a spine of fewer
// than two distinct points.
struct SpineFrame {
    glm::vec3 x, y, z;
};
std::vector<SpineFrame> SpineFrames(std::span<const glm::vec3> spine);

// Corner normals for a crease angle: each corner takes the mean of the unit normals of
// the polygons meeting at its point whose normals are less than creaseAngle from its own
// polygon's, so that edges sharper than the angle stay faceted. vertexPoint maps each
// vertex to its point (vertices that coincide, such as seams with their own texture
// coordinates); empty: every vertex is its own point. Replaces the normals and corner
// normals of `mesh`.
void SmoothNormals(rm::PolygonMesh& mesh, float creaseAngle,
                   std::span<const std::uint32_t> vertexPoint = {});

// ---- Lines and points ----

// An IndexedLineSet (or, with 2-D points at z = 0, an IndexedLineSet2D) as its fields
// hold it; `colors` is null without a colour node.
struct LineSetInput {
    std::vector<glm::vec3> points;  // taken over as the mesh's vertices
    std::span<const SFInt32> coordIndex;
    const std::vector<SFColor>* colors = nullptr;
    std::span<const SFInt32> colorIndex;
    bool colorPerVertex = true;
};
// Polylines end at each -1 and at the end of coordIndex; indices that name no point are
// skipped, polylines left with fewer than 2 points are dropped. Colours go per point
// (through colorIndex laid out as coordIndex, else coordIndex itself) or per polyline
// (colorIndex by polyline number, else in order); a point or polyline without a valid
// colour takes the meshbuilder's.
GeometryProblems GetALineSet(rm::MeshBuilder* mb, LineSetInput&& in);
// A point at each of `points`, coloured by `colors` in order when given (points past the
// colours take the meshbuilder colour).
GeometryProblems GetAPointSet(rm::MeshBuilder* mb, std::vector<glm::vec3>&& points,
                              const std::vector<SFColor>* colors);
