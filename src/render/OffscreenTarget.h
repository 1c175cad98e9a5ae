#pragma once

#include <vector>

// A framebuffer object with an RGBA8 colour and a 24-bit depth buffer, bound
// for drawing while the object lives. Lets the control draw a picture and
// read it back whether or not its window is on screen. Needs a current context.
class OffscreenTarget {
public:
    OffscreenTarget(int width, int height);
    ~OffscreenTarget();
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    bool complete() const { return ok; }
    // Binds the framebuffer again, or the one bound before it, for drawing
    // into the window between pictures drawn here.
    void bind() const;
    void unbind() const;
    // The largest width or height the driver draws and reads back.
    static int largestSide();
    // The colour buffer as RGBA8, top row first.
    void read(std::vector<unsigned char>& rgba) const;

private:
    int width, height;
    unsigned int framebuffer = 0, colour = 0, depth = 0;
    int previous = 0; // the framebuffer bound before, restored on destruction
    bool ok = false;
};
