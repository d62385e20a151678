#include "retained/gl/platform_egl_headless.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <mutex>

namespace rm::gl {

namespace {

// The EGL display is process-wide and, once initialised, stays so until the process
// ends: eglTerminate would pull it from under every other context, and it unloads Mesa's
// driver, which then leaves its allocations behind (LeakSanitizer reports them) and must
// be loaded again by the next platform. Contexts and surfaces are destroyed normally.
std::mutex g_displayMutex;

std::string EglError(const char* step) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", step,
                  static_cast<unsigned>(eglGetError()));
    return text;
}

EGLDisplay OpenDisplay() {
    if (epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d =
            eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY) return d;
    }
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

}  // namespace

std::unique_ptr<PlatformEGLHeadless> PlatformEGLHeadless::Create(std::string* error) {
    std::string ignored;
    std::string& err = error ? *error : ignored;
    std::unique_ptr<PlatformEGLHeadless> p(new PlatformEGLHeadless);
    std::lock_guard lock(g_displayMutex);

    EGLDisplay display = OpenDisplay();
    if (display == EGL_NO_DISPLAY) {
        err = "no EGL display";
        return nullptr;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        err = EglError("eglInitialize");
        return nullptr;
    }
    p->display_ = display;
    if (!eglBindAPI(EGL_OPENGL_API)) {
        err = EglError("eglBindAPI(OpenGL)");
        return nullptr;
    }
    const bool surfaceless = epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context");
    const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE,
                                    surfaceless ? EGL_DONT_CARE : EGL_PBUFFER_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) {
        err = "no EGL config for desktop OpenGL";
        return nullptr;
    }
    const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                                     3,
                                     EGL_CONTEXT_MINOR_VERSION,
                                     3,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) {
        err = EglError("eglCreateContext(OpenGL 3.3 core)");
        return nullptr;
    }
    p->context_ = context;
    if (!surfaceless) {
        const EGLint pbufferAttribs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        EGLSurface s = eglCreatePbufferSurface(display, config, pbufferAttribs);
        if (s == EGL_NO_SURFACE) {
            err = EglError("eglCreatePbufferSurface");
            return nullptr;
        }
        p->surface_ = s;
    }
    if (!p->MakeCurrent()) {
        err = EglError("eglMakeCurrent");
        return nullptr;
    }
    if (epoxy_gl_version() < 33) {
        err = "the EGL context is older than OpenGL 3.3";
        return nullptr;
    }
    const auto* r = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    p->renderer_ = r ? r : "";
    return p;
}

PlatformEGLHeadless::~PlatformEGLHeadless() {
    if (!display_) return;
    std::lock_guard lock(g_displayMutex);
    EGLDisplay display = display_;
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_) eglDestroySurface(display, surface_);
    if (context_) eglDestroyContext(display, context_);
}

bool PlatformEGLHeadless::MakeCurrent() {
    EGLSurface s = surface_ ? surface_ : EGL_NO_SURFACE;
    return eglMakeCurrent(display_, s, s, context_) == EGL_TRUE;
}

void PlatformEGLHeadless::DoneCurrent() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace rm::gl
