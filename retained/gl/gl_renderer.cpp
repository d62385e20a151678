#include "retained/gl/gl_renderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <span>

#include <glm/gtc/type_ptr.hpp>

#include "retained/draw_mesh.h"
#include "retained/frame.h"
#include "retained/gl/shaders.h"

namespace rm::gl {

namespace {

// `triangles` with each corner replaced by the first vertex that smooth shading
// cannot tell from it (same position, normal, texture coordinates and colour;
// the face normal and centre only flat shading reads); empty when no two
// vertices join.
void WeldForSmoothShading(std::span<const PackedDrawVertex> vertices,
                          std::span<const std::uint32_t> triangles,
                          std::vector<std::uint32_t>& welded) {
    welded.clear();
    auto same = [](const PackedDrawVertex& a, const PackedDrawVertex& b) {
        return a.position == b.position && a.normal == b.normal && a.uv == b.uv &&
               a.color == b.color;
    };
    // Open addressing over a power-of-two table of vertex indices.
    std::size_t size = 16;
    while (size < 2 * vertices.size()) size *= 2;
    std::vector<std::uint32_t> table(size, std::numeric_limits<std::uint32_t>::max());
    std::vector<std::uint32_t> first(vertices.size());
    std::size_t joined = 0;
    for (std::uint32_t i = 0; i < vertices.size(); ++i) {
        const PackedDrawVertex& v = vertices[i];
        std::uint32_t bits[3];
        std::memcpy(bits, &v.position, sizeof bits);
        std::uint64_t h = bits[0] * 0x9E3779B97F4A7C15ull;
        h = (h ^ bits[1]) * 0xC2B2AE3D27D4EB4Full;
        h = (h ^ bits[2] ^ (std::uint64_t{v.normal} << 32)) * 0x165667B19E3779F9ull;
        std::size_t slot = (h ^ (h >> 29)) & (size - 1);
        for (;; slot = (slot + 1) & (size - 1)) {
            std::uint32_t& entry = table[slot];
            if (entry == std::numeric_limits<std::uint32_t>::max()) {
                entry = i;
                first[i] = i;
                break;
            }
            if (same(vertices[entry], v)) {
                first[i] = entry;
                ++joined;
                break;
            }
        }
    }
    if (joined == 0) return;
    welded.reserve(triangles.size());
    for (std::uint32_t corner : triangles) welded.push_back(first[corner]);
}

struct Attribute {
    GLuint location;
    GLint size;
    GLenum type;
    GLboolean normalized;
    std::size_t offset;
};
// One row per PackedDrawVertex member, in shader location order.
constexpr Attribute kAttributes[] = {
    {0, 3, GL_FLOAT, GL_FALSE, offsetof(PackedDrawVertex, position)},
    {1, 4, GL_INT_2_10_10_10_REV, GL_TRUE, offsetof(PackedDrawVertex, normal)},
    {2, 4, GL_INT_2_10_10_10_REV, GL_TRUE, offsetof(PackedDrawVertex, faceNormal)},
    {3, 3, GL_FLOAT, GL_FALSE, offsetof(PackedDrawVertex, faceCenter)},
    {4, 2, GL_FLOAT, GL_FALSE, offsetof(PackedDrawVertex, uv)},
    {5, 4, GL_UNSIGNED_BYTE, GL_TRUE, offsetof(PackedDrawVertex, color)},
};
// The per-instance attributes: ten vec4s from location 6 on.
constexpr GLuint kFirstInstanceAttribute = 6;
constexpr GLuint kInstanceAttributes = 10;

constexpr std::size_t kVertexBytes = sizeof(PackedDrawVertex);
constexpr std::size_t kIndexBytes = sizeof(std::uint32_t);
// Meshes of up to this many face corners go through the unit form and may be shared;
// larger ones are built straight into a buffer of their own, as they are.
constexpr std::size_t kSmallMeshCorners = 65536;
// Shared arenas: the first holds this many vertices, each further one as many as all
// before it, up to kMaxArenaVertices; room for four indices a vertex (a box has 3.5:
// 36 triangle and 48 edge indices for 24 vertices).
constexpr std::uint32_t kFirstArenaVertices = 16384;
constexpr std::uint32_t kMaxArenaVertices = 1u << 20;
constexpr std::uint32_t kIndicesPerVertex = 4;
// StoreSmall keeps its scratch lists for the next mesh up to this many vertices.
constexpr std::uint32_t kKeepScratchVertices = 4096;
// Geometries with the same ShapeHash compared against a new mesh, at most.
constexpr std::size_t kMaxCandidates = 4;

std::size_t MiB(std::size_t bytes) {  // rounded up
    return (bytes >> 20) + ((bytes & ((std::size_t{1} << 20) - 1)) != 0);
}

}  // namespace

std::size_t GLRenderer::Arena::Bytes() const {
    return std::size_t{vertices.Capacity()} * kVertexBytes +
           std::size_t{indices.Capacity()} * kIndexBytes;
}

bool GLRenderer::Link(const ProgramKey& key, Program* out, std::string* error) {
    std::string defines = "#version 330 core\n";
    const char* const kinds[3] = {"DIRECTIONAL", "POINT", "SPOT"};
    for (int k = 0; k < 3; ++k)
        defines += std::string("#define ") + kinds[k] + "_LIGHTS " + std::to_string(key[k]) +
                   "\n#define " + kinds[k] + "_SLOTS " + std::to_string(std::max(1, key[k])) + "\n";
    if (key[3]) defines += "#define FRONT_ONLY\n";
    GLuint vs = CompileShader(GL_VERTEX_SHADER, (defines + kVertexShader).c_str(), "vertex", error);
    if (!vs) return false;
    GLuint fs =
        CompileShader(GL_FRAGMENT_SHADER, (defines + kFragmentShader).c_str(), "fragment", error);
    if (!fs) {
        glDeleteShader(vs);
        return false;
    }
    const GLuint prog = glCreateProgram();
    glAttachShader(prog, vs);
    glAttachShader(prog, fs);
    glLinkProgram(prog);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(prog, sizeof log, nullptr, log);
        if (error) *error = std::string("shader link failed: ") + log;
        glDeleteProgram(prog);
        return false;
    }
    auto at = [prog](const std::string& name) { return glGetUniformLocation(prog, name.c_str()); };
    Program& p = *out;
    p.id = prog;
    p.viewProjection = at("uViewProjection");
    p.eye = at("uEye");
    p.lit = at("uLit");
    p.flat = at("uFlat");
    p.textured = at("uTextured");
    p.texture = at("uTexture");
    p.ambient = at("uAmbient");
    p.replaceDiffuse = at("uReplaceDiffuse");
    p.fogType = at("uFogType");
    p.fogRange = at("uFogRange");
    p.fogColor = at("uFogColor");
    for (int i = 0; i < kMaxLights; ++i) {
        const std::string index = "[" + std::to_string(i) + "]";
        p.directionalColor[i] = at("uDirectionalColor" + index);
        p.directionalTo[i] = at("uDirectionalTo" + index);
        p.pointColor[i] = at("uPointColor" + index);
        p.pointPosition[i] = at("uPointPosition" + index);
        p.directionalAmbient[i] = at("uDirectionalAmbient" + index);
        p.pointAmbient[i] = at("uPointAmbient" + index);
        p.pointAttenuation[i] = at("uPointAttenuation" + index);
        p.spotColor[i] = at("uSpotColor" + index);
        p.spotAmbient[i] = at("uSpotAmbient" + index);
        p.spotPosition[i] = at("uSpotPosition" + index);
        p.spotAttenuation[i] = at("uSpotAttenuation" + index);
        p.spotDirection[i] = at("uSpotDirection" + index);
        p.spotCone[i] = at("uSpotCone" + index);
    }
    glUseProgram(prog);
    glUniform1i(p.texture, 0);
    return true;
}

