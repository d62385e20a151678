#include "retained/gl/gl_renderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstddef>

#include <glm/gtc/type_ptr.hpp>

#include "retained/draw_mesh.h"
#include "retained/gl/shaders.h"

namespace rm::gl {

namespace {

GLuint Compile(GLenum type, const char* source, std::string* error) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        if (error) *error = std::string("shader compile failed: ") + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
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

}  // namespace

std::unique_ptr<GLRenderer> GLRenderer::Create(std::string* error) {
    std::unique_ptr<GLRenderer> r(new GLRenderer);
    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, error);
    if (!vs) return nullptr;
    GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader, error);
    if (!fs) {
        glDeleteShader(vs);
        return nullptr;
    }
    r->program_ = glCreateProgram();
    glAttachShader(r->program_, vs);
    glAttachShader(r->program_, fs);
    glLinkProgram(r->program_);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(r->program_, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(r->program_, sizeof log, nullptr, log);
        if (error) *error = std::string("shader link failed: ") + log;
        return nullptr;
    }
    const GLuint prog = r->program_;
    auto at = [prog](const std::string& name) { return glGetUniformLocation(prog, name.c_str()); };
    Locations& l = r->loc_;
    l = {at("uModel"),
         at("uNormalMatrix"),
         at("uViewProjection"),
         at("uEye"),
         at("uLit"),
         at("uFlat"),
         at("uUseVertexColor"),
         at("uReflectance"),
         at("uEmissive"),
         at("uSpecular"),
         at("uPower"),
         at("uTextured"),
         at("uTexture"),
         at("uLightCount"),
         {},
         {},
         {},
         {}};
    for (int i = 0; i < kMaxLights; ++i) {
        const std::string index = "[" + std::to_string(i) + "]";
        l.lightType[i] = at("uLightType" + index);
        l.lightColor[i] = at("uLightColor" + index);
        l.lightPosition[i] = at("uLightPosition" + index);
        l.lightDirection[i] = at("uLightDirection" + index);
    }
    return r;
}

GLRenderer::~GLRenderer() {
    for (auto& [id, m] : meshes_) {
        glDeleteVertexArrays(1, &m.vao);
        glDeleteBuffers(1, &m.vbo);
        glDeleteBuffers(1, &m.ebo);
    }
    for (auto& [id, t] : textures_) glDeleteTextures(1, &t.name);
    if (program_) glDeleteProgram(program_);
}

GLRenderer::Stats GLRenderer::GetStats() const {
    Stats s = stats_;
    s.cachedMeshes = meshes_.size();
    s.cachedTextures = textures_.size();
    return s;
}

GLRenderer::GpuMesh& GLRenderer::Mesh(const VisualSnapshot& v) {
    auto [it, created] = meshes_.try_emplace(v.meshId);
    GpuMesh& m = it->second;
    m.lastUsed = frameCounter_;
    if (!created && m.version == v.meshVersion) return m;
    if (created) {
        glGenVertexArrays(1, &m.vao);
        glGenBuffers(1, &m.vbo);
        glGenBuffers(1, &m.ebo);
        glBindVertexArray(m.vao);
        glBindBuffer(GL_ARRAY_BUFFER, m.vbo);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m.ebo);
        for (const Attribute& a : kAttributes) {
            glEnableVertexAttribArray(a.location);
            glVertexAttribPointer(a.location, a.size, a.type, a.normalized,
                                  sizeof(PackedDrawVertex),
                                  reinterpret_cast<const void*>(a.offset));
        }
    }
    // The vertices are written straight into the buffer's storage, so that a
    // large mesh is not held a second time in a DrawMesh while it uploads.
    std::vector<std::uint32_t> triangles, edges;
    const std::size_t maxVertices = MaxDrawVertices(*v.mesh);
    const auto vertexBytes = static_cast<GLsizeiptr>(maxVertices * sizeof(PackedDrawVertex));
    glBindVertexArray(m.vao);
    glBindBuffer(GL_ARRAY_BUFFER, m.vbo);
    glBufferData(GL_ARRAY_BUFFER, vertexBytes, nullptr, GL_STATIC_DRAW);
    void* mapped = maxVertices == 0
                       ? nullptr
                       : glMapBufferRange(GL_ARRAY_BUFFER, 0, vertexBytes,
                                          GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    std::size_t vertexCount = 0;
    bool written = false;
    if (mapped != nullptr) {
        vertexCount =
            BuildDrawMeshInto(*v.mesh, static_cast<PackedDrawVertex*>(mapped), triangles, edges);
        written = glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE;  // false: the storage was lost
    }
    if (!written && maxVertices != 0) {
        std::vector<PackedDrawVertex> packed(maxVertices);
        triangles.clear();
        edges.clear();
        vertexCount = BuildDrawMeshInto(*v.mesh, packed.data(), triangles, edges);
        glBufferData(GL_ARRAY_BUFFER,
                     static_cast<GLsizeiptr>(vertexCount * sizeof(PackedDrawVertex)), packed.data(),
                     GL_STATIC_DRAW);
    }
    const auto triangleBytes = static_cast<GLsizeiptr>(triangles.size() * sizeof(std::uint32_t));
    const auto edgeBytes = static_cast<GLsizeiptr>(edges.size() * sizeof(std::uint32_t));
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, triangleBytes + edgeBytes, nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, triangleBytes, triangles.data());
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, triangleBytes, edgeBytes, edges.data());
    m.version = v.meshVersion;
    m.triangleIndices = static_cast<std::int32_t>(triangles.size());
    m.edgeIndices = static_cast<std::int32_t>(edges.size());
    m.vertexCount = static_cast<std::int32_t>(vertexCount);
    ++stats_.meshUploads;
    return m;
}

