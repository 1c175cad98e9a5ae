#include "EditorTest.h"

#include <QApplication>
#include <QTimer>

namespace {

// The application goes before the process ends, while the display
// connection is still sound.
const auto* const environment = ::testing::AddGlobalTestEnvironment(new TestApplication);

} // namespace

void fill(FlowData& data, const std::vector<std::vector<float>>& values)
{
    data.frames.clear();
    DataFrame frame;
    for (size_t l = 0; l < values.size(); ++l) {
        DataLayer layer;
        layer.name = "Layer_" + std::to_string(l);
        layer.values = values[l];
        layer.nodeCount = static_cast<uint32_t>(values[l].size());
        frame.layers.push_back(layer);
    }
    data.layerCount = static_cast<int32_t>(values.size());
    data.frameCount = 1;
    data.frames.push_back(frame);
}

void onNextModal(std::function<void(QWidget*)> answer)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start(10);
}

void expectColor(const QColor& actual, int r, int g, int b, int tolerance)
{
    EXPECT_NEAR(actual.red(), r, tolerance);
    EXPECT_NEAR(actual.green(), g, tolerance);
    EXPECT_NEAR(actual.blue(), b, tolerance);
}

std::vector<std::vector<float>> twoLayers()
{
    return {{0.1f, 0.2f, 0.2f, 0.9f}, {0.5f, 0.5f, 0.7f, 1.0f}};
}
