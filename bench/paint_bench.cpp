// paint_bench: the control's paint at 1024 x 768 of a 128 x 128 x 32 grid in
// the layer pass with glyphs on, once on a uniform grid and once on a curved
// one, against a floor measured in the same run: a minimal GL loop drawing the
// same slices with the same textures, fragment program and blending, as one
// quad per slice (uniform) or as the same triangles from a vertex buffer
// (curved). Also times the hand-over of the data set (textures and lists),
// and the same view with glyphs and streamlines against it without them.
// Run under Xvfb.
//   paint_bench [PAINTS]
#include <GL/glew.h>

#include "Tools/CGShaderManager.h"
#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "render/GridGeometry.h"
#include "render/OffscreenTarget.h"
#include "support/DataSetBuilder.h"
#include "transfer/Transferfunction.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int width = 1024, height = 768;
constexpr uint32_t X = 128, Y = 128, Z = 32;

double millisecondsOf(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Median of runs, each finished on the GPU side before the clock stops.
double medianPaint(int runs, const std::function<void()>& paint)
{
    for (int i = 0; i < 3; ++i) {
        paint();
    }
    glFinish();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(millisecondsOf([&] {
            paint();
            glFinish();
        }));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::unique_ptr<FlowData> makeData(bool curved)
{
    DataSetBuilder set{X, Y, Z};
    set.frames = 2;
    set.layers = 2;
    set.position = [curved](uint32_t i, uint32_t j, uint32_t k) {
        // Curved: each slice is a gentle dome, so no slice is flat.
        const float bend = curved ? 3.0f * std::sin(float(i) / 40) * std::sin(float(j) / 40) : 0.0f;
        return DataSetBuilder::Vec3{{float(i), float(j), 4.0f * float(k) + bend}};
    };
    auto wave = [](int f, uint32_t i, uint32_t j, uint32_t k) {
        return 0.5f + 0.5f * std::sin(float(i + uint32_t(f)) / 9) * std::cos(float(j + k) / 11);
    };
    set.vector = [wave](int f, uint32_t i, uint32_t j, uint32_t k) {
        const float v = wave(f, i, j, k);
        return DataSetBuilder::Vec3{{v, 1 - v, 0.5f}};
    };
    set.value = [wave](int f, int l, uint32_t i, uint32_t j, uint32_t k) {
        const float v = wave(f, i, j, k);
        return l == 0 ? v : 1 - v;
    };
    return set.build();
}

struct Vertex {
    float s, t, r, x, y, z;
};

// The floor: the same slices, back to front as seen from the start camera,
// with the control's layer and transfer textures and its fragment program.
class Floor {
public:
    Floor(COpenGLControl& control, const FlowData& data, bool curved)
        : control(control), layerTexture(control.textures().layerTexture(0, 0))
    {
        const GridGeometry grid(data.positions, data.size);
        auto vertex = [&](uint32_t i, uint32_t j, uint32_t k) {
            const std::array<float, 3> p = grid.node(i, j, k);
            return Vertex{(float(i) + 0.5f) / X, (float(j) + 0.5f) / Y, (float(k) + 0.5f) / Z, p[0], p[1], p[2]};
        };
        std::vector<Vertex> vertices;
        for (uint32_t k = 0; k < Z; ++k) {
            first.push_back(GLint(vertices.size()));
            if (!curved) {
                quads.push_back({vertex(0, 0, k), vertex(X - 1, 0, k), vertex(X - 1, Y - 1, k), vertex(0, Y - 1, k)});
                continue;
            }
            for (uint32_t j = 0; j + 1 < Y; ++j) {
                for (uint32_t i = 0; i + 1 < X; ++i) {
                    for (const Vertex& v : {vertex(i, j, k), vertex(i + 1, j, k), vertex(i + 1, j + 1, k),
                                            vertex(i, j, k), vertex(i + 1, j + 1, k), vertex(i, j + 1, k)}) {
                        vertices.push_back(v);
                    }
                }
            }
        }
        perSlice = curved ? GLsizei((X - 1) * (Y - 1) * 6) : 0;
        if (curved) {
            glGenBuffers(1, &buffer);
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vertex)), vertices.data(),
                         GL_STATIC_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
    }

    ~Floor()
    {
        if (buffer) {
            glDeleteBuffers(1, &buffer);
        }
    }

    void paint() const
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(control.panX, control.panY, control.panZ * control.zoom);
        glScalef(control.scale, control.scale, control.scale);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, layerTexture);
        glEnable(GL_TEXTURE_3D);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_1D, control.sceneObjects().transferTexture);
        CGShaderManager::instance().bindProgram("TransferFragment");
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        if (buffer) {
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glEnableClientState(GL_VERTEX_ARRAY);
            glTexCoordPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
            glVertexPointer(3, GL_FLOAT, sizeof(Vertex), reinterpret_cast<const void*>(3 * sizeof(float)));
            for (uint32_t k = 0; k < Z; ++k) {
                glDrawArrays(GL_TRIANGLES, first[k], perSlice);
            }
            glDisableClientState(GL_VERTEX_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        } else {
            glBegin(GL_QUADS);
            for (const auto& quad : quads) {
                for (const Vertex& v : quad) {
                    glTexCoord3f(v.s, v.t, v.r);
                    glVertex3f(v.x, v.y, v.z);
                }
            }
            glEnd();
        }
        CGShaderManager::instance().unbindProgram("TransferFragment");
        glActiveTexture(GL_TEXTURE0);
        glDisable(GL_TEXTURE_3D);
    }