const GLRenderer::Program* GLRenderer::UseProgram(const ProgramKey& key) {
    auto [it, created] = programs_.try_emplace(key);
    if (created && !Link(key, &it->second, &error_)) {
        programs_.erase(it);
        return nullptr;
    }
    glUseProgram(it->second.id);
    return &it->second;
}

std::unique_ptr<GLRenderer> GLRenderer::Create(std::string* error) {
    static std::once_flag heap;
    std::call_once(heap, KeepFrameHeap);
    std::unique_ptr<GLRenderer> r(new GLRenderer);
    GLint attributes = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &attributes);
    if (attributes < static_cast<GLint>(kFirstInstanceAttribute + kInstanceAttributes)) {
        if (error) *error = "the OpenGL context has fewer than 16 vertex attributes";
        return nullptr;
    }
    // The program without lights shows whether the shaders compile at all; the others
    // are made when a frame first needs them.
    Program unlit;
    if (!Link({0, 0, 0, 0}, &unlit, error)) return nullptr;
    r->programs_.emplace(ProgramKey{0, 0, 0, 0}, unlit);
    glGenBuffers(1, &r->instanceBuffer_);
    r->memoryLimit_ = DefaultMemoryLimit();
    return r;
}

GLRenderer::~GLRenderer() {
    for (std::uint32_t a = 0; a < arenas_.size(); ++a)
        if (arenas_[a].vao) DestroyArena(a);
    for (auto& [id, t] : textures_) glDeleteTextures(1, &t.name);
    if (instanceBuffer_) glDeleteBuffers(1, &instanceBuffer_);
    for (auto& [key, p] : programs_) glDeleteProgram(p.id);
}

GLRenderer::Stats GLRenderer::GetStats() const {
    Stats s = stats_;
    s.cachedMeshes = meshes_.size();
    s.cachedTextures = textures_.size();
    s.storedMeshes = geometries_.size() - freeGeometries_.size();
    s.arenas = static_cast<std::size_t>(
        std::count_if(arenas_.begin(), arenas_.end(), [](const Arena& a) { return a.vao != 0; }));
    s.memoryBytes = memoryBytes_;
    return s;
}

// ---- Memory ----

bool GLRenderer::Reserve(std::size_t bytes) {
    auto fits = [&] {
        return memoryBytes_ <= memoryLimit_ && bytes <= memoryLimit_ - memoryBytes_;
    };
    if (fits()) return true;
    FreeUnused(frameCounter_);  // whatever this frame has not drawn so far
    if (fits()) return true;
    const std::size_t need = bytes > std::numeric_limits<std::size_t>::max() - memoryBytes_
                                 ? bytes
                                 : memoryBytes_ + bytes;
    char text[256];
    std::snprintf(text, sizeof text,
                  "not enough graphics memory: the scene needs at least %zu MiB, more than the "
                  "limit of %zu MiB (ORVANE_GPU_MEMORY_MIB, else half of the available memory)",
                  MiB(need), memoryLimit_ >> 20);
    error_ = text;
    return false;
}

