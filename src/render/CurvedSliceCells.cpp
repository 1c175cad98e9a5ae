#include "render/CurvedSliceCells.h"

#include "render/GridGeometry.h"
#include "render/SliceOrder.h"

#include <GL/glew.h>
#include <boost/sort/spreadsort/integer_sort.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

struct Vertex {
    float s, t, r, x, y, z;
};

void clearErrors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

} // namespace

bool CurvedSliceCells::build(const GridGeometry& grid, const std::vector<uint32_t>& curved, std::string& problem)
{
    release();
    const uint32_t X = grid.size[0], Y = grid.size[1], Z = grid.size[2];
    if (X < 2 || Y < 2 || curved.empty()) {
        return true;
    }
    const uint64_t nodesPerSlice = uint64_t(X) * Y;
    const uint64_t cellsPerSlice = uint64_t(X - 1) * (Y - 1);
    // Vertex numbers and cell numbers within a slice are 32 bits wide.
    if (nodesPerSlice * curved.size() > std::numeric_limits<uint32_t>::max()) {
        problem = std::to_string(curved.size()) + " curved slices of " + std::to_string(nodesPerSlice) +
                  " nodes exceed 2^32 vertices";
        return false;
    }
    columns = X;
    slot.assign(Z, -1);
    clearErrors();
    glGenBuffers(1, &vertexBuffer);
    glGenBuffers(1, &indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(nodesPerSlice * curved.size() * sizeof(Vertex)), nullptr, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(cellsPerSlice * 6 * curved.size() * sizeof(GLuint)), nullptr,
                 GL_DYNAMIC_DRAW);
    bool ok = glGetError() == GL_NO_ERROR;

    std::vector<Vertex> vertices(nodesPerSlice);
    centres.reserve(cellsPerSlice * curved.size());
    for (size_t n = 0; ok && n < curved.size(); ++n) {
        const uint32_t k = curved[n];
        Slice slice;
        slice.firstVertex = uint32_t(n * nodesPerSlice);
        slice.firstIndex = n * cellsPerSlice * 6;
        slice.firstCell = centres.size();
        slice.cells = cellsPerSlice;
        // Texture coordinates at the nodes' texel centres, as the slice lists have them.
        for (uint32_t j = 0; j < Y; ++j) {
            for (uint32_t i = 0; i < X; ++i) {
                const std::array<float, 3> p = grid.node(i, j, k);
                vertices[size_t(j) * X + i] = {(float(i) + 0.5f) / float(X),
                                               (float(j) + 0.5f) / float(Y),
                                               (float(k) + 0.5f) / float(Z),
                                               p[0],
                                               p[1],
                                               p[2]};
            }
        }
        for (uint32_t j = 0; j + 1 < Y; ++j) {
            for (uint32_t i = 0; i + 1 < X; ++i) {
                std::array<float, 3> c{{0, 0, 0}};
                for (size_t v :
                     {size_t(j) * X + i, size_t(j) * X + i + 1, size_t(j + 1) * X + i + 1, size_t(j + 1) * X + i}) {
                    c[0] += vertices[v].x / 4;
                    c[1] += vertices[v].y / 4;
                    c[2] += vertices[v].z / 4;
                }
                centres.push_back(c);
            }
        }
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(slice.firstVertex * sizeof(Vertex)),
                        GLsizeiptr(nodesPerSlice * sizeof(Vertex)), vertices.data());
        ok = glGetError() == GL_NO_ERROR;
        slot[k] = int32_t(slices.size());
        slices.push_back(slice);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    if (!ok) {
        problem = "OpenGL refused the buffers of " + std::to_string(curved.size()) + " curved slices (out of memory?)";
        release();
    }
    return ok;
}

// Farthest cell first; equal distances keep the cells' own order.
bool CurvedSliceCells::sort(Slice& slice, const float modelView[16])
{
    std::vector<uint64_t> keys(slice.cells);
    for (size_t c = 0; c < slice.cells; ++c) {
        float d = eyeDistanceSquared(modelView, centres[slice.firstCell + c]);
        if (std::isnan(d)) {
            d = 0;
        }
        // A non-negative float's bits order like the float; inverted, the
        // largest distance sorts first.
        uint32_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        keys[c] = (uint64_t(~bits) << 32) | c;
    }
    boost::sort::spreadsort::integer_sort(keys.begin(), keys.end());
    // Written straight into the buffer: no second copy of a large slice.
    auto* indices = static_cast<GLuint*>(
        glMapBufferRange(GL_ELEMENT_ARRAY_BUFFER, GLintptr(slice.firstIndex * sizeof(GLuint)),
                         GLsizeiptr(slice.cells * 6 * sizeof(GLuint)), GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT));
    if (!indices) {
        return false;
    }
    const uint32_t cellsPerRow = columns - 1;
    for (uint64_t key : keys) {
        const uint32_t c = uint32_t(key);
        const GLuint v = slice.firstVertex + (c / cellsPerRow) * columns + c % cellsPerRow;
        const GLuint corners[6] = {v, v + 1, v + columns + 1, v, v + columns + 1, v + columns};
        indices = std::copy(corners, corners + 6, indices);
    }
    glUnmapBuffer(GL_ELEMENT_ARRAY_BUFFER);
    std::copy(modelView, modelView + 16, slice.sortedFor.begin());
    slice.sorted = true;
    return true;
}

void CurvedSliceCells::draw(uint32_t k, const float modelView[16])
{
    if (!holds(k)) {
        return;
    }
    Slice& slice = slices[size_t(slot[k])];
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    const bool current = slice.sorted && std::equal(modelView, modelView + 16, slice.sortedFor.begin());
    if (current || sort(slice, modelView)) {
        glColor3f(1, 1, 1);
        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glTexCoordPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), reinterpret_cast<const void*>(offsetof(Vertex, x)));
        glDrawElements(GL_TRIANGLES, GLsizei(slice.cells * 6), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(slice.firstIndex * sizeof(GLuint)));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CurvedSliceCells::release()
{
    if (vertexBuffer) {
        glDeleteBuffers(1, &vertexBuffer);
    }
    if (indexBuffer) {
        glDeleteBuffers(1, &indexBuffer);
    }
    vertexBuffer = indexBuffer = 0;
    slices.clear();
    slot.clear();
    centres.clear();
    centres.shrink_to_fit();
}
