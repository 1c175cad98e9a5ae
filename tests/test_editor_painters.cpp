// The editor's parts without a dialog: the value axis, the painter of its
// areas and the histogram cache.
#include "EditorTest.h"

namespace {

TEST(ValueAxis, LabelShowsSixSignificantDigits)
{
    EXPECT_EQ(ValueAxis::labelText(2048), "Value: 2048 (0.5)");
    EXPECT_EQ(ValueAxis::labelText(4096), "Value: 4096 (1)");
    EXPECT_EQ(ValueAxis::labelText(1), "Value: 1 (0.000244141)");
    EXPECT_EQ(ValueAxis::labelText(0), "Value: 0 (0)");
    EXPECT_EQ(ValueAxis::position(1024), 0.25f);
    EXPECT_EQ(ValueAxis::opacity(25), 0.5f);
}

TEST(ValueAxis, SliderPositionsTruncateAndStayInRange)
{
    EXPECT_EQ(ValueAxis::sliderPosition(0.25f), 1024);
    EXPECT_EQ(ValueAxis::sliderPosition(1.0f), 4096);
    EXPECT_EQ(ValueAxis::sliderPosition(0.99999f), 4095);
    EXPECT_EQ(ValueAxis::opacitySliderPosition(0.5f), 25);
    EXPECT_EQ(ValueAxis::opacitySliderPosition(0.539f), 26);
    // What a presets file may hold: out of range, infinite, not a number.
    EXPECT_EQ(ValueAxis::sliderPosition(-0.5f), 0);
    EXPECT_EQ(ValueAxis::sliderPosition(3e38f), 4096);
    EXPECT_EQ(ValueAxis::sliderPosition(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(ValueAxis::opacitySliderPosition(std::numeric_limits<float>::infinity()), 50);
    EXPECT_EQ(ValueAxis::opacitySliderPosition(-std::numeric_limits<float>::infinity()), 0);
}

TEST(TransferAreaPainter, FrameAndLinesEndBeforeTheirEndPoint)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QRect area(5, 3, 30, 20); // right 35, bottom 23, w = 26, h = 10
    {
        QPainter painter(&image);
        TransferAreaPainter areas(painter);
        areas.frame(area);
        std::vector<float> values(27, 0.0f);
        values[0] = 1.0f; // full bar: h pixels
        values[1] = 7.0f; // clamped to 1
        values[2] = 0.5f; // half bar
        values[3] = std::numeric_limits<float>::quiet_NaN();
        values[4] = -1.0f;
        values[26] = 1.0f; // the last of w + 1 columns
        areas.histogram(area, values);
    }
    // The outline sits on the rectangle's first and last pixels, white inside.
    expectColor(image.pixelColor(5, 3), 0, 0, 0, 0);
    expectColor(image.pixelColor(34, 22), 0, 0, 0, 0);
    expectColor(image.pixelColor(35, 22), 0, 0, 255, 0);
    expectColor(image.pixelColor(6, 4), 255, 255, 255, 0);
    // Bars rise from base = bottom - 5 = 18 up to, not including, 18 - h * v.
    auto barHeight = [&](int column) {
        int height = 0;
        for (int y = 18; y > 3 && image.pixelColor(column, y) == QColor(Qt::black); --y) {
            ++height;
        }
        return height;
    };
    EXPECT_EQ(barHeight(7), 10);
    EXPECT_EQ(barHeight(8), 10);
    EXPECT_EQ(barHeight(9), 5);
    EXPECT_EQ(barHeight(10), 0);
    EXPECT_EQ(barHeight(11), 0);
    EXPECT_EQ(barHeight(12), 0);
    EXPECT_EQ(barHeight(33), 10);
    expectColor(image.pixelColor(7, 19), 255, 255, 255, 0);
}

TEST(TransferAreaPainter, BarsLeaveFiveRowsAndTheMarkerSpansTheArea)
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QRect colorArea(4, 2, 44, 16); // w = 40
    const QRect opacityArea(4, 20, 44, 16);
    {
        QPainter painter(&image);
        TransferAreaPainter areas(painter);
        areas.frame(colorArea);
        areas.colorBar(colorArea, std::vector<ColorRGB>(40, ColorRGB{255 + 256, 0, -256}), 2048);
        areas.frame(opacityArea);
        areas.opacityBar(opacityArea, std::vector<float>(40, 0.5f), 1024);
    }
    // Columns run from top + 5 to bottom - 6 in the low bytes of the channels.
    expectColor(image.pixelColor(6, 6), 255, 255, 255, 0);
    expectColor(image.pixelColor(6, 7), 255, 0, 0, 0);
    expectColor(image.pixelColor(6, 12), 255, 0, 0, 0);
    expectColor(image.pixelColor(6, 13), 255, 255, 255, 0);
    expectColor(image.pixelColor(45, 10), 255, 0, 0, 0);
    expectColor(image.pixelColor(46, 10), 255, 255, 255, 0);
    // Marker at w * 0.5 + left + 2 = 26, rows top .. bottom - 1.
    for (int y = 2; y < 18; ++y) {
        expectColor(image.pixelColor(26, y), 0, 0, 0, 0);
    }
    expectColor(image.pixelColor(25, 10), 255, 0, 0, 0);
    // Opacity 0.5 is grey 127; its marker at w * 0.25 + 6 = 16.
    expectColor(image.pixelColor(8, 28), 127, 127, 127, 0);
    expectColor(image.pixelColor(16, 28), 0, 0, 0, 0);
    expectColor(image.pixelColor(16, 20), 0, 0, 0, 0);
}

TEST(HistogramCache, ComputesOncePerDataSetLayerAndBinCount)
{
    FlowData data;
    fill(data, {{0.0625f, 0.2f, 0.2f, 1.0f}, {0.9f, 0.9f, 0.9f}});
    HistogramCache cache;
    const std::vector<float> first = cache.histogram(data, 0, 8);
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first[1], 1.0f);
    EXPECT_EQ(first[7], 0.0f);

    // Same key: the cached values, even though the layer changed underneath.
    data.frames[0].layers[0].values = {0.9f, 0.9f};
    EXPECT_EQ(cache.histogram(data, 0, 8), first);
    // Another layer or bin count is computed afresh, and the first is kept.
    EXPECT_EQ(cache.histogram(data, 1, 8)[7], 1.0f);
    EXPECT_EQ(cache.histogram(data, 1, 4).size(), 5u);
    EXPECT_EQ(cache.histogram(data, 0, 8), first);
    // A new load is announced by invalidate(); another data set is new too.
    cache.invalidate();
    EXPECT_EQ(cache.histogram(data, 0, 8)[7], 1.0f);
    FlowData other;
    fill(other, {{0.0625f, 0.2f, 0.2f}});
    EXPECT_EQ(cache.histogram(other, 0, 8)[1], 1.0f);
    EXPECT_EQ(cache.histogram(other, 0, 8)[7], 0.0f);
}

} // namespace
