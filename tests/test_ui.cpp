#include "diagnostics/Exception.h"
#include "diagnostics/Logger.h"
#include "flowdata/FlowData.h"
#include "render/COpenGLControl.h"
#include "render/WindowMessages.h"
#include "support/MovieProbe.h"
#include "transfer/PresetManager.h"
#include "ui/CLoadingDialog.h"
#include "ui/CQuorvaneApp.h"
#include "ui/CQuorvaneDlg.h"
#include "ui/CTransferDialog.h"
#include "ui/CommandLine.h"
#include "ui/DialogUnits.h"
#include "ui/FrameExporter.h"
#include "ui/PlayerDialog.h"
#include "ui/Snapshot.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// One application per test process, started in a private folder so that the
// log and presets files of one test process never meet another's. The
// presets file holds two presets before the application starts.
CQuorvaneApp& application()
{
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static char folder[] = "/tmp/quorvane_ui_XXXXXX";
    static CQuorvaneApp* app = [] {
        if (mkdtemp(folder) == nullptr || chdir(folder) != 0) {
            std::abort();
        }
        std::atexit([] { QDir(folder).removeRecursively(); });
        auto* created = new CQuorvaneApp(argc, argv);
        PresetManager& presets = PresetManager::getInstance();
        presets.getPreset("warm");
        presets.getPreset("cold");
        presets.save();
        return created;
    }();
    return *app;
}

std::string currentFolder()
{
    char here[4096];
    return getcwd(here, sizeof here) ? here : ".";
}

// Writes a data set: a flat X x Y x Z grid over the unit square and one frame
// file per entry of frameVectors, each node holding that vector (or the one
// columnVector gives its column) and layer values that grow with the node index.
std::string writeDataSet(const std::string& stem, int headerFrames, size_t frameFiles, float timestep,
                         const std::vector<std::array<float, 3>>& frameVectors = {},
                         const std::function<std::array<float, 3>(int i)>& columnVector = {})
{
    const int X = 4, Y = 3, Z = 2, layers = 2;
    const std::string folder = currentFolder() + "/" + stem;
    std::system(("mkdir -p '" + folder + "'").c_str());
    const std::string grid = folder + "/" + stem + ".gri";
    std::ofstream out(grid, std::ios::binary);
    char header[40] = {};
    std::snprintf(header, sizeof header, "SN4DB %d %d %d %d %d %g\n", X, Y, Z, layers, headerFrames, timestep);
    out.write(header, 40);
    for (int k = 0; k < Z; ++k) {
        for (int j = 0; j < Y; ++j) {
            for (int i = 0; i < X; ++i) {
                const float p[3] = {i / float(X - 1), j / float(Y - 1), k * 0.5f / float(Z - 1)};
                out.write(reinterpret_cast<const char*>(p), sizeof p);
            }
        }
    }
    for (size_t f = 0; f < frameFiles; ++f) {
        char file[64];
        std::snprintf(file, sizeof file, "/%s_%03zu.dat", stem.c_str(), f);
        std::ofstream frame(folder + file, std::ios::binary);
        const std::array<float, 3> v = f < frameVectors.size() ? frameVectors[f] : std::array<float, 3>{1, 0, 0};
        for (int n = 0; n < X * Y * Z; ++n) {
            const std::array<float, 3> w = columnVector ? columnVector(n % X) : v;
            const float record[5] = {w[0], w[1], w[2], float(n + f), float(2 * n)};
            frame.write(reinterpret_cast<const char*>(record), sizeof record);
        }
    }
    return grid;
}

