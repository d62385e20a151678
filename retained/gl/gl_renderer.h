// GLRenderer: draws the DeviceFrames that viewports record, with OpenGL 3.3 core.
//
// Meshes live in a few large shared buffers (arenas), each mesh a range of vertices and
// a range of indices in one of them, in the unit form of retained/gl/unit_mesh.h. A
// meshbuilder's data is uploaded when its version moves; meshes whose unit forms match
// (the same shape at any size or place, or one MeshData shared by several
// meshbuilders) are stored once. Visuals of one mesh, fill and shading are drawn with
// one instanced call; each visual's matrices and material come from a per-instance
// buffer. Use it on the thread that owns the context.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "retained/gl/backdrop_pass.h"
#include "retained/gl/gpu_memory.h"
#include "retained/gl/unit_mesh.h"
#include "retained/snapshot.h"

namespace rm::gl {

// Shading: per vertex (Gouraud) or per face (flat) in the vertex shader, with the formula
// of retained/lighting.h for up to kMaxLights lights (further lights are ignored); a
// scoped directional light lights only the visuals whose mask names it. Faces
// are drawn from both sides (the back shaded with the reversed normal), except the back
// faces of a solid meshbuilder, which are culled; under a mirroring placement (negative
// determinant) the front is the side whose corners run clockwise. Wireframe draws the polygons'
// edges (not the triangulation's), points draw the corners. Within a viewport, visuals are drawn
// grouped by mesh, fill, shading, texture and culling, in the order each group first appears; where
// two visuals' surfaces lie at exactly the same depth the one drawn first shows. Transparent
// visuals (opacity below 1) come after all the others, one by one from the farthest to the nearest
// (by the view depth of their mesh's centre), blended over what is drawn and without writing depth.
// Meshes of polylines draw their segments and meshes of points their
// corners, unlit, whatever the fill. A viewport that clears draws its backdrop
// (BackdropPass) right after, behind everything.
class GLRenderer {
  public:
    static constexpr int kMaxLights = 16;
    // A mesh or texture not drawn for this many frames is freed from the GPU.
    static constexpr std::uint64_t kEvictAfterFrames = 8;

    // Compiles the shaders. The context must be current. Null with *error on failure.
    // The memory limit starts at DefaultMemoryLimit().
    static std::unique_ptr<GLRenderer> Create(std::string* error);
    ~GLRenderer();  // the context must still be current
    GLRenderer(const GLRenderer&) = delete;
    GLRenderer& operator=(const GLRenderer&) = delete;

    // Draws every viewport of frame into framebuffer fbo (0: the default one), which must
    // be frame.width × frame.height pixels. Viewport rectangles count y from the top.
    // Returns false with *error when the frame needs more graphics memory than the limit:
    // the allocation that would pass it is not made, memory of meshes and textures this
    // frame does not show is freed first, and the picture is left unfinished. Also false
    // when the program for a viewport's numbers of lights fails to compile. The renderer
    // stays usable.
    bool Draw(const DeviceFrame& frame, unsigned fbo, std::string* error = nullptr);

    // Bytes of buffers and textures this renderer may hold (see DefaultMemoryLimit).
    void SetMemoryLimit(std::size_t bytes) { memoryLimit_ = bytes; }
    std::size_t GetMemoryLimit() const { return memoryLimit_; }

    struct Stats {
        std::uint64_t meshUploads = 0;  // meshes written into an arena
        std::uint64_t textureUploads = 0;
        std::uint64_t drawCalls = 0;
        std::size_t cachedMeshes = 0;  // meshbuilders with a mesh on the GPU
        std::size_t cachedTextures = 0;
        std::size_t storedMeshes = 0;  // distinct meshes in the arenas
        std::size_t arenas = 0;
        std::size_t memoryBytes = 0;  // buffers and textures held
    };
    Stats GetStats() const;

