#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "support/CountingSurface.h"
#include "transfer/PresetManager.h"
#include "ui/CTransferDialog.h"
#include "ui/HistogramCache.h"
#include "ui/TransferAreaPainter.h"
#include "ui/ValueAxis.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <unistd.h>

namespace {

// One QApplication per test process, started in a private folder so that the
// presets file of one test process never meets another's. It is destroyed
// before the process ends, while the display connection is still sound.
class ApplicationEnvironment : public ::testing::Environment {
public:
    static QApplication& application()
    {
        if (!app) {
            char folder[] = "/tmp/quorvane_editor_XXXXXX";
            if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
                std::abort();
            }
            app = new QApplication(argc, argv);
        }
        return *app;
    }
    void TearDown() override
    {
        delete app;
        app = nullptr;
    }

private:
    static inline int argc = 1;
    static inline char name[] = "test_editor";
    static inline char* argv[] = {name, nullptr};
    static inline QApplication* app = nullptr;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

QApplication& application()
{
    return ApplicationEnvironment::application();
}

// A loaded-looking data set: one frame whose layer l holds values[l].
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

// Runs answer on the next modal dialog as soon as it is up; the callback
// must close it.
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

void expectColor(const QColor& actual, int r, int g, int b, int tolerance = 2)
{
    EXPECT_NEAR(actual.red(), r, tolerance);
    EXPECT_NEAR(actual.green(), g, tolerance);
    EXPECT_NEAR(actual.blue(), b, tolerance);
}

// Starts the application before the dialog is built.
struct WithApplication {
    WithApplication() { application(); }
};

class EditorTest : public ::testing::Test, private WithApplication {
protected:
    EditorTest() : dialog(nullptr) { dialog.glControl = &control; }

    template <class T> T* child(const char* id) { return dialog.findChild<T*>(id); }
    void click(const char* id) { child<QPushButton>(id)->click(); }
    QSlider* valueSlider() { return child<QSlider>("1054"); }
    QSlider* opacitySlider() { return child<QSlider>("1063"); }
    QComboBox* layers() { return child<QComboBox>("1005"); }
    QComboBox* presets() { return child<QComboBox>("1022"); }
    QString valueLabel() { return child<QLabel>("1055")->text(); }
    QRect area(const char* id) { return child<QWidget>(id)->geometry(); }

    // What the user does: these reach the dialog through the widgets' signals.
    void selectLayer(int index)
    {
        layers()->setCurrentIndex(index);
        emit layers()->activated(index);
    }
    void moveValueSlider(int k) { valueSlider()->setValue(k); }

    void load(const std::vector<std::vector<float>>& values)
    {
        fill(data, values);
        dialog.flowData = &data;
        dialog.refreshLayers();
    }

    // Adds a colour point through the colour chooser, picking color.
    void addColor(const QColor& color)
    {
        onNextModal([color](QWidget* modal) {
            auto* chooser = qobject_cast<QColorDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->currentColor(), QColor(Qt::black));
            chooser->setCurrentColor(color);
            chooser->accept();
        });
        click("1043");
    }

    QImage picture() { return dialog.grab().toImage(); }

    FlowData data;
    COpenGLControl control;
    CTransferDialog dialog;
};

std::vector<std::vector<float>> twoLayers()
{
    return {{0.1f, 0.2f, 0.2f, 0.9f}, {0.5f, 0.5f, 0.7f, 1.0f}};
}

} // namespace

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

TEST_F(EditorTest, CreatedHiddenWithTemplateControls)
{
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "Transferfunction");
    EXPECT_EQ(valueSlider()->minimum(), 0);
    EXPECT_EQ(valueSlider()->maximum(), 4096);
    EXPECT_EQ(opacitySlider()->maximum(), 50);
    EXPECT_EQ(valueLabel(), "Value: 0");
    EXPECT_EQ(layers()->count(), 0);
    EXPECT_TRUE(presets()->isEditable());
    const char* ids[] = {"1043", "1044", "1045", "1047", "1049", "1050", "1046", "1048", "1024", "1026"};
    const char* captions[] = {"+", "-", "Reset", "+", "-", "Reset", "<<", ">>", "Load", "Save"};
    for (int i = 0; i < 10; ++i) {
        ASSERT_NE(child<QPushButton>(ids[i]), nullptr) << ids[i];
        EXPECT_EQ(child<QPushButton>(ids[i])->text(), captions[i]);
    }
    // The colour and opacity bars share a row of pixels, as in the template.
    EXPECT_GT(area("1053").bottom(), area("1058").top() - 1);
}

