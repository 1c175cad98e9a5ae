// The editor with its dialog: controls, colour and opacity points,
// navigation and layers.
#include "EditorTest.h"

namespace {

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

} // namespace