// Index of the first message at or after `from` whose text starts with
// prefix, or -1.
long findLog(const std::string& prefix, size_t from = 0)
{
    const auto& history = Tool::Logger::instance().history;
    for (size_t i = from; i < history.size(); ++i) {
        if (history[i].text.rfind(prefix, 0) == 0) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// The view registers its shader programs once per process, as the program
// has one main dialog; ctest runs every test in a process of its own.
bool claimMainDialog()
{
    static bool claimed = false;
    const bool first = !claimed;
    claimed = true;
    return first;
}

#define REQUIRE_OWN_PROCESS()                                                                                          \
    if (!claimMainDialog()) {                                                                                          \
        GTEST_SKIP() << "needs a process of its own (one main dialog per process); run it through ctest";              \
    }

QAction* item(CQuorvaneDlg& dialog, const char* id)
{
    return dialog.menu->findChild<QAction*>(id);
}

QPushButton* button(QWidget& dialog, const char* id)
{
    return dialog.findChild<QPushButton*>(id);
}

QLabel* frameLabel(PlayerDialog* player)
{
    return player->findChild<QLabel*>("1014");
}

QSlider* frameSlider(PlayerDialog* player)
{
    return player->findChild<QSlider*>("1012");
}

QTimer* playTimer(PlayerDialog* player)
{
    return player->findChild<QTimer*>("playTimer");
}

// One timeout of the play timer, as if its interval had passed.
void tick(PlayerDialog* player)
{
    QMetaObject::invokeMethod(playTimer(player), "timeout");
}

class Ui : public ::testing::Test {
protected:
    void SetUp() override
    {
        application();
        REQUIRE_OWN_PROCESS();
        dialog = std::make_unique<CQuorvaneDlg>();
        ASSERT_TRUE(dialog->OnInitDialog());
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        player = dialog->playerDialog;
    }

    void TearDown() override { dialog.reset(); }

    std::unique_ptr<CQuorvaneDlg> dialog;
    PlayerDialog* player = nullptr;
};

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
    EXPECT_EQ(&dialog->flowData, dialog->glControl.flowData);
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

TEST_F(Ui, PlayerStepsWithinTheDataSet)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("steps", 3, 4, 0.25f)));
    COpenGLControl& view = dialog->glControl;
    player->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(player));
    EXPECT_EQ("Dialog", player->windowTitle());

    // "<<" at frame 0 changes nothing.
    QTest::mouseClick(button(*player, "1013"), Qt::LeftButton);
    EXPECT_EQ(0u, view.currentFrame);
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(button(*player, "1015"), Qt::LeftButton);
    }
    EXPECT_EQ(3u, view.currentFrame);
    EXPECT_EQ("Frame: 4/4", frameLabel(player)->text());
    EXPECT_EQ(3, frameSlider(player)->value());
    // ">>" at the last frame is refused and does not wrap.
    QTest::mouseClick(button(*player, "1015"), Qt::LeftButton);
    EXPECT_EQ(3u, view.currentFrame);
    EXPECT_EQ("Frame: 4/4", frameLabel(player)->text());
    QTest::mouseClick(button(*player, "1013"), Qt::LeftButton);
    EXPECT_EQ(2u, view.currentFrame);
    EXPECT_EQ("Frame: 3/4", frameLabel(player)->text());

    // Keys on the slider move the frame too.
    frameSlider(player)->setFocus();
    QTest::keyClick(frameSlider(player), Qt::Key_Home);
    EXPECT_EQ(0u, view.currentFrame);
    EXPECT_EQ("Frame: 1/4", frameLabel(player)->text());
    QTest::keyClick(frameSlider(player), Qt::Key_PageUp);
    EXPECT_EQ(1u, view.currentFrame);
    QTest::keyClick(frameSlider(player), Qt::Key_End);
    EXPECT_EQ(3u, view.currentFrame);
}

TEST_F(Ui, PlayerWithoutDataSet)
{
    COpenGLControl& view = dialog->glControl;
    button(*player, "1016")->click();
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(playTimer(player)->isActive());
    // The view has no data set to limit the index; the label stays untouched.
    button(*player, "1015")->click();
    EXPECT_EQ(1u, view.currentFrame);
    EXPECT_EQ("Frame: ", frameLabel(player)->text());
    // The next load starts at frame 0 again.
    ASSERT_TRUE(dialog->loadFile(writeDataSet("after", 3, 4, 0.25f)));
    EXPECT_EQ(0u, view.currentFrame);
}

TEST_F(Ui, LabelAfterALaterLoadCountsTheOldFrameAgainstTheNewSet)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("earlier", 3, 4, 0.25f)));
    frameSlider(player)->setValue(2);
    EXPECT_EQ(2u, dialog->glControl.currentFrame);
    ASSERT_TRUE(dialog->loadFile(writeDataSet("later", 5, 6, 0.25f)));
    EXPECT_EQ("Frame: 3/6", frameLabel(player)->text());
    EXPECT_EQ(5, frameSlider(player)->maximum());
    EXPECT_EQ(2, frameSlider(player)->value());
    EXPECT_EQ(0u, dialog->glControl.currentFrame);
}

