// The OpenGL control: start-up, the textures and lists it makes from a data
// set, the pictures it draws (read back from an off-screen buffer), the
// camera and size handling.
#include <GL/glew.h>

#include "FlowWriter.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "flowdata/MemoryBudget.h"
#include "render/COpenGLControl.h"
#include "render/GLSurface.h"
#include "render/GridGeometry.h"
#include "render/SliceOrder.h"
#include "support/CountingSurface.h"
#include "transfer/Transferfunction.h"

#include <boost/filesystem.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <set>

namespace {

constexpr int viewSize = 400;

using Vec3 = std::array<float, 3>;

QApplication& application()
{
    static int argc = 1;
    static char name[] = "test_render";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The single control of the process (the shader manager accepts each program
// name once), created on first use; the start-up log is kept for its test.
struct Viewer {
    QWidget parent;
    COpenGLControl control;
    std::vector<Tool::Message> startUp;

    Viewer()
    {
        parent.resize(viewSize, viewSize);
        Tool::Logger& logger = Tool::Logger::instance();
        logger.enabled = true;
        const size_t before = logger.history.size();
        control.oglCreate(QRect(0, 0, viewSize, viewSize), &parent);
        startUp.assign(logger.history.begin() + long(before), logger.history.end());
    }
};

Viewer& viewer()
{
    application();
    static Viewer* shared = new Viewer();
    return *shared;
}

struct Grid {
    uint32_t X, Y, Z;
    int frames = 1, layers = 0;
    std::function<Vec3(uint32_t, uint32_t, uint32_t)> position = [](uint32_t i, uint32_t j, uint32_t k) {
        return Vec3{{float(i), float(j), float(k)}};
    };
    std::function<Vec3(int, uint32_t, uint32_t, uint32_t)> vector = [](int, uint32_t, uint32_t, uint32_t) {
        return Vec3{{0, 0, 0}};
    };
    std::function<float(int, int, uint32_t, uint32_t, uint32_t)> value = [](int, int, uint32_t, uint32_t, uint32_t) {
        return 0.0f;
    };
};

// A data set filled in memory, as a successful load leaves it.
std::unique_ptr<FlowData> makeData(const Grid& g)
{
    auto data = std::make_unique<FlowData>();
    data->size = {{g.X, g.Y, g.Z}};
    data->layerCount = g.layers;
    data->frameCount = g.frames;
    for (uint32_t k = 0; k < g.Z; ++k)
        for (uint32_t j = 0; j < g.Y; ++j)
            for (uint32_t i = 0; i < g.X; ++i)
                for (float c : g.position(i, j, k))
                    data->positions.push_back(c);
    for (int f = 0; f < g.frames; ++f) {
        DataFrame frame;
        frame.size = data->size;
        frame.layers.resize(size_t(g.layers));
        for (uint32_t k = 0; k < g.Z; ++k)
            for (uint32_t j = 0; j < g.Y; ++j)
                for (uint32_t i = 0; i < g.X; ++i) {
                    for (float c : g.vector(f, i, j, k))
                        frame.vectors.push_back(c);
                    for (int l = 0; l < g.layers; ++l)
                        frame.layers[size_t(l)].values.push_back(g.value(f, l, i, j, k));
                }
        data->frames.push_back(frame);
    }
    // The speed range, as a load leaves it.
    data->speedMin = std::numeric_limits<float>::max();
    for (const DataFrame& frame : data->frames)
        for (size_t n = 0; n + 2 < frame.vectors.size(); n += 3) {
            const float speed = std::hypot(frame.vectors[n], frame.vectors[n + 1], frame.vectors[n + 2]);
            data->speedMin = std::min(data->speedMin, speed);
            data->speedMax = std::max(data->speedMax, speed);
        }
    return data;
}

struct Picture {
    std::vector<unsigned char> rgba;
    int width = 0, height = 0;

    std::array<int, 3> at(int x, int y) const
    {
        const size_t n = (size_t(y) * size_t(width) + size_t(x)) * 4;
        return {{rgba[n], rgba[n + 1], rgba[n + 2]}};
    }
    bool bright(int x, int y) const
    {
        const auto c = at(x, y);
        return c[0] >= 250 && c[1] >= 250 && c[2] >= 250;
    }
};

Picture render(COpenGLControl& control)
{
    Picture p;
    EXPECT_TRUE(control.renderPixels(p.rgba, p.width, p.height));
    return p;
}

// Where a point of the normalised data box lands in the picture (top row
// first), following the camera's transform independently of GL.
std::array<float, 2> project(const COpenGLControl& c, Vec3 p, int width, int height, bool dataScale = true)
{
    const float s = dataScale ? c.scale : 1.0f;
    float x = p[0] * s, y = p[1] * s, z = p[2] * s;
    const float ry = c.rotY * float(M_PI) / 180, rx = c.rotX * float(M_PI) / 180;
    const float x1 = x * std::cos(ry) + z * std::sin(ry), z1 = -x * std::sin(ry) + z * std::cos(ry);
    x = x1;
    z = z1;
    const float y2 = y * std::cos(rx) - z * std::sin(rx), z2 = y * std::sin(rx) + z * std::cos(rx);
    y = y2;
    z = z2;
    x += c.panX;
    y += c.panY;
    z += c.panZ * c.zoom;
    const float f = 1.0f / std::tan(17.5f * float(M_PI) / 180);
    const float aspect = float(width) / float(height);
    const float ndcX = f / aspect * x / -z, ndcY = f * y / -z;
    return {{(ndcX + 1) / 2 * float(width), (1 - (ndcY + 1) / 2) * float(height)}};
}

void expectColour(const Picture& p, float fx, float fy, std::array<int, 3> expected, int tolerance = 3)
{
    const int x = int(fx), y = int(fy);
    const auto c = p.at(x, y);
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_NEAR(c[size_t(ch)], expected[size_t(ch)], tolerance)
            << "channel " << ch << " at (" << x << ", " << y << ")";
}

// Transfer function made of the given colour and opacity points only.
Transferfunction transfer(std::deque<Transferfunction::ColorPoint> colours,
                          std::deque<Transferfunction::AlphaPoint> alphas)
{
    Transferfunction tf;
    tf.color = std::move(colours);
    tf.alpha = std::move(alphas);
    return tf;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        COpenGLControl& c = viewer().control;
        ASSERT_NE(c.surface, nullptr);
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
        data = makeData(g);
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

TEST_F(RenderTest, StartUpLogsItsSixLinesInOrder)
{
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"COpenGLController", "CG-ShaderManger initialised .. [OK]"},
        {"COpenGLController", "TransferShader loaded .. [OK]"},
        {"COpenGLController", "GlyphShaders loaded .. [OK]"},
        {"COpenGLController", "Glew initialised .. [OK]"},
        {"COpenGLControl::oglInitialize()", "Initialising OpenGL .. [OK]"},
        {"COpenGLControl::oglCreate()", "Creating OpenGL Context .. [OK]"},
    };
    std::vector<std::pair<std::string, std::string>> logged;
    for (const Tool::Message& m : viewer().startUp)
        if (m.source.rfind("COpenGLControl", 0) == 0) {
            logged.emplace_back(m.source, m.text);
            EXPECT_EQ(m.details, "");
            EXPECT_EQ(m.level, 1);
        }
    EXPECT_EQ(logged, expected);
    ASSERT_FALSE(viewer().startUp.empty());
    EXPECT_EQ(viewer().startUp.back().text, "Creating OpenGL Context .. [OK]");
    EXPECT_EQ(control().glyphVertex.name, "GlyphVertex");
    ASSERT_EQ(control().glyphVertex.parameters.count("modelViewProj"), 1u);
    EXPECT_NE(control().glyphVertex.parameters.at("modelViewProj"), nullptr);
}

TEST_F(RenderTest, WithoutDataOnlyTheAxesAreDrawnOnBlack)
{
    COpenGLControl& c = control();
    // A glyph paint and a transfer-texture load before leave unit 0's sprite
    // enabled and unit 1 active: the axes must still show their own colours.
    show(Grid{4, 4, 1});
    c.showGlyphs = true;
    render(c);
    c.loadTransferTexture(Transferfunction());
    c.setFlowData(nullptr);
    c.showAxes = true;
    c.showGlyphs = true; // nothing to put them on without data
    const Picture start = render(c);
    const float w = float(start.width), h = float(start.height);
    // x to the right in red, y upwards in green, both through the centre.
    const auto xEnd = project(c, {{0.6f, 0, 0}}, start.width, start.height, false);
    const auto yEnd = project(c, {{0, 0.6f, 0}}, start.width, start.height, false);
    auto redNear = [&](const Picture& p, float x, float y) {
        return p.at(int(x), int(y)) == std::array<int, 3>{{255, 0, 0}} ||
               p.at(int(x), int(y) - 1) == std::array<int, 3>{{255, 0, 0}};
    };
    EXPECT_TRUE(redNear(start, xEnd[0], xEnd[1]));
    EXPECT_TRUE(start.at(int(yEnd[0]), int(yEnd[1])) == (std::array<int, 3>{{0, 255, 0}}) ||
                start.at(int(yEnd[0]) - 1, int(yEnd[1])) == (std::array<int, 3>{{0, 255, 0}}));
    // Beyond the axes' ends, and off them, everything is black.
    const auto beyond = project(c, {{1.2f, 0, 0}}, start.width, start.height, false);
    EXPECT_FALSE(redNear(start, beyond[0], beyond[1]));
    for (auto [x, y] : {std::pair<float, float>{5, 5}, {w - 5, h - 5}, {w / 4, h / 4}, {w * 0.7f, h * 0.3f}})
        EXPECT_EQ(start.at(int(x), int(y)), (std::array<int, 3>{{0, 0, 0}}));

    // Turned a quarter about x, the z axis stands upright in blue.
    c.rotX = 90;
    const Picture turned = render(c);
    const auto zEnd = project(c, {{0, 0, 0.6f}}, turned.width, turned.height, false);
    EXPECT_TRUE(turned.at(int(zEnd[0]), int(zEnd[1])) == (std::array<int, 3>{{0, 0, 255}}) ||
                turned.at(int(zEnd[0]) - 1, int(zEnd[1])) == (std::array<int, 3>{{0, 0, 255}}));

    c.showAxes = false;
    const Picture none = render(c);
    EXPECT_EQ(std::count(none.rgba.begin(), none.rgba.end(), 0), long(none.rgba.size() * 3 / 4));
}

TEST_F(RenderTest, GlyphTextureIsTheArrowHeadWithFullOpacity)
{
    const int rows[6][7] = {
        {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0}, {0, 0, 1, 1, 1, 0, 0},
        {0, 1, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0},
    };
    ASSERT_TRUE(glIsTexture(control().glyphTexture));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, control().glyphTexture);
    GLint width = 0, height = 0, filter = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 6);
    EXPECT_EQ(filter, GL_NEAREST);
    std::vector<float> texels(7 * 6 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    for (int t = 0; t < 6; ++t)
        for (int s = 0; s < 7; ++s) {
            const float* texel = &texels[size_t(t * 7 + s) * 4];
            EXPECT_FLOAT_EQ(texel[0], float(rows[t][s])) << "row " << t << " column " << s;
            EXPECT_FLOAT_EQ(texel[1], texel[0]);
            EXPECT_FLOAT_EQ(texel[2], texel[0]);
            EXPECT_FLOAT_EQ(texel[3], 1.0f);
        }
}

TEST_F(RenderTest, VectorsShowAsClampedColoursAtTheirNodes)
{
    Grid g{4, 4, 1};
    g.vector = [](int, uint32_t i, uint32_t j, uint32_t) -> Vec3 {
        if (i == 1 && j == 1)
            return {{1.5f, -0.5f, 0.25f}};
        if (i == 2 && j == 2)
            return {{-1.0f, 2.0f, 0.75f}};
        if (i == 2 && j == 1)
            return {{0.5f, 0.5f, 0.5f}};
        return {{0, 0, 1}};
    };
    show(g);
    const Picture p = render(control());
    const auto n11 = project(control(), node(1, 1, 0), p.width, p.height);
    const auto n22 = project(control(), node(2, 2, 0), p.width, p.height);
    const auto n21 = project(control(), node(2, 1, 0), p.width, p.height);
    expectColour(p, n11[0], n11[1], {{255, 0, 64}});
    expectColour(p, n22[0], n22[1], {{0, 255, 191}});
    expectColour(p, n21[0], n21[1], {{128, 128, 128}});
    // The outer nodes show their own value too, not a border colour.
    const auto corner = project(control(), node(0, 0, 0), p.width, p.height);
    expectColour(p, corner[0] + 1, corner[1] - 1, {{0, 0, 255}}, 8);
    // Node (2, 2) lies up and to the right of node (1, 1) on screen.
    EXPECT_GT(n22[0], n11[0]);
    EXPECT_LT(n22[1], n11[1]);
}

TEST_F(RenderTest, LayerColoursAndOpacitiesComeFromTheTransferFunction)
{
    Grid g{4, 4, 1};
    g.layers = 2;
    g.value = [](int, int l, uint32_t i, uint32_t j, uint32_t) -> float {
        if (l == 1)
            return 0.5f;
        if (i == 1 && j == 1)
            return 0.0f;
        if (i == 2 && j == 2)
            return 1.0f;
        return 0.5f;
    };
    show(g);
    const Transferfunction tf =
        transfer({{0.0f, ColorRGB(255, 0, 0)}, {1.0f, ColorRGB(0, 0, 255)}}, {{0.0f, 1.0f}, {1.0f, 0.2f}});
    control().loadTransferTexture(tf);
    EXPECT_EQ(Tool::Logger::instance().history.back().text, "OpenGL Transfer Texture loaded .. [OK]");
    EXPECT_EQ(Tool::Logger::instance().history.back().source, "COpenGLController");
    control().showLayer = true;
    const Picture p = render(control());
    const std::vector<unsigned char> table = tf.buildRGBATable();
    auto blended = [&](int entry) {
        const unsigned char* e = &table[size_t(entry) * 4];
        return std::array<int, 3>{{e[0] * e[3] / 255, e[1] * e[3] / 255, e[2] * e[3] / 255}};
    };
    const auto n11 = project(control(), node(1, 1, 0), p.width, p.height);
    const auto n22 = project(control(), node(2, 2, 0), p.width, p.height);
    const auto n12 = project(control(), node(1, 2, 0), p.width, p.height);
    expectColour(p, n11[0], n11[1], {{255, 0, 0}});
    expectColour(p, n22[0], n22[1], {{0, 0, 51}});
    expectColour(p, n12[0], n12[1], blended(2048));

    // Another layer is another texture.
    control().currentLayer = 1;
    const Picture q = render(control());
    expectColour(q, n11[0], n11[1], blended(2048));
}

TEST_F(RenderTest, LayerValuesKeepEnoughPrecisionForEveryTransferTexel)
{
    // Two layers a few transfer texels apart; the function steps between them.
    Grid g{4, 4, 1};
    g.layers = 2;
    g.value = [](int, int l, uint32_t, uint32_t, uint32_t) { return l == 0 ? 0.5f : 2052.0f / 4095.0f; };
    show(g);
    control().loadTransferTexture(transfer({{0.0f, ColorRGB(0, 0, 0)},
                                            {0.5003f, ColorRGB(0, 0, 0)},
                                            {0.5004f, ColorRGB(255, 255, 255)},
                                            {1.0f, ColorRGB(255, 255, 255)}},
                                           {{0.0f, 1.0f}, {1.0f, 1.0f}}));
    control().showLayer = true;
    const int centre = viewSize / 2;
    const Picture low = render(control());
    expectColour(low, centre, centre, {{0, 0, 0}}, 0);
    control().currentLayer = 1;
    const Picture high = render(control());
    expectColour(high, centre, centre, {{255, 255, 255}}, 0);
}

TEST_F(RenderTest, EachSliceShowsItsOwnDataFromAboveAndBelow)
{
    Grid g{4, 4, 2};
    g.vector = [](int, uint32_t, uint32_t, uint32_t k) { return k == 0 ? Vec3{{1, 0, 0}} : Vec3{{0, 1, 0}}; };
    show(g);
    const int centre = viewSize / 2;
    // From above the upper slice (k = 1) is nearer.
    expectColour(render(control()), centre, centre, {{0, 255, 0}});
    control().rotX = 180;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
}

TEST_F(RenderTest, TranslucentSlicesCompositeFromEitherSide)
{
    Grid g{4, 4, 2};
    g.layers = 1;
    g.value = [](int, int, uint32_t, uint32_t, uint32_t k) { return k == 0 ? 0.25f : 0.75f; };
    show(g);
    control().loadTransferTexture(transfer({{0.0f, ColorRGB(255, 0, 0)},
                                            {0.4f, ColorRGB(255, 0, 0)},
                                            {0.6f, ColorRGB(0, 255, 0)},
                                            {1.0f, ColorRGB(0, 255, 0)}},
                                           {{0.0f, 0.5f}, {1.0f, 0.5f}}));
    control().showLayer = true;
    const int centre = viewSize / 2;
    // Half-opaque green (near) over half-opaque red (far) over black.
    expectColour(render(control()), centre, centre, {{64, 127, 0}}, 3);
    control().rotX = 180;
    expectColour(render(control()), centre, centre, {{127, 64, 0}}, 3);
    // Seen at a slant from below, still both slices.
    control().rotX = 200;
    control().rotY = 20;
    expectColour(render(control()), centre, centre, {{127, 64, 0}}, 3);
}

TEST_F(RenderTest, TranslucentLayersAndGlyphsLeaveThePictureOpaque)
{
    const auto* window = dynamic_cast<const QWindow*>(control().surface);
    ASSERT_NE(window, nullptr);
    EXPECT_LE(window->requestedFormat().alphaBufferSize(), 0);
    Grid g{4, 4, 2};
    g.layers = 1;
    show(g);
    control().loadTransferTexture(transfer({{0.0f, ColorRGB(255, 0, 0)}}, {{0.0f, 0.3f}}));
    control().showLayer = true;
    control().showGlyphs = true;
    const Picture p = render(control());
    int translucent = 0;
    for (size_t n = 3; n < p.rgba.size(); n += 4)
        translucent += p.rgba[n] != 255;
    EXPECT_EQ(translucent, 0);
}

TEST_F(RenderTest, AFoldedSliceShowsItsFarWallThroughTheNearOne)
{
    // One slice folded back over itself: cells i = 0 (near, red) and
    // i = 2 (far, green) overlap, and index order draws the near one first.
    Grid g{4, 2, 1};
    g.layers = 1;
    g.position = [](uint32_t i, uint32_t j, uint32_t) {
        return Vec3{{i == 0 || i == 3 ? 0.0f : 1.0f, float(j), i < 2 ? 1.0f : 0.0f}};
    };
    g.value = [](int, int, uint32_t i, uint32_t, uint32_t) { return i < 2 ? 0.25f : 0.75f; };
    show(g);
    control().loadTransferTexture(transfer({{0.0f, ColorRGB(255, 0, 0)},
                                            {0.4f, ColorRGB(255, 0, 0)},
                                            {0.6f, ColorRGB(0, 255, 0)},
                                            {1.0f, ColorRGB(0, 255, 0)}},
                                           {{0.0f, 0.5f}, {1.0f, 0.5f}}));
    control().showLayer = true;
    const Vec3 far = node(2, 0, 0), farEnd = node(3, 1, 0);
    const auto at =
        project(control(), {{(far[0] + farEnd[0]) / 2, (far[1] + farEnd[1]) / 2, far[2]}}, viewSize, viewSize);
    expectColour(render(control()), at[0], at[1], {{127, 64, 0}}, 3);
}

TEST_F(RenderTest, WireframeDrawsWhiteCellEdgesWithoutFill)
{
    Grid g{4, 4, 1};
    g.vector = [](int, uint32_t, uint32_t, uint32_t) { return Vec3{{0, 0, 1}}; };
    show(g);
    control().showWireframe = true;
    control().showLayer = true; // the wireframe wins over either fill
    const Picture p = render(control());
    // Half-way along the edge from node (1, 1) to node (1, 2).
    const Vec3 a = node(1, 1, 0), b = node(1, 2, 0);
    const auto edge = project(control(), {{a[0], (a[1] + b[1]) / 2, 0}}, p.width, p.height);
    bool white = false;
    for (int dx = -1; dx <= 1; ++dx)
        white = white || p.bright(int(edge[0]) + dx, int(edge[1]));
    EXPECT_TRUE(white);
    const Vec3 c = node(2, 2, 0);
    const auto cell = project(control(), {{(a[0] + c[0]) / 2, (a[1] + c[1]) / 2, 0}}, p.width, p.height);
    expectColour(p, cell[0], cell[1], {{0, 0, 0}}, 0);
    // The same view filled: the cell is blue.
    control().showWireframe = false;
    control().showLayer = false;
    expectColour(render(control()), cell[0], cell[1], {{0, 0, 255}});
}

TEST_F(RenderTest, GlyphsAreArrowHeadsDrawnOverTheNearerSlice)
{
    Grid g{4, 4, 2};
    g.vector = [](int, uint32_t, uint32_t, uint32_t) { return Vec3{{0, 0, 1}}; };
    show(g);
    control().showGlyphs = true;
    const Picture p = render(control());
    // Lattice point (q = 10, r = 1) of the 22 x 4 points on the bottom face.
    const GridGeometry grid(data->positions, data->size);
    const float s = grid.factor;
    const Vec3 point{{(-grid.extent[0] / 2 + 10 * grid.extent[0] / 21) * s,
                      (-grid.extent[1] / 2 + 1 * grid.extent[1] / 3) * s, -grid.extent[2] / 2 * s}};
    const auto at = project(control(), point, p.width, p.height);
    const int x = int(at[0]), y = int(at[1]);
    // One speed throughout: every glyph has the colour map's end colour.
    auto glyph = [&](int px, int py) { return p.at(px, py) == std::array<int, 3>{{253, 231, 37}}; };
    EXPECT_TRUE(glyph(x, y)) << "glyph centre hidden by the slice above it";
    // The sprite's empty first and last rows let the grid show through.
    expectColour(p, float(x), float(y - 6), {{0, 0, 255}});
    expectColour(p, float(x), float(y + 6), {{0, 0, 255}});
    // 16 of the sprite's 42 texels are set: about that share of 13 x 13.
    int whites = 0;
    for (int dy = -6; dy <= 6; ++dy)
        for (int dx = -6; dx <= 6; ++dx)
            whites += glyph(x + dx, y + dy);
    EXPECT_NEAR(whites, 169 * 16 / 42, 20);
    // Glyphs off: the same spot is the grid's colour.
    control().showGlyphs = false;
    expectColour(render(control()), float(x), float(y), {{0, 0, 255}});
}

// Where lattice point (q, r) of the 22 x 4 glyph points lands in the picture.
std::array<float, 2> glyphAt(const COpenGLControl& c, const FlowData& data, int q, int r, const Picture& p)
{
    const GridGeometry grid(data.positions, data.size);
    const float s = grid.factor;
    return project(c,
                   {{(-grid.extent[0] / 2 + float(q) * grid.extent[0] / 21) * s,
                     (-grid.extent[1] / 2 + float(r) * grid.extent[1] / 3) * s, -grid.extent[2] / 2 * s}},
                   p.width, p.height);
}

// The direction, in degrees counter-clockwise from the screen's right, in
// which the glyph around (x, y) points: away from its pixels' centroid,
// which lies towards the arrow head's wide base. Glyph pixels are those that
// differ from the picture without glyphs.
double arrowAngle(const Picture& with, const Picture& without, std::array<float, 2> centre)
{
    double sx = 0, sy = 0;
    int count = 0;
    for (int y = int(centre[1]) - 8; y <= int(centre[1]) + 8; ++y)
        for (int x = int(centre[0]) - 8; x <= int(centre[0]) + 8; ++x)
            if (with.at(x, y) != without.at(x, y)) {
                sx += x + 0.5 - centre[0];
                sy += y + 0.5 - centre[1];
                ++count;
            }
    EXPECT_GT(count, 20) << "no arrow at (" << centre[0] << ", " << centre[1] << ")";
    return std::atan2(sy / count, -sx / count) * 180 / M_PI; // picture rows run down
}

TEST_F(RenderTest, GlyphsPointAlongEachFramesFlow)
{
    Grid g{4, 4, 1};
    g.frames = 2;
    g.vector = [](int f, uint32_t, uint32_t, uint32_t) { return f == 0 ? Vec3{{0.5f, 0, 0}} : Vec3{{0, 0.5f, 0}}; };
    show(g);
    auto angleOfFrame = [&](uint32_t frame) {
        control().currentFrame = frame;
        control().showGlyphs = false;
        const Picture without = render(control());
        control().showGlyphs = true;
        const Picture with = render(control());
        return arrowAngle(with, without, glyphAt(control(), *data, 10, 1, with));
    };
    const double alongX = angleOfFrame(0), alongY = angleOfFrame(1);
    EXPECT_NEAR(alongX, 0, 10) << "+x points right";
    EXPECT_NEAR(alongY, 90, 10) << "+y points up, a quarter turn on";
}

TEST_F(RenderTest, StillFlowShowsNoArrows)
{
    show(Grid{4, 4, 1}); // every vector is zero
    const Picture without = render(control());
    control().showGlyphs = true;
    const Picture with = render(control());
    int changed = 0;
    // All but the lower right corner, where the colour bar goes.
    for (int y = 0; y < with.height; ++y)
        for (int x = 0; x < with.width; ++x)
            changed += (x < with.width - 120 || y < with.height - 170) && with.at(x, y) != without.at(x, y);
    EXPECT_EQ(changed, 0);
}

TEST_F(RenderTest, FastestGlyphHasTheMapsEndColourAndSlowestItsStart)
{
    // 22 x 4 nodes: every lattice point sits on a node. Speed grows with i.
    Grid g{22, 4, 1};
    g.position = [](uint32_t i, uint32_t j, uint32_t k) { return Vec3{{float(i) / 7, float(j), float(k)}}; };
    g.vector = [](int, uint32_t i, uint32_t, uint32_t) { return Vec3{{0, 1 + float(i), 0}}; };
    show(g);
    control().showWireframe = true; // black behind the glyphs
    control().showGlyphs = true;
    const Picture p = render(control());
    const auto fastest = glyphAt(control(), *data, 21, 2, p);
    const auto slowest = glyphAt(control(), *data, 0, 2, p);
    // The arrows point up: their base row lies below the centre.
    expectColour(p, fastest[0], fastest[1] + 2, {{253, 231, 37}});
    expectColour(p, slowest[0], slowest[1] + 2, {{68, 1, 84}});
}

// One speed throughout: the lines take the colour map's end colour, and lie
// on the filled slice they run in rather than behind it.
TEST_F(RenderTest, StreamlinesLieOverTheGridWhenAskedFor)
{
    Grid g{8, 8, 1};
    g.vector = [](int, uint32_t, uint32_t, uint32_t) { return Vec3{{0, 0.5f, 0}}; };
    show(g);
    auto lineColoured = [](const Picture& p) {
        int count = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const auto c = p.at(x, y);
                count += std::abs(c[0] - 253) + std::abs(c[1] - 231) + std::abs(c[2] - 37) < 12;
            }
        return count;
    };
    EXPECT_EQ(lineColoured(render(control())), 0);
    control().showStreamlines = true;
    const Picture lines = render(control());
    control().showStreamlines = false;
    // 16 vertical lines, each most of the grid's height (200 pixels) long.
    EXPECT_GT(lineColoured(lines), 16 * 150);
    // The middle of the grid, between two lines, keeps the vectors' colour.
    const auto centre = project(control(), {{0, 0, 0}}, lines.width, lines.height);
    EXPECT_NEAR(lines.at(int(centre[0]), int(centre[1]) + 20)[1], 128, 2);
}

