// The main dialog: start-up, menu, views, loading and closing.
#include "UiTest.h"

namespace {

TEST(Startup, LogsBannerPresetsAndDialogInOrder)
{
    application();
    ASSERT_FALSE(Tool::Logger::instance().history.empty());
    const Tool::Message& banner = Tool::Logger::instance().history.front();
    EXPECT_EQ("CQuorvaneApp", banner.source);
    EXPECT_EQ("Starting Quorvane v.0.5 ..", banner.text);

    const size_t before = Tool::Logger::instance().history.size();
    REQUIRE_OWN_PROCESS();
    CQuorvaneDlg dialog;
    dialog.OnInitDialog();
    const long presets = findLog("Loaded ", before);
    const long context = findLog("Creating OpenGL Context .. [OK]", before);
    const long initialised = findLog("Initialising Quorvane Dialog .. [OK]", before);
    ASSERT_GE(presets, 0);
    // The view is created after the presets are read, before the closing line.
    EXPECT_GT(context, presets);
    ASSERT_GT(initialised, context);
    const auto& history = Tool::Logger::instance().history;
    EXPECT_EQ("Loaded 2 Transfer Preset(s) .. [OK]", history[presets].text);
    EXPECT_EQ("Brindlemoor", history[presets].source);
    EXPECT_EQ("CQuorvaneDlg::OnInitDialog()", history[initialised].source);

    // The editor and the player exist, hidden, and know the view.
    ASSERT_NE(nullptr, dialog.transferDialog);
    ASSERT_NE(nullptr, dialog.playerDialog);
    EXPECT_FALSE(dialog.transferDialog->isVisible());
    EXPECT_FALSE(dialog.playerDialog->isVisible());
    EXPECT_EQ(&dialog.glControl, dialog.transferDialog->glControl);
    EXPECT_EQ(nullptr, dialog.transferDialog->flowData);
    EXPECT_EQ(&dialog.glControl, dialog.playerDialog->glControl);
    EXPECT_EQ("Quorvane", dialog.windowTitle());

    // The view's context: RGB without alpha, double-buffered, a depth buffer of 16 bits or more.
    const QOpenGLContext* current = QOpenGLContext::currentContext();
    ASSERT_NE(nullptr, current);
    const QSurfaceFormat format = current->format();
    EXPECT_GE(format.depthBufferSize(), 16);
    EXPECT_EQ(QSurfaceFormat::DoubleBuffer, format.swapBehavior());
    EXPECT_GE(format.redBufferSize(), 8);
    EXPECT_EQ(0, format.alphaBufferSize());

    // The log file holds the same lines.
    std::ifstream file("Quorvane.log");
    std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, all.find("CQuorvaneApp: Starting Quorvane v.0.5 .."));
    EXPECT_NE(std::string::npos, all.find("Brindlemoor: Loaded 2 Transfer Preset(s) .. [OK]"));
}

