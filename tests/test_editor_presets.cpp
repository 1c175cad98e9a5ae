// The editor with its dialog: histogram, failed loads, presets, the Enter key
// and the view's transfer texture.
#include "EditorTest.h"

namespace {

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
    control.setWindow(&surface);
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
    control.setWindow(nullptr);
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

// With a real view: the transfer texture is rebuilt when a layer is picked
// (again) or a preset is loaded into it, never by an edit.
TEST_F(EditorTest, OnlyLayerPicksAndPresetLoadsRebuildTheTexture)
{
    for (const char* shader : {"TransferFragment.cg", "GlyphFragment.cg", "GlyphVertex.cg"}) {
        std::filesystem::copy_file(std::string(QUORVANE_SOURCE_DIR) + "/shaders/" + shader, shader,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    static LogRecorder uploads;
    uploads.listen();
    QWidget host;
    COpenGLControl view;
    view.oglCreate(QRect(0, 0, 64, 64), &host);
    dialog.glControl = &view;
    load(twoLayers());
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 0u);

    selectLayer(1);
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 1u);
    EXPECT_TRUE(view.showLayer);
    moveValueSlider(2048);
    for (const char* edit : {"1044", "1045", "1047", "1049", "1050", "1046", "1048"}) {
        click(edit);
    }
    addColor(Qt::blue);
    presets()->setEditText("upload");
    click("1026");
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 1u);

    selectLayer(1);
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 2u);
    selectLayer(2);
    click("1024");
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 4u);
    selectLayer(0);
    EXPECT_FALSE(view.showLayer);
    EXPECT_EQ(uploads.count("OpenGL Transfer Texture loaded .. [OK]"), 4u);
}

} // namespace
