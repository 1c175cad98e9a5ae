// editor_bench: the editor's own paint (histogram, colour bar and opacity bar)
// on a layer of 20 million values, or the count given, against one plain pass
// over the same values measured in the same run. The first paint computes the
// histogram; later ones reuse it. The whole dialog with its child controls is
// shown for comparison.
//   editor_bench [VALUES]

#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "ui/CTransferDialog.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(const std::function<void()>& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double medianOf(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(millisecondsOf(work));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Values spread over 0 .. 1 unevenly, so the histogram has some shape.
std::vector<float> makeValues(std::size_t count)
{
    std::vector<float> values(count);
    uint32_t state = 12345;
    for (float& v : values) {
        state = state * 1664525u + 1013904223u;
        const float u = static_cast<float>(state >> 8) / 16777216.0f;
        v = u * u;
    }
    return values;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000000u;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    FlowData data;
    DataFrame frame;
    DataLayer layer;
    layer.name = "Layer_0";
    layer.values = makeValues(count);
    layer.nodeCount = static_cast<uint32_t>(count);
    frame.layers.push_back(std::move(layer));
    data.frames.push_back(std::move(frame));
    data.layerCount = 1;
    data.frameCount = 1;
    const std::vector<float>& values = data.frames.front().layers.front().values;

    COpenGLControl view; // no window: the editor only sets its fields
    CTransferDialog dialog(nullptr);
    dialog.glControl = &view;
    dialog.flowData = &data;
    dialog.refreshLayers();
    dialog.chooseLayer(1);

    // The floor: every value read once, counting those in the upper half.
    std::size_t upper = 0;
    const double floor = medianOf(5, [&] {
        upper = 0;
        for (float v : values) {
            upper += v >= 0.5f;
        }
    });

    QImage image(dialog.size(), QImage::Format_ARGB32_Premultiplied);
    const auto paintAreas = [&] {
        for (const char* id : {"1064", "1053", "1058"}) {
            QWidget* area = dialog.findChild<QWidget*>(id);
            area->render(&image, area->pos());
        }
    };
    const double first = millisecondsOf(paintAreas);
    const double repaint = medianOf(21, paintAreas);
    const double whole = medianOf(21, [&] { dialog.render(&image); });

    std::printf("values per layer:             %zu (%zu in the upper half)\n", count, upper);
    std::printf("plain pass (floor):           %.3f ms\n", floor);
    std::printf("first paint, histogram made:  %.3f ms  (%.2f x floor)\n", first, first / floor);
    std::printf("repaint, warm cache:          %.3f ms  (%.4f x floor)\n", repaint, repaint / floor);
    std::printf("whole dialog with controls:   %.3f ms  (%.4f x floor)\n", whole, whole / floor);
    std::printf("editor_paint_ratio=%.4f\n", repaint / floor);
    return 0;
}