TEST(DialogUnits, ScaleWithTheFont)
{
    application();
    QFont font = QApplication::font();
    font.setPixelSize(10);
    const DialogUnits small(font);
    font.setPixelSize(20);
    const DialogUnits large(font);
    EXPECT_GT(small.x(100), 0);
    EXPECT_GT(large.x(100), small.x(100));
    EXPECT_GT(large.y(100), small.y(100));
    QFontMetrics metrics(font);
    EXPECT_EQ((100 * metrics.height() + 4) / 8, large.y(100));
    EXPECT_EQ((metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2,
              large.x(4));
    const QRect r = large.rect(4, 8, 40, 16);
    EXPECT_EQ(QRect(large.x(4), large.y(8), large.x(40), large.y(16)), r);
}

TEST_F(Ui, MenuCarriesItsCaptionsIdsAndCheckMarks)
{
    const QList<QAction*> popups = dialog->menu->actions();
    ASSERT_EQ(2, popups.size());
    EXPECT_EQ("&File", popups[0]->text());
    EXPECT_EQ("&View", popups[1]->text());

    QStringList file;
    for (QAction* a : popups[0]->menu()->actions()) {
        file << (a->isSeparator() ? "-" : a->objectName() + " " + a->text());
    }
    EXPECT_EQ(QStringList({"32773 &Load", "32786 &Export Movie...", "-", "32771 E&xit"}), file);

    QStringList view;
    for (QAction* a : popups[1]->menu()->actions()) {
        view << (a->isSeparator() ? "-" : a->objectName() + " " + a->text() + (a->isChecked() ? " *" : ""));
    }
    EXPECT_EQ(
        QStringList({"32775 &Reset Camera", "-", "32776 Show &Axes *", "32782 Show &Wireframe", "32784 Show &Glyphs",
                     "32785 Show &Streamlines", "-", "32777 &Transferfunction", "32778 &Parameters", "32783 P&layer"}),
        view);
    EXPECT_TRUE(dialog->glControl.showAxes);
    EXPECT_FALSE(dialog->glControl.showWireframe);
    EXPECT_FALSE(dialog->glControl.showGlyphs);
}

TEST_F(Ui, ViewTogglesFollowTheirCheckMarks)
{
    COpenGLControl& view = dialog->glControl;
    item(*dialog, "32776")->trigger();
    EXPECT_FALSE(view.showAxes);
    EXPECT_FALSE(item(*dialog, "32776")->isChecked());
    item(*dialog, "32776")->trigger();
    EXPECT_TRUE(view.showAxes);
    EXPECT_TRUE(item(*dialog, "32776")->isChecked());

    item(*dialog, "32782")->trigger();
    EXPECT_TRUE(view.showWireframe);
    EXPECT_TRUE(item(*dialog, "32782")->isChecked());
    item(*dialog, "32784")->trigger();
    EXPECT_TRUE(view.showGlyphs);
    item(*dialog, "32784")->trigger();
    EXPECT_FALSE(view.showGlyphs);
    EXPECT_FALSE(item(*dialog, "32784")->isChecked());
}

TEST_F(Ui, ShowAxesThroughTheKeyboardMenu)
{
    // Alt+V opens the View menu; A picks Show &Axes.
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog.get(), Qt::Key_V, Qt::AltModifier);
    QMenu* view = dialog->menu->actions()[1]->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 2000));
    QTest::keyClick(view, Qt::Key_A);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->glControl.showAxes; }, 2000));
    EXPECT_FALSE(item(*dialog, "32776")->isChecked());
}

TEST_F(Ui, StreamlinesFollowTheirCheckMarkAndParametersChangeNoDrawingFlag)
{
    COpenGLControl& view = dialog->glControl;
    const size_t logged = Tool::Logger::instance().history.size();
    auto flags = [&] { return std::vector<bool>{view.showAxes, view.showWireframe, view.showGlyphs, view.showLayer}; };
    const std::vector<bool> start = flags();
    item(*dialog, "32785")->trigger();
    EXPECT_TRUE(item(*dialog, "32785")->isChecked());
    EXPECT_TRUE(view.showStreamlines);
    EXPECT_EQ(start, flags());
    item(*dialog, "32785")->trigger();
    EXPECT_FALSE(item(*dialog, "32785")->isChecked());
    EXPECT_FALSE(view.showStreamlines);
    item(*dialog, "32778")->trigger();
    EXPECT_EQ(start, flags());
    EXPECT_EQ(logged, Tool::Logger::instance().history.size());
}

TEST_F(Ui, MenuShowsTheEditorAndThePlayer)
{
    item(*dialog, "32777")->trigger();
    EXPECT_TRUE(dialog->transferDialog->isVisible());
    item(*dialog, "32783")->trigger();
    EXPECT_TRUE(player->isVisible());
}

TEST_F(Ui, HiddenDialogsComeBackWhereTheUserLeftThem)
{
    const std::pair<QDialog*, const char*> dialogs[] = {{dialog->transferDialog, "32777"}, {player, "32783"}};
    for (const auto& [shown, command] : dialogs) {
        item(*dialog, command)->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
        // Moved as the window manager moves it, not by the program.
        const QPoint place = shown->pos() + QPoint(37, 23);
        shown->windowHandle()->setPosition(place);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown->pos() == place; })) << command;
        shown->close();
        item(*dialog, command)->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
        EXPECT_EQ(shown->pos(), place) << command;
    }
}

TEST_F(Ui, LoadHandsTheDataSetToEveryView)
{
    const std::string grid = writeDataSet("first", 3, 4, 0.25f);
    const size_t before = Tool::Logger::instance().history.size();
    ASSERT_TRUE(dialog->loadFile(grid));
    ASSERT_EQ(4u, dialog->flowData.frames.size());
    EXPECT_EQ(&dialog->flowData, dialog->glControl.data());
    EXPECT_EQ(&dialog->flowData, dialog->transferDialog->flowData);
    EXPECT_EQ(&dialog->flowData, player->flowData);
    EXPECT_EQ("Frame: 1/4", frameLabel(player)->text());
    EXPECT_EQ(0, frameSlider(player)->minimum());
    EXPECT_EQ(3, frameSlider(player)->maximum());
    EXPECT_EQ(0, frameSlider(player)->value());

    const long loading = findLog("Loading file " + grid + " ..", before);
    const long gridLine = findLog("Gridfile loaded .. [OK]", before);
    const long frameLine = findLog("Loading Dataframe: first_000.dat .. [OK]", before);
    const long done = findLog("Flowdata loaded .. [OK]", before);
    EXPECT_GE(loading, 0);
    EXPECT_GT(gridLine, loading);
    EXPECT_GT(frameLine, gridLine);
    EXPECT_GT(done, frameLine);

    // No loading dialog outlives the command.
    EXPECT_FALSE(CLoadingDialog::loadRunning());
    EXPECT_TRUE(dialog->findChildren<CLoadingDialog*>().isEmpty());
}

