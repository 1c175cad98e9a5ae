#include "render/COpenGLWindow.h"

#include "render/COpenGLControl.h"
#include "render/KeyFlags.h"
#include "render/WindowMessages.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

GLSurface* GLSurface::createHosted(COpenGLControl& control, const QRect& rect, QWidget* parent, QWidget*& container)
{
    auto* window = new COpenGLWindow(control);
    container = QWidget::createWindowContainer(window, parent);
    container->setObjectName("OpenGLControl");
    container->setGeometry(rect);
    window->container = container;
    // The window's size is the client size from the start, before the
    // container has been shown and laid out.
    window->resize(rect.size());
    container->show();
    return window;
}

COpenGLWindow::COpenGLWindow(COpenGLControl& control) : control(control)
{
    setSurfaceType(QSurface::OpenGLSurface);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    // Without it Mesa hands out a core context, in which display lists and
    // immediate mode do not exist.
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    setFormat(format);
    context.setFormat(format);
}

bool COpenGLWindow::createContext(std::string& error)
{
    create();
    if (!handle()) {
        error = "the window system gave no window";
        return false;
    }
    if (!context.create()) {
        error = "the window system offers no OpenGL context";
        return false;
    }
    if (context.format().depthBufferSize() < 16) {
        error = "no depth buffer of 16 bits";
        return false;
    }
    if (!context.makeCurrent(this)) {
        error = "the OpenGL context cannot be made current";
        return false;
    }
    return true;
}

void COpenGLWindow::swapBuffers()
{
    // Swapping a window that is not on screen is undefined.
    if (isExposed()) {
        context.swapBuffers(this);
    }
}

void COpenGLWindow::requestUpdate()
{
    QWindow::requestUpdate();
}

void COpenGLWindow::requestUpdateFromAnyThread()
{
    QMetaObject::invokeMethod(
        this, [this] { requestUpdate(); }, Qt::QueuedConnection);
}

int COpenGLWindow::pixelWidth() const
{
    return int(width() * devicePixelRatio());
}

int COpenGLWindow::pixelHeight() const
{
    return int(height() * devicePixelRatio());
}

std::vector<unsigned char> COpenGLWindow::textImage(const std::string& text, int& width, int& height) const
{
    const QString string = QString::fromStdString(text);
    const QFont font = QGuiApplication::font();
    const QFontMetrics metrics(font);
    const qreal ratio = devicePixelRatio();
    width = int(std::ceil(metrics.horizontalAdvance(string) * ratio));
    height = int(std::ceil(metrics.height() * ratio));
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(0, metrics.ascent()), string);
    painter.end();
    std::vector<unsigned char> rgba(size_t(image.width()) * size_t(image.height()) * 4);
    for (int y = 0; y < image.height(); ++y) {
        std::copy_n(image.constScanLine(y), image.width() * 4, rgba.begin() + ptrdiff_t(y) * image.width() * 4);
    }
    width = image.width();
    height = image.height();
    return rgba;
}

void COpenGLWindow::moveWindow(int x, int y, int width, int height)
{
    if (container) {
        container->setGeometry(x, y, width, height);
    }
    // Like a window move, the new client size holds at once.
    resize(width, height);
}

bool COpenGLWindow::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        if (isExposed()) {
            control.OnPaint();
        }
        return true;
    }
    return QWindow::event(event);
}

void COpenGLWindow::exposeEvent(QExposeEvent*)
{
    if (isExposed()) {
        control.OnPaint();
    }
}

void COpenGLWindow::resizeEvent(QResizeEvent* event)
{
    const QWidget* top = container ? container->window() : nullptr;
    const unsigned type = (top && top->isMinimized()) ? SIZE_MINIMIZED : SIZE_RESTORED;
    control.OnSize(type, event->size().width(), event->size().height());
}

void COpenGLWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    control.OnMouseMove(keyFlags(event->buttons(), event->modifiers()), int(p.x()), int(p.y()));
}

void COpenGLWindow::wheelEvent(QWheelEvent* event)
{
    // Only the sign counts: one event is one step. A tilt to the right is a
    // positive step, as the view expects; Qt reports it as negative.
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : -angle.x();
    const short step = short(std::clamp(delta, -32768, 32767));
    const QPointF p = event->position();
    control.OnMouseHWheel(keyFlags(event->buttons(), event->modifiers()), step, int(p.x()), int(p.y()));
}