TEST_F(EditorTest, NothingHappensOrIsDrawnBeforeALoad)
{
    // The areas show what lies below them: the dialog, not a white frame.
    const QRect areas = area("1064").united(area("1058"));
    const QImage before = picture().copy(areas);
    EXPECT_NE(before.pixelColor(areas.width() / 2, 10), QColor(Qt::white));
    EXPECT_NE(before.pixelColor(0, 0), QColor(Qt::black));
    for (const char* id : {"1043", "1044", "1045", "1047", "1049", "1050", "1046", "1048", "1024", "1026"}) {
        click(id); // the colour chooser would block here if it opened
    }
    EXPECT_EQ(valueSlider()->value(), 0);
    EXPECT_TRUE(dialog.layerFunctions().empty());
    dialog.flowData = &data; // loaded, but refreshLayers has not run: frames only
    EXPECT_EQ(picture().copy(areas).pixelColor(0, 0), QColor(Qt::black));
}

TEST_F(EditorTest, RefreshLayersListsFlowdataThenTheLayers)
{
    control.showLayer = true;
    load(twoLayers());
    ASSERT_EQ(layers()->count(), 3);
    EXPECT_EQ(layers()->itemText(0), "Flowdata");
    EXPECT_EQ(layers()->itemText(1), "Layer_0");
    EXPECT_EQ(layers()->itemText(2), "Layer_1");
    EXPECT_EQ(layers()->currentIndex(), 0);
    EXPECT_FALSE(control.showLayer);
    ASSERT_EQ(dialog.layerFunctions().size(), 2u);
    EXPECT_EQ(dialog.layerFunctions()[1].color.size(), 2u);

    // With "Flowdata" selected: white framed areas, nothing inside.
    const QImage image = picture();
    const QRect bar = area("1053");
    expectColor(image.pixelColor(bar.x(), bar.y()), 0, 0, 0, 0);
    expectColor(image.pixelColor(bar.x() + 2, bar.center().y()), 255, 255, 255, 0);
    moveValueSlider(1000);
    for (const char* id : {"1043", "1044", "1045", "1047", "1049", "1050", "1046", "1048"}) {
        click(id);
    }
    EXPECT_EQ(dialog.layerFunctions()[0].color.size(), 2u);
    EXPECT_EQ(dialog.layerFunctions()[0].alpha.size(), 2u);
    EXPECT_EQ(valueSlider()->value(), 1000);
}

TEST_F(EditorTest, RedAtTheMiddleShowsBlackToRedToWhite)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(2048);
    addColor(Qt::red);

    const auto& color = dialog.layerFunctions()[0].color;
    ASSERT_EQ(color.size(), 3u);
    EXPECT_EQ(color[1].first, 0.5f);
    EXPECT_EQ(color[1].second.r, 255);
    EXPECT_EQ(color[1].second.g, 0);

    const QImage image = picture();
    const QRect bar = area("1053");
    const int w = bar.width() - 4;
    const int y = bar.y() + bar.height() / 2;
    auto at = [&](float fraction) { return image.pixelColor(bar.x() + 2 + static_cast<int>(w * fraction), y); };
    expectColor(at(0.0f), 0, 0, 0);
    expectColor(at(0.25f), 127, 0, 0, 3);
    expectColor(at(0.45f), 229, 0, 0, 3);
    expectColor(at(0.55f), 255, 25, 25, 3);
    expectColor(at(0.75f), 255, 127, 127, 3);
    expectColor(at(0.99f), 255, 249, 249, 3);
    // The marker sits at the middle, over the full height.
    const int m = static_cast<int>(w * 0.5f + bar.x() + 2);
    expectColor(image.pixelColor(m, bar.y() + 1), 0, 0, 0, 0);
    expectColor(image.pixelColor(m, y), 0, 0, 0, 0);
}

TEST_F(EditorTest, CancelledColourChooserChangesNothing)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(1000);
    onNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    click("1043");
    EXPECT_EQ(dialog.layerFunctions()[0].color.size(), 2u);
}