  private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // A pair of shared buffers (vertices, indices) with one vertex array object.
    struct Arena {
        unsigned vao = 0, vbo = 0, ebo = 0;
        RangeAllocator vertices, indices;
        bool dedicated = false;  // made for one large mesh
        std::size_t Bytes() const;
    };
    // One mesh in an arena, drawn by every meshbuilder whose unit form matches it.
    struct Geometry {
        std::uint32_t arena = kNone;
        std::uint32_t firstVertex = 0, vertexCount = 0;
        std::uint32_t firstIndex = 0, triangleIndices = 0, edgeIndices = 0;
        // The triangles again, after the edges, with corners that differ only in
        // their face's data (flat shading's) joined into one vertex: smooth
        // shading draws these, so a shared corner is shaded once. 0: none.
        std::uint32_t weldedIndices = 0;
        std::uint32_t vertexSlots = 0, indexSlots = 0;  // the ranges allocated
        std::uint32_t users = 0;                        // Uploads that draw it
        bool indexed = false;                           // in shapes_ under `hash`
        std::uint64_t hash = 0;
        Primitive primitive = Primitive::Polygons;
        // A copy read back from the arena on the first comparison, for later ones.
        std::vector<PackedDrawVertex> vertexCopy;
        std::vector<std::uint32_t> indexCopy;
        // Batching scratch: the first batch of this geometry in the current viewport.
        std::uint64_t batchStamp = 0;
        std::uint32_t batch = kNone;
    };
    // One MeshData on the GPU: its geometry (kNone when it draws nothing) and placement.
    // Holding the data keeps it unchanged (meshbuilders copy data that others hold).
    struct Upload {
        std::shared_ptr<const MeshData> data;
        std::uint32_t geometry = kNone;
        Placement placement;
        std::uint32_t users = 0;  // MeshEntries that point here
        bool indexed = false;     // in sources_ under `hash`
        std::uint64_t hash = 0;
        // `center` and `radius` known (needed to sort transparent ones and pick coarser ones).
        bool centred = false;
        glm::vec3 center{0.0f};  // of the mesh's bounding box, meshbuilder terms
        float radius = 0.0f;     // half the box's diagonal
        // The uploads of data->coarser, each made when first drawn (null until then);
        // this upload holds one use of each.
        std::vector<Upload*> coarser;
    };
    struct MeshEntry {  // per meshbuilder
        std::uint64_t version = 0;
        Upload* upload = nullptr;
        std::uint64_t lastUsed = 0;
    };
    struct GpuTexture {
        unsigned name = 0;
        std::size_t bytes = 0;
        std::uint64_t lastUsed = 0;
        bool repeatU = true, repeatV = true;  // the wrap it was last drawn with
    };
    // Visuals of one geometry drawn with one fill, shading and texture.
    struct Batch {
        std::uint32_t geometry;
        Fill fill;
        bool lit, flat;
        unsigned texture;
        std::uint8_t cull;  // kCullBack and kMirrored bits (see Sides)
        std::uint32_t first = 0, count = 0, next = kNone;
        bool replaceDiffuse = false;  // an RGB texture: the picture is the reflectance
    };
    // One visual as the vertex shader reads it (locations 6-15, see shaders.cpp).
    struct Instance {
        glm::vec4 model[4];    // rows of world × placement
        glm::vec4 normal[3];   // columns of the normal matrix; w: reflectance r, g, b
        glm::vec4 emissive;    // w: specular power
        glm::vec4 specular;    // w: 1 when the vertex colour is the reflectance
        glm::vec4 appearance;  // opacity, ambient intensity, directional light bits, 0
    };