TEST_F(RenderTest, ColourBarRunsFromSlowAtTheBottomToFastAtTheTopWithTheRangeBeside)
{
    show(Grid{4, 4, 1}); // still flow: no arrows, black where the bar and its numbers go
    const Picture none = render(control());
    control().showGlyphs = true;
    const Picture p = render(control());
    // The bar spans 12 x 128 pixels, 16 from the right and bottom edges.
    const int x = p.width - 16 - 6, bottom = p.height - 1 - 16, top = p.height - 1 - 143;
    expectColour(p, float(x), float(bottom), {{68, 1, 84}});
    expectColour(p, float(x), float(top), {{253, 231, 37}});
    expectColour(none, float(x), float(bottom), {{0, 0, 0}});
    // A number written beside each end.
    auto written = [&](int middle) {
        int lit = 0;
        for (int y = middle - 8; y <= middle + 8; ++y)
            for (int dx = 12; dx < 60; ++dx)
                lit += p.at(x - dx, y)[1] > 100;
        return lit;
    };
    EXPECT_GT(written(bottom), 5);
    EXPECT_GT(written(top), 5);
}

TEST_F(RenderTest, ReloadingReleasesTheOldTexturesAndMakesOnePerFrameAndLayer)
{
    Grid first{3, 3, 2};
    first.frames = 2;
    first.layers = 1;
    show(first);
    drawEveryFrameAndLayer(first);
    const std::vector<unsigned> made = control().frameTextures.names();
    std::set<unsigned> old(made.begin(), made.end());
    ASSERT_EQ(old.size(), 2u + 1u * 2u);

    control().loadTransferTexture(Transferfunction());
    const unsigned transferName = control().transferTexture;
    control().currentFrame = 1;
    control().currentLayer = 0;
    Grid second{5, 4, 3};
    second.frames = 3;
    second.layers = 2;
    auto keep = std::move(data);
    show(second);
    EXPECT_EQ(control().currentFrame, 0u);
    // Textures are made as frames are drawn.
    EXPECT_TRUE(control().frameTextures.names().empty());
    drawEveryFrameAndLayer(second);
    const std::vector<unsigned> remade = control().frameTextures.names();
    std::set<unsigned> now(remade.begin(), remade.end());
    EXPECT_EQ(now.size(), 3u + 2u * 3u);
    for (unsigned name : now)
        EXPECT_TRUE(glIsTexture(name));
    for (unsigned name : old) {
        if (!now.count(name)) {
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " was not released";
        }
    }
    // The transfer and glyph textures stay.
    EXPECT_EQ(control().transferTexture, transferName);
    EXPECT_TRUE(glIsTexture(transferName));
    EXPECT_TRUE(glIsTexture(control().glyphTexture));
    // The new textures have the new shape.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().frameTextures.layerTexture(1, 2));
    GLint w = 0, h = 0, d = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &d);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(d, 3);
}

