#include "render/OffscreenView.h"

#include "render/COpenGLControl.h"

#include "diagnostics/Exception.h"
#include "flowdata/FlowData.h"

#include <memory>
#include <string>

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
    // The frame is read first and held while it is drawn, so that every pass
    // draws it; one that cannot be read is no picture, though the window
    // would show the last one it drew.
    // A view with no data set has no frame to read: its picture is the empty scene.
    std::shared_ptr<const DataFrame> held;
    const FlowData* data = control.data();
    if (data != nullptr && data->getSize() != nullptr) {
        try {
            held = data->frame(frame);
        } catch (const Tool::Exception& e) {
            TOOL_THROW("OffscreenView::draw()", "frame " + std::to_string(frame) + ": " + e.text);
        }
    }
    control.currentFrame = frame;
    // Each picture shows the streamlines of its own frame.
    control.waitForStreamlines();
    target.bind();
    const std::string standIn = control.paintAt(width, height);
    target.read(rgba);
    target.unbind();
    if (!standIn.empty()) {
        TOOL_THROW("OffscreenView::draw()", "frame " + std::to_string(frame) + ": " + standIn);
    }
}
