#include "rendermodule/render_ddraw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "rendermodule/mm_clock.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

// ---- CDDrawObj ----

bool CDDrawObj::CreateSurfaces(IRenderWindow* window) {
    m_hwnd = window;
    UpdateWindowRect();
    CreateBackBuffer();
    return true;
}

void CDDrawObj::CreateBackBuffer() {
    if (m_hwnd == nullptr) return;
    int w = 0, h = 0;
    m_hwnd->GetClientSize(w, h);
    m_client = Rect{0, 0, w, h};
    // A minimised window keeps no back buffer; the OpenGL backend owns the real one.
    m_backBuffer = w > 0 && h > 0;
}

void CDDrawObj::Resize() {
    CreateBackBuffer();
    UpdateWindowRect();
}

void CDDrawObj::UpdateWindowRect() {
    if (m_hwnd == nullptr) return;
    int x = 0, y = 0, w = 0, h = 0;
    m_hwnd->GetScreenOrigin(x, y);
    m_hwnd->GetClientSize(w, h);
    m_window = Rect{x, y, x + w, y + h};
}

void CDDrawObj::Present() {
    if (m_showFps) {
        std::uint32_t now = TimeGetTime();
        std::uint32_t elapsed = now - m_fpsTime;
        if (elapsed >= 1000) {
            double fps = (m_frameCount - m_fpsCount) / (elapsed / 1000.0);
            std::snprintf(m_fpsText, sizeof m_fpsText, "FPS:%6.2f", fps);
            m_fpsCount = m_frameCount;
            m_fpsTime = now;
        }
    }
    ++m_frameCount;
}

std::string CDDrawObj::GetFpsText() const {
    return m_showFps ? m_fpsText : "";
}

TextureSurface CDDrawObj::CreateTextureSurface(int width, int height) const {
    TextureSurface s;
    if (width <= 0 || height <= 0) return s;
    s.width = width;
    s.height = height;
    s.pitch = width * 4;
    s.pixels.resize(static_cast<std::size_t>(s.pitch) * height);
    // 0xFF00FFFF as a little-endian 32-bit pixel: B FF, G FF, R 00, A FF.
    for (std::size_t i = 0; i < s.pixels.size(); i += 4) {
        s.pixels[i] = 0xFF;
        s.pixels[i + 1] = 0xFF;
        s.pixels[i + 2] = 0x00;
        s.pixels[i + 3] = 0xFF;
    }
    return s;
}

void CDDrawObj::Release() {
    m_backBuffer = false;
    m_hwnd = nullptr;
}

// ---- CD3DObj ----

void CD3DObj::SetDDrawObj(CDDrawObj* ddraw) {
    if (m_ddraw == nullptr) {
        m_ddraw = ddraw;
        return;
    }
    ShowMessage("DDrawObj should only be set once!!");
}

bool CD3DObj::CreateRM(IRenderWindow* window) {
    m_hwnd = window;
    if (rm::Failed(rm::RetainedMode::Create(m_rm.Put()))) {
        ShowMessage("Failed to create Direct3DRM.");
        return false;
    }
    if (!CreateScene()) return false;
    m_initialised = true;
    return true;
}

bool CD3DObj::CreateScene() {
    if (rm::Failed(m_rm->CreateFrame(nullptr, m_scene.Put()))) {
        ShowMessage("Failed to create the master scene frame.");
        return false;
    }
    if (rm::Failed(m_rm->CreateFrame(m_scene.Get(), m_camera.Put())) ||
        rm::Failed(m_rm->CreateFrame(m_scene.Get(), m_world.Put()))) {
        ShowMessage("A failure occured while building the scene.");
        return false;
    }
    m_camera->SetPosition(m_scene.Get(), 0, 0, 10);
    m_camera->SetOrientation(m_scene.Get(), {0, 0, -1}, {0, 1, 0});
    if (rm::Failed(m_rm->CreateLightRGB(rm::LightType::Point, 1, 1, 1, m_headLight.Put())) ||
        rm::Failed(m_camera->AddLight(m_headLight.Get()))) {
        ShowMessage("A failure occured while building the scene.");
        return false;
    }
    return true;
}

int CD3DObj::EnumDeviceGuids() {
    return 1;
}

void CD3DObj::CreateDeviceAndViewport(IRenderWindow* window) {
    if (!m_rm || window == nullptr) return;
    int w = 0, h = 0;
    window->GetClientSize(w, h);
    if (w <= 0 || h <= 0) return;
    if (rm::Failed(m_rm->CreateDevice(w, h, m_device.Put()))) return;
    m_device->SetQuality(rm::kRenderGouraud);
    m_device->SetFrameReadyCallback([window] { window->FrameReady(); });
    if (rm::Failed(
            m_rm->CreateViewport(m_device.Get(), m_camera.Get(), 0, 0, w, h, m_viewport.Put()))) {
        m_initialised = false;
        m_device.Reset();
        return;
    }
    if (rm::Failed(m_viewport->SetBack(5000.0f))) ShowMessage("Can't set back of the viewport");
    m_viewport->SetField(0.6f);
    ApplyView();
}