TEST_F(Ui, PlayerTimerWrapsAndKeepsRunningWhileHidden)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("playing", 2, 3, 0.025f)));
    COpenGLControl& view = dialog->glControl;
    player->show();
    QTest::mouseClick(button(*player, "1016"), Qt::LeftButton);
    EXPECT_TRUE(player->playing());
    EXPECT_EQ(25, playTimer(player)->interval());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame == 2; }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame == 0; }, 3000));

    // Escape hides the player; the frames keep moving.
    QTest::keyClick(player, Qt::Key_Escape);
    EXPECT_FALSE(player->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.currentFrame == 1; }, 3000));

    // Play while playing restarts, with the data set's time step as it is now;
    // Stop stops, twice changes nothing.
    dialog->flowData.timestep = 0.05f;
    button(*player, "1016")->click();
    EXPECT_TRUE(player->playing());
    EXPECT_TRUE(playTimer(player)->isActive());
    EXPECT_EQ(50, playTimer(player)->interval());
    button(*player, "1017")->click();
    EXPECT_FALSE(player->playing());
    EXPECT_FALSE(playTimer(player)->isActive());
    button(*player, "1017")->click();
    EXPECT_FALSE(player->playing());
    const uint32_t stopped = view.currentFrame;
    QTest::qWait(100);
    EXPECT_EQ(stopped, view.currentFrame);
}

TEST_F(Ui, EnterHidesThePlayerButClicksAFocusedButton)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("keys", 3, 4, 0.25f)));
    player->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(player));
    QPushButton* next = button(*player, "1015");
    next->setFocus();
    QTest::keyClick(next, Qt::Key_Return);
    EXPECT_EQ(1u, dialog->glControl.currentFrame);
    EXPECT_TRUE(player->isVisible());
    frameSlider(player)->setFocus();
    QTest::keyClick(frameSlider(player), Qt::Key_Return);
    EXPECT_FALSE(player->isVisible());
}

TEST(Startup, ExceptionFromAnEventHandlerEndsWithStatusOne)
{
    application();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Throwing : QObject {
        bool event(QEvent*) override { TOOL_THROW("Throwing::event()", "thrown in a handler"); }
    };
    // The child writes the log to standard error so the exception shows there.
    struct ToStderr : Tool::LogListener {
        void handle(const Tool::Message& m) override { std::cerr << m.source << " " << m.details << std::endl; }
    };
    EXPECT_EXIT(
        {
            Tool::Logger::instance().addListener(new ToStderr, false);
            Throwing target;
            QEvent event(QEvent::User);
            QApplication::sendEvent(&target, &event);
        },
        ::testing::ExitedWithCode(1), "\\*\\* Exception: .* thrown in a handler");
}

