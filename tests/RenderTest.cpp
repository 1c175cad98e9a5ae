#include "RenderTest.h"

#include "diagnostics/Logger.h"
#include "support/TestApplication.h"

#include <cmath>

Viewer::Viewer()
{
    parent.resize(viewSize, viewSize);
    Tool::Logger& logger = Tool::Logger::instance();
    logger.enabled = true;
    const size_t before = logger.history.size();
    control.oglCreate(QRect(0, 0, viewSize, viewSize), &parent);
    startUp.assign(logger.history.begin() + long(before), logger.history.end());
}

Viewer& viewer()
{
    TestApplication::instance();
    static Viewer* shared = new Viewer();
    return *shared;
}

Picture render(COpenGLControl& control)
{
    Picture p;
    EXPECT_TRUE(control.renderPixels(p.rgba, p.width, p.height));
    return p;
}

std::array<float, 2> project(const COpenGLControl& c, Vec3 p, int width, int height, bool dataScale)
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

void expectColour(const Picture& p, float fx, float fy, std::array<int, 3> expected, int tolerance)
{
    const int x = int(fx), y = int(fy);
    const auto c = p.at(x, y);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_NEAR(c[size_t(ch)], expected[size_t(ch)], tolerance)
            << "channel " << ch << " at (" << x << ", " << y << ")";
    }
}

Transferfunction transfer(std::deque<Transferfunction::ColorPoint> colours,
                          std::deque<Transferfunction::AlphaPoint> alphas)
{
    Transferfunction tf;
    tf.color = std::move(colours);
    tf.alpha = std::move(alphas);
    return tf;
}
