#pragma once

#include <QFont>
#include <QRect>

// Converts dialog-template units into pixels for a given dialog font: a
// horizontal unit is a quarter of the average character width, a vertical
// unit an eighth of the character height. Pixels are rounded to the nearest.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& dialogFont);

    int x(int dlu) const;
    int y(int dlu) const;
    QRect rect(int x, int y, int w, int h) const;

private:
    int avgCharWidth_;
    int charHeight_;
};
