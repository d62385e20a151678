// RenderWidget: the main window's client area and the display device's window. It
// hands mouse moves and left-button releases to the render module; its OpenGL view
// draws the device's latest published frame with the OpenGL backend and the FPS text
// over it. Where the platform has no OpenGL the area stays black and the rest works.
#pragma once

#include <QOpenGLWidget>
#include <QWidget>
#include <memory>
#include <mutex>
#include <string>

#include "rendermodule/render_ddraw.h"

class CRenderModule;
namespace rm::gl {
class GLRenderer;
}

class RenderWidget : public QWidget, public IRenderWindow {
    Q_OBJECT
  public:
    RenderWidget(CRenderModule& module, QWidget* parent = nullptr);
    ~RenderWidget() override;

    // IRenderWindow
    void GetClientSize(int& width, int& height) const override;
    void GetScreenOrigin(int& x, int& y) const override;
    // Render thread or GUI thread: remembers the FPS text and asks for a repaint.
    void FrameReady() override;

    // Mouse key flags of a Qt mouse state: left 1, right 2, Ctrl 8.
    static unsigned KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    // Whether this platform can give the widget an OpenGL 3.3 context.
    static bool PlatformHasOpenGL();
    // The OpenGL view, or null without OpenGL.
    QOpenGLWidget* View() const;
    // True once the view has a context and the backend started.
    bool HasRenderer() const;
    std::string FpsText();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    class FrameView;

    CRenderModule& module_;
    FrameView* view_ = nullptr;
    bool grabbed_ = false;
    // Shared with the thread that publishes frames.
    std::mutex frameMutex_;
    bool alive_ = true;
    std::string fpsText_;
};
