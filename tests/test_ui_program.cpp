#include "UiTest.h"

namespace {

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
        return Picture::of(image).count([channel](const Picture::RGB& c) {
            return c[size_t(channel)] > 150 && c[size_t(channel + 1) % 3] < 80 && c[size_t(channel + 2) % 3] < 80;
        });
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
        return Picture::read((folder + "/" + file).toStdString()).count([](const Picture::RGB& c) {
            return std::abs(c[0] - 253) + std::abs(c[1] - 231) + std::abs(c[2] - 37) < 12;
        });
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
    // A header of no frames with no frame files loads nothing to show.
    const std::string none = writeDataSet("noframes", 0, 0, 0.1f);
    EXPECT_EQ(2, run({QString::fromStdString(none), "--snapshot", "none.png"}, folder, &output));
    EXPECT_TRUE(output.contains("the data set holds no frame")) << output.toStdString();
    EXPECT_FALSE(QFile::exists(folder + "/none.png"));
    // With no data set named there is nothing to fail: the empty view is drawn.
    EXPECT_EQ(0, run({"--snapshot", "empty.png"}, folder, &output)) << output.toStdString();
}

// A snapshot's field takes the frame shown; a movie's name is never a pattern.
TEST_F(Program, NamesAreFilledOrTakenAsGiven)
{
    const QString g = QString::fromStdString(writeDataSet("names", 2, 3, 0.1f));
    const QString folder = QString::fromStdString(currentFolder() + "/names");
    EXPECT_EQ(0, run({g, "--snapshot", "f_%03d.png", "--frame", "1"}, folder));
    EXPECT_EQ(0, run({g, "--movie", "pct%x.mp4", "--frames", "0:1", "--size", "64x48"}, folder));
    EXPECT_EQ(QStringList({"f_001.png", "pct%x.mp4"}),
              QDir(folder).entryList({"f_*", "pct*"}, QDir::Files, QDir::Name));
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
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::max({c.red(), c.green(), c.blue()}) > 40) {
                box |= QRect(x, y, 1, 1);
            }
        }
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
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).red() > 150 && image.pixelColor(x, y).green() < 80) {
                    sum += x;
                    ++count;
                }
            }
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
    for (int f = 0; f < 3; ++f) {
        EXPECT_GT(movie.centres[f][f], 150) << "frame " << f;
    }
}

// 4:2:0 chroma halves the picture: an odd window gives an even movie a pixel smaller.
TEST_F(Program, AMovieOfAnOddWindowIsRoundedDownToEven)
{
    const QString g = QString::fromStdString(writeDataSet("oddfilm", 1, 1, 0.1f));
    const QString folder = QString::fromStdString(currentFolder() + "/oddfilm");
    QString output;
    ASSERT_EQ(0, run({g, "--movie", "odd.mp4"}, folder, &output)) << output.toStdString();
    QRegularExpressionMatchIterator sizes = QRegularExpression("New Size: \\(0,0,(\\d+),(\\d+)\\)").globalMatch(output);
    QRegularExpressionMatch last;
    while (sizes.hasNext()) {
        last = sizes.next();
    }
    const int width = last.captured(1).toInt(), height = last.captured(2).toInt();
    ASSERT_EQ(1, width % 2) << "the window must be odd for this check";
    const MovieProbe movie = MovieProbe::read((folder + "/odd.mp4").toStdString());
    EXPECT_EQ(width - 1, movie.width);
    EXPECT_EQ(height & ~1, movie.height);
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
    EXPECT_EQ(2, run({g, "--size", "99999x10", "--snapshot", "huge.png"}, folder, &output));
    EXPECT_TRUE(output.contains("Choosing picture size .. [FAILED]")) << output.toStdString();
    EXPECT_EQ(2, run({g, "--size", "10x", "--snapshot", "bad.png"}, folder));
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
        if (::chdir(folder.c_str()) == 0) {
            ::execlp("timeout", "timeout", "60", QUORVANE_APP, "--bogus", static_cast<char*>(nullptr));
        }
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
