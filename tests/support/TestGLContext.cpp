#include "support/TestGLContext.h"

#include <algorithm>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>

struct TestGLContext::Impl {
    int width = 0;
    int height = 0;
    std::unique_ptr<QGuiApplication> application;
    // Made once the application exists.
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    bool valid = false;
};

namespace {

QGuiApplication* makeApplication()
{
    if (QCoreApplication::instance()) {
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "quorvane-test";
    static char* argv[] = {name, nullptr};
    return new QGuiApplication(argc, argv);
}

} // namespace

TestGLContext::TestGLContext(int width, int height) : impl(std::make_unique<Impl>())
{
    impl->width = width;
    impl->height = height;
    impl->application.reset(makeApplication());

    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setDepthBufferSize(24);
    impl->surface = std::make_unique<QOffscreenSurface>();
    impl->surface->setFormat(format);
    impl->surface->create();
    impl->context = std::make_unique<QOpenGLContext>();
    impl->context->setFormat(format);
    if (!impl->context->create() || !impl->context->makeCurrent(impl->surface.get())) {
        return;
    }

    QOpenGLFunctions* gl = impl->context->functions();
    gl->glGenRenderbuffers(1, &impl->colour);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, impl->colour);
    gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl->glGenRenderbuffers(1, &impl->depth);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, impl->depth);
    gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    gl->glGenFramebuffers(1, &impl->framebuffer);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, impl->framebuffer);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, impl->colour);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, impl->depth);
    impl->valid = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl->glViewport(0, 0, width, height);
}

TestGLContext::~TestGLContext()
{
    if (impl->context && QOpenGLContext::currentContext() == impl->context.get()) {
        impl->context->doneCurrent();
    }
}

bool TestGLContext::valid() const
{
    return impl->valid;
}

int TestGLContext::width() const
{
    return impl->width;
}

int TestGLContext::height() const
{
    return impl->height;
}

void TestGLContext::makeCurrent() const
{
    impl->context->makeCurrent(impl->surface.get());
    bindFramebuffer();
}

void TestGLContext::bindFramebuffer() const
{
    impl->context->functions()->glBindFramebuffer(GL_FRAMEBUFFER, impl->framebuffer);
}

Picture TestGLContext::readPixels() const
{
    const size_t row = static_cast<size_t>(impl->width) * 4;
    std::vector<unsigned char> bottomUp(row * static_cast<size_t>(impl->height));
    QOpenGLFunctions* gl = impl->context->functions();
    gl->glBindFramebuffer(GL_FRAMEBUFFER, impl->framebuffer);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, impl->width, impl->height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    Picture picture{std::vector<unsigned char>(bottomUp.size()), impl->width, impl->height};
    for (int y = 0; y < impl->height; ++y) {
        std::copy_n(bottomUp.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(impl->height - 1 - y)),
                    row, picture.rgba.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(y)));
    }
    return picture;
}