    GLRenderer() = default;
    bool DrawViewport(const ViewportSnapshot& vp, int frameHeight);
    Upload* Mesh(const VisualSnapshot& v);
    // The upload of `data`, found or made (its users not counted); null on failure.
    Upload* UploadOf(const std::shared_ptr<const MeshData>& data);
    // What draws v's mesh (uploaded as u) in viewport vp: u, or the coarsest of its
    // coarser versions whose threshold the visual's size on screen is under; null on failure.
    Upload* ForSize(Upload* u, const VisualSnapshot& v, const ViewportSnapshot& vp);
    static void Centre(Upload& u);
    bool FromSimilar(const MeshData& mesh, Upload* out);
    bool StoreSmall(const MeshData& mesh, Upload* out);
    bool StoreLarge(const MeshData& mesh, Upload* out);
    bool ReadBack(Geometry& g);
    std::uint32_t NewGeometry();
    std::uint32_t PlaceInArena(std::uint32_t vertices, std::uint32_t indices,
                               std::uint32_t* firstVertex, std::uint32_t* firstIndex);
    std::uint32_t NewArena(std::uint32_t vertices, std::uint32_t indices, bool dedicated);
    void DestroyArena(std::uint32_t a);
    void Release(Upload* u);
    void ReleaseGeometry(std::uint32_t g);
    bool Texture(const VisualSnapshot& v, unsigned* name);
    // `repeatU`/`repeatV` false: clamped to the picture's edges.
    bool Texture(std::uint64_t id, const std::shared_ptr<const TextureImage>& image, bool repeatU,
                 bool repeatV, unsigned* name);
    bool DrawBackdrop(const BackdropSnapshot& b, const ViewportSnapshot& vp);
    static void FillInstance(Instance& out, const VisualSnapshot& v, const Placement& p,
                             std::uint32_t directionalBits);
    std::uint32_t FindBatch(std::uint32_t geometry, const QualityParts& q, unsigned texture,
                            std::uint8_t cull);
    bool Reserve(std::size_t bytes);
    void FreeUnused(std::uint64_t olderThan);

    // A shader program for one number of directional, point and spot lights, with its
    // uniform locations, looked up once after linking.
    struct Program {
        unsigned id = 0;
        int viewProjection, eye, lit, flat, textured, texture, ambient, replaceDiffuse;
        int fogType, fogRange, fogColor;
        int directionalColor[kMaxLights], directionalTo[kMaxLights], pointColor[kMaxLights],
            pointPosition[kMaxLights];
        int directionalAmbient[kMaxLights], pointAmbient[kMaxLights], pointAttenuation[kMaxLights],
            spotColor[kMaxLights], spotAmbient[kMaxLights], spotPosition[kMaxLights],
            spotAttenuation[kMaxLights], spotDirection[kMaxLights], spotCone[kMaxLights];
    };
    // Directional, point and spot lights; 1 when the program draws front faces only.
    using ProgramKey = std::array<int, 4>;
    static bool Link(const ProgramKey& key, Program* out, std::string* error);
    const Program* UseProgram(const ProgramKey& key);

    std::map<ProgramKey, Program> programs_;
    std::set<std::array<int, 3>> lightsSeen_;  // light counts a viewport has been drawn with
    std::unique_ptr<BackdropPass> backdrop_;   // made for the first backdrop
    unsigned instanceBuffer_ = 0;
    std::size_t instanceBytes_ = 0;

    std::unordered_map<std::uint64_t, MeshEntry> meshes_;  // by meshbuilder id
    std::unordered_map<const MeshData*, Upload> uploads_;
    std::vector<Geometry> geometries_;
    std::vector<std::uint32_t> freeGeometries_;
    std::unordered_multimap<std::uint64_t, std::uint32_t> shapes_;  // ShapeHash → geometry
    std::unordered_multimap<std::uint64_t, Upload*> sources_;       // SourceHash → upload
    std::vector<Arena> arenas_;
    std::unordered_map<std::uint64_t, GpuTexture> textures_;

    // Per-frame scratch, kept to spare allocations.
    std::vector<DrawVertex> staging_;
    std::vector<PackedDrawVertex> packed_;
    std::vector<std::uint32_t> triangles_, edges_, welded_;
    std::vector<Batch> batches_;
    std::vector<std::uint32_t> visualBatch_;
    std::vector<const Upload*> visualUpload_;
    std::vector<Instance> instances_;
    struct Transparent {  // a visual drawn after the opaque ones
        float depth;      // view z of its mesh's centre (more negative: farther)
        std::uint32_t visual;
        unsigned texture;
        std::uint8_t cull;
    };
    std::vector<Transparent> transparent_;

    std::uint64_t frameCounter_ = 0;
    std::uint64_t batchStamp_ = 0;
    std::size_t meshesUsed_ = 0, texturesUsed_ = 0;  // entries drawn in this frame
    std::size_t memoryBytes_ = 0;
    std::size_t memoryLimit_ = 0;
    std::string error_;  // why the frame failed
    Stats stats_;
};

}  // namespace rm::gl