TEST(Player, IntervalIsTheTimeStepInWholeMilliseconds)
{
    EXPECT_EQ(250, PlayerDialog::playInterval(0.25f));
    EXPECT_EQ(39, PlayerDialog::playInterval(0.04f));
    EXPECT_EQ(9, PlayerDialog::playInterval(0.01f));
    EXPECT_EQ(1, PlayerDialog::playInterval(0.001f));
    // Nothing that would make a busy timer or overflow the interval.
    EXPECT_EQ(10, PlayerDialog::playInterval(0.0f));
    EXPECT_EQ(10, PlayerDialog::playInterval(0.0004f));
    EXPECT_EQ(10, PlayerDialog::playInterval(-0.5f));
    EXPECT_EQ(10, PlayerDialog::playInterval(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(INT_MAX, PlayerDialog::playInterval(1e30f));
    EXPECT_EQ(INT_MAX, PlayerDialog::playInterval(std::numeric_limits<float>::infinity()));
}

TEST(LoadingDialog, ShowsItsBarCentredAndOnTop)
{
    application();
    QWidget parent;
    CLoadingDialog loading(&parent);
    EXPECT_TRUE(CLoadingDialog::loadRunning());
    loading.showCentred();
    EXPECT_TRUE(loading.isVisible());
    EXPECT_TRUE(loading.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(loading.windowFlags() & Qt::FramelessWindowHint);
    const QRect screen = loading.screen()->availableGeometry();
    EXPECT_LE((loading.geometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_EQ("Loading:", loading.findChild<QLabel*>("1003")->text());
    EXPECT_FALSE(loading.findChild<QPushButton*>("2")->isVisible());
    EXPECT_FALSE(loading.findChild<QPushButton*>("1004")->isVisible());

    LoadingProgress& progress = loading;
    progress.setRange(0, 100);
    progress.setPosition(50);
    progress.repaint();
    progress.setPosition(68);
    EXPECT_EQ(0, loading.progress->minimum());
    EXPECT_EQ(100, loading.progress->maximum());
    EXPECT_EQ(68, loading.progress->value());
}

// Counts the paint events of one widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(LoadingDialog, BarRepaintsOnlyWhenItsPositionChanges)
{
    application();
    CLoadingDialog loading(nullptr);
    loading.showCentred();
    loading.setRange(0, 100);
    loading.setPosition(50);
    PaintCounter counter;
    loading.progress->installEventFilter(&counter);
    for (int file = 0; file < 100; ++file)
        loading.setPosition(50);
    EXPECT_EQ(0, counter.paints);
    loading.setPosition(51);
    EXPECT_GE(counter.paints, 1);
}

TEST(LoadingDialog, PlayerSkipsTimerStepsWhileALoadRuns)
{
    application();
    FlowData data;
    COpenGLControl view;
    DataFrame frame;
    data.frames.assign(3, frame);
    PlayerDialog player(nullptr);
    player.glControl = &view;
    player.updateDisplay(&data);
    {
        CLoadingDialog loading(nullptr);
        tick(&player);
        EXPECT_EQ(0u, view.currentFrame);
    }
    tick(&player);
    EXPECT_EQ(1u, view.currentFrame);
    data.frames.clear();
}

TEST(CommandLine, ReadsGridSnapshotFrameAndLayer)
{
    CommandLine options;
    QString error;
    ASSERT_TRUE(CommandLine::parse({"quorvane"}, options, error));
    EXPECT_TRUE(options.grid.isEmpty());
    EXPECT_FALSE(options.hasFrame);

    ASSERT_TRUE(CommandLine::parse({"quorvane", "a.gri", "--snapshot", "out.png", "--frame", "3", "--layer", "1"},
                                   options, error));
    EXPECT_EQ("a.gri", options.grid);
    EXPECT_EQ("out.png", options.snapshot);
    EXPECT_TRUE(options.hasFrame);
    EXPECT_EQ(3u, options.frame);
    EXPECT_TRUE(options.hasLayer);
    EXPECT_EQ(1u, options.layer);

    const std::vector<QStringList> bad = {
        {"q", "--frame"},        {"q", "--frame", "-1"},   {"q", "--frame", "x"},   {"q", "--layer", "4294967296"},
        {"q", "a.gri", "b.gri"}, {"q", "--colour", "red"}, {"q", "--snapshot", ""}, {"q", "--frame", "+2"},
    };
    for (const QStringList& args : bad) {
        EXPECT_FALSE(CommandLine::parse(args, options, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(CommandLine::parse({"q", ""}, options, error));
    EXPECT_EQ("the grid file name is empty", error);
}

TEST(CommandLine, ShowTurnsOnTheNamedTogglesOnly)
{
    CommandLine options;
    QString error;
    ASSERT_TRUE(CommandLine::parse({"q", "--show", "glyphs,streamlines"}, options, error));
    EXPECT_TRUE(options.hasShow);
    EXPECT_TRUE(options.show.glyphs && options.show.streamlines);
    EXPECT_FALSE(options.show.axes || options.show.wireframe || options.show.layer);
    ASSERT_TRUE(CommandLine::parse({"q", "--show", "axes,wireframe,layer"}, options, error));
    EXPECT_TRUE(options.show.axes && options.show.wireframe && options.show.layer);
    for (const char* list : {"", "glyphs,", "arrows", "Glyphs"}) {
        EXPECT_FALSE(CommandLine::parse({"q", "--show", list}, options, error)) << list;
        EXPECT_TRUE(error.contains("--show")) << error.toStdString();
    }
}

TEST(CommandLine, ReadsPictureAndMovieOptions)
{
    CommandLine options;
    QString error;
    ASSERT_TRUE(CommandLine::parse({"q", "--size", "1024x768", "--rotate", "10,-20.5", "--pan", "1,2", "--scale", "4",
                                    "--fit", "--frames", "2:9:3", "--snapshot", "o_%03d.png", "--fps", "12"},
                                   options, error))
        << error.toStdString();
    const ExportOptions& e = options.exporting;
    EXPECT_EQ(1024, e.width);
    EXPECT_EQ(768, e.height);
    EXPECT_FLOAT_EQ(-20.5f, e.rotY);
    EXPECT_FLOAT_EQ(2.0f, e.panY);
    EXPECT_FLOAT_EQ(4.0f, e.scale);
    EXPECT_TRUE(e.fit);
    EXPECT_EQ(2u, e.first);
    EXPECT_EQ(9u, e.last);
    EXPECT_EQ(3u, e.step);
    EXPECT_EQ(12.0, e.fps);

    const std::vector<QStringList> bad = {
        {"q", "--frames", "-1:3"},
        {"q", "--frames", "3:1"},
        {"q", "--frames", "0:4:0"},
        {"q", "--zoom", "0.05"},
        {"q", "--scale", "0"},
        {"q", "--rotate", "1"},
        {"q", "--rotate", "nan,1"},
        {"q", "--fps", "0"},
        {"q", "--movie", "a.avi"},
        {"q", "--snapshot", "a.png", "--frames", "0:3"},
        {"q", "--snapshot", "a_%s.png", "--frames", "0:1"},
        {"q", "--snapshot", "a.png", "--movie", "a.mp4"},
        {"q", "--fit", "--zoom", "2"},
    };
    for (const QStringList& args : bad) {
        EXPECT_FALSE(CommandLine::parse(args, options, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(options.exporting.badSize);
    }
    // One frame needs no field.
    EXPECT_TRUE(CommandLine::parse({"q", "--snapshot", "a.png", "--frames", "4:4"}, options, error));
    for (const char* size : {"1024", "0x5", "10x-5", "axb", "10x10x10", "99999999x2"}) {
        EXPECT_FALSE(CommandLine::parse({"q", "--size", size}, options, error)) << size;
        EXPECT_TRUE(options.exporting.badSize) << size;
    }
}

// A file that cannot be written whole (the disk fills up: here a file size
// limit) leaves no file under the name asked for.
TEST(Snapshot, AFailedWriteLeavesNoFile)
{
    application();
    const std::string folder = currentFolder() + "/fullshot";
    std::system(("mkdir -p '" + folder + "'").c_str());
    std::vector<unsigned char> noise(256 * 256 * 4);
    for (unsigned char& c : noise)
        c = static_cast<unsigned char>(std::rand());
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 8192;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
    const bool written = writeSnapshot(noise, 256, 256, QString::fromStdString(folder + "/full.png"));
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_FALSE(written);
    EXPECT_TRUE(QDir(QString::fromStdString(folder)).entryList(QDir::Files).isEmpty());
}

// Cancelling an export leaves no movie, not even a part of one.
TEST_F(Ui, ACancelledMovieLeavesNoFile)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("cancel", 3, 4, 0.1f)));
    const QString folder = QString::fromStdString(currentFolder() + "/cancel");
    ExportJob job;
    job.width = 64;
    job.height = 48;
    job.last = 3;
    job.movie = folder + "/cut.mp4";
    int asked = 0;
    EXPECT_FALSE(FrameExporter::run(dialog->glControl, job, [&](int done, int) {
        ++asked;
        return done < 2;
    }));
    EXPECT_EQ(3, asked);
    EXPECT_TRUE(QDir(folder).entryList({"cut*"}, QDir::Files).isEmpty());
    EXPECT_EQ(0u, dialog->glControl.currentFrame); // the view's frame comes back
}

// The program itself, run as a user would from a shell.
class Program : public ::testing::Test {
protected:
    void SetUp() override { application(); }

    int run(const QStringList& args, const QString& folder, QString* output = nullptr)
    {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QUORVANE_APP, args);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (output) {
            *output = QString::fromLocal8Bit(process.readAll());
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    // Pixels whose colour is mostly the given channel (0 red, 1 green).
    static int dominant(const QImage& image, int channel)
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const int v[3] = {c.red(), c.green(), c.blue()};
                if (v[channel] > 150 && v[(channel + 1) % 3] < 80 && v[(channel + 2) % 3] < 80) {
                    ++count;
                }
            }
        }
        return count;
    }
};

TEST_F(Program, SnapshotShowsTheChosenFrame)
{
    const std::string grid = writeDataSet("shot", 2, 3, 0.1f, {{1, 0, 0}, {0, 1, 0}, {1, 0, 0}});
    const QString folder = QString::fromStdString(currentFolder());
    QString output;
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--snapshot", "red.png"}, folder, &output)) << output.toStdString();
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--snapshot", "green.png", "--frame", "1"}, folder, &output))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Flowdata loaded .. [OK]"));

    const QImage red(folder + "/red.png");
    const QImage green(folder + "/green.png");
    ASSERT_FALSE(red.isNull());
    ASSERT_FALSE(green.isNull());
    const int area = red.width() * red.height();
    // The grid covers a good part of the picture in the frame's vector colour.
    EXPECT_GT(dominant(red, 0), area / 10);
    EXPECT_LT(dominant(red, 1), area / 100);
    EXPECT_GT(dominant(green, 1), area / 10);
    EXPECT_LT(dominant(green, 0), area / 100);
}

// A uniform flow has one speed: its streamlines take the colour map's end.
TEST_F(Program, SnapshotShowsStreamlinesWhenAsked)
{
    const std::string grid = writeDataSet("lines", 1, 1, 0.1f);
    const QString folder = QString::fromStdString(currentFolder());
    auto lineColoured = [&](const QString& file) {
        const QImage image(folder + "/" + file);
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += std::abs(c.red() - 253) + std::abs(c.green() - 231) + std::abs(c.blue() - 37) < 12;
            }
        return count;
    };
    QString output;
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--snapshot", "plain.png", "--show", "wireframe"}, folder, &output))
        << output.toStdString();
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--snapshot", "lines.png", "--show", "wireframe,streamlines"},
                     folder, &output))
        << output.toStdString();
    EXPECT_EQ(lineColoured("plain.png"), 0);
    EXPECT_GT(lineColoured("lines.png"), 1000) << "about 16 lines across the grid";
}