TEST_F(EditorTest, OpacityPointAndOpacityBar)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(1024);
    opacitySlider()->setValue(25);
    click("1047");
    const auto& alpha = dialog.layerFunctions()[0].alpha;
    ASSERT_EQ(alpha.size(), 3u);
    EXPECT_EQ(alpha[1].first, 0.25f);
    EXPECT_EQ(alpha[1].second, 0.5f);
    EXPECT_EQ(dialog.layerFunctions()[0].color.size(), 2u);

    const QImage image = picture();
    const QRect bar = area("1058");
    const int w = bar.width() - 4;
    const int y = bar.y() + bar.height() / 2;
    expectColor(image.pixelColor(bar.x() + 2, y), 0, 0, 0, 0);
    const int quarter = bar.x() + 2 + w / 4 + 1; // just right of the marker
    expectColor(image.pixelColor(quarter, y), 127, 127, 127, 2);
    expectColor(image.pixelColor(bar.x() + 2 + w - 1, y), 254, 254, 254, 2);
}

TEST_F(EditorTest, RemovingAnEndColourBlackensIt)
{
    load(twoLayers());
    selectLayer(1);
    auto& tf = dialog.layerFunctions()[0];
    moveValueSlider(4096);
    click("1044");
    ASSERT_EQ(tf.color.size(), 2u);
    EXPECT_EQ(tf.color.back(), Transferfunction::ColorPoint(1.0f, ColorRGB(0, 0, 0)));

    moveValueSlider(0);
    addColor(QColor(10, 20, 30));
    click("1044");
    ASSERT_EQ(tf.color.size(), 2u);
    EXPECT_EQ(tf.color.front(), Transferfunction::ColorPoint(0.0f, ColorRGB(0, 0, 0)));

    // Where no point lies nothing changes; the opacity list is untouched.
    moveValueSlider(777);
    click("1044");
    EXPECT_EQ(tf.color.size(), 2u);
    EXPECT_EQ(tf.alpha.back().second, 1.0f);

    click("1049"); // nothing at 777 either
    moveValueSlider(4096);
    click("1049");
    EXPECT_EQ(tf.alpha.back().second, 0.0f);
    click("1045");
    click("1050");
    EXPECT_EQ(tf.color.back().second.r, 255);
    EXPECT_EQ(tf.alpha.back().second, 1.0f);
}

TEST_F(EditorTest, NavigationStepsOverBothLists)
{
    load(twoLayers());
    selectLayer(1);
    // Default function: straight from one end to the other.
    click("1048");
    EXPECT_EQ(valueSlider()->value(), 4096);
    click("1046");
    EXPECT_EQ(valueSlider()->value(), 0);

    moveValueSlider(1024);
    addColor(Qt::red);
    moveValueSlider(2048);
    opacitySlider()->setValue(5);
    click("1047");
    moveValueSlider(0);
    opacitySlider()->setValue(7);
    click("1048");
    EXPECT_EQ(valueSlider()->value(), 1024);
    EXPECT_EQ(valueLabel(), "Value: 1024 (0.25)");
    click("1048");
    EXPECT_EQ(valueSlider()->value(), 2048);
    click("1048");
    EXPECT_EQ(valueSlider()->value(), 4096);
    click("1048");
    EXPECT_EQ(valueSlider()->value(), 4096);
    click("1046");
    EXPECT_EQ(valueSlider()->value(), 2048);
    click("1046");
    EXPECT_EQ(valueSlider()->value(), 1024);
    click("1046");
    EXPECT_EQ(valueSlider()->value(), 0);
    // The buttons leave the opacity slider where it was.
    EXPECT_EQ(opacitySlider()->value(), 7);
}

TEST_F(EditorTest, ScrollingFollowsTheOpacityAtThePosition)
{
    load(twoLayers());
    moveValueSlider(2048);
    EXPECT_EQ(valueLabel(), "Value: 2048 (0.5)");
    EXPECT_EQ(opacitySlider()->value(), 0); // no layer selected
    selectLayer(1);
    moveValueSlider(2049);
    EXPECT_EQ(opacitySlider()->value(), 25);
    moveValueSlider(1);
    EXPECT_EQ(valueLabel(), "Value: 1 (0.000244141)");
    EXPECT_EQ(opacitySlider()->value(), 0);
    moveValueSlider(4096);
    EXPECT_EQ(opacitySlider()->value(), 50);
}

