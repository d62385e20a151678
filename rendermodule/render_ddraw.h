// The display device: binds the retained-mode renderer to a window. CD3DObj is
// the retained-mode side (the root object, device, viewport, the scene, camera
// and world frames and the head light); CDDrawObj the surface side (back-buffer
// size, fill colour, frame counter and FPS text, texture surfaces); CRenderer
// holds both. Frames are published through the retained-mode device; the window
// draws the latest one with the OpenGL backend on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "retained/retained_mode.h"

// The window a display device draws for.
class IRenderWindow {
  public:
    virtual ~IRenderWindow() = default;
    // Size of the drawing area in pixels; 0 x 0 when minimised.
    virtual void GetClientSize(int& width, int& height) const = 0;
    // Top-left corner of the drawing area on the screen.
    virtual void GetScreenOrigin(int& x, int& y) const {
        x = 0;
        y = 0;
    }
    // A new frame was published; called on the rendering thread, must be quick
    // (a window asks its GUI thread to repaint).
    virtual void FrameReady() {}
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// A system-memory surface of 4-byte pixels (B, G, R, A in memory), rows `pitch` bytes apart.
struct TextureSurface {
    int width = 0;
    int height = 0;
    int pitch = 0;
    std::vector<std::uint8_t> pixels;
};

class CDDrawObj {
  public:
    virtual ~CDDrawObj() = default;

    // Keeps the window and sizes the back buffer to its client area.
    bool CreateSurfaces(IRenderWindow* window);
    // Re-reads the client size; a zero size leaves no back buffer.
    void CreateBackBuffer();
    void Resize();
    // Counts a presented frame and, with the FPS display on, updates the
    // "FPS:%6.2f" text once a second.
    void Present();
    void Clear() {}
    void SetShowFps(bool show) { m_showFps = show; }
    bool GetShowFps() const { return m_showFps; }
    void SetFillColor(std::uint32_t color) { m_fillColor = color; }
    std::uint32_t GetFillColor() const { return m_fillColor; }
    // The text to draw at (10, 5) in white over the frame; empty until a second has passed.
    std::string GetFpsText() const;
    std::uint32_t GetFrameCount() const { return m_frameCount; }
    bool HasBackBuffer() const { return m_backBuffer; }
    const Rect& GetClientRect() const { return m_client; }
    const Rect& GetWindowRect() const { return m_window; }
    void UpdateWindowRect();
    // A width x height surface filled with 0xFF00FFFF, for the texture maker.
    TextureSurface CreateTextureSurface(int width, int height) const;
    void Release();

  private:
    IRenderWindow* m_hwnd = nullptr;
    bool m_backBuffer = false;
    Rect m_window;
    Rect m_client;
    std::uint32_t m_fillColor = 0;
    std::uint32_t m_frameCount = 0;
    bool m_showFps = true;
    // The FPS text and the time and frame count it was last updated at.
    char m_fpsText[32] = "";
    std::uint32_t m_fpsTime = 0;
    std::uint32_t m_fpsCount = 0;
};

class CD3DObj {
  public:
    virtual ~CD3DObj() { Release(); }

    // Sets the surface object once; a second call shows
    // "DDrawObj should only be set once!!" and keeps the first.
    void SetDDrawObj(CDDrawObj* ddraw);
    // Creates the retained-mode object and the scene; sets the initialised flag.
    bool CreateRM(IRenderWindow* window);
    bool CreateScene();
    // There is one drawing device (OpenGL); kept for the set-up order. Returns 1.
    int EnumDeviceGuids();
    // Device of the client size with quality rm::kRenderGouraud and a viewport (back 5000,
    // field 0.6) on the camera; nothing while the client area is empty.
    void CreateDeviceAndViewport(IRenderWindow* window);
    // The view the viewport is made with, now and after every resize: a viewing angle
    // across the viewport's smaller side (radians, below pi; 0 or anything else out of
    // range: the start field, 0.6 across the larger side) and the clipping planes.
    void SetView(float fieldOfView, float front = 0.1f, float back = 5000.0f);
    float GetFieldOfView() const { return m_fieldOfView; }
    float GetFront() const { return m_front; }
    float GetBack() const { return m_back; }
    // The start field's half width and half height of the view at distance 1 (0 0
    // without a viewport).
    glm::vec2 StartHalfExtent() const;
    // Moves the scene one step, clears, renders and publishes a frame.
    void Render();
    void SetRenderQuality(rm::Quality q);
    void ReleaseDeviceAndViewport();
    void Release();

    // Navigation on the camera and world frames (After unless named Local).
    void MoveCamera(glm::vec3 v);
    void MoveCameraLocal(glm::vec3 v);
    void TurnCamera(glm::vec3 axis, float angle);
    void TurnCameraLocal(glm::vec3 axis, float angle);
    void MoveWorld(glm::vec3 v);
    void TurnWorld(glm::vec3 axis, float angle);

    rm::RetainedMode* GetD3DRM() const { return m_rm.Get(); }
    rm::Device* GetDevice() const { return m_device.Get(); }
    rm::Viewport* GetViewport() const { return m_viewport.Get(); }
    rm::Frame* GetScene() const { return m_scene.Get(); }
    rm::Frame* GetWorld() const { return m_world.Get(); }
    rm::Frame* GetCamera() const { return m_camera.Get(); }
    rm::Light* GetHeadLight() const { return m_headLight.Get(); }
    CDDrawObj* GetDDrawObj() const { return m_ddraw; }
    bool IsInitialised() const { return m_initialised; }
    // Replaces the world frame by a new empty one under the scene frame.
    void ReplaceWorld();

  private:
    CDDrawObj* m_ddraw = nullptr;
    IRenderWindow* m_hwnd = nullptr;
    rm::Ptr<rm::RetainedMode> m_rm;
    rm::Ptr<rm::Device> m_device;
    rm::Ptr<rm::Viewport> m_viewport;
    rm::Ptr<rm::Frame> m_scene;
    rm::Ptr<rm::Frame> m_world;
    rm::Ptr<rm::Frame> m_camera;
    rm::Ptr<rm::Light> m_headLight;
    bool m_initialised = false;
    float m_fieldOfView = 0, m_front = 0.1f, m_back = 5000.0f;
    void ApplyView();
};

class CRenderer {
  public:
    virtual ~CRenderer() = default;

    void Init(IRenderWindow* window);
    // Rebuilds device and viewport for the window's new size and renders.
    void OnSize(IRenderWindow* window);
    void OnMove();
    void OnPaint() { RenderFrame(); }
    // Traces "no viewport!!" while there is no viewport.
    void RenderFrame();
    void ClearWorld();
    void Release();

    CD3DObj& GetD3DObj() { return m_d3d; }
    CDDrawObj& GetDDrawObj() { return m_ddraw; }

  private:
    CD3DObj m_d3d;
    CDDrawObj m_ddraw;
};