TEST_F(Program, SnapshotOfALayerDiffersFromTheVectors)
{
    const std::string grid = writeDataSet("layered", 1, 1, 0.1f);
    const QString folder = QString::fromStdString(currentFolder());
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--snapshot", "vectors.png"}, folder));
    // A relative path is loaded, and logged, as the full path.
    QString output;
    ASSERT_EQ(0, run({"layered/layered.gri", "--snapshot", "layer.png", "--layer", "1"}, folder, &output));
    EXPECT_TRUE(output.contains(QString::fromStdString("Loading file " + grid + " ..")));
    const QImage vectors(folder + "/vectors.png");
    const QImage layer(folder + "/layer.png");
    ASSERT_EQ(vectors.size(), layer.size());
    EXPECT_FALSE(layer.hasAlphaChannel());
    EXPECT_NE(vectors, layer);
    EXPECT_LT(dominant(layer, 0), dominant(vectors, 0));
    // The default function is a grey ramp: the layer shows as grey of many shades.
    auto greys = [](const QImage& image) {
        std::set<int> shades;
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 20 && std::abs(c.red() - c.green()) <= 2 && std::abs(c.red() - c.blue()) <= 2) {
                    ++count;
                    shades.insert(c.red());
                }
            }
        }
        return std::make_pair(count, shades.size());
    };
    const int area = layer.width() * layer.height();
    EXPECT_GT(greys(layer).first, area / 20);
    EXPECT_GT(greys(layer).second, 10u);
    EXPECT_LT(greys(vectors).first, area / 100);
}