// The command line picks its layer through the same method as the list.
TEST_F(EditorTest, ChoosingALayerActsLikeTheListAndRefusesMissingEntries)
{
    EXPECT_FALSE(dialog.chooseLayer(0)); // nothing loaded: the list is empty
    load(twoLayers());
    EXPECT_TRUE(dialog.chooseLayer(2));
    EXPECT_EQ(layers()->currentIndex(), 2);
    EXPECT_TRUE(control.showLayer);
    EXPECT_EQ(control.currentLayer, 1u);
    EXPECT_FALSE(dialog.chooseLayer(3));
    EXPECT_FALSE(dialog.chooseLayer(-1));
    EXPECT_EQ(layers()->currentIndex(), 2);
    EXPECT_TRUE(dialog.chooseLayer(0));
    EXPECT_FALSE(control.showLayer);
}

TEST_F(EditorTest, EachLayerKeepsItsOwnFunction)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(1024);
    addColor(Qt::green);
    selectLayer(2);
    EXPECT_TRUE(control.showLayer);
    EXPECT_EQ(control.currentLayer, 1u);
    EXPECT_EQ(dialog.layerFunctions()[1].color.size(), 2u);
    const QImage second = picture();
    const QRect bar = area("1053");
    const int y = bar.y() + bar.height() / 2;
    const int column = bar.x() + 2 + (bar.width() - 4) / 4 - 1;
    EXPECT_EQ(second.pixelColor(column, y).green(), second.pixelColor(column, y).red()); // grey ramp
    selectLayer(1);
    EXPECT_GT(picture().pixelColor(column, y).green(), 200);
    EXPECT_EQ(dialog.layerFunctions()[0].color.size(), 3u);
}

TEST_F(EditorTest, ASecondLoadResetsTheFunctions)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(1024);
    addColor(Qt::red);
    selectLayer(2);
    moveValueSlider(2048);
    click("1047");
    // The same shape again: every layer starts over from the default.
    load(twoLayers());
    ASSERT_EQ(dialog.layerFunctions().size(), 2u);
    EXPECT_EQ(dialog.layerFunctions()[0], Transferfunction());
    EXPECT_EQ(dialog.layerFunctions()[1], Transferfunction());

    selectLayer(1);
    click("1047");
    load({{0.5f, 0.25f}});
    EXPECT_EQ(layers()->count(), 2);
    EXPECT_EQ(layers()->currentIndex(), 0);
    ASSERT_EQ(dialog.layerFunctions().size(), 1u);
    EXPECT_EQ(dialog.layerFunctions()[0].alpha.size(), 2u);
    EXPECT_EQ(valueSlider()->value(), 2048); // sliders keep their positions
}

TEST_F(EditorTest, HistogramBarsAreDrawnFromTheLayer)
{
    // Four values in the bin at 0.5 of the area and two near the right end.
    const QRect histogram = area("1064");
    const int w = histogram.width() - 4;
    const float middle = (w / 2 + 0.5f) / w;
    const float late = (w - 2 + 0.5f) / w;
    load({{middle, middle, middle, middle, late, late, 0.0f}});
    selectLayer(1);
    const QImage image = picture();
    const int h = histogram.height() - 10;
    const int base = histogram.y() + histogram.height() - 5;
    auto barHeight = [&](int bin, const QImage& shot) {
        int height = 0;
        const int x = histogram.x() + 2 + bin;
        for (int y = base; y > histogram.y() && shot.pixelColor(x, y) == QColor(Qt::black); --y) {
            ++height;
        }
        return height;
    };
    EXPECT_EQ(barHeight(w / 2, image), h);
    // ln 2 / ln 4 of the full height, truncated from base - h * v.
    const float v = std::log(2.0f) / std::log(2.7f) / (std::log(4.0f) / std::log(2.7f));
    EXPECT_NEAR(barHeight(w - 2, image), h * v, 1.0);
    EXPECT_EQ(barHeight(w / 2 - 1, image), 0);
    EXPECT_EQ(barHeight(0, image), 0);

    // A new load into the same data set shows the new values, not the
    // histogram kept from the first.
    load({{late, late, late, 0.0f}});
    selectLayer(1);
    const QImage reloaded = picture();
    EXPECT_EQ(barHeight(w / 2, reloaded), 0);
    EXPECT_EQ(barHeight(w - 2, reloaded), h);
}

