#include "app/platform_qt.h"

#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QSurfaceFormat>

bool PlatformQtWidget::MakeCurrent() {
    widget_->makeCurrent();
    return widget_->context() != nullptr && QOpenGLContext::currentContext() == widget_->context();
}

void PlatformQtWidget::DoneCurrent() {
    widget_->doneCurrent();
}

void PlatformQtWidget::SetDefaultFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}