TEST_F(Program, FailuresEndWithTheirStatus)
{
    const QString folder = QString::fromStdString(currentFolder());
    QString output;
    // A missing frame file: the load fails, no picture is written.
    const std::string broken = writeDataSet("missing", 3, 2, 0.1f);
    EXPECT_EQ(2, run({QString::fromStdString(broken), "--snapshot", "none.png"}, folder, &output));
    EXPECT_TRUE(output.contains("Frames not not matching the specified timesteps")) << output.toStdString();
    EXPECT_FALSE(QFile::exists(folder + "/none.png"));

    const std::string grid = writeDataSet("range", 1, 1, 0.1f);
    EXPECT_EQ(2, run({QString::fromStdString(grid), "--snapshot", "x.png", "--frame", "1"}, folder));
    EXPECT_EQ(2, run({QString::fromStdString(grid), "--snapshot", "x.png", "--layer", "2"}, folder));
    EXPECT_EQ(2, run({"--bogus"}, folder));
}

TEST_F(Program, AGridNameThatIsNotUtf8Loads)
{
    // A Latin-1 e acute: no QString holds this name, so the bytes are passed
    // as they are, which QProcess cannot do.
    const std::string grid = writeDataSet("caf\xe9", 1, 1, 0.1f);
    const std::string picture = currentFolder() + "/latin1.png";
    const pid_t child = ::fork();
    if (child == 0) {
        ::execlp("timeout", "timeout", "60", QUORVANE_APP, grid.c_str(), "--snapshot", picture.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(picture)));
}

