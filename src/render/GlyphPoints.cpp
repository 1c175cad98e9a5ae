#include "render/GlyphPoints.h"

#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/GridGeometry.h"
#include "transfer/SpeedColorMap.h"

#include <GL/glew.h>

#include <cmath>

namespace {
using Vec3 = std::array<float, 3>;

// The frame's vector at index point (fi, fj) of the bottom slice, bilinear
// between the four nodes around it; zero without vectors.
Vec3 sampleBottom(const DataFrame* frame, const std::array<uint32_t, 3>& size, float fi, float fj)
{
    Vec3 v{{0, 0, 0}};
    if (!frame || frame->vectors.size() / 3 < uint64_t(size[0]) * size[1] * size[2]) {
        return v;
    }
    const uint32_t i = size[0] < 2 ? 0 : std::min(uint32_t(fi), size[0] - 2);
    const uint32_t j = size[1] < 2 ? 0 : std::min(uint32_t(fj), size[1] - 2);
    const float u = fi - float(i), w = fj - float(j);
    for (uint32_t dj = 0; dj < 2; ++dj) {
        for (uint32_t di = 0; di < 2; ++di) {
            const float weight = (di ? u : 1 - u) * (dj ? w : 1 - w);
            if (weight == 0) {
                continue;
            }
            const size_t n = 3 * (size_t(j + dj) * size[0] + i + di);
            for (int c = 0; c < 3; ++c) {
                v[size_t(c)] += weight * frame->vectors[n + size_t(c)];
            }
        }
    }
    return v;
}
} // namespace

void GlyphPoints::build(unsigned int& list, const FlowData* data, int columnCount, int rowCount, uint32_t frameIndex)
{
    columns = columnCount;
    rows = rowCount;
    frame = frameIndex;
    if (glIsList(list)) {
        glDeleteLists(list, 1);
    }
    list = 0;
    const std::array<uint32_t, 3>* size = data ? data->getSize() : nullptr;
    if (!size || columns < 0 || rows < 0) {
        return;
    }
    const GridGeometry grid(data->positions, *size);
    if (!grid.valid()) {
        return;
    }
    std::shared_ptr<const DataFrame> vectors;
    try {
        vectors = data->frame(frameIndex);
    } catch (const Tool::Exception& e) {
        // The glyphs show no arrows; the frame's failure is logged on its first visit.
        if (logged.insert(e.text).second) {
            Tool::Logger::instance().log(e.toMessage());
        }
    }
    const float hx = grid.extent[0] / 2, hy = grid.extent[1] / 2, hz = grid.extent[2] / 2;
    const float stepX = grid.extent[0] / float(columns + 1);
    const float stepY = grid.extent[1] / float(rows + 1);
    const float s = grid.factor;

    list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glBegin(GL_POINTS);
    const float z = -hz * s; // the bottom face of the box
    for (int r = 0; r <= rows + 1; ++r) {
        const float y = (-hy + float(r) * stepY) * s;
        for (int q = 0; q <= columns + 1; ++q) {
            // The same share of the way across in index space as in the box.
            const Vec3 v = sampleBottom(vectors.get(), *size, float(q) / float(columns + 1) * float((*size)[0] - 1),
                                        float(r) / float(rows + 1) * float((*size)[1] - 1));
            const float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            const Vec3 colour = SpeedColorMap::ofSpeed(speed, data->speedMin, data->speedMax);
            glColor3f(colour[0], colour[1], colour[2]);
            if (std::isfinite(speed)) {
                glNormal3f(v[0], v[1], v[2]);
            } else {
                glNormal3f(0, 0, 0);
            }
            glVertex3f((-hx + float(q) * stepX) * s, y, z);
        }
    }
    glEnd();
    glEndList();
}

void GlyphPoints::follow(unsigned int& list, const FlowData& data, uint32_t frameIndex)
{
    if (frameIndex != frame && data.getSize()) {
        build(list, &data, columns, rows, frameIndex);
    }
}
