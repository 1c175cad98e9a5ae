// The player, the loading dialog, the command line, snapshots and movies.
#include "FlowWriter.h"
#include "UiTest.h"

#include <poll.h>
#include <sys/inotify.h>

namespace {

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

TEST_F(Ui, PlayingReadsTheFrameAfterTheShownOneAhead)
{
    const std::string grid = writeDataSet("ahead", 3, 4, 0.25f);
    ASSERT_TRUE(dialog->loadFile(grid));
    const std::string next = FlowWriter::frameFileName(grid.substr(0, grid.size() - 4), 2, 4);
    const int events = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(events, 0);
    ASSERT_GE(::inotify_add_watch(events, next.c_str(), IN_CLOSE_NOWRITE), 0);
    tick(player);
    EXPECT_EQ(1u, dialog->glControl.currentFrame);
    pollfd read{events, POLLIN, 0};
    EXPECT_EQ(::poll(&read, 1, 10000), 1) << next << " was not read";
    ::close(events);
}

TEST_F(Ui, FrameOptionSetsThePlayersSliderAndLabel)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("chosen", 3, 4, 0.25f)));
    CommandLine options;
    QString error;
    ASSERT_TRUE(CommandLine::parse({"quorvane", "--frame", "2"}, options, error)) << error.toStdString();
    ASSERT_TRUE(application().runCommandLine(*dialog, options));
    EXPECT_EQ(2u, dialog->glControl.currentFrame);
    EXPECT_EQ("Frame: 3/4", frameLabel(player)->text());
    EXPECT_EQ(2, frameSlider(player)->value());
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
    for (int file = 0; file < 100; ++file) {
        loading.setPosition(50);
    }
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
        {"q", "--fps", "121"},
        {"q", "--movie", "a.avi"},
        {"q", "--snapshot", "a.png", "--frames", "0:1"},
        {"q", "--snapshot", "a_%0300d.png", "--frames", "0:1"},
        {"q", "--snapshot", "a_%s.png", "--frames", "0:1"},
        {"q", "--snapshot", "a.png", "--movie", "a.mp4"},
        {"q", "--fit", "--zoom", "2"},
    };
    for (const QStringList& args : bad) {
        EXPECT_FALSE(CommandLine::parse(args, options, error)) << args.join(' ').toStdString();
    }
    // One frame needs no field.
    EXPECT_TRUE(CommandLine::parse({"q", "--snapshot", "a.png", "--frames", "4:4"}, options, error));
    EXPECT_TRUE(CommandLine::parse({"q", "--fps", "1", "--movie", "M.MP4"}, options, error));
    EXPECT_TRUE(CommandLine::parse({"q", "--fps", "120"}, options, error));
    for (const char* size : {"1024", "0x5", "10x-5", "axb", "10x10x10", "99999999x2"}) {
        EXPECT_FALSE(CommandLine::parse({"q", "--size", size}, options, error)) << size;
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
    for (unsigned char& c : noise) {
        c = static_cast<unsigned char>(std::rand());
    }
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

// A frame file truncated after the load is no picture: the series stops at
// it, and a movie leaves the old file of its name as it was.
TEST_F(Ui, AFrameThatCannotBeReadFailsItsExport)
{
    ASSERT_TRUE(dialog->loadFile(writeDataSet("unread", 2, 3, 0.1f)));
    const std::string folder = currentFolder() + "/unread";
    std::filesystem::resize_file(folder + "/unread_001.dat", 10);
    std::ofstream(folder + "/old.mp4") << "old";
    ExportJob job;
    job.width = 64;
    job.height = 48;
    job.last = 2;
    job.pictures = QString::fromStdString(folder + "/shot_%d.png");
    job.numbered = true;
    const size_t logged = Tool::Logger::instance().history.size();
    EXPECT_FALSE(FrameExporter::run(dialog->glControl, job));
    EXPECT_EQ(QStringList({"shot_0.png"}), QDir(QString::fromStdString(folder)).entryList({"shot*"}, QDir::Files));
    const long failure = findLog("Writing snapshot .. [FAILED]", logged);
    ASSERT_GE(failure, 0);
    EXPECT_NE(std::string::npos, Tool::Logger::instance().history[size_t(failure)].details.find("frame 1"));

    job.movie = QString::fromStdString(folder + "/old.mp4");
    EXPECT_FALSE(FrameExporter::run(dialog->glControl, job));
    std::ifstream old(folder + "/old.mp4");
    EXPECT_EQ("old", std::string(std::istreambuf_iterator<char>(old), {}));
}

} // namespace