TEST_F(EditorTest, AFailedLoadLeavesEmptyAreasAndSafeButtons)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(2048);
    data.frames.clear(); // what a failed load leaves behind
    const QImage image = picture();
    const QRect bar = area("1053");
    const int y = bar.y() + bar.height() / 2;
    expectColor(image.pixelColor(bar.x(), y), 0, 0, 0, 0);
    for (int x = bar.x() + 1; x < bar.x() + bar.width() - 1; ++x) {
        ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x;
    }
    for (const char* id : {"1044", "1045", "1047", "1049", "1050", "1046", "1048"}) {
        click(id);
    }
    selectLayer(2);
    EXPECT_EQ(picture().pixelColor(bar.center()), QColor(Qt::white));
}

TEST_F(EditorTest, LoadingAnUnknownPresetShowsTheMessage)
{
    load(twoLayers());
    selectLayer(1);
    presets()->setEditText("no such preset");
    bool shown = false;
    onNextModal([&shown](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = true;
        EXPECT_EQ(box->text(), "Preset doesn't exist");
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->windowTitle(), QGuiApplication::applicationDisplayName());
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        // The caption, in a bold title font, fits beside the window manager's
        // icon and three buttons with their margins, about six title-bar heights.
        QFont title = QApplication::font("QMdiSubWindowTitleBar");
        title.setBold(true);
        const int caption = QFontMetrics(title).horizontalAdvance(box->windowTitle());
        EXPECT_GE(box->width(), caption + 6 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight))
            << "caption " << caption << " title bar " << box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        box->button(QMessageBox::Ok)->click();
    });
    click("1024");
    EXPECT_TRUE(shown);
    EXPECT_FALSE(PresetManager::getInstance().hasPreset("no such preset"));
    EXPECT_EQ(dialog.layerFunctions()[0].color.size(), 2u);

    // An empty name does nothing at all, neither load nor save.
    presets()->setEditText("");
    click("1024");
    click("1026");
    EXPECT_FALSE(PresetManager::getInstance().hasPreset(""));
}

TEST_F(EditorTest, ChoosingALayerAndEditingAskTheViewForARepaint)
{
    CountingSurface surface;
    control.surface = &surface;
    load(twoLayers());
    int before = surface.updates;
    selectLayer(1);
    EXPECT_GT(surface.updates, before);
    moveValueSlider(2048);
    for (const char* edit : {"1044", "1045", "1047", "1049", "1050"}) {
        before = surface.updates;
        click(edit);
        EXPECT_GT(surface.updates, before) << edit;
    }
    before = surface.updates;
    addColor(Qt::blue);
    EXPECT_GT(surface.updates, before);
    control.surface = nullptr;
}

TEST_F(EditorTest, SavingUnderAnExistingNameKeepsOneEntry)
{
    load(twoLayers());
    selectLayer(1);
    presets()->setEditText("Beta");
    click("1026");
    presets()->setEditText("alpha");
    click("1026");
    moveValueSlider(2048);
    click("1047");
    click("1026");
    PresetManager& store = PresetManager::getInstance();
    ASSERT_EQ(presets()->count(), static_cast<int>(store.getPresetCount()));
    EXPECT_EQ(presets()->findText("alpha"), presets()->findText("Beta") - 1); // not byte order
    EXPECT_EQ(presets()->currentText(), "alpha");
    EXPECT_EQ(store.getPreset("alpha").alpha.size(), 3u);
    EXPECT_EQ(store.getPreset("Beta").alpha.size(), 2u);
    std::ifstream file(PresetManager::fileName);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("<first>alpha</first>"), std::string::npos);

    // A new dialog lists what the store holds.
    CTransferDialog another(nullptr);
    EXPECT_EQ(another.findChild<QComboBox*>("1022")->count(), presets()->count());
}

TEST_F(EditorTest, APresetFromOneLayerArrivesUnchangedInAnother)
{
    load(twoLayers());
    selectLayer(1);
    moveValueSlider(1);
    addColor(QColor(12, 34, 56));
    moveValueSlider(4095);
    opacitySlider()->setValue(13);
    click("1047");
    presets()->setEditText("carry");
    click("1026");

    selectLayer(2);
    presets()->setEditText("carry");
    click("1024");
    const Transferfunction& from = dialog.layerFunctions()[0];
    const Transferfunction& to = dialog.layerFunctions()[1];
    EXPECT_EQ(to.color, from.color);
    EXPECT_EQ(to.alpha, from.alpha);
    EXPECT_EQ(to.color[1].first, 1.0f / 4096);
    EXPECT_EQ(to.alpha[1].first, 4095.0f / 4096);
}