// The part of a picture that is not black.
QRect contentOf(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) > 40)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

TEST_F(Program, PictureSizeAndFitShowTheWholeDataSet)
{
    const std::string grid = writeDataSet("fit", 1, 1, 0.1f);
    const QString folder = QString::fromStdString(currentFolder());
    QString output;
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--size", "1024x768", "--snapshot", "big.png"}, folder, &output))
        << output.toStdString();
    EXPECT_EQ(QSize(1024, 768), QImage(folder + "/big.png").size());

    // The start camera overfills the picture; fitted, the box seen at a slant
    // has every corner inside, and fills most of the width or height.
    const QRect inside(1, 1, 318, 238);
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--size", "320x240", "--snapshot", "start.png"}, folder));
    EXPECT_FALSE(inside.contains(contentOf(QImage(folder + "/start.png"))));
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--size", "320x240", "--rotate", "35,-50", "--fit", "--snapshot",
                      "fit.png"},
                     folder));
    const QRect fitted = contentOf(QImage(folder + "/fit.png"));
    EXPECT_TRUE(inside.contains(fitted)) << fitted.x() << "," << fitted.y() << " " << fitted.width() << "x"
                                         << fitted.height();
    EXPECT_TRUE(fitted.width() > 0.8 * 320 || fitted.height() > 0.8 * 240);
}

TEST_F(Program, HalfATurnAboutYMirrorsThePicture)
{
    // Red columns on the left half of the grid, green on the right.
    const std::string grid = writeDataSet("halves", 1, 1, 0.1f, {}, [](int i) {
        return i < 2 ? std::array<float, 3>{1, 0, 0} : std::array<float, 3>{0, 1, 0};
    });
    const QString folder = QString::fromStdString(currentFolder());
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--fit", "--snapshot", "front.png"}, folder));
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--fit", "--rotate", "0,180", "--snapshot", "back.png"}, folder));
    const QImage front(folder + "/front.png");
    const QImage back(folder + "/back.png");
    auto centreOfRed = [](const QImage& image) {
        double sum = 0;
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).red() > 150 && image.pixelColor(x, y).green() < 80) {
                    sum += x;
                    ++count;
                }
        return count ? sum / count : -1.0;
    };
    const double w = front.width();
    EXPECT_LT(centreOfRed(front), 0.4 * w);
    EXPECT_NEAR(w - 1 - centreOfRed(front), centreOfRed(back), 0.02 * w);
}

TEST_F(Program, FrameRangeWritesItsPicturesInOrder)
{
    const std::string grid = writeDataSet("range4", 3, 4, 0.1f, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}});
    const QString folder = QString::fromStdString(currentFolder() + "/range4");
    QString output;
    ASSERT_EQ(0,
              run({QString::fromStdString(grid), "--frames", "1:3:2", "--snapshot", "seq_%02d.png"}, folder, &output))
        << output.toStdString();
    EXPECT_EQ(QStringList({"seq_01.png", "seq_03.png"}), QDir(folder).entryList({"seq*"}, QDir::Files, QDir::Name));
    EXPECT_LT(output.indexOf("seq_01.png"), output.indexOf("seq_03.png"));
    const QImage one(folder + "/seq_01.png");
    const QImage three(folder + "/seq_03.png");
    const int area = one.width() * one.height();
    EXPECT_GT(dominant(one, 1), area / 10);
    EXPECT_GT(dominant(three, 0), area / 10);
}