void GLRenderer::FreeUnused(std::uint64_t keepFrom) {
    if (meshesUsed_ < meshes_.size()) {
        for (auto it = meshes_.begin(); it != meshes_.end();) {
            if (it->second.lastUsed < keepFrom) {
                if (it->second.upload) Release(it->second.upload);
                it = meshes_.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (texturesUsed_ < textures_.size()) {
        for (auto it = textures_.begin(); it != textures_.end();) {
            if (it->second.lastUsed < keepFrom) {
                glDeleteTextures(1, &it->second.name);
                memoryBytes_ -= it->second.bytes;
                it = textures_.erase(it);
            } else {
                ++it;
            }
        }
    }
}

// ---- Arenas and geometries ----

std::uint32_t GLRenderer::NewArena(std::uint32_t vertices, std::uint32_t indices, bool dedicated) {
    const std::size_t bytes =
        std::size_t{vertices} * kVertexBytes + std::size_t{indices} * kIndexBytes;
    if (!Reserve(bytes)) return kNone;
    auto slot =
        std::find_if(arenas_.begin(), arenas_.end(), [](const Arena& a) { return a.vao == 0; });
    const auto a = static_cast<std::uint32_t>(slot - arenas_.begin());
    if (slot == arenas_.end()) arenas_.emplace_back();
    Arena& arena = arenas_[a];
    arena.vertices = RangeAllocator(vertices);
    arena.indices = RangeAllocator(indices);
    arena.dedicated = dedicated;
    glGenVertexArrays(1, &arena.vao);
    glGenBuffers(1, &arena.vbo);
    glGenBuffers(1, &arena.ebo);
    glBindVertexArray(arena.vao);
    glBindBuffer(GL_ARRAY_BUFFER, arena.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(std::size_t{vertices} * kVertexBytes),
                 nullptr, GL_STATIC_DRAW);
    for (const Attribute& at : kAttributes) {
        glEnableVertexAttribArray(at.location);
        glVertexAttribPointer(at.location, at.size, at.type, at.normalized, kVertexBytes,
                              reinterpret_cast<const void*>(at.offset));
    }
    for (GLuint k = 0; k < kInstanceAttributes; ++k) {
        glEnableVertexAttribArray(kFirstInstanceAttribute + k);
        glVertexAttribDivisor(kFirstInstanceAttribute + k, 1);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, arena.ebo);
    if (indices > 0)
        glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(std::size_t{indices} * kIndexBytes), nullptr,
                     GL_STATIC_DRAW);
    glBindVertexArray(0);
    memoryBytes_ += bytes;
    if (glGetError() == GL_OUT_OF_MEMORY) {
        DestroyArena(a);
        error_ = "the graphics driver ran out of memory for the scene's meshes";
        return kNone;
    }
    return a;
}

void GLRenderer::DestroyArena(std::uint32_t a) {
    Arena& arena = arenas_[a];
    glDeleteVertexArrays(1, &arena.vao);
    glDeleteBuffers(1, &arena.vbo);
    glDeleteBuffers(1, &arena.ebo);
    memoryBytes_ -= arena.Bytes();
    arena = Arena{};
}

std::uint32_t GLRenderer::PlaceInArena(std::uint32_t vertices, std::uint32_t indices,
                                       std::uint32_t* firstVertex, std::uint32_t* firstIndex) {
    auto tryArena = [&](std::uint32_t a) {
        Arena& arena = arenas_[a];
        const auto v = arena.vertices.Allocate(vertices);
        if (!v) return false;
        const auto i = arena.indices.Allocate(indices);
        if (!i) {
            arena.vertices.Free(*v, vertices);
            return false;
        }
        *firstVertex = *v;
        *firstIndex = *i;
        return true;
    };
    std::size_t shared = 0;
    for (std::uint32_t a = static_cast<std::uint32_t>(arenas_.size()); a-- > 0;) {
        if (arenas_[a].vao == 0 || arenas_[a].dedicated) continue;
        if (tryArena(a)) return a;
        shared += arenas_[a].vertices.Capacity();
    }
    const auto size = static_cast<std::uint32_t>(std::max<std::size_t>(
        vertices, std::clamp<std::size_t>(shared, kFirstArenaVertices, kMaxArenaVertices)));
    const std::uint32_t a =
        NewArena(size, std::max(indices, size * kIndicesPerVertex), /*dedicated=*/false);
    if (a == kNone) return kNone;
    tryArena(a);
    return a;
}

std::uint32_t GLRenderer::NewGeometry() {
    if (!freeGeometries_.empty()) {
        const std::uint32_t g = freeGeometries_.back();
        freeGeometries_.pop_back();
        return g;
    }
    geometries_.emplace_back();
    return static_cast<std::uint32_t>(geometries_.size() - 1);
}

void GLRenderer::ReleaseGeometry(std::uint32_t g) {
    Geometry& geo = geometries_[g];
    if (--geo.users > 0) return;
    if (geo.indexed) {
        auto [first, last] = shapes_.equal_range(geo.hash);
        for (auto it = first; it != last; ++it)
            if (it->second == g) {
                shapes_.erase(it);
                break;
            }
    }
    const std::uint32_t a = geo.arena;
    Arena& arena = arenas_[a];
    arena.vertices.Free(geo.firstVertex, geo.vertexSlots);
    arena.indices.Free(geo.firstIndex, geo.indexSlots);
    geo = Geometry{};
    freeGeometries_.push_back(g);
    if (arena.vertices.Used() != 0) return;
    // An empty arena goes, unless it is the last shared one.
    const bool otherShared = std::any_of(arenas_.begin(), arenas_.end(), [&](const Arena& other) {
        return &other != &arena && other.vao != 0 && !other.dedicated;
    });
    if (arena.dedicated || otherShared) DestroyArena(a);
}

void GLRenderer::Release(Upload* u) {
    if (--u->users > 0) return;
    if (u->indexed) {
        auto [first, last] = sources_.equal_range(u->hash);
        for (auto it = first; it != last; ++it)
            if (it->second == u) {
                sources_.erase(it);
                break;
            }
    }
    if (u->geometry != kNone) ReleaseGeometry(u->geometry);
    for (Upload* c : u->coarser)
        if (c != nullptr) Release(c);
    uploads_.erase(u->data.get());
}

bool GLRenderer::ReadBack(Geometry& g) {
    if (!g.vertexCopy.empty()) return true;
    const Arena& arena = arenas_[g.arena];
    g.vertexCopy.resize(g.vertexCount);
    g.indexCopy.resize(std::size_t{g.triangleIndices} + g.edgeIndices);
    glBindBuffer(GL_COPY_READ_BUFFER, arena.vbo);
    glGetBufferSubData(GL_COPY_READ_BUFFER, static_cast<GLintptr>(g.firstVertex * kVertexBytes),
                       static_cast<GLsizeiptr>(g.vertexCopy.size() * kVertexBytes),
                       g.vertexCopy.data());
    glBindBuffer(GL_COPY_READ_BUFFER, arena.ebo);
    glGetBufferSubData(GL_COPY_READ_BUFFER, static_cast<GLintptr>(g.firstIndex * kIndexBytes),
                       static_cast<GLsizeiptr>(g.indexCopy.size() * kIndexBytes),
                       g.indexCopy.data());
    return true;
}

// ---- Meshes ----

bool GLRenderer::FromSimilar(const MeshData& mesh, Upload* out) {
    out->hash = SourceHash(mesh);
    std::size_t candidates = 0;
    for (auto [it, last] = sources_.equal_range(out->hash); it != last; ++it, ++candidates) {
        const Upload& a = *it->second;
        Placement aToB;
        if (a.geometry == kNone || !SimilarSource(*a.data, mesh, &aToB)) continue;
        const Placement p = Compose(aToB, a.placement);
        // Scales that differ more than kMaxStretch would magnify the stored normals'
        // rounding too much: such a mesh is built and stored on its own.
        const float lo = std::min({p.scale.x, p.scale.y, p.scale.z});
        const float hi = std::max({p.scale.x, p.scale.y, p.scale.z});
        if (lo != hi && !(lo * kMaxStretch >= hi)) continue;
        out->geometry = a.geometry;
        out->placement = p;
        ++geometries_[a.geometry].users;
        return true;
    }
    // Not found: once stored, later meshes may find this one.
    out->indexed = candidates < kMaxCandidates;
    return false;
}

bool GLRenderer::StoreSmall(const MeshData& mesh, Upload* out) {
    staging_.resize(MaxDrawVertices(mesh));
    triangles_.clear();
    edges_.clear();
    const auto n =
        static_cast<std::uint32_t>(BuildDrawMeshInto(mesh, staging_.data(), triangles_, edges_));
    if (n == 0) return true;  // only degenerate faces: nothing to draw
    const std::span<DrawVertex> vertices(staging_.data(), n);
    out->placement = UnitPlacement(vertices);
    ToUnit(out->placement, vertices);
    packed_.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) packed_[i] = PackedDrawVertex(staging_[i]);
    const auto triangleIndices = static_cast<std::uint32_t>(triangles_.size());
    const auto edgeIndices = static_cast<std::uint32_t>(edges_.size());
    triangles_.insert(triangles_.end(), edges_.begin(), edges_.end());
    const UnitMeshView view{packed_, triangles_, triangleIndices};

    const std::uint64_t hash = ShapeHash(view);
    std::size_t candidates = 0;
    for (auto [it, last] = shapes_.equal_range(hash); it != last; ++it, ++candidates) {
        Geometry& g = geometries_[it->second];
        if (g.vertexCount != n || g.triangleIndices != triangleIndices ||
            g.edgeIndices != edgeIndices || g.primitive != mesh.primitive || !ReadBack(g))
            continue;
        if (SameShape({g.vertexCopy, g.indexCopy, g.triangleIndices}, view)) {
            ++g.users;
            out->geometry = it->second;
            return true;
        }
    }

    WeldForSmoothShading(packed_, std::span(triangles_).first(triangleIndices), welded_);
    const auto weldedIndices = static_cast<std::uint32_t>(welded_.size());
    triangles_.insert(triangles_.end(), welded_.begin(), welded_.end());
    std::uint32_t firstVertex = 0, firstIndex = 0;
    // Points have no indices; a slot is still taken, as ranges are never empty.
    const std::uint32_t indexSlots = std::max(1u, triangleIndices + edgeIndices + weldedIndices);
    const std::uint32_t a = PlaceInArena(n, indexSlots, &firstVertex, &firstIndex);
    if (a == kNone) return false;
    const std::uint32_t g = NewGeometry();
    Geometry& geo = geometries_[g];
    geo.arena = a;
    geo.firstVertex = firstVertex;
    geo.vertexCount = geo.vertexSlots = n;
    geo.firstIndex = firstIndex;
    geo.triangleIndices = triangleIndices;
    geo.edgeIndices = edgeIndices;
    geo.weldedIndices = weldedIndices;
    geo.indexSlots = indexSlots;
    geo.users = 1;
    geo.hash = hash;
    geo.primitive = mesh.primitive;
    geo.indexed = candidates < kMaxCandidates;
    if (geo.indexed) shapes_.emplace(hash, g);
    glBindBuffer(GL_COPY_WRITE_BUFFER, arenas_[a].vbo);
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(firstVertex * kVertexBytes),
                    static_cast<GLsizeiptr>(n * kVertexBytes), packed_.data());
    glBindBuffer(GL_COPY_WRITE_BUFFER, arenas_[a].ebo);
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(firstIndex * kIndexBytes),
                    static_cast<GLsizeiptr>(triangles_.size() * kIndexBytes), triangles_.data());
    out->geometry = g;
    ++stats_.meshUploads;
    // The scratch lists of a mesh this size are not kept for the next: at the first
    // frame their memory would add to what the driver takes to draw.
    if (n > kKeepScratchVertices) {
        std::vector<DrawVertex>().swap(staging_);
        std::vector<PackedDrawVertex>().swap(packed_);
        for (auto* list : {&triangles_, &edges_, &welded_})
            std::vector<std::uint32_t>().swap(*list);
    }
    return true;
}