void CD3DObj::SetView(float fieldOfView, float front, float back) {
    m_fieldOfView = fieldOfView > 0 && fieldOfView < 3.14159f ? fieldOfView : 0.0f;
    m_front = front;
    m_back = back;
    ApplyView();
}

void CD3DObj::ApplyView() {
    if (!m_viewport) return;
    // Planes in the order that keeps front below back at each step.
    if (m_front < m_viewport->GetBack()) {
        m_viewport->SetFront(m_front);
        m_viewport->SetBack(m_back);
    } else {
        m_viewport->SetBack(m_back);
        m_viewport->SetFront(m_front);
    }
    const float w = static_cast<float>(m_viewport->GetWidth());
    const float h = static_cast<float>(m_viewport->GetHeight());
    if (m_fieldOfView == 0 || !(w > 0 && h > 0)) {
        m_viewport->SetField(0.6f);
        return;
    }
    // The viewport's field counts across its larger side; the angle, across the smaller.
    m_viewport->SetField(std::tan(m_fieldOfView / 2) * std::max(w, h) / std::min(w, h));
}

glm::vec2 CD3DObj::StartHalfExtent() const {
    if (!m_viewport || m_viewport->GetWidth() <= 0 || m_viewport->GetHeight() <= 0) return {0, 0};
    const float w = static_cast<float>(m_viewport->GetWidth());
    const float h = static_cast<float>(m_viewport->GetHeight());
    return w >= h ? glm::vec2(0.6f, 0.6f * h / w) : glm::vec2(0.6f * w / h, 0.6f);
}

void CD3DObj::Render() {
    if (!m_scene || !m_viewport || !m_device) return;
    m_scene->Move(1.0f);
    if (rm::Failed(m_viewport->Clear())) return;
    if (rm::Failed(m_viewport->Render(m_scene.Get()))) return;
    m_device->Update();
    if (m_ddraw) m_ddraw->Present();
}

void CD3DObj::SetRenderQuality(rm::Quality q) {
    if (m_device && m_world) m_device->SetQuality(q);
}

void CD3DObj::ReleaseDeviceAndViewport() {
    if (m_device) m_device->SetFrameReadyCallback(nullptr);
    m_viewport.Reset();
    m_device.Reset();
}

void CD3DObj::Release() {
    m_hwnd = nullptr;
    m_initialised = false;
    m_world.Reset();
    m_camera.Reset();
    m_scene.Reset();
    ReleaseDeviceAndViewport();
    m_headLight.Reset();
    m_rm.Reset();
}

void CD3DObj::ReplaceWorld() {
    if (!m_scene || !m_world) return;
    m_scene->DeleteChild(m_world.Get());
    m_rm->CreateFrame(m_scene.Get(), m_world.Put());
}

void CD3DObj::MoveCamera(glm::vec3 v) {
    if (m_camera) m_camera->AddTranslation(rm::Combine::After, v.x, v.y, v.z);
}
void CD3DObj::MoveCameraLocal(glm::vec3 v) {
    if (m_camera) m_camera->AddTranslation(rm::Combine::Before, v.x, v.y, v.z);
}
void CD3DObj::TurnCamera(glm::vec3 a, float angle) {
    if (m_camera) m_camera->AddRotation(rm::Combine::After, a.x, a.y, a.z, angle);
}
void CD3DObj::TurnCameraLocal(glm::vec3 a, float angle) {
    if (m_camera) m_camera->AddRotation(rm::Combine::Before, a.x, a.y, a.z, angle);
}
void CD3DObj::MoveWorld(glm::vec3 v) {
    if (m_world) m_world->AddTranslation(rm::Combine::After, v.x, v.y, v.z);
}
void CD3DObj::TurnWorld(glm::vec3 a, float angle) {
    if (m_world) m_world->AddRotation(rm::Combine::After, a.x, a.y, a.z, angle);
}

// ---- CRenderer ----

void CRenderer::Init(IRenderWindow* window) {
    m_ddraw.CreateSurfaces(window);
    m_ddraw.SetFillColor(0);
    m_d3d.SetDDrawObj(&m_ddraw);
    if (!m_d3d.CreateRM(window)) return;
    m_d3d.EnumDeviceGuids();
    m_d3d.CreateDeviceAndViewport(window);
    OnSize(window);
}

void CRenderer::OnSize(IRenderWindow* window) {
    if (!m_d3d.IsInitialised() || m_d3d.EnumDeviceGuids() == 0) return;
    m_ddraw.Resize();
    m_d3d.ReleaseDeviceAndViewport();
    m_d3d.CreateDeviceAndViewport(window);
    RenderFrame();
}

void CRenderer::OnMove() {
    if (m_d3d.IsInitialised()) m_ddraw.UpdateWindowRect();
}

void CRenderer::RenderFrame() {
    if (m_d3d.GetViewport() == nullptr) {
        DebugPrintf("no viewport!!");
        return;
    }
    m_d3d.Render();
}

void CRenderer::ClearWorld() {
    m_d3d.ReplaceWorld();
}

void CRenderer::Release() {
    m_d3d.Release();
    m_ddraw.Release();
}