TEST_F(Ui, SecondLoadUnloadsTheFirstBeforeLoading)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("first", 3, 4, 0.25f)));
    const size_t before = Tool::Logger::instance().history.size();
    const std::string second = writeDataSet("second", 5, 6, 0.5f);
    ASSERT_TRUE(dialog->loadFile(second));
    const long unloading = findLog("Unloading file  ..", before);
    const long loading = findLog("Loading file " + second, before);
    ASSERT_GE(unloading, 0);
    EXPECT_GT(loading, unloading);
    EXPECT_EQ(6u, dialog->flowData.frames.size());
}

TEST_F(Ui, APaintDuringALoadReadsNothingOfTheHalfLoadedSet)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("shown", 3, 4, 0.25f)));
    dialog->glControl.showStreamlines = true;
    dialog->glControl.currentFrame = 3;
    // The loading dialog serves events between frame files.
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, [&] { dialog->glControl.OnPaint(); });
    painter.start(0);
    const size_t before = Tool::Logger::instance().history.size();
    ASSERT_TRUE(dialog->loadFile(writeDataSet("loading", 3, 4, 0.25f)));
    painter.stop();
    dialog->glControl.waitForStreamlines();
    dialog->glControl.OnPaint();
    const auto& history = Tool::Logger::instance().history;
    for (size_t i = before; i < history.size(); ++i) {
        EXPECT_EQ(history[i].details.find("Frame 3 of"), std::string::npos) << history[i].details;
    }
}

TEST_F(Ui, FailedLoadIsLoggedAndLeavesEveryViewUsable)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("good", 3, 4, 0.25f)));
    // The header asks for four frames; one frame file is missing.
    const std::string broken = writeDataSet("broken", 3, 3, 0.25f);
    const size_t before = Tool::Logger::instance().history.size();
    EXPECT_FALSE(dialog->loadFile(broken));
    EXPECT_TRUE(dialog->flowData.frames.empty());
    EXPECT_EQ(nullptr, dialog->flowData.getSize());

    const long gridLine = findLog("Gridfile loaded .. [OK]", before);
    const long failed = findLog("Flowdata loaded .. [FAILED]", before);
    EXPECT_GE(gridLine, 0);
    EXPECT_GT(failed, gridLine);
    const auto& history = Tool::Logger::instance().history;
    ASSERT_FALSE(history.empty());
    const Tool::Message& exception = history.back();
    EXPECT_EQ(0u, exception.source.rfind("** Exception: ", 0)) << exception.source;
    EXPECT_EQ("FlowData::load()", exception.text);
    EXPECT_EQ("Frames not not matching the specified timesteps", exception.details);
    EXPECT_FALSE(CLoadingDialog::loadRunning());

    // The player, the view and the window cope with the empty set.
    player->show();
    for (const char* id : {"1013", "1015", "1016", "1017", "1015", "1013"}) {
        QTest::mouseClick(button(*player, id), Qt::LeftButton);
    }
    frameSlider(player)->setValue(2);
    tick(player);
    dialog->resize(dialog->width() + 40, dialog->height() + 30);
    dialog->glControl.Invalidate();
    QTest::qWait(50);
    std::vector<unsigned char> pixels;
    int w = 0, h = 0;
    EXPECT_TRUE(dialog->glControl.renderPixels(pixels, w, h));
    EXPECT_EQ(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, pixels.size());
    EXPECT_TRUE(dialog->flowData.frames.empty());
    button(*player, "1017")->click();
}

// Answers the next file dialog that opens, as soon as it is on the screen,
// and again while it stays open (it may not take the answer at once).
void answerFileDialog(std::function<void(QFileDialog*)> answer)
{
    auto* poll = new QTimer;
    auto target = std::make_shared<QPointer<QFileDialog>>();
    auto found = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, [poll, answer, target, found] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* files = qobject_cast<QFileDialog*>(w);
            if (!*found && files && files->isVisible()) {
                *target = files;
                *found = true;
            }
        }
        if (!target->isNull() && (*target)->isVisible()) {
            answer(*target);
        } else if (*found) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(100);
}

