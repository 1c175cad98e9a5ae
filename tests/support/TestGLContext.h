#pragma once

#include "support/Picture.h"

#include <memory>

// A current compatibility-profile GL context for tests, with no dialog. It
// draws into a width x height framebuffer of RGBA8 colour and 24-bit depth,
// with the viewport set to it. Creates the GUI application when there is none.
// GL objects made in one such context do not carry over to another.
class TestGLContext {
public:
    TestGLContext(int width, int height);
    ~TestGLContext();
    TestGLContext(const TestGLContext&) = delete;
    TestGLContext& operator=(const TestGLContext&) = delete;

    bool valid() const;
    int width() const;
    int height() const;
    // Makes this context current again, with its framebuffer bound.
    void makeCurrent() const;
    // Binds the framebuffer again, for code that switched away from it.
    void bindFramebuffer() const;
    // The framebuffer's pixels.
    Picture readPixels() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
