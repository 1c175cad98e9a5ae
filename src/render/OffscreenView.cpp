#include "render/OffscreenView.h"

#include "render/COpenGLControl.h"

OffscreenView::OffscreenView(COpenGLControl& control, int width, int height)
    : control(control), width(width), height(height), previousFrame(control.currentFrame),
      hasContext(control.hasContext()), target(hasContext ? width : 0, hasContext ? height : 0)
{
    // The window draws into its own framebuffer between pictures.
    if (target.complete()) {
        target.unbind();
    }
}

OffscreenView::~OffscreenView()
{
    control.currentFrame = previousFrame;
}

void OffscreenView::draw(uint32_t frame, std::vector<unsigned char>& rgba)
{
    if (!ready()) {
        return;
    }
    control.currentFrame = frame;
    // Each picture shows the streamlines of its own frame.
    control.waitForStreamlines();
    target.bind();
    control.paintAt(width, height);
    target.read(rgba);
    target.unbind();
}