TEST_F(Ui, FileDialogRunsTheLoadCommand)
{
    const std::string grid = writeDataSet("picked", 1, 1, 0.1f);
    QString title;
    QStringList filters;
    QString initialName;
    QString initialFolder;
    answerFileDialog([&](QFileDialog* files) {
        title = files->windowTitle();
        filters = files->nameFilters();
        if (initialFolder.isEmpty()) {
            initialFolder = files->directory().absolutePath();
        }
        auto* name = files->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nullptr, name);
        if (initialName.isEmpty()) {
            initialName = name->text();
        }
        // Typed as a user would: the whole path without its extension, then Enter.
        name->setText(QString::fromStdString(grid.substr(0, grid.size() - 4)));
        QTest::keyClick(name, Qt::Key_Return);
    });
    item(*dialog, "32773")->trigger();
    EXPECT_EQ("Loading Flow Data", title);
    EXPECT_EQ(QStringList({"Flow Grid File (*.gri)"}), filters);
    EXPECT_EQ("*.gri", initialName);
    EXPECT_EQ(QDir::currentPath(), initialFolder);
    EXPECT_EQ(1u, dialog->flowData.frames.size());

    // Cancelling keeps the loaded set.
    const size_t before = Tool::Logger::instance().history.size();
    answerFileDialog([](QFileDialog* files) { QMetaObject::invokeMethod(files, "reject", Qt::QueuedConnection); });
    item(*dialog, "32773")->trigger();
    EXPECT_EQ(1u, dialog->flowData.frames.size());
    EXPECT_EQ(-1, findLog("Unloading file  ..", before));
}

TEST_F(Ui, SizeAndMouseInputReachTheView)
{
    COpenGLControl& view = dialog->glControl;
    // The view fills the client area from the start.
    ASSERT_NE(nullptr, view.container());
    EXPECT_EQ(dialog->clientArea()->rect(), view.container()->geometry());
    dialog->resize(dialog->width() + 60, dialog->height() + 40);
    QTest::qWait(50);
    const QSize client = dialog->clientArea()->size();
    ASSERT_NE(nullptr, view.container());
    EXPECT_EQ(QRect(QPoint(0, 0), client), view.container()->geometry());

    // Move events the dialog receives go to the view in client coordinates.
    const QPoint inside = dialog->clientArea()->geometry().topLeft() + QPoint(20, 30);
    QMouseEvent move(QEvent::MouseMove, inside, dialog->mapToGlobal(inside), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &move);
    EXPECT_FLOAT_EQ(20.0f, view.lastMouseX);
    EXPECT_FLOAT_EQ(30.0f, view.lastMouseY);
    QMouseEvent drag(QEvent::MouseMove, inside + QPoint(10, 0), dialog->mapToGlobal(inside), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &drag);
    EXPECT_FLOAT_EQ(5.0f, view.rotY);

    QWheelEvent wheel(inside, dialog->mapToGlobal(inside), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(dialog.get(), &wheel);
    EXPECT_NEAR(0.9f, view.zoom, 1e-6);
    QWheelEvent shiftWheel(inside, dialog->mapToGlobal(inside), QPoint(), QPoint(0, -120), Qt::NoButton,
                           Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(dialog.get(), &shiftWheel);
    EXPECT_FLOAT_EQ(10.5f, view.scale);

    item(*dialog, "32775")->trigger();
    EXPECT_FLOAT_EQ(1.0f, view.zoom);
    EXPECT_FLOAT_EQ(0.0f, view.rotY);
}

TEST_F(Ui, ClosingTheDialogUnloadsTheDataSet)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("closing", 1, 1, 0.1f)));
    const size_t before = Tool::Logger::instance().history.size();
    dialog.reset();
    EXPECT_GE(findLog("Unloading file  ..", before), 0);
}

TEST_F(Ui, ExitEndsAtOnceWithoutUnloading)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("exiting", 1, 1, 0.1f)));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // In the child an unloading line turns into exit status 3.
    struct FailOnUnload : Tool::LogListener {
        void handle(const Tool::Message& m) override
        {
            if (m.text.rfind("Unloading", 0) == 0) {
                std::_Exit(3);
            }
        }
    };
    EXPECT_EXIT(
        {
            Tool::Logger::instance().addListener(new FailOnUnload, false);
            item(*dialog, "32771")->trigger();
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