TEST_F(RenderTest, ChangingFrameOrLayerUploadsNothing)
{
    Grid g{4, 4, 1};
    g.frames = 2;
    g.layers = 2;
    g.vector = [](int f, uint32_t, uint32_t, uint32_t) { return f == 0 ? Vec3{{1, 0, 0}} : Vec3{{0, 1, 0}}; };
    show(g);
    const int centre = viewSize / 2;
    // Each frame's texture is made when it is first drawn.
    control().currentFrame = 1;
    expectColour(render(control()), centre, centre, {{0, 255, 0}});
    control().currentFrame = 0;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    const auto names = [&] {
        const std::vector<unsigned> all = control().frameTextures.names();
        return std::set<unsigned>(all.begin(), all.end());
    };
    const std::set<unsigned> vectors = names();
    // Repaint frame 1's texture behind the control's back: if switching to
    // frame 1 uploaded the data again, the picture would be green.
    const std::vector<float> blue(4 * 4 * 3, 0.0f);
    std::vector<float> texels(blue);
    for (size_t n = 2; n < texels.size(); n += 3)
        texels[n] = 1.0f;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().frameTextures.vectorTexture(1));
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 4, 4, 1, GL_RGB, GL_FLOAT, texels.data());
    control().currentFrame = 1;
    expectColour(render(control()), centre, centre, {{0, 0, 255}});
    EXPECT_EQ(names(), vectors);

    // The same for layers: every value is 0, and layer 1's texture of frame 1
    // now holds 1 everywhere; an upload on the switch would show red again.
    control().loadTransferTexture(
        transfer({{0.0f, ColorRGB(255, 0, 0)}, {1.0f, ColorRGB(0, 255, 0)}}, {{0.0f, 1.0f}, {1.0f, 1.0f}}));
    control().showLayer = true;
    control().currentLayer = 1;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    control().currentLayer = 0;
    expectColour(render(control()), centre, centre, {{255, 0, 0}});
    const std::set<unsigned> layers = names();
    const std::vector<float> ones(4 * 4, 1.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, control().frameTextures.layerTexture(1, 1));
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 4, 4, 1, GL_RED, GL_FLOAT, ones.data());
    control().currentLayer = 1;
    expectColour(render(control()), centre, centre, {{0, 255, 0}});
    EXPECT_EQ(names(), layers);
}