private:
    const COpenGLControl& control;
    const unsigned int layerTexture;
    std::vector<std::array<Vertex, 4>> quads;
    std::vector<GLint> first;
    GLsizei perSlice = 0;
    GLuint buffer = 0;
};

struct Result {
    double ours, floor, upload;
    double plain, flow; // the same view without, and with, glyphs and streamlines
};

Result measure(COpenGLControl& control, bool curved, int runs)
{
    std::unique_ptr<FlowData> data = makeData(curved);
    Result result{};
    result.upload = millisecondsOf([&] {
        control.setFlowData(data.get());
        glFinish();
    });
    control.showLayer = true;
    control.showGlyphs = true;
    control.loadTransferTexture(Transferfunction());
    // Both draw into the same off-screen buffer; the window is never shown, so
    // the paint presents nothing and the times are the drawing alone.
    OffscreenTarget target(width, height);
    if (!target.complete()) {
        std::fprintf(stderr, "paint_bench: no off-screen buffer\n");
        std::exit(1);
    }
    const Floor floor(control, *data, curved);
    result.ours = medianPaint(runs, [&] { control.OnPaint(); });
    result.floor = medianPaint(runs, [&] { floor.paint(); });
    // Interleaved second round, against drift of a shared machine.
    result.ours = std::min(result.ours, medianPaint(runs, [&] { control.OnPaint(); }));
    result.floor = std::min(result.floor, medianPaint(runs, [&] { floor.paint(); }));
    control.showGlyphs = false;
    result.plain = medianPaint(runs, [&] { control.OnPaint(); });
    control.showGlyphs = true;
    control.showStreamlines = true;
    control.waitForStreamlines();
    result.flow = medianPaint(runs, [&] { control.OnPaint(); });
    control.showGlyphs = false;
    control.showStreamlines = false;
    result.plain = std::min(result.plain, medianPaint(runs, [&] { control.OnPaint(); }));
    control.showGlyphs = true;
    control.showStreamlines = true;
    result.flow = std::min(result.flow, medianPaint(runs, [&] { control.OnPaint(); }));
    control.showStreamlines = false;
    control.setFlowData(nullptr);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    QWidget parent;
    parent.resize(width, height);
    COpenGLControl control;
    control.oglCreate(QRect(0, 0, width, height), &parent);

    const Result uniform = measure(control, false, runs);
    std::printf("uniform %ux%ux%u: paint %.2f ms, floor (one quad per slice) %.2f ms, hand-over %.1f ms\n", X, Y, Z,
                uniform.ours, uniform.floor, uniform.upload);
    const Result curved = measure(control, true, runs);
    std::printf("curved  %ux%ux%u: paint %.2f ms, floor (vertex buffer) %.2f ms, hand-over %.1f ms\n", X, Y, Z,
                curved.ours, curved.floor, curved.upload);
    std::printf("with glyphs and 512 streamlines: uniform %.2f ms against %.2f ms without, curved %.2f ms against %.2f "
                "ms\n",
                uniform.flow, uniform.plain, curved.flow, curved.plain);
    std::printf("flow_ratio_uniform=%.3f flow_ratio_curved=%.3f ", uniform.flow / uniform.plain,
                curved.flow / curved.plain);
    std::printf("paint_ratio_uniform=%.3f paint_ratio_curved=%.3f upload_ms=%.1f\n", uniform.ours / uniform.floor,
                curved.ours / curved.floor, uniform.upload);
    return 0;
}
