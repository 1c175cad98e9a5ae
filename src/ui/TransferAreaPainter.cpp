#include "ui/TransferAreaPainter.h"

#include "ui/ValueAxis.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

int bottom(const QRect& area)
{
    return area.y() + area.height();
}

// A histogram value as a bar height fraction: above 1 is full, and what is
// not a number or negative draws no bar.
float barFraction(float v)
{
    if (!(v > 0.0f)) {
        return 0.0f;
    }
    return v > 1.0f ? 1.0f : v;
}

// The grey level of an opacity, as the low byte of opacity * 255. Values
// that are not finite, or too large for an int, read as transparent.
int greyOf(float alpha)
{
    const float grey = alpha * 255;
    if (!std::isfinite(grey) || std::fabs(grey) > 1e9f) {
        return 0;
    }
    return static_cast<int>(grey) & 0xFF;
}

} // namespace

TransferAreaPainter::TransferAreaPainter(QPainter& painter) : painter_(painter) {}

int TransferAreaPainter::usableWidth(const QRect& area)
{
    return area.width() - 4;
}

void TransferAreaPainter::frame(const QRect& area)
{
    painter_.fillRect(area, Qt::black);
    if (area.width() > 2 && area.height() > 2) {
        painter_.fillRect(area.adjusted(1, 1, -1, -1), Qt::white);
    }
}

void TransferAreaPainter::histogram(const QRect& area, const std::vector<float>& values)
{
    const int h = area.height() - 10;
    const int base = bottom(area) - 5;
    const int columns = std::min<int>(static_cast<int>(values.size()), usableWidth(area) + 1);
    for (int x = 0; x < columns; ++x) {
        const int end = static_cast<int>(base - h * barFraction(values[x]));
        verticalLine(area.x() + 2 + x, base, end, Qt::black);
    }
}

void TransferAreaPainter::colorBar(const QRect& area, const std::vector<ColorRGB>& colors, int k)
{
    const int columns = std::min<int>(static_cast<int>(colors.size()), usableWidth(area));
    for (int x = 0; x < columns; ++x) {
        const ColorRGB& c = colors[x];
        verticalLine(area.x() + 2 + x, area.y() + 5, bottom(area) - 5, QColor(c.r & 0xFF, c.g & 0xFF, c.b & 0xFF));
    }
    marker(area, k);
}

void TransferAreaPainter::opacityBar(const QRect& area, const std::vector<float>& alphas, int k)
{
    const int columns = std::min<int>(static_cast<int>(alphas.size()), usableWidth(area));
    for (int x = 0; x < columns; ++x) {
        const int g = greyOf(alphas[x]);
        verticalLine(area.x() + 2 + x, area.y() + 5, bottom(area) - 5, QColor(g, g, g));
    }
    marker(area, k);
}

void TransferAreaPainter::verticalLine(int x, int from, int to, const QColor& color)
{
    if (to > from) {
        painter_.fillRect(x, from, 1, to - from, color);
    } else if (to < from) {
        painter_.fillRect(x, to + 1, 1, from - to, color);
    }
}

void TransferAreaPainter::marker(const QRect& area, int k)
{
    const float fraction = static_cast<float>(k) / static_cast<float>(ValueAxis::sliderMaximum);
    const int m = static_cast<int>(usableWidth(area) * fraction + area.x() + 2);
    verticalLine(m, area.y(), bottom(area), Qt::black);
}