TEST_F(RenderTest, AfterAFailedLoadThePreviousPictureStays)
{
    Grid g{4, 4, 1};
    g.vector = [](int, uint32_t i, uint32_t j, uint32_t) { return Vec3{{float(i) / 3, float(j) / 3, 0.5f}}; };
    show(g);
    control().showGlyphs = true;
    const Picture before = render(control());
    // A failed load empties the data set the control points to.
    data->positions.clear();
    data->frames.clear();
    data->size = {{0, 0, 0}};
    const Picture after = render(control());
    EXPECT_EQ(before.rgba, after.rgba);
}

struct NoProgress : LoadingProgress {
    void setRange(int, int) override {}
    void setPosition(int) override {}
    void repaint() override {}
};

TEST_F(RenderTest, FramesBeyondTheBudgetsShowAsWithRoomForAllAndACutFrameKeepsTheLastPicture)
{
    namespace fs = boost::filesystem;
    const fs::path folder = fs::temp_directory_path() / fs::unique_path("quorvane-render-%%%%-%%%%");
    fs::create_directories(folder);
    FlowGenerator::Settings settings;
    settings.size = {{16, 16, 2}};
    settings.layers = 1;
    settings.frames = 3;
    std::string error;
    ASSERT_TRUE(FlowWriter::write((folder / "v").string(), FlowGenerator(settings), error)) << error;
    NoProgress progress;
    auto all = std::make_unique<FlowData>();
    ASSERT_NO_THROW(all->load((folder / "v.gri").string(), progress));
    control().setFlowData(all.get());
    std::vector<Picture> expected;
    for (uint32_t f = 0; f < 4; ++f) {
        control().currentFrame = f;
        expected.push_back(render(control()));
    }
    // Room for one decoded frame (512 nodes of 4 floats) and two vector textures.
    MemoryBudget::setProcessLimit(4 * 8192);
    data = std::make_unique<FlowData>();
    ASSERT_NO_THROW(data->load((folder / "v.gri").string(), progress));
    control().setFlowData(data.get());
    MemoryBudget::setProcessLimit(0);
    for (uint32_t f : {3, 0, 2, 1, 3}) {
        control().currentFrame = f;
        EXPECT_EQ(render(control()).rgba, expected[f].rgba) << "frame " << f;
        EXPECT_LE(control().frameTextures.names().size(), 2u);
    }

    fs::resize_file(folder / "v_002.dat", 8);
    control().currentFrame = 2;
    EXPECT_EQ(render(control()).rgba, expected[3].rgba);
    const Tool::Message& failure = Tool::Logger::instance().history.back();
    EXPECT_EQ(failure.text, "Creating vector textures .. [FAILED]");
    EXPECT_EQ(failure.details,
              "Couldn't read " + (folder / "v_002.dat").string() + ": the file is shorter than the grid needs");
    control().setFlowData(nullptr);
    fs::remove_all(folder);
}

