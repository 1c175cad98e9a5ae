#include "support/Picture.h"

#include <QImage>
#include <QString>

#include <cstring>

Picture Picture::read(const std::string& path)
{
    return of(QImage(QString::fromStdString(path)));
}

Picture Picture::of(const QImage& original)
{
    Picture picture;
    const QImage image = original.convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull()) {
        return picture;
    }
    picture.width = image.width();
    picture.height = image.height();
    const size_t row = size_t(picture.width) * 4;
    picture.rgba.resize(row * size_t(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        std::memcpy(picture.rgba.data() + row * size_t(y), image.constScanLine(y), row);
    }
    return picture;
}

Picture::RGB Picture::at(int x, int y) const
{
    const size_t n = (size_t(y) * size_t(width) + size_t(x)) * 4;
    return {{rgba[n], rgba[n + 1], rgba[n + 2]}};
}

std::array<int, 4> Picture::pixel(int x, int y) const
{
    const size_t n = (size_t(y) * size_t(width) + size_t(x)) * 4;
    return {{rgba[n], rgba[n + 1], rgba[n + 2], rgba[n + 3]}};
}

bool Picture::bright(int x, int y) const
{
    const RGB c = at(x, y);
    return c[0] >= 250 && c[1] >= 250 && c[2] >= 250;
}

int Picture::count(const std::function<bool(const RGB&)>& test) const
{
    int passing = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            passing += test(at(x, y));
        }
    }
    return passing;
}
