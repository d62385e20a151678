#include "app/render_widget.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>

#include "app/platform_qt.h"
#include "rendermodule/render_module.h"
#include "retained/gl/gl_renderer.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

// Draws the latest frame; input passes through it to the RenderWidget.
class RenderWidget::FrameView : public QOpenGLWidget {
  public:
    FrameView(RenderWidget& owner, CRenderModule& module)
        : QOpenGLWidget(&owner), owner_(owner), module_(module) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    ~FrameView() override {
        // The context goes in the base class's destructor, after this object's part.
        disconnect(contextGone_);
        ReleaseGL();
    }
    bool HasRenderer() const { return renderer_ != nullptr; }

  protected:
    void initializeGL() override {
        std::string error;
        renderer_ = rm::gl::GLRenderer::Create(&error);
        if (!renderer_) DebugPrintf("OpenGL backend unavailable: %s\n", error.c_str());
        // The renderer's GPU objects go with the context they were made in.
        disconnect(contextGone_);
        contextGone_ =
            connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &FrameView::ReleaseGL);
    }

    void paintGL() override {
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // The device changes only on this thread (size changes, release), so it is read
        // without the scene lock; the frame itself comes under the device's own lock.
        rm::Device* device = module_.GetD3DObj().GetDevice();
        std::shared_ptr<const rm::DeviceFrame> frame = device ? device->LatestFrame() : nullptr;
        if (renderer_ && frame) {
            // The backend uploads textures byte-aligned; Qt's text expects the state it left.
            GLint unpackAlignment = 4;
            gl->glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
            std::string error;
            const bool drawn = renderer_->Draw(*frame, defaultFramebufferObject(), &error);
            gl->glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
            // A frame the graphics memory limit cuts short is said once, when it starts
            // failing, and after the paint (a box shown inside paintGL would paint again).
            if (!drawn && !drawFailed_) {
                const std::string text = "The scene is drawn in part: " + error;
                QMetaObject::invokeMethod(
                    this, [text] { ShowMessage(text, "Orvane", MessageRepeat::kEveryTime); },
                    Qt::QueuedConnection);
            }
            drawFailed_ = !drawn;
        }
        const std::string fps = owner_.FpsText();
        if (fps.empty()) return;
        QPainter painter(this);
        painter.setPen(Qt::white);
        painter.drawText(QRect(10, 5, width() - 10, height() - 5), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(fps));
    }

  private:
    void ReleaseGL() {
        if (!renderer_) return;
        // The renderer frees its GPU objects, which needs the context current.
        platform_.MakeCurrent();
        renderer_.reset();
        platform_.DoneCurrent();
    }

    RenderWidget& owner_;
    CRenderModule& module_;
    PlatformQtWidget platform_{this};
    std::unique_ptr<rm::gl::GLRenderer> renderer_;
    bool drawFailed_ = false;  // the last Draw was cut short
    QMetaObject::Connection contextGone_;
};

RenderWidget::RenderWidget(CRenderModule& module, QWidget* parent)
    : QWidget(parent), module_(module) {
    setMouseTracking(true);  // moves without a button end a drag's capture
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    if (PlatformHasOpenGL())
        view_ = new FrameView(*this, module_);
    else
        DebugPrintf("OpenGL backend unavailable: the platform has no OpenGL 3.3 context\n");
}

RenderWidget::~RenderWidget() {
    std::lock_guard<std::mutex> lock(frameMutex_);
    alive_ = false;
}

bool RenderWidget::PlatformHasOpenGL() {
    static const bool has = [] {
        QOpenGLContext context;
        return context.create() && context.format().version() >= qMakePair(3, 3);
    }();
    return has;
}

QOpenGLWidget* RenderWidget::View() const {
    return view_;
}

bool RenderWidget::HasRenderer() const {
    return view_ != nullptr && view_->HasRenderer();
}

std::string RenderWidget::FpsText() {
    std::lock_guard<std::mutex> lock(frameMutex_);
    return fpsText_;
}

void RenderWidget::GetClientSize(int& width, int& height) const {
    width = this->width();
    height = this->height();
}

void RenderWidget::GetScreenOrigin(int& x, int& y) const {
    QPoint origin = mapToGlobal(QPoint(0, 0));
    x = origin.x();
    y = origin.y();
}

void RenderWidget::FrameReady() {
    // The module calls this with the scene lock held, which also guards the FPS text.
    std::string fps = module_.GetDDrawObj().GetFpsText();
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!alive_ || view_ == nullptr) return;
    fpsText_ = std::move(fps);
    QMetaObject::invokeMethod(view_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

unsigned RenderWidget::KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned flags = 0;
    if (buttons & Qt::LeftButton) flags |= kMkLButton;
    if (buttons & Qt::RightButton) flags |= kMkRButton;
    if (modifiers & Qt::ControlModifier) flags |= kMkControl;
    return flags;
}

void RenderWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(rect());
    module_.OnSize(this);
}

void RenderWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    module_.OnMouseMove(p.x(), p.y(), KeyFlags(event->buttons(), event->modifiers()));
    const bool captured = module_.IsMouseCaptured();
    if (captured && !grabbed_) grabMouse();
    if (!captured && grabbed_) releaseMouse();
    grabbed_ = captured;
}

void RenderWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    module_.OnLButtonDown(p.x(), p.y(), KeyFlags(event->buttons(), event->modifiers()));
}

void RenderWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    module_.OnLButtonUp(p.x(), p.y(), KeyFlags(event->buttons(), event->modifiers()));
    // A sensor's drag ends with the button.
    if (grabbed_ && !module_.IsMouseCaptured()) {
        releaseMouse();
        grabbed_ = false;
    }
}