TEST_F(RenderTest, ADataSetBeyondTheTextureLimitIsLoggedAndTheViewStaysUsable)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &largest);
    Grid g{uint32_t(largest) + 1, 2, 1};
    g.layers = 1;
    show(g);
    bool vectorsLogged = false, layersLogged = false;
    for (const Tool::Message& m : Tool::Logger::instance().history) {
        vectorsLogged |= m.text == "Creating vector textures .. [FAILED]";
        layersLogged |= m.text == "Creating layer textures .. [FAILED]";
    }
    EXPECT_TRUE(vectorsLogged);
    EXPECT_TRUE(layersLogged);
    control().showAxes = true;
    const Picture vectors = render(control());
    control().showLayer = true;
    control().showGlyphs = true;
    render(control());
    EXPECT_TRUE(control().frameTextures.names().empty());
    control().showWireframe = true;
    render(control());
    // The axes are still drawn.
    const auto xEnd = project(control(), {{0.6f, 0, 0}}, vectors.width, vectors.height, false);
    EXPECT_TRUE(vectors.at(int(xEnd[0]), int(xEnd[1]))[0] == 255 ||
                vectors.at(int(xEnd[0]), int(xEnd[1]) - 1)[0] == 255);

    // Too deep for a texture: nothing to fill, so no list per slice, and the
    // wireframe still shows the cells.
    data = makeData(Grid{2, 2, uint32_t(largest) + 1});
    // All slices at one depth, so that their cells are as wide as the view.
    for (size_t n = 2; n < data->positions.size(); n += 3)
        data->positions[n] = 0.0f;
    control().setFlowData(data.get());
    EXPECT_EQ(control().sliceCount, 0);
    ASSERT_NE(control().gridList, 0u);
    control().showAxes = false;
    control().showGlyphs = false;
    const Picture cells = render(control());
    int edgePixels = 0;
    for (int y = 0; y < cells.height; ++y)
        for (int x = 0; x < cells.width; ++x)
            edgePixels += cells.bright(x, y);
    EXPECT_GT(edgePixels, 0);

    // Layers and frames beyond what the driver could hold at once: only what
    // is drawn is made.
    Grid many{2, 2, 1};
    many.layers = 256;
    many.frames = 257;
    show(many);
    control().showWireframe = false;
    control().showLayer = true;
    control().currentLayer = 255;
    control().currentFrame = 256;
    render(control());
    EXPECT_EQ(control().frameTextures.names().size(), 1u);
}

