// The OpenGL control's window: size, exposure, camera, the grid box, slice
// order and a start-up without a context.
#include "RenderTest.h"
#include "render/CameraFit.h"

namespace {

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
    QWindow* window = dynamic_cast<QWindow*>(control().window());
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
    auto* window = dynamic_cast<QWindow*>(control().window());
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
    glCallList(control().sceneObjects().glyphPointList);
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
TEST_F(RenderTest, FitWithAPanStillShowsTheWholeDataSet)
{
    show(Grid{4, 4, 4});
    control().showWireframe = true;
    control().rotX = 30;
    control().rotY = -40;
    control().panX = 2.5f;
    control().panY = -1.5f;
    control().zoom = fitZoom(control(), 1.0f, 0.05f);
    const Picture p = render(control());
    int left = p.width, right = -1, top = p.height, bottom = -1;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (p.bright(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    EXPECT_GT(left, 0);
    EXPECT_GT(top, 0);
    EXPECT_LT(right, p.width - 1);
    EXPECT_LT(bottom, p.height - 1);
    EXPECT_GT(std::max(right - left, bottom - top), p.width / 3) << "fitted, not just small";
}

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
    c.setWindow(&surface);
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
    for (int i = 0; i < 9; ++i) {
        c.OnMouseHWheel(0, 120, 0, 0);
    }
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

    for (int i = 0; i < 19; ++i) {
        c.OnMouseHWheel(MK_SHIFT, 120, 0, 0);
    }
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
    CountingSurface surface;
    c.setWindow(&surface);
    const size_t before = logger.history.size();
    c.OnSize(SIZE_RESTORED, 0, 480);
    c.OnSize(SIZE_RESTORED, 640, -1);
    c.OnSize(SIZE_MINIMIZED, 640, 480);
    c.OnSize(SIZE_RESTORED, 640, 480);
    EXPECT_EQ(surface.moves, 0) << "zero sizes and minimising do not count";
    c.OnSize(SIZE_MAXIMIZED, 1024, 768);
    EXPECT_EQ(surface.moves, 1);
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
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            positions.insert(positions.end(), {10.0f + 2 * i, -4.0f + 2 * j, 7.0f});
        }
    }
    const GridGeometry sheet(positions, {{3, 3, 1}});
    ASSERT_TRUE(sheet.valid());
    EXPECT_FLOAT_EQ(sheet.node(0, 0, 0)[0], -0.5f);
    EXPECT_FLOAT_EQ(sheet.node(2, 2, 0)[1], 0.5f);
    EXPECT_FLOAT_EQ(sheet.node(1, 1, 0)[2], 0.0f);
    EXPECT_FLOAT_EQ(sheet.node(1, 1, 0)[0], 0.0f);
    EXPECT_TRUE(sheet.sliceIsFlat(0));

    // A grid running towards negative x is normalised like its mirror.
    std::vector<float> mirrored;
    for (int i = 0; i < 2; ++i) {
        mirrored.insert(mirrored.end(), {-4.0f * i, 0.0f, 0.0f});
    }
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
        for (int j = 0; j < 4; ++j) {
            for (int i = 0; i < 5; ++i) {
                for (float c : at(i, j)) {
                    p.push_back(c);
                }
            }
        }
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
            (void)TestApplication::instance();
            QWidget& parent = *new QWidget(nullptr);
            COpenGLControl& c = *new COpenGLControl();
            c.oglCreate(QRect(0, 0, 64, 64), &parent);
        },
        ::testing::ExitedWithCode(1),
        "\\[COpenGLControl::oglInitialize\\(\\)\\] Creating OpenGL Context \\.\\. \\[Failed\\] \\{[0-9]+: [^}]+\\}\n$");
}

} // namespace
