#include "render/WireframeGrid.h"

#include "diagnostics/Logger.h"
#include "render/GridGeometry.h"

#include <GL/glew.h>

#include <limits>
#include <string>

void WireframeGrid::release()
{
    if (buffer != 0) {
        glDeleteBuffers(1, &buffer);
    }
    buffer = 0;
    tried = false;
    rowStarts.clear();
    rowStarts.shrink_to_fit();
    columnStarts.clear();
    columnStarts.shrink_to_fit();
}

void WireframeGrid::make(const GridGeometry& grid)
{
    if (tried) {
        return;
    }
    tried = true;
    size = grid.size;
    const uint64_t nodes = uint64_t(size[0]) * size[1] * size[2];
    const char* source = "WireframeGrid::make()";
    // Draw calls count their vertices in GLint.
    if (!grid.valid() || nodes > uint64_t(std::numeric_limits<int>::max())) {
        Tool::log(source, "Building grid list .. [FAILED]",
                  "the grid has no wireframe of " + std::to_string(nodes) + " nodes");
        return;
    }
    // Normalised a slice at a time, so the copy never outgrows one slice.
    while (glGetError() != GL_NO_ERROR) {
    }
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(nodes * 3 * sizeof(float)), nullptr, GL_STATIC_DRAW);
    std::vector<float> slice;
    for (uint32_t k = 0; k < size[2] && glGetError() == GL_NO_ERROR; ++k) {
        slice.clear();
        for (uint32_t j = 0; j < size[1]; ++j) {
            for (uint32_t i = 0; i < size[0]; ++i) {
                for (float c : grid.node(i, j, k)) {
                    slice.push_back(c);
                }
            }
        }
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(uint64_t(k) * slice.size() * sizeof(float)),
                        GLsizeiptr(slice.size() * sizeof(float)), slice.data());
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &buffer);
        buffer = 0;
        Tool::log(source, "Building grid list .. [FAILED]",
                  "OpenGL refused " + std::to_string(nodes * 12) + " bytes for the wireframe (out of memory?)");
        return;
    }
    // A row or column of one node has no edge.
    if (size[0] >= 2) {
        for (uint64_t row = 0; row < uint64_t(size[1]) * size[2]; ++row) {
            rowStarts.push_back(int(row * size[0]));
        }
    }
    if (size[1] >= 2) {
        for (uint32_t k = 0; k < size[2]; ++k) {
            columnStarts.push_back(int(uint64_t(k) * size[1]));
        }
    }
}

void WireframeGrid::draw() const
{
    if (buffer == 0) {
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnableClientState(GL_VERTEX_ARRAY);
    glColor3f(1, 1, 1);
    if (!rowStarts.empty()) {
        const std::vector<GLsizei> counts(rowStarts.size(), GLsizei(size[0]));
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glMultiDrawArrays(GL_LINE_STRIP, rowStarts.data(), counts.data(), GLsizei(rowStarts.size()));
    }
    // A stride beyond what GL takes cannot be given: such a grid shows its
    // rows only. Before 4.4 only GLsizei bounds it.
    GLint largestStride = std::numeric_limits<GLsizei>::max();
    if (GLEW_VERSION_4_4) {
        glGetIntegerv(GL_MAX_VERTEX_ATTRIB_STRIDE, &largestStride);
    }
    if (!columnStarts.empty() && uint64_t(size[0]) * 12 <= uint64_t(largestStride)) {
        // Column i: every X-th node from node i, so element j + Y k is node (i, j, k).
        const std::vector<GLsizei> counts(columnStarts.size(), GLsizei(size[1]));
        for (uint32_t i = 0; i < size[0]; ++i) {
            glVertexPointer(3, GL_FLOAT, GLsizei(uint64_t(size[0]) * 3 * sizeof(float)),
                            reinterpret_cast<const void*>(uintptr_t(i) * 3 * sizeof(float)));
            glMultiDrawArrays(GL_LINE_STRIP, columnStarts.data(), counts.data(), GLsizei(columnStarts.size()));
        }
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