TEST_F(RenderTest, ShortDataIsRefusedWithoutReadingPastIt)
{
    Grid g{4, 4, 2};
    g.frames = 2;
    g.layers = 1;
    auto bad = makeData(g);
    bad->frames[1].vectors.resize(5);
    bad->frames[1].layers[0].values.resize(3);
    data = std::move(bad);
    control().setFlowData(data.get());
    EXPECT_NE(control().gridList, 0u);
    control().currentFrame = 1;
    render(control());
    EXPECT_EQ(Tool::Logger::instance().history.back().source, "FrameTextures::vectorTexture()");
    control().showLayer = true;
    render(control());
    EXPECT_EQ(Tool::Logger::instance().history.back().source, "FrameTextures::layerTexture()");
    EXPECT_TRUE(control().frameTextures.names().empty());
    control().showLayer = false;

    // Too few node positions: no lists, rather than those of the last set.
    auto shortGrid = makeData(g);
    shortGrid->positions.resize(shortGrid->positions.size() - 1);
    control().setFlowData(shortGrid.get());
    EXPECT_EQ(control().gridList, 0u);
    EXPECT_EQ(control().glyphPointList, 0u);
    EXPECT_EQ(control().sliceCount, 0);
    bool logged = false;
    for (const Tool::Message& m : Tool::Logger::instance().history)
        logged |= m.source == "COpenGLControl::buildGridList()" && m.text == "Building grid list .. [FAILED]";
    EXPECT_TRUE(logged);
    control().showWireframe = true;
    control().showGlyphs = true;
    render(control());

    // A data set without frames leaves no lists either.
    data = makeData(g);
    control().setFlowData(data.get());
    ASSERT_NE(control().gridList, 0u);
    auto empty = std::make_unique<FlowData>();
    control().setFlowData(empty.get());
    EXPECT_EQ(control().gridList, 0u);
    EXPECT_EQ(control().glyphPointList, 0u);
    render(control());
    data = std::move(empty);
}

TEST_F(RenderTest, AResizeSetsViewportAndAspect)
{
    COpenGLControl& c = control();
    c.OnSize(SIZE_RESTORED, 800, 600); // may be the first one, which is ignored
    c.OnSize(SIZE_RESTORED, 800, 600);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 800, 600}));
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[5] / projection[0], 800.0f / 600.0f, 1e-5);
    EXPECT_EQ(c.container()->geometry(), QRect(0, 0, 800, 600));
    Picture p = render(c);
    EXPECT_EQ(p.width, 800);
    EXPECT_EQ(p.height, 600);
    c.OnSize(SIZE_RESTORED, viewSize, viewSize);
    c.OnSize(SIZE_MINIMIZED, 10, 10);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], viewSize);
}

TEST_F(RenderTest, AnExposedWindowShowsThePaint)
{
    QWidget& parent = viewer().parent;
    parent.show();
    QWindow* window = dynamic_cast<QWindow*>(control().surface);
    ASSERT_NE(window, nullptr);
    auto spin = [](int milliseconds, const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < milliseconds) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
    };
    spin(5000, [&] { return window->isExposed(); });
    ASSERT_TRUE(window->isExposed());
    spin(200, [] { return false; });
    // The paint comes from the event loop, not from Invalidate itself.
    control().setFlowData(nullptr);
    control().showAxes = true;
    control().Invalidate();
    spin(300, [] { return false; });
    const QImage shot = window->screen()->grabWindow(window->winId()).toImage();
    parent.hide();
    ASSERT_FALSE(shot.isNull());
    shot.save("/tmp/render-shot.png");
    const auto xEnd = project(control(), {{0.6f, 0, 0}}, shot.width(), shot.height(), false);
    const QColor a = shot.pixelColor(int(xEnd[0]), int(xEnd[1]));
    const QColor b = shot.pixelColor(int(xEnd[0]), int(xEnd[1]) - 1);
    EXPECT_TRUE(a == QColor(255, 0, 0) || b == QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(0, 0, 0));
}

