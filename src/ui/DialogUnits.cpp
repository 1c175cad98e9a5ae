#include "ui/DialogUnits.h"

#include <QFontMetrics>

namespace {
const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
}

DialogUnits::DialogUnits(const QFont& dialogFont)
{
    QFontMetrics metrics(dialogFont);
    avgCharWidth_ = metrics.horizontalAdvance(QString::fromLatin1(alphabet)) / 52;
    charHeight_ = metrics.height();
}

int DialogUnits::x(int dlu) const
{
    return dlu * avgCharWidth_ / 4;
}

int DialogUnits::y(int dlu) const
{
    return dlu * charHeight_ / 8;
}

QRect DialogUnits::rect(int x, int y, int w, int h) const
{
    return QRect(this->x(x), this->y(y), this->x(w), this->y(h));
}