bool GLRenderer::StoreLarge(const MeshData& mesh, Upload* out) {
    const std::size_t maxVertices = MaxDrawVertices(mesh);
    // Index counts and offsets are 32-bit; a mesh this large would not fit any limit.
    if (maxVertices > (std::numeric_limits<std::uint32_t>::max() >> 4)) {
        error_ = "a mesh of the scene has too many face corners to draw";
        return false;
    }
    const std::uint32_t a =
        NewArena(static_cast<std::uint32_t>(maxVertices), 0, /*dedicated=*/true);
    if (a == kNone) return false;
    // The vertices are written straight into the buffer's storage, so that a large mesh
    // is not held a second time while it uploads.
    std::vector<std::uint32_t> triangles, edges;
    const auto vertexBytes = static_cast<GLsizeiptr>(maxVertices * kVertexBytes);
    glBindBuffer(GL_COPY_WRITE_BUFFER, arenas_[a].vbo);
    void* mapped = glMapBufferRange(GL_COPY_WRITE_BUFFER, 0, vertexBytes,
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    std::size_t vertexCount = 0;
    bool written = false;
    if (mapped != nullptr) {
        vertexCount =
            BuildDrawMeshInto(mesh, static_cast<PackedDrawVertex*>(mapped), triangles, edges);
        written = glUnmapBuffer(GL_COPY_WRITE_BUFFER) == GL_TRUE;  // false: the storage was lost
    }
    if (!written) {
        std::vector<PackedDrawVertex> packed(maxVertices);
        triangles.clear();
        edges.clear();
        vertexCount = BuildDrawMeshInto(mesh, packed.data(), triangles, edges);
        glBufferSubData(GL_COPY_WRITE_BUFFER, 0,
                        static_cast<GLsizeiptr>(vertexCount * kVertexBytes), packed.data());
    }
    const std::size_t indexCount = triangles.size() + edges.size();
    if (vertexCount == 0 || !Reserve(indexCount * kIndexBytes)) {
        DestroyArena(a);
        return vertexCount == 0;  // nothing to draw is no failure
    }
    Arena& arena = arenas_[a];
    arena.indices = RangeAllocator(static_cast<std::uint32_t>(indexCount));
    memoryBytes_ += indexCount * kIndexBytes;
    glBindBuffer(GL_COPY_WRITE_BUFFER, arena.ebo);
    const auto triangleBytes = static_cast<GLsizeiptr>(triangles.size() * kIndexBytes);
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(indexCount * kIndexBytes), nullptr,
                 GL_STATIC_DRAW);
    glBufferSubData(GL_COPY_WRITE_BUFFER, 0, triangleBytes, triangles.data());
    glBufferSubData(GL_COPY_WRITE_BUFFER, triangleBytes,
                    static_cast<GLsizeiptr>(edges.size() * kIndexBytes), edges.data());
    const std::uint32_t g = NewGeometry();
    Geometry& geo = geometries_[g];
    geo.arena = a;
    // The whole arena is this mesh's: both ranges start at 0.
    geo.vertexSlots = static_cast<std::uint32_t>(maxVertices);
    geo.indexSlots = static_cast<std::uint32_t>(indexCount);
    arena.vertices.Allocate(geo.vertexSlots);
    arena.indices.Allocate(geo.indexSlots);
    geo.vertexCount = static_cast<std::uint32_t>(vertexCount);
    geo.triangleIndices = static_cast<std::uint32_t>(triangles.size());
    geo.edgeIndices = static_cast<std::uint32_t>(edges.size());
    geo.users = 1;
    geo.primitive = mesh.primitive;
    out->geometry = g;
    out->placement = Placement{};
    ++stats_.meshUploads;
    return true;
}

