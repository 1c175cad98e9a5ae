#pragma once

#include <string>
#include <vector>

class COpenGLControl;
class QRect;
class QWidget;

// What the GL half of the control needs from the window that hosts its
// context. The Qt half implements it; nothing here names Qt or GL types.
class GLSurface {
public:
    virtual ~GLSurface() = default;

    // Makes the Qt window that feeds control's handlers, hosted in a container
    // widget (returned in container) that is a child of parent at rect. The
    // window belongs to the container, the container to parent.
    static GLSurface* createHosted(COpenGLControl& control, const QRect& rect, QWidget* parent, QWidget*& container);

    // Creates the rendering context and makes it current; called once.
    // On failure returns false with a printable reason.
    virtual bool createContext(std::string& error) = 0;
    // Presents the back buffer when the window is on screen.
    virtual void swapBuffers() = 0;
    // Schedules a paint; the paint runs later from the event loop.
    virtual void requestUpdate() = 0;
    // The same, callable from any thread.
    virtual void requestUpdateFromAnyThread() = 0;
    // Client size in device pixels.
    virtual int pixelWidth() const = 0;
    virtual int pixelHeight() const = 0;
    // text in the window's font, white on transparent, as RGBA8 rows from
    // the top, in device pixels.
    virtual std::vector<unsigned char> textImage(const std::string& text, int& width, int& height) const = 0;
    // Places the window inside its parent, in device-independent pixels.
    virtual void moveWindow(int x, int y, int width, int height) = 0;
};