unsigned GLRenderer::Texture(const VisualSnapshot& v) {
    if (!v.texture) return 0;
    auto [it, created] = textures_.try_emplace(v.textureId);
    it->second.lastUsed = frameCounter_;
    if (!created) return it->second.name;
    const TextureImage& img = *v.texture;
    glGenTextures(1, &it->second.name);
    glBindTexture(GL_TEXTURE_2D, it->second.name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, img.width, img.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 img.rgba.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    ++stats_.textureUploads;
    return it->second.name;
}

void GLRenderer::Draw(const DeviceFrame& frame, unsigned fbo) {
    ++frameCounter_;
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glUseProgram(program_);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDisable(GL_CULL_FACE);  // both sides of every face are drawn, unless a mesh is solid
    glDisable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    glUniform1i(loc_.texture, 0);
    for (const ViewportSnapshot& vp : frame.viewports) DrawViewport(vp, frame.height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glBindVertexArray(0);
    Evict();
}

void GLRenderer::DrawViewport(const ViewportSnapshot& vp, int frameHeight) {
    const int glY = frameHeight - (vp.y + vp.height);
    glViewport(vp.x, glY, vp.width, vp.height);
    glScissor(vp.x, glY, vp.width, vp.height);
    if (vp.clear) {
        glClearColor(vp.clearColor.r, vp.clearColor.g, vp.clearColor.b, 1.0f);
        glClearDepth(1.0);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    const glm::mat4 viewProjection = vp.projection * vp.view;
    glUniformMatrix4fv(loc_.viewProjection, 1, GL_FALSE, glm::value_ptr(viewProjection));
    glUniform3fv(loc_.eye, 1, glm::value_ptr(vp.cameraPosition));
    const int count = std::min<int>(kMaxLights, static_cast<int>(vp.lights.size()));
    glUniform1i(loc_.lightCount, count);
    for (int i = 0; i < count; ++i) {
        const LightSnapshot& l = vp.lights[static_cast<std::size_t>(i)];
        glUniform1i(loc_.lightType[i], static_cast<int>(l.type));
        glUniform3fv(loc_.lightColor[i], 1, glm::value_ptr(l.color));
        glUniform3fv(loc_.lightPosition[i], 1, glm::value_ptr(l.position));
        glUniform3fv(loc_.lightDirection[i], 1, glm::value_ptr(l.direction));
    }
    for (const VisualSnapshot& v : vp.visuals) {
        if (!v.mesh) continue;
        GpuMesh& m = Mesh(v);
        const QualityParts q = DecodeQuality(v.quality);
        const unsigned tex = Texture(v);
        glUniformMatrix4fv(loc_.model, 1, GL_FALSE, glm::value_ptr(v.world));
        const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(v.world)));
        glUniformMatrix3fv(loc_.normalMatrix, 1, GL_FALSE, glm::value_ptr(normalMatrix));
        // A solid mesh hides its back faces; a mirroring transform turns its winding round.
        if (v.cullBack)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
        glFrontFace(glm::determinant(glm::mat3(v.world)) < 0.0f ? GL_CW : GL_CCW);
        glUniform1i(loc_.lit, q.lit);
        glUniform1i(loc_.flat, q.shade == Shade::Flat);
        glUniform1i(loc_.useVertexColor, v.material.useVertexColor);
        glUniform3fv(loc_.reflectance, 1, glm::value_ptr(v.material.reflectance));
        glUniform3fv(loc_.emissive, 1, glm::value_ptr(v.material.emissive));
        glUniform3fv(loc_.specular, 1, glm::value_ptr(v.material.specular));
        glUniform1f(loc_.power, v.material.power);
        glUniform1i(loc_.textured, tex != 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tex);
        glBindVertexArray(m.vao);
        switch (q.fill) {
            case Fill::Solid:
                glDrawElements(GL_TRIANGLES, m.triangleIndices, GL_UNSIGNED_INT, nullptr);
                break;
            case Fill::Wireframe:
                glDrawElements(
                    GL_LINES, m.edgeIndices, GL_UNSIGNED_INT,
                    reinterpret_cast<const void*>(static_cast<std::size_t>(m.triangleIndices) *
                                                  sizeof(std::uint32_t)));
                break;
            case Fill::Points:
                glDrawArrays(GL_POINTS, 0, m.vertexCount);
                break;
        }
        ++stats_.drawCalls;
    }
}

void GLRenderer::Evict() {
    for (auto it = meshes_.begin(); it != meshes_.end();) {
        if (it->second.lastUsed + kEvictAfterFrames < frameCounter_) {
            glDeleteVertexArrays(1, &it->second.vao);
            glDeleteBuffers(1, &it->second.vbo);
            glDeleteBuffers(1, &it->second.ebo);
            it = meshes_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = textures_.begin(); it != textures_.end();) {
        if (it->second.lastUsed + kEvictAfterFrames < frameCounter_) {
            glDeleteTextures(1, &it->second.name);
            it = textures_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace rm::gl
