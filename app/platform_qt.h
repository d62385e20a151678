// A concrete GLPlatform whose context is the one Qt gives a QOpenGLWidget: OpenGL
// 3.3 core from the window system (GLX or EGL), current while Qt paints the widget.
#pragma once

#include "retained/gl/gl_platform.h"

class QOpenGLWidget;

class PlatformQtWidget final : public rm::gl::GLPlatform {
  public:
    explicit PlatformQtWidget(QOpenGLWidget* widget) : widget_(widget) {}
    bool MakeCurrent() override;
    void DoneCurrent() override;
    const char* Name() const override { return "Qt widget"; }
    // The format every widget asks for: OpenGL 3.3 core with a depth buffer. Set it
    // as the default before the application object is made.
    static void SetDefaultFormat();

  private:
    QOpenGLWidget* widget_;
};
