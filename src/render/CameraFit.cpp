#include "render/CameraFit.h"

#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "render/GridGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double fieldOfView = 35.0; // degrees, vertical, as the projection
constexpr double nearPlane = 1.0;
constexpr double pi = 3.14159265358979323846;

// Smallest and largest normalised node position along each axis: curved
// grids may reach past their first and last nodes.
bool dataBox(const FlowData& data, std::array<double, 3>& low, std::array<double, 3>& high)
{
    const std::array<uint32_t, 3>* size = data.getSize();
    if (!size) {
        return false;
    }
    const GridGeometry grid(data.positions, *size);
    if (!grid.valid()) {
        return false;
    }
    low.fill(HUGE_VAL);
    high.fill(-HUGE_VAL);
    for (uint32_t k = 0; k < (*size)[2]; ++k) {
        for (uint32_t j = 0; j < (*size)[1]; ++j) {
            for (uint32_t i = 0; i < (*size)[0]; ++i) {
                const std::array<float, 3> p = grid.node(i, j, k);
                for (int a = 0; a < 3; ++a) {
                    low[a] = std::min(low[a], double(p[a]));
                    high[a] = std::max(high[a], double(p[a]));
                }
            }
        }
    }
    return std::isfinite(low[0] + low[1] + low[2] + high[0] + high[1] + high[2]);
}

} // namespace

float fitZoom(const COpenGLControl& control, float aspect, float margin)
{
    std::array<double, 3> low, high;
    if (!control.data() || !dataBox(*control.data(), low, high) || !(aspect > 0) || control.panZ >= 0) {
        return 0;
    }
    // Half the picture's height and width at unit distance, less the margin.
    const double tanY = std::tan(fieldOfView / 2 * pi / 180) * (1 - margin);
    const double tanX = tanY * aspect;
    const double ax = control.rotX * pi / 180, ay = control.rotY * pi / 180;
    double distance = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const double x = (corner & 1 ? high[0] : low[0]) * control.scale;
        const double y = (corner & 2 ? high[1] : low[1]) * control.scale;
        const double z = (corner & 4 ? high[2] : low[2]) * control.scale;
        // Rotation about y, then about x, as the camera applies them.
        const double x1 = x * std::cos(ay) + z * std::sin(ay);
        const double z1 = -x * std::sin(ay) + z * std::cos(ay);
        const double y2 = y * std::cos(ax) - z1 * std::sin(ax);
        const double z2 = y * std::sin(ax) + z1 * std::cos(ax);
        // In front of the eye at distance - z2: far enough for the corner
        // to fall inside both edges and beyond the near plane.
        distance = std::max({distance, z2 + std::abs(x1 + control.panX) / tanX, z2 + std::abs(y2 + control.panY) / tanY,
                             z2 + nearPlane * 1.01});
    }
    return float(distance / -control.panZ);
}