TEST_F(Program, MovieDecodesToItsFrames)
{
    const std::string grid = writeDataSet("film", 2, 3, 0.1f, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    const QString folder = QString::fromStdString(currentFolder() + "/film");
    QString output;
    ASSERT_EQ(0, run({QString::fromStdString(grid), "--movie", "film.mp4", "--size", "160x120"}, folder, &output))
        << output.toStdString();
    const MovieProbe movie = MovieProbe::read((folder + "/film.mp4").toStdString());
    EXPECT_EQ(160, movie.width);
    EXPECT_EQ(120, movie.height);
    ASSERT_EQ(3u, movie.centres.size());
    for (int f = 0; f < 3; ++f)
        EXPECT_GT(movie.centres[f][f], 150) << "frame " << f;
}

TEST_F(Program, ExportFailuresEndWithTheirStatusAndLeaveNoFile)
{
    const std::string grid = writeDataSet("fails", 2, 3, 0.1f);
    const QString folder = QString::fromStdString(currentFolder() + "/fails");
    std::ofstream((folder + "/file").toStdString()) << "not a folder\n";
    const QString g = QString::fromStdString(grid);
    QString output;
    EXPECT_EQ(2, run({g, "--frames", "0:3", "--snapshot", "f_%d.png"}, folder, &output));
    EXPECT_TRUE(output.contains("Choosing frame .. [FAILED]")) << output.toStdString();
    EXPECT_EQ(2, run({g, "--frames", "1:5", "--movie", "f.mp4"}, folder));
    EXPECT_EQ(2, run({g, "--snapshot", "file/f.png"}, folder, &output));
    EXPECT_TRUE(output.contains("Writing snapshot .. [FAILED]")) << output.toStdString();
    EXPECT_EQ(2, run({g, "--movie", "file/f.webm"}, folder, &output));
    EXPECT_TRUE(output.contains("Writing movie .. [FAILED]")) << output.toStdString();
    EXPECT_EQ(2, run({g, "--movie", "odd.mp4", "--size", "101x50"}, folder));
    EXPECT_EQ(1, run({g, "--size", "99999x10", "--snapshot", "huge.png"}, folder, &output));
    EXPECT_TRUE(output.contains("Choosing picture size .. [FAILED]")) << output.toStdString();
    EXPECT_EQ(1, run({g, "--size", "10x", "--snapshot", "bad.png"}, folder));
    EXPECT_TRUE(QDir(folder).entryList({"f_*", "f.*", "odd*", "huge*", "bad*"}).isEmpty());
}

TEST_F(Program, BrokenShaderEndsStartUpWithStatusOne)
{
    // A shader in the working folder is taken before the installed one.
    const std::string folder = currentFolder() + "/badshader";
    std::system(("mkdir -p '" + folder + "'").c_str());
    std::ofstream(folder + "/TransferFragment.cg") << "this is not a shader\n";
    QString output;
    EXPECT_EQ(1, run({"--snapshot", "none.png"}, QString::fromStdString(folder), &output));
    EXPECT_TRUE(output.contains("** Exception: ")) << output.toStdString();
    std::ifstream log(folder + "/Quorvane.log");
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, all.find("** Exception: "));
}

TEST_F(Program, ClosedConsoleChangesNothing)
{
    const std::string folder = currentFolder() + "/closedconsole";
    std::system(("mkdir -p '" + folder + "'").c_str());
    int console[2];
    ASSERT_EQ(0, ::pipe(console));
    ::close(console[0]); // the reader is gone: every console write fails
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(console[1], STDOUT_FILENO);
        ::dup2(console[1], STDERR_FILENO);
        if (::chdir(folder.c_str()) == 0)
            ::execlp("timeout", "timeout", "60", QUORVANE_APP, "--bogus", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(console[1]);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(2, WEXITSTATUS(status));
    std::ifstream log(folder + "/Quorvane.log");
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, all.find("Starting Quorvane v.0.5 .."));
}

TEST_F(Program, LogFileThatIsAPipeLeavesTheConsoleAlone)
{
    const std::string folder = currentFolder() + "/fifolog";
    std::system(("mkdir -p '" + folder + "'").c_str());
    ASSERT_EQ(0, ::mkfifo((folder + "/Quorvane.log").c_str(), 0600));
    QString output;
    EXPECT_EQ(2, run({"--bogus"}, QString::fromStdString(folder), &output));
    EXPECT_TRUE(output.contains("Starting Quorvane v.0.5 .."));
    EXPECT_TRUE(output.contains("Opening log file \"Quorvane.log\" .. [FAILED]")) << output.toStdString();
}

TEST_F(Program, LargestFrameNumberIsOutOfRange)
{
    const std::string grid = writeDataSet("lastframe", 1, 1, 0.1f);
    QString output;
    EXPECT_EQ(2, run({QString::fromStdString(grid), "--snapshot", "x.png", "--frame", "4294967295"},
                     QString::fromStdString(currentFolder()), &output));
    EXPECT_TRUE(output.contains("Choosing frame .. [FAILED]")) << output.toStdString();
}

} // namespace
