#include "ui/DialogUnits.h"

#include <QFontMetrics>

namespace {
const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// value * numerator / denominator rounded to the nearest, halves up, for the
// non-negative values of a template.
int scaleRounded(int value, int numerator, int denominator)
{
    return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) / denominator);
}
} // namespace

DialogUnits::DialogUnits(const QFont& dialogFont)
{
    QFontMetrics metrics(dialogFont);
    // The width of the 52 letters over 52, rounded to the nearest pixel.
    avgCharWidth_ = (metrics.horizontalAdvance(QString::fromLatin1(alphabet)) / 26 + 1) / 2;
    charHeight_ = metrics.height();
}

int DialogUnits::x(int dlu) const
{
    return scaleRounded(dlu, avgCharWidth_, 4);
}

int DialogUnits::y(int dlu) const
{
    return scaleRounded(dlu, charHeight_, 8);
}

QRect DialogUnits::rect(int x, int y, int w, int h) const
{
    return QRect(this->x(x), this->y(y), this->x(w), this->y(h));
}