TEST_F(RenderTest, AWheelTiltToTheRightZoomsIn)
{
    auto* window = dynamic_cast<QWindow*>(control().surface);
    ASSERT_NE(window, nullptr);
    const QPointF inside(10, 10);
    // Qt reports a tilt to the right as a negative horizontal angle.
    QWheelEvent right(inside, window->mapToGlobal(inside), QPoint(), QPoint(-120, 0), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(window, &right);
    EXPECT_FLOAT_EQ(control().zoom, 0.9f);
}

TEST_F(RenderTest, GlyphPointsAreTwentyTwoByFourOnTheBottomFace)
{
    Grid g{4, 4, 3};
    show(g);
    // Feedback mode returns every vertex that survives clipping.
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glCallList(control().glyphPointList);
    const GLint used = glRenderMode(GL_RENDER);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    int points = 0;
    float lowX = 1e9f, highX = -1e9f, lowY = 1e9f, highY = -1e9f;
    for (GLint n = 0; n + 3 < used; n += 4) {
        ASSERT_EQ(buffer[size_t(n)], GLfloat(GL_POINT_TOKEN));
        ++points;
        lowX = std::min(lowX, buffer[size_t(n) + 1]);
        highX = std::max(highX, buffer[size_t(n) + 1]);
        lowY = std::min(lowY, buffer[size_t(n) + 2]);
        highY = std::max(highY, buffer[size_t(n) + 2]);
    }
    EXPECT_EQ(points, 88);
    // Window coordinates of the box's x and y edges (both edges included).
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_NEAR(lowX, viewport[2] * 0.25f, 0.01f);
    EXPECT_NEAR(highX, viewport[2] * 0.75f, 0.01f);
    EXPECT_NEAR(lowY, viewport[3] * 0.25f, 0.01f);
    EXPECT_NEAR(highY, viewport[3] * 0.75f, 0.01f);
}

// Camera and size handling need no window: a control without one keeps its
// arithmetic and its log lines.
TEST(ControlCamera, DragsRotateOrPanFromTheLastPointerPosition)
{
    COpenGLControl c;
    c.OnMouseMove(0, 100, 100); // no button: only remembered
    EXPECT_FLOAT_EQ(c.rotY, 0);
    c.OnMouseMove(MK_LBUTTON, 110, 100);
    EXPECT_FLOAT_EQ(c.rotY, 5);
    EXPECT_FLOAT_EQ(c.rotX, 0);
    c.OnMouseMove(MK_LBUTTON, 110, 110);
    EXPECT_FLOAT_EQ(c.rotX, 5);
    c.OnMouseMove(MK_LBUTTON | MK_SHIFT, 120, 110);
    EXPECT_FLOAT_EQ(c.panX, 0.25f);
    c.OnMouseMove(MK_LBUTTON | MK_SHIFT, 120, 120);
    EXPECT_FLOAT_EQ(c.panY, -0.25f);
    EXPECT_FLOAT_EQ(c.panZ, -10.0f);
    EXPECT_FLOAT_EQ(c.rotX, 5);
    EXPECT_FLOAT_EQ(c.rotY, 5);
    c.OnMouseMove(MK_SHIFT, 300, 300); // Shift alone moves nothing
    EXPECT_FLOAT_EQ(c.panX, 0.25f);
    EXPECT_FLOAT_EQ(c.lastMouseX, 300);
    EXPECT_FLOAT_EQ(c.lastMouseY, 300);
}

TEST(ControlCamera, ALeftButtonDragAsksForARepaint)
{
    COpenGLControl c;
    CountingSurface surface;
    c.surface = &surface;
    c.OnMouseMove(0, 10, 10);
    EXPECT_EQ(surface.updates, 0);
    c.OnMouseMove(MK_LBUTTON, 20, 10);
    EXPECT_EQ(surface.updates, 1);
    c.OnMouseMove(MK_LBUTTON | MK_SHIFT, 20, 30);
    EXPECT_EQ(surface.updates, 2);
}

TEST(ControlCamera, WheelStepsStopAtTheirLimits)
{
    COpenGLControl c;
    for (int i = 0; i < 9; ++i)
        c.OnMouseHWheel(0, 120, 0, 0);
    EXPECT_LT(c.zoom, 0.1f);
    EXPECT_GT(c.zoom, 0.09f);
    c.OnMouseHWheel(0, 1, 0, 0); // only the sign counts
    EXPECT_FLOAT_EQ(c.zoom, 0.1f);
    c.OnMouseHWheel(0, 32767, 0, 0);
    EXPECT_FLOAT_EQ(c.zoom, 0.1f);
    c.OnMouseHWheel(0, -120, 0, 0);
    EXPECT_NEAR(c.zoom, 0.2f, 1e-6);
    c.OnMouseHWheel(0, 0, 0, 0);
    EXPECT_NEAR(c.zoom, 0.2f, 1e-6);

    for (int i = 0; i < 19; ++i)
        c.OnMouseHWheel(MK_SHIFT, 120, 0, 0);
    EXPECT_FLOAT_EQ(c.scale, 0.5f);
    c.OnMouseHWheel(MK_SHIFT, 120, 0, 0);
    EXPECT_FLOAT_EQ(c.scale, 0.5f);
    c.OnMouseHWheel(MK_SHIFT, -120, 0, 0);
    EXPECT_FLOAT_EQ(c.scale, 1.0f);
    c.OnMouseHWheel(MK_SHIFT, 0, 0, 0);
    EXPECT_FLOAT_EQ(c.scale, 1.0f);
    EXPECT_NEAR(c.zoom, 0.2f, 1e-6); // Shift turns scale, not zoom
}

TEST(ControlCamera, ResetRestoresTheStartViewButNotThePointer)
{
    COpenGLControl c;
    c.OnMouseMove(0, 10, 10);
    c.OnMouseMove(MK_LBUTTON, 50, 70);
    c.OnMouseMove(MK_LBUTTON | MK_SHIFT, 20, 30);
    c.OnMouseHWheel(0, 120, 0, 0);
    c.OnMouseHWheel(MK_SHIFT, -120, 0, 0);
    c.resetCamera();
    EXPECT_FLOAT_EQ(c.zoom, 1.0f);
    EXPECT_FLOAT_EQ(c.scale, 10.0f);
    EXPECT_FLOAT_EQ(c.panX, 0);
    EXPECT_FLOAT_EQ(c.panY, 0);
    EXPECT_FLOAT_EQ(c.panZ, -10.0f);
    EXPECT_FLOAT_EQ(c.rotX, 0);
    EXPECT_FLOAT_EQ(c.rotY, 0);
    EXPECT_FLOAT_EQ(c.lastMouseX, 20);
    EXPECT_FLOAT_EQ(c.lastMouseY, 30);
}

TEST(ControlSize, EveryCallIsLoggedAndOnlyTheFirstRealSizeIsIgnored)
{
    Tool::Logger& logger = Tool::Logger::instance();
    logger.enabled = true;
    COpenGLControl c;
    const size_t before = logger.history.size();
    c.OnSize(SIZE_RESTORED, 0, 480);
    c.OnSize(SIZE_RESTORED, 640, -1);
    c.OnSize(SIZE_MINIMIZED, 640, 480);
    EXPECT_TRUE(c.firstSize) << "zero sizes and minimising do not count";
    c.OnSize(SIZE_RESTORED, 640, 480);
    EXPECT_FALSE(c.firstSize);
    c.OnSize(SIZE_MAXIMIZED, 1024, 768);
    EXPECT_FALSE(c.firstSize);
    const std::vector<std::string> details = {"New Size: (0,0,0,480)", "New Size: (0,0,640,-1)",
                                              "New Size: (0,0,640,480)", "New Size: (0,0,640,480)",
                                              "New Size: (0,0,1024,768)"};
    ASSERT_EQ(logger.history.size() - before, details.size());
    for (size_t n = 0; n < details.size(); ++n) {
        const Tool::Message& m = logger.history[before + n];
        EXPECT_EQ(m.source, "COpenGLControl::OnSize()");
        EXPECT_EQ(m.text, "Resizing OpenGL Control");
        EXPECT_EQ(m.details, details[n]);
        EXPECT_EQ(m.level, 1);
    }
}

TEST(GridBox, IsCentredWithTheLongestSideFromMinusToPlusHalf)
{
    // A square sheet away from the origin.
    std::vector<float> positions;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            positions.insert(positions.end(), {10.0f + 2 * i, -4.0f + 2 * j, 7.0f});
    const GridGeometry sheet(positions, {{3, 3, 1}});
    ASSERT_TRUE(sheet.valid());
    EXPECT_FLOAT_EQ(sheet.node(0, 0, 0)[0], -0.5f);
    EXPECT_FLOAT_EQ(sheet.node(2, 2, 0)[1], 0.5f);
    EXPECT_FLOAT_EQ(sheet.node(1, 1, 0)[2], 0.0f);
    EXPECT_FLOAT_EQ(sheet.node(1, 1, 0)[0], 0.0f);
    EXPECT_TRUE(sheet.sliceIsFlat(0));

    // A grid running towards negative x is normalised like its mirror.
    std::vector<float> mirrored;
    for (int i = 0; i < 2; ++i)
        mirrored.insert(mirrored.end(), {-4.0f * i, 0.0f, 0.0f});
    const GridGeometry back(mirrored, {{2, 1, 1}});
    EXPECT_FLOAT_EQ(back.node(0, 0, 0)[0], 0.5f);
    EXPECT_FLOAT_EQ(back.node(1, 0, 0)[0], -0.5f);

    // Too few positions for the size, and a single node.
    EXPECT_FALSE(GridGeometry(std::vector<float>(5), {{2, 1, 1}}).valid());
    const std::vector<float> one{3, 3, 3};
    const GridGeometry point(one, {{1, 1, 1}});
    ASSERT_TRUE(point.valid());
    EXPECT_FLOAT_EQ(point.node(0, 0, 0)[0], 0.0f);
}

TEST(GridBox, SlicesAreFlatOnlyWhenEvenlySpacedInAPlane)
{
    auto sheet = [](std::function<Vec3(int, int)> at) {
        std::vector<float> p;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 5; ++i)
                for (float c : at(i, j))
                    p.push_back(c);
        return p;
    };
    const std::vector<float> sheared = sheet([](int i, int j) { return Vec3{{i + 0.5f * j, 2.0f * j, 0.1f * i}}; });
    EXPECT_TRUE(GridGeometry(sheared, {{5, 4, 1}}).sliceIsFlat(0));
    const std::vector<float> stretched = sheet([](int i, int j) { return Vec3{{float(i * i), float(j), 0}}; });
    EXPECT_FALSE(GridGeometry(stretched, {{5, 4, 1}}).sliceIsFlat(0));
    const std::vector<float> bent = sheet([](int i, int j) { return Vec3{{float(i), float(j), i == 2 ? 0.5f : 0}}; });
    EXPECT_FALSE(GridGeometry(bent, {{5, 4, 1}}).sliceIsFlat(0));
    const std::vector<float> broken = sheet([](int i, int j) {
        return Vec3{{float(i), j == 3 ? std::nanf("") : float(j), 0}};
    });
    EXPECT_FALSE(GridGeometry(broken, {{5, 4, 1}}).sliceIsFlat(0));
}