TEST_F(EditorTest, ABrokenPresetIsDrawnAndSteppedThroughSafely)
{
    // Lists as a presets file may hold them: empty, unsorted, out of range.
    Transferfunction broken;
    broken.color.clear();
    broken.alpha = {{0.75f, std::numeric_limits<float>::quiet_NaN()}, {-3.0f, 9.0f}, {7.0f, -1.0f}};
    PresetManager::getInstance().preset["broken"] = broken;
    load(twoLayers());
    selectLayer(1);
    presets()->setEditText("broken");
    click("1024");
    ASSERT_TRUE(dialog.layerFunctions()[0].color.empty());
    for (int k : {0, 1024, 3072, 4096}) {
        moveValueSlider(k);
        EXPECT_GE(opacitySlider()->value(), 0);
        EXPECT_LE(opacitySlider()->value(), 50);
        click("1048");
        click("1046");
        EXPECT_GE(valueSlider()->value(), 0);
        EXPECT_LE(valueSlider()->value(), 4096);
    }
    // An empty colour list draws black columns; the frame stays intact.
    const QImage image = picture();
    const QRect bar = area("1053");
    expectColor(image.pixelColor(bar.x() + 2, bar.y() + bar.height() / 2), 0, 0, 0, 0);
    expectColor(image.pixelColor(bar.x() + 1, bar.y() + 1), 255, 255, 255, 0);
}

TEST_F(EditorTest, EnterHidesTheDialogAndKeepsItsState)
{
    load(twoLayers());
    selectLayer(2);
    dialog.show();
    ASSERT_TRUE(dialog.isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    EXPECT_EQ(layers()->currentIndex(), 2);

    // On a focused button Enter presses that button and the dialog stays.
    moveValueSlider(2048);
    child<QPushButton>("1047")->setFocus();
    QKeyEvent enterButton(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(child<QPushButton>("1047"), &enterButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.layerFunctions()[1].alpha.size(), 3u);

    // Also from the preset name, which keeps its case though "Mixed" exists.
    presets()->setEditText("Mixed");
    click("1026");
    // Typed names are not completed from the stored ones.
    presets()->setEditText("");
    for (const char* letter : {"m", "i"}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, letter);
        QApplication::sendEvent(presets()->lineEdit(), &press);
    }
    EXPECT_EQ(presets()->currentText(), "mi");
    presets()->setEditText("mixed");
    presets()->lineEdit()->setFocus();
    QKeyEvent enterName(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(presets()->lineEdit(), &enterName);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(presets()->currentText(), "mixed");
}

namespace {

// Counts the view's transfer-texture uploads through their log line.
struct UploadCounter : Tool::LogListener {
    int uploads = 0;
    void handle(const Tool::Message& message) override
    {
        uploads += message.text == "OpenGL Transfer Texture loaded .. [OK]";
    }
};

} // namespace

// With a real view: the transfer texture is rebuilt when a layer is picked
// (again) or a preset is loaded into it, never by an edit.
TEST_F(EditorTest, OnlyLayerPicksAndPresetLoadsRebuildTheTexture)
{
    for (const char* shader : {"TransferFragment.cg", "GlyphFragment.cg", "GlyphVertex.cg"}) {
        std::filesystem::copy_file(std::string(QUORVANE_SOURCE_DIR) + "/shaders/" + shader, shader,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    static UploadCounter counter;
    Tool::Logger::instance().addListener(&counter, false);
    Tool::Logger::instance().enabled = true;
    QWidget host;
    COpenGLControl view;
    view.oglCreate(QRect(0, 0, 64, 64), &host);
    dialog.glControl = &view;
    load(twoLayers());
    EXPECT_EQ(counter.uploads, 0);

    selectLayer(1);
    EXPECT_EQ(counter.uploads, 1);
    EXPECT_TRUE(view.showLayer);
    moveValueSlider(2048);
    for (const char* edit : {"1044", "1045", "1047", "1049", "1050", "1046", "1048"}) {
        click(edit);
    }
    addColor(Qt::blue);
    presets()->setEditText("upload");
    click("1026");
    EXPECT_EQ(counter.uploads, 1);

    selectLayer(1);
    EXPECT_EQ(counter.uploads, 2);
    selectLayer(2);
    click("1024");
    EXPECT_EQ(counter.uploads, 4);
    selectLayer(0);
    EXPECT_FALSE(view.showLayer);
    EXPECT_EQ(counter.uploads, 4);
}
