#pragma once

#include <GL/glew.h>

#include "FlowWriter.h"
#include "diagnostics/Logger.h"
#include "flowdata/MemoryBudget.h"
#include "render/COpenGLControl.h"
#include "render/GLSurface.h"
#include "render/GridGeometry.h"
#include "render/SliceOrder.h"
#include "support/CountingSurface.h"
#include "support/DataSetBuilder.h"
#include "support/NoProgress.h"
#include "support/Picture.h"
#include "support/TestApplication.h"
#include "transfer/Transferfunction.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <array>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <set>
#include <vector>

constexpr int viewSize = 400;

using Vec3 = std::array<float, 3>;
using Grid = DataSetBuilder;

// The single control of the process (the shader manager accepts each program
// name once), created on first use; the start-up log is kept for its test.
struct Viewer {
    QWidget parent;
    COpenGLControl control;
    std::vector<Tool::Message> startUp;

    Viewer();
};

Viewer& viewer();

Picture render(COpenGLControl& control);

// Where a point of the normalised data box lands in the picture (top row
// first), following the camera's transform independently of GL.
std::array<float, 2> project(const COpenGLControl& c, Vec3 p, int width, int height, bool dataScale = true);

void expectColour(const Picture& p, float fx, float fy, std::array<int, 3> expected, int tolerance = 3);

// Transfer function made of the given colour and opacity points only.
Transferfunction transfer(std::deque<Transferfunction::ColorPoint> colours,
                          std::deque<Transferfunction::AlphaPoint> alphas);

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        COpenGLControl& c = viewer().control;
        ASSERT_NE(c.window(), nullptr);
        c.resetCamera();
        c.scale = 5.0f; // a 4 x 4 grid fits the 400 x 400 view
        c.showAxes = false;
        c.showWireframe = false;
        c.showLayer = false;
        c.showGlyphs = false;
        c.showStreamlines = false;
    }

    // The data set dies with the fixture; the control lets go of it first.
    void TearDown() override { control().setFlowData(nullptr); }

    COpenGLControl& control() { return viewer().control; }

    // Loads data into the control; the control keeps a pointer, so the data
    // set lives as long as the fixture.
    void show(const Grid& g)
    {
        data = g.build();
        control().setFlowData(data.get());
    }

    Vec3 node(uint32_t i, uint32_t j, uint32_t k) const
    {
        const GridGeometry grid(data->positions, data->size);
        return grid.node(i, j, k);
    }

    // Draws every frame's vectors and layers once.
    void drawEveryFrameAndLayer(const Grid& g)
    {
        for (int f = 0; f < g.frames; ++f) {
            control().currentFrame = uint32_t(f);
            control().showLayer = false;
            render(control());
            control().showLayer = true;
            for (int l = 0; l < g.layers; ++l) {
                control().currentLayer = uint32_t(l);
                render(control());
            }
        }
    }

    std::unique_ptr<FlowData> data;
};