TEST(SliceOrder, FarthestSlicesComeFirst)
{
    const std::vector<std::array<float, 3>> depths{{{0, 0, -0.3f}}, {{0, 0, -0.1f}}, {{0, 0, 0.1f}}, {{0, 0, 0.3f}}};
    // The start camera: eye at z = +10 in front of the data.
    const float above[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -10, 1};
    EXPECT_EQ(slicesBackToFront(above, depths), (std::vector<int>{0, 1, 2, 3}));
    // Turned half about x: the eye is below.
    const float below[16] = {1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, -10, 1};
    EXPECT_EQ(slicesBackToFront(below, depths), (std::vector<int>{3, 2, 1, 0}));
    // Scaled by 10 and the eye inside the stack at z = 0.15 model units:
    // farthest first on either side.
    const float inside[16] = {10, 0, 0, 0, 0, 10, 0, 0, 0, 0, 10, 0, 0, 0, -1.5f, 1};
    EXPECT_EQ(slicesBackToFront(inside, depths), (std::vector<int>{0, 1, 3, 2}));
}

TEST(SliceOrder, SlicesStackedAlongXAreOrderedByTheirDistance)
{
    const std::vector<std::array<float, 3>> centres{{{-0.3f, 0, 0}}, {{0.1f, 0, 0}}, {{0.3f, 0, 0}}};
    // Turned a quarter about y: model x points away from the eye.
    const float side[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -10, 1};
    EXPECT_EQ(slicesBackToFront(side, centres), (std::vector<int>{2, 1, 0}));
    const float otherSide[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -10, 1};
    EXPECT_EQ(slicesBackToFront(otherSide, centres), (std::vector<int>{0, 1, 2}));
}

// A failing context ends the process with status 1 after one log line; run in
// a fresh process on a platform without OpenGL.
TEST(ControlStartUp, NoContextLogsTheFailureAndExitsWithOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("QT_QPA_PLATFORM", "minimal", 1);
            struct ToStderr : Tool::LogListener {
                void handle(const Tool::Message& m) override
                {
                    std::cerr << "\n[" << m.source << "] " << m.text << " {" << m.details << "}" << std::endl;
                }
            };
            static ToStderr listener;
            Tool::Logger::instance().addListener(&listener, false);
            Tool::Logger::instance().enabled = true;
            (void)application();
            QWidget& parent = *new QWidget(nullptr);
            COpenGLControl& c = *new COpenGLControl();
            c.oglCreate(QRect(0, 0, 64, 64), &parent);
        },
        ::testing::ExitedWithCode(1),
        "\\[COpenGLControl::oglInitialize\\(\\)\\] Creating OpenGL Context \\.\\. \\[Failed\\] \\{[0-9]+: [^}]+\\}\n$");
}

} // namespace