GLRenderer::Upload* GLRenderer::Mesh(const VisualSnapshot& v) {
    auto [it, created] = meshes_.try_emplace(v.meshId);
    MeshEntry& e = it->second;
    if (e.lastUsed != frameCounter_) {
        e.lastUsed = frameCounter_;
        ++meshesUsed_;
    }
    if (e.upload && e.version == v.meshVersion) return e.upload;
    Upload* u = UploadOf(v.mesh);
    if (u == nullptr) return nullptr;
    ++u->users;
    if (e.upload) Release(e.upload);
    e.upload = u;
    e.version = v.meshVersion;
    return u;
}

GLRenderer::Upload* GLRenderer::UploadOf(const std::shared_ptr<const MeshData>& data) {
    // A MeshData already on the GPU (shared by several meshbuilders) is not built again.
    if (auto found = uploads_.find(data.get()); found != uploads_.end()) return &found->second;
    Upload fresh;
    fresh.data = data;
    const bool small = MaxDrawVertices(*data) <= kSmallMeshCorners;
    if (small && !FromSimilar(*data, &fresh) && !StoreSmall(*data, &fresh)) return nullptr;
    if (!small && !StoreLarge(*data, &fresh)) return nullptr;
    Upload* u = &uploads_.emplace(data.get(), std::move(fresh)).first->second;
    u->indexed = u->indexed && u->geometry != kNone;  // nothing to share otherwise
    if (u->indexed) sources_.emplace(u->hash, u);
    return u;
}

