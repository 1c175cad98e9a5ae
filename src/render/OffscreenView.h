#pragma once

#include "render/OffscreenTarget.h"

#include <cstdint>
#include <vector>

class COpenGLControl;

// The control's view drawn frame by frame into one off-screen picture of a
// fixed size, independent of the window: for snapshots and movies. The
// control's current frame is restored when the view goes. Needs the
// control's context current.
class OffscreenView {
public:
    OffscreenView(COpenGLControl& control, int width, int height);
    ~OffscreenView();
    OffscreenView(const OffscreenView&) = delete;
    OffscreenView& operator=(const OffscreenView&) = delete;

    // False without a context, or when the driver cannot make the picture.
    bool ready() const { return target.complete() && hasContext; }
    // Draws the view with frame as the current frame; rgba gets the picture,
    // RGBA8, top row first. Throws Tool::Exception, naming the frame and the
    // reason, when its data cannot be read or drawn.
    void draw(uint32_t frame, std::vector<unsigned char>& rgba);

private:
    COpenGLControl& control;
    int width, height;
    uint32_t previousFrame;
    bool hasContext;
    OffscreenTarget target;
};
