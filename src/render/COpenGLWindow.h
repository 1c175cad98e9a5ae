#pragma once

#include "render/GLSurface.h"

#include <QOpenGLContext>
#include <QWindow>

class COpenGLControl;

// The Qt half of the control: a window with its own compatibility-profile
// context. It turns expose, update, resize, mouse and wheel events into the
// control's handlers and gives the GL half its context, buffer swap and
// update requests.
class COpenGLWindow : public QWindow, public GLSurface {
public:
    explicit COpenGLWindow(COpenGLControl& control);

    bool createContext(std::string& error) override;
    void swapBuffers() override;
    void requestUpdate() override;
    void requestUpdateFromAnyThread() override;
    int pixelWidth() const override;
    int pixelHeight() const override;
    std::vector<unsigned char> textImage(const std::string& text, int& width, int& height) const override;
    void moveWindow(int x, int y, int width, int height) override;

    QWidget* container = nullptr;

protected:
    bool event(QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    COpenGLControl& control;
    QOpenGLContext context;
};
