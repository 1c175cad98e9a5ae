#pragma once

#include "transfer/ColorRGB.h"

#include <QRect>

#include <vector>

class QColor;
class QPainter;

// Draws the editor's three areas the way the dialog's device context did:
// a white rectangle with a one-pixel black outline, and vertical lines that
// stop one pixel short of their end point. Rectangles are taken as left, top,
// right, bottom with right and bottom just outside the area.
class TransferAreaPainter {
public:
    explicit TransferAreaPainter(QPainter& painter);

    // Columns available for bars: the width less the frame and a margin.
    static int usableWidth(const QRect& area);

    void frame(const QRect& area);
    // Bars rising from 5 pixels above the bottom, column x showing value x.
    void histogram(const QRect& area, const std::vector<float>& values);
    // One column per colour, then the marker of value slider position k.
    void colorBar(const QRect& area, const std::vector<ColorRGB>& colors, int k);
    // One grey column per opacity (black is transparent), then the marker.
    void opacityBar(const QRect& area, const std::vector<float>& alphas, int k);

private:
    void verticalLine(int x, int from, int to, const QColor& color);
    void marker(const QRect& area, int k);

    QPainter& painter_;
};