void GLRenderer::Centre(Upload& u) {
    if (u.centred) return;
    glm::vec3 lo(std::numeric_limits<float>::max()), hi(-lo);
    for (const glm::vec3& p : u.data->vertices) {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
    if (!u.data->vertices.empty()) {
        u.center = (lo + hi) * 0.5f;
        u.radius = glm::length(hi - lo) * 0.5f;
    }
    u.centred = true;
}

GLRenderer::Upload* GLRenderer::ForSize(Upload* u, const VisualSnapshot& v,
                                        const ViewportSnapshot& vp) {
    const std::vector<CoarserMesh>& versions = u->data->coarser;
    Centre(*u);
    // The bounding sphere's diameter on screen: its radius in world units (by the
    // world's largest axis scale) over its depth, times the pixels per unit at depth 1.
    const glm::mat3 w(v.world);
    const float scale =
        std::sqrt(std::max({glm::dot(w[0], w[0]), glm::dot(w[1], w[1]), glm::dot(w[2], w[2])}));
    const float radius = u->radius * scale;
    const float pixelsPerUnit = vp.projection[1][1] * 0.5f * static_cast<float>(vp.height);
    float across = 2.0f * radius * pixelsPerUnit;
    if (vp.projection[2][3] != 0.0f) {  // perspective
        const float depth = -(vp.view * (v.world * glm::vec4(u->center, 1.0f))).z;
        // The eye inside the sphere, or a size that cannot be told: drawn in full.
        if (!(depth > radius)) return u;
        across /= std::sqrt(depth * depth - radius * radius);
    }
    if (!std::isfinite(across)) return u;
    std::size_t level = versions.size();
    while (level > 0 && !(across < versions[level - 1].belowPixels)) --level;
    if (level == 0) return u;
    --level;  // the last (smallest) threshold that `across` is under
    if (u->coarser.size() < versions.size()) u->coarser.resize(versions.size(), nullptr);
    if (u->coarser[level] == nullptr) {
        Upload* c = UploadOf(versions[level].mesh);
        if (c == nullptr) return nullptr;
        if (c == u) return u;
        ++c->users;  // held, so that Release frees it with u
        u->coarser[level] = c;
    }
    Upload* chosen = u->coarser[level];
    return chosen->geometry == kNone ? u : chosen;
}

bool GLRenderer::Texture(const VisualSnapshot& v, unsigned* name) {
    return Texture(v.textureId, v.texture, v.repeatU, v.repeatV, name);
}

bool GLRenderer::Texture(std::uint64_t id, const std::shared_ptr<const TextureImage>& image,
                         bool repeatU, bool repeatV, unsigned* name) {
    *name = 0;
    if (!image) return true;
    auto [it, created] = textures_.try_emplace(id);
    GpuTexture& t = it->second;
    if (t.lastUsed != frameCounter_) {
        t.lastUsed = frameCounter_;
        ++texturesUsed_;
    }
    if (t.name != 0) {
        *name = t.name;
        if (t.repeatU != repeatU || t.repeatV != repeatV) {
            glBindTexture(GL_TEXTURE_2D, t.name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S,
                            repeatU ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T,
                            repeatV ? GL_REPEAT : GL_CLAMP_TO_EDGE);
            t.repeatU = repeatU;
            t.repeatV = repeatV;
        }
        return true;
    }
    const TextureImage& img = *image;
    // RGBA bytes and the mipmap chain, a third more.
    const std::size_t bytes = std::size_t{4} * static_cast<std::size_t>(img.width) *
                              static_cast<std::size_t>(img.height) * 4 / 3;
    if (!Reserve(bytes)) return false;
    glGenTextures(1, &t.name);
    glBindTexture(GL_TEXTURE_2D, t.name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, img.width, img.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 img.rgba.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, repeatU ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, repeatV ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    t.repeatU = repeatU;
    t.repeatV = repeatV;
    t.bytes = bytes;
    memoryBytes_ += bytes;
    ++stats_.textureUploads;
    *name = t.name;
    return true;
}

// ---- Drawing ----

bool GLRenderer::Draw(const DeviceFrame& frame, unsigned fbo, std::string* error) {
    ++frameCounter_;
    meshesUsed_ = texturesUsed_ = 0;
    error_.clear();
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDisable(GL_CULL_FACE);  // both sides of every face are drawn, unless a mesh is solid
    glDisable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    glActiveTexture(GL_TEXTURE0);
    bool ok = true;
    // With several viewports, every mesh and texture is uploaded before the first draw:
    // writing into an arena that a draw of this frame still reads would make the driver
    // wait for that draw.
    if (frame.viewports.size() > 1) {
        unsigned texture = 0;
        for (std::size_t k = 0; ok && k < frame.viewports.size(); ++k)
            for (const VisualSnapshot& v : frame.viewports[k].visuals)
                if (v.mesh && !(Mesh(v) && Texture(v, &texture))) {
                    ok = false;
                    break;
                }
    }
    for (const ViewportSnapshot& vp : frame.viewports) {
        if (!ok) break;
        if (!DrawViewport(vp, frame.height)) {
            ok = false;
            break;
        }
    }
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glBindVertexArray(0);
    // Free what has not been drawn for kEvictAfterFrames frames; nothing to look for
    // when every cached mesh and texture was drawn in this one.
    if (frameCounter_ > kEvictAfterFrames) FreeUnused(frameCounter_ - kEvictAfterFrames);
    if (!ok && error) *error = error_;
    return ok;
}

namespace {

// How a visual's faces are drawn: kCullBack for a solid mesh, whose back faces are not
// drawn; kMirrored under a placement that mirrors (negative determinant), which turns
// the corners' order round, so that the front is the clockwise side, both for culling
// and for which side's lighting a pixel takes.
constexpr std::uint8_t kCullBack = 1, kMirrored = 2;

std::uint8_t Sides(const VisualSnapshot& v) {
    return static_cast<std::uint8_t>((v.cullBack ? kCullBack : 0) |
                                     (Mirrors(v.world) ? kMirrored : 0));
}

}  // namespace

std::uint32_t GLRenderer::FindBatch(std::uint32_t geometry, const QualityParts& q, unsigned texture,
                                    std::uint8_t cull) {
    Geometry& g = geometries_[geometry];
    if (g.batchStamp != batchStamp_) {
        g.batchStamp = batchStamp_;
        g.batch = kNone;
    }
    const bool flat = q.lit && q.shade == Shade::Flat;
    for (std::uint32_t b = g.batch; b != kNone; b = batches_[b].next) {
        const Batch& x = batches_[b];
        if (x.fill == q.fill && x.lit == q.lit && x.flat == flat && x.texture == texture &&
            x.cull == cull)
            return b;
    }
    batches_.push_back({geometry, q.fill, q.lit, flat, texture, cull, 0, 0, g.batch});
    g.batch = static_cast<std::uint32_t>(batches_.size() - 1);
    return g.batch;
}

bool GLRenderer::DrawBackdrop(const BackdropSnapshot& b, const ViewportSnapshot& vp) {
    std::array<unsigned, 6> faces{};
    for (std::size_t k = 0; k < faces.size(); ++k)
        if (!Texture(b.textureIds[k], b.textures[k], false, false, &faces[k])) return false;
    if (!backdrop_ && !(backdrop_ = BackdropPass::Create(&error_))) return false;
    backdrop_->Draw(b, vp.view, vp.projection, faces);
    return true;
}

// The instance of a visual: world × placement by rows; the normal matrix (inverse
// transpose of the world's 3 × 3 part) with each column divided by the placement's scale,
// which turns a unit mesh's normals back (see ToUnit); the material.
void GLRenderer::FillInstance(Instance& out, const VisualSnapshot& v, const Placement& p,
                              std::uint32_t directionalBits) {
    const glm::mat4& w = v.world;
    const glm::vec4 c[4] = {w[0] * p.scale.x, w[1] * p.scale.y, w[2] * p.scale.z,
                            w * glm::vec4(p.offset, 1.0f)};
    for (int r = 0; r < 4; ++r) out.model[r] = glm::vec4(c[0][r], c[1][r], c[2][r], c[3][r]);
    const glm::mat3 n = glm::transpose(glm::inverse(glm::mat3(w)));
    const MaterialSnapshot& m = v.material;
    for (int k = 0; k < 3; ++k) out.normal[k] = glm::vec4(n[k] / p.scale[k], m.reflectance[k]);
    out.emissive = glm::vec4(m.emissive, m.power);
    out.specular = glm::vec4(m.specular, m.useVertexColor ? 1.0f : 0.0f);
    out.appearance =
        glm::vec4(m.alpha, m.ambientIntensity, static_cast<float>(directionalBits), 0.0f);
}

bool GLRenderer::DrawViewport(const ViewportSnapshot& vp, int frameHeight) {
    const int glY = frameHeight - (vp.y + vp.height);
    glViewport(vp.x, glY, vp.width, vp.height);
    glScissor(vp.x, glY, vp.width, vp.height);
    if (vp.clear) {
        glClearColor(vp.clearColor.r, vp.clearColor.g, vp.clearColor.b, 1.0f);
        glClearDepth(1.0);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    if (vp.clear && vp.backdrop && !DrawBackdrop(*vp.backdrop, vp)) return false;
    // The first kMaxLights lights, sorted by type for the shader.
    glm::vec3 ambient(0.0f);
    const LightSnapshot* directional[kMaxLights];
    const LightSnapshot* point[kMaxLights];
    const LightSnapshot* spot[kMaxLights];
    int directionalCount = 0, pointCount = 0, spotCount = 0;
    // The shader's bit of each scoped directional light, by its bit in a visual's mask;
    // the unscoped ones light every visual.
    std::uint32_t everywhere = 0;
    std::uint32_t scopedBit[kMaxLights] = {};
    const std::size_t lights = std::min<std::size_t>(kMaxLights, vp.lights.size());
    for (std::size_t i = 0; i < lights; ++i) {
        const LightSnapshot& l = vp.lights[i];
        switch (l.type) {
            case LightType::Ambient:
                ambient += l.color;
                break;
            case LightType::Directional:
                if (l.scoped)
                    scopedBit[i] = 1u << directionalCount;
                else
                    everywhere |= 1u << directionalCount;
                directional[directionalCount++] = &l;
                break;
            case LightType::Point:
                point[pointCount++] = &l;
                break;
            case LightType::Spot:
                spot[spotCount++] = &l;
                break;
        }
    }
    auto directionalBits = [&](std::uint32_t mask) {
        std::uint32_t bits = everywhere;
        for (std::size_t i = 0; mask != 0 && i < lights; ++i, mask >>= 1)
            if (mask & 1u) bits |= scopedBit[i];
        return bits;
    };
    const glm::mat4 viewProjection = vp.projection * vp.view;
    // The viewport's uniforms, set in a program the first time a batch uses it.
    auto setUp = [&](const Program* program) {
        glUniformMatrix4fv(program->viewProjection, 1, GL_FALSE, glm::value_ptr(viewProjection));
        glUniform3fv(program->eye, 1, glm::value_ptr(vp.cameraPosition));
        glUniform1i(program->fogType, static_cast<int>(vp.fog.On() ? vp.fog.type : FogType::None));
        glUniform1f(program->fogRange, vp.fog.visibilityRange);
        glUniform3fv(program->fogColor, 1, glm::value_ptr(vp.fog.color));
        glUniform3fv(program->ambient, 1, glm::value_ptr(ambient));
        for (int i = 0; i < directionalCount; ++i) {
            const glm::vec3 to = -directional[i]->direction;
            glUniform3fv(program->directionalColor[i], 1, glm::value_ptr(directional[i]->color));
            glUniform3fv(program->directionalTo[i], 1, glm::value_ptr(to));
        }
        for (int i = 0; i < directionalCount; ++i)
            glUniform3fv(program->directionalAmbient[i], 1,
                         glm::value_ptr(directional[i]->ambient));
        for (int i = 0; i < pointCount; ++i) {
            glUniform3fv(program->pointColor[i], 1, glm::value_ptr(point[i]->color));
            glUniform3fv(program->pointPosition[i], 1, glm::value_ptr(point[i]->position));
            glUniform3fv(program->pointAmbient[i], 1, glm::value_ptr(point[i]->ambient));
            const glm::vec4 fade(point[i]->attenuation, point[i]->range);
            glUniform4fv(program->pointAttenuation[i], 1, glm::value_ptr(fade));
        }
        for (int i = 0; i < spotCount; ++i) {
            const LightSnapshot& l = *spot[i];
            glUniform3fv(program->spotColor[i], 1, glm::value_ptr(l.color));
            glUniform3fv(program->spotAmbient[i], 1, glm::value_ptr(l.ambient));
            glUniform3fv(program->spotPosition[i], 1, glm::value_ptr(l.position));
            const glm::vec4 fade(l.attenuation, l.range);
            glUniform4fv(program->spotAttenuation[i], 1, glm::value_ptr(fade));
            glUniform3fv(program->spotDirection[i], 1, glm::value_ptr(l.direction));
            glUniform2f(program->spotCone[i], l.beamWidth, l.cutOffAngle);
        }
    };
    // The two programs of this viewport (both sides lit; front faces only), made on
    // first use, with the last value each was given of the uniforms set per batch.
    struct InUse {
        const Program* program = nullptr;
        int lit = -1, flat = -1, textured = -1, replaceDiffuse = -1;
    };
    InUse inUse[2];
    int current = -1;

    // On the first frame with these lights, the programs it draws with are linked before
    // its meshes are uploaded, so that the shader compiler's memory does not come on top
    // of the upload's (the first frame's peak). Later frames link what they still miss
    // as they draw, without looking through every visual again.
    auto key = [&](int frontOnly) {
        return ProgramKey{directionalCount, pointCount, spotCount, frontOnly};
    };
    const bool firstWithLights =
        lightsSeen_.insert({directionalCount, pointCount, spotCount}).second;
    bool known[2] = {programs_.contains(key(0)), programs_.contains(key(1))};
    for (std::size_t i = 0; firstWithLights && i < vp.visuals.size() && !(known[0] && known[1]);
         ++i) {
        const int frontOnly = vp.visuals[i].cullBack ? 1 : 0;
        if (known[frontOnly]) continue;
        if (UseProgram(key(frontOnly)) == nullptr) return false;
        known[frontOnly] = true;
    }

    // Group the visuals: a batch per geometry, fill, shading and texture, counted first
    // so that each batch's instances can be written next to each other.
    ++batchStamp_;
    batches_.clear();
    transparent_.clear();
    const std::size_t n = vp.visuals.size();
    visualBatch_.assign(n, kNone);
    visualUpload_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const VisualSnapshot& v = vp.visuals[i];
        if (!v.mesh) continue;
        Upload* u = Mesh(v);
        if (u == nullptr) return false;
        if (u->geometry == kNone) continue;
        if (!u->data->coarser.empty() && (u = ForSize(u, v, vp)) == nullptr) return false;
        unsigned texture = 0;
        if (!Texture(v, &texture)) return false;
        const std::uint8_t cull = Sides(v);
        visualUpload_[i] = u;
        if (v.material.alpha < 1.0f) {
            // Drawn later, in an order of their own: the depth of the mesh's centre.
            Centre(*u);
            const glm::vec4 c = vp.view * (v.world * glm::vec4(u->center, 1.0f));
            transparent_.push_back({c.z, static_cast<std::uint32_t>(i), texture, cull});
            continue;
        }
        const std::uint32_t b = FindBatch(u->geometry, DecodeQuality(v.quality), texture, cull);
        batches_[b].replaceDiffuse = v.texture && !v.texture->grey;
        ++batches_[b].count;
        visualBatch_[i] = b;
    }
    // The transparent visuals get a batch each, after every opaque batch, from the
    // farthest to the nearest.
    const std::size_t firstTransparent = batches_.size();
    std::stable_sort(transparent_.begin(), transparent_.end(),
                     [](const Transparent& x, const Transparent& y) { return x.depth < y.depth; });
    for (const Transparent& t : transparent_) {
        const VisualSnapshot& v = vp.visuals[t.visual];
        const QualityParts q = DecodeQuality(v.quality);
        Batch b{visualUpload_[t.visual]->geometry, q.fill,    q.lit,
                q.lit && q.shade == Shade::Flat,   t.texture, t.cull};
        b.replaceDiffuse = v.texture && !v.texture->grey;
        b.count = 1;
        visualBatch_[t.visual] = static_cast<std::uint32_t>(batches_.size());
        batches_.push_back(b);
    }
    std::uint32_t total = 0;
    for (Batch& b : batches_) {
        b.first = total;
        total += b.count;
        b.count = 0;  // counts again as the instances are written
    }
    if (total == 0) return true;
    instances_.resize(total);
    for (std::size_t i = 0; i < n; ++i) {
        if (visualBatch_[i] == kNone) continue;
        Batch& b = batches_[visualBatch_[i]];
        FillInstance(instances_[b.first + b.count++], vp.visuals[i], visualUpload_[i]->placement,
                     directionalBits(vp.visuals[i].lightMask));
    }
    const std::size_t bytes = std::size_t{total} * sizeof(Instance);
    if (bytes > instanceBytes_ && !Reserve(bytes - instanceBytes_)) return false;
    memoryBytes_ = memoryBytes_ - instanceBytes_ + bytes;
    instanceBytes_ = bytes;
    glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), instances_.data(),
                 GL_STREAM_DRAW);

    std::uint32_t boundArena = kNone;
    int cull = 0;
    // As `cull` says; an earlier viewport may have left other sides set.
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    unsigned boundTexture = ~0u;
    for (std::size_t k = 0; k < batches_.size(); ++k) {
        const Batch& b = batches_[k];
        const Geometry& g = geometries_[b.geometry];
        if (k == firstTransparent) {
            // Blended over what lies behind; the alpha already drawn stays.
            glEnable(GL_BLEND);
            glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
            glDepthMask(GL_FALSE);
        }
        if (g.arena != boundArena) {
            glBindVertexArray(arenas_[g.arena].vao);
            boundArena = g.arena;
        }
        const std::size_t base = std::size_t{b.first} * sizeof(Instance);
        for (GLuint k = 0; k < kInstanceAttributes; ++k)
            glVertexAttribPointer(kFirstInstanceAttribute + k, 4, GL_FLOAT, GL_FALSE,
                                  sizeof(Instance),
                                  reinterpret_cast<const void*>(base + k * sizeof(glm::vec4)));
        const int frontOnly = (b.cull & kCullBack) ? 1 : 0;
        InUse& use = inUse[frontOnly];
        if (use.program == nullptr) {
            use.program = UseProgram(key(frontOnly));
            if (use.program == nullptr) return false;
            setUp(use.program);
        } else if (current != frontOnly) {
            glUseProgram(use.program->id);
        }
        current = frontOnly;
        const Program* program = use.program;
        if (use.lit != b.lit) glUniform1i(program->lit, use.lit = b.lit);
        if (use.flat != b.flat) glUniform1i(program->flat, use.flat = b.flat);
        if (use.textured != (b.texture != 0))
            glUniform1i(program->textured, use.textured = b.texture != 0);
        if (boundTexture != b.texture) glBindTexture(GL_TEXTURE_2D, boundTexture = b.texture);
        if (use.replaceDiffuse != b.replaceDiffuse)
            glUniform1i(program->replaceDiffuse, use.replaceDiffuse = b.replaceDiffuse);
        if (cull != b.cull) {
            if ((cull ^ b.cull) & kCullBack)
                (b.cull & kCullBack) ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
            if ((cull ^ b.cull) & kMirrored) glFrontFace((b.cull & kMirrored) ? GL_CW : GL_CCW);
            cull = b.cull;
        }
        const auto instances = static_cast<GLsizei>(b.count);
        // Polylines have only edges to draw, points only their vertices.
        const Fill fill = g.primitive == Primitive::Points ? Fill::Points
                          : g.primitive == Primitive::Polylines && b.fill == Fill::Solid
                              ? Fill::Wireframe
                              : b.fill;
        switch (fill) {
            case Fill::Solid: {
                const std::size_t first =
                    g.weldedIndices != 0 && !b.flat
                        ? std::size_t{g.firstIndex} + g.triangleIndices + g.edgeIndices
                        : g.firstIndex;
                glDrawElementsInstancedBaseVertex(
                    GL_TRIANGLES, static_cast<GLsizei>(g.triangleIndices), GL_UNSIGNED_INT,
                    reinterpret_cast<const void*>(first * kIndexBytes), instances,
                    static_cast<GLint>(g.firstVertex));
                break;
            }
            case Fill::Wireframe:
                glDrawElementsInstancedBaseVertex(
                    GL_LINES, static_cast<GLsizei>(g.edgeIndices), GL_UNSIGNED_INT,
                    reinterpret_cast<const void*>((std::size_t{g.firstIndex} + g.triangleIndices) *
                                                  kIndexBytes),
                    instances, static_cast<GLint>(g.firstVertex));
                break;
            case Fill::Points:
                glDrawArraysInstanced(GL_POINTS, static_cast<GLint>(g.firstVertex),
                                      static_cast<GLsizei>(g.vertexCount), instances);
                break;
        }
        ++stats_.drawCalls;
    }
    if (firstTransparent < batches_.size()) {
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }
    return true;
}

}  // namespace rm::gl
