// The pictures the OpenGL control draws, read back from an off-screen
// buffer: start-up, axes, vectors, layers, slices, wireframe, glyphs,
// streamlines and the colour bar.
#include "RenderTest.h"

namespace {

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
    for (const Tool::Message& m : viewer().startUp) {
        if (m.source.rfind("COpenGLControl", 0) == 0) {
            logged.emplace_back(m.source, m.text);
            EXPECT_EQ(m.details, "");
            EXPECT_EQ(m.level, 1);
        }
    }
    EXPECT_EQ(logged, expected);
    ASSERT_FALSE(viewer().startUp.empty());
    EXPECT_EQ(viewer().startUp.back().text, "Creating OpenGL Context .. [OK]");
    EXPECT_EQ(control().glyphVertexProgram().name, "GlyphVertex");
    ASSERT_EQ(control().glyphVertexProgram().parameters.count("modelViewProj"), 1u);
    EXPECT_NE(control().glyphVertexProgram().parameters.at("modelViewProj"), nullptr);
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
    for (auto [x, y] : {std::pair<float, float>{5, 5}, {w - 5, h - 5}, {w / 4, h / 4}, {w * 0.7f, h * 0.3f}}) {
        EXPECT_EQ(start.at(int(x), int(y)), (std::array<int, 3>{{0, 0, 0}}));
    }

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
    ASSERT_TRUE(glIsTexture(control().sceneObjects().glyphTexture));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, control().sceneObjects().glyphTexture);
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
    for (int t = 0; t < 6; ++t) {
        for (int s = 0; s < 7; ++s) {
            const float* texel = &texels[size_t(t * 7 + s) * 4];
            EXPECT_FLOAT_EQ(texel[0], float(rows[t][s])) << "row " << t << " column " << s;
            EXPECT_FLOAT_EQ(texel[1], texel[0]);
            EXPECT_FLOAT_EQ(texel[2], texel[0]);
            EXPECT_FLOAT_EQ(texel[3], 1.0f);
        }
    }
}

TEST_F(RenderTest, VectorsShowAsClampedColoursAtTheirNodes)
{
    Grid g{4, 4, 1};
    g.vector = [](int, uint32_t i, uint32_t j, uint32_t) -> Vec3 {
        if (i == 1 && j == 1) {
            return {{1.5f, -0.5f, 0.25f}};
        }
        if (i == 2 && j == 2) {
            return {{-1.0f, 2.0f, 0.75f}};
        }
        if (i == 2 && j == 1) {
            return {{0.5f, 0.5f, 0.5f}};
        }
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
        if (l == 1) {
            return 0.5f;
        }
        if (i == 1 && j == 1) {
            return 0.0f;
        }
        if (i == 2 && j == 2) {
            return 1.0f;
        }
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
    const auto* window = dynamic_cast<const QWindow*>(control().window());
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
    for (size_t n = 3; n < p.rgba.size(); n += 4) {
        translucent += p.rgba[n] != 255;
    }
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
    for (int dx = -1; dx <= 1; ++dx) {
        white = white || p.bright(int(edge[0]) + dx, int(edge[1]));
    }
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
    for (int dy = -6; dy <= 6; ++dy) {
        for (int dx = -6; dx <= 6; ++dx) {
            whites += glyph(x + dx, y + dy);
        }
    }
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
    for (int y = int(centre[1]) - 8; y <= int(centre[1]) + 8; ++y) {
        for (int x = int(centre[0]) - 8; x <= int(centre[0]) + 8; ++x) {
            if (with.at(x, y) != without.at(x, y)) {
                sx += x + 0.5 - centre[0];
                sy += y + 0.5 - centre[1];
                ++count;
            }
        }
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
    for (int y = 0; y < with.height; ++y) {
        for (int x = 0; x < with.width; ++x) {
            changed += (x < with.width - 120 || y < with.height - 170) && with.at(x, y) != without.at(x, y);
        }
    }
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
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const auto c = p.at(x, y);
                count += std::abs(c[0] - 253) + std::abs(c[1] - 231) + std::abs(c[2] - 37) < 12;
            }
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
        for (int y = middle - 8; y <= middle + 8; ++y) {
            for (int dx = 12; dx < 60; ++dx) {
                lit += p.at(x - dx, y)[1] > 100;
            }
        }
        return lit;
    };
    EXPECT_GT(written(bottom), 5);
    EXPECT_GT(written(top), 5);
}

TEST_F(RenderTest, TheColourBarShowsWithStreamlinesAlone)
{
    show(Grid{4, 4, 1}); // still flow: no lines, black where the bar goes
    control().showStreamlines = true;
    const Picture p = render(control());
    expectColour(p, float(p.width - 16 - 6), float(p.height - 1 - 16), {{68, 1, 84}});
}

} // namespace
