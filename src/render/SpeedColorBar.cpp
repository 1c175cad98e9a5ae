#include "render/SpeedColorBar.h"

#include "render/GLSurface.h"
#include "transfer/SpeedColorMap.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int margin = 16;      // from the view's edges, pixels
constexpr int barWidth = 12;    // pixels
constexpr int longestBar = 128; // pixels; shorter in a low view
constexpr int samples = 10;     // the map is linear between its samples
} // namespace

void SpeedColorBar::setRange(float low, float high)
{
    slowest = low;
    fastest = high;
}

// Label textures are remade only when their text changes.
void SpeedColorBar::prepare(const GLSurface& surface, Label& label, float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", double(value));
    if (label.texture != 0 && label.text == text) {
        return;
    }
    label.text = text;
    const std::vector<unsigned char> rgba = surface.textImage(label.text, label.width, label.height);
    if (label.texture == 0) {
        glGenTextures(1, &label.texture);
    }
    glBindTexture(GL_TEXTURE_2D, label.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, label.width, label.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

// Right-aligned at x = right, centred on y = middle; the image's top row at
// the top. A dark backing keeps it readable over white grid lines.
void SpeedColorBar::drawLabel(const Label& label, int right, int middle)
{
    const int left = right - label.width, bottom = middle - label.height / 2, top = bottom + label.height;
    glDisable(GL_TEXTURE_2D);
    glColor4f(0, 0, 0, 0.75f);
    glRecti(left - 2, bottom, right + 2, top);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, label.texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2i(left, bottom);
    glTexCoord2f(1, 1);
    glVertex2i(right, bottom);
    glTexCoord2f(1, 0);
    glVertex2i(right, top);
    glTexCoord2f(0, 0);
    glVertex2i(left, top);
    glEnd();
}

// Pixels of the viewport, drawn over everything, no texture but the labels,
// and blended for their backing; keeps what it changes for restore().
void SpeedColorBar::setUp(int width, int height)
{
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_3D);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); // the picture stays opaque
}

void SpeedColorBar::restore()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void SpeedColorBar::draw(const GLSurface& surface)
{
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2], height = viewport[3];
    const int length = std::min(longestBar, height / 3);
    if (length < 2 || width < 2 * margin + barWidth) {
        return;
    }
    setUp(width, height);

    const int right = width - margin, left = right - barWidth, bottom = margin, top = bottom + length;
    glBegin(GL_QUAD_STRIP);
    for (int n = 0; n <= samples; ++n) {
        const std::array<float, 3> c = SpeedColorMap::at(float(n) / samples);
        glColor3f(c[0], c[1], c[2]);
        const int y = bottom + (top - bottom) * n / samples;
        glVertex2i(left, y);
        glVertex2i(right, y);
    }
    glEnd();

    prepare(surface, low, slowest);
    prepare(surface, high, fastest);
    drawLabel(low, left - 6, bottom);
    drawLabel(high, left - 6, top);
    restore();
}
