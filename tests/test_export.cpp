#include "diagnostics/Exception.h"
#include "diagnostics/ThreadStart.h"
#include "export/FileNamePattern.h"
#include "export/MovieWriter.h"
#include "export/PictureMemory.h"
#include "support/MovieProbe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Movie : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/quorvane_export_XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(name));
        folder = name;
    }
    void TearDown() override { fs::remove_all(folder); }

    // A picture of one colour.
    static std::vector<unsigned char> filled(int width, int height, unsigned char r, unsigned char g, unsigned char b)
    {
        std::vector<unsigned char> rgba;
        for (int i = 0; i < width * height; ++i) {
            rgba.insert(rgba.end(), {r, g, b, 255});
        }
        return rgba;
    }

    size_t filesInFolder() const { return size_t(std::distance(fs::directory_iterator(folder), {})); }

    std::string folder;
};

TEST_F(Movie, DecodesToItsPicturesInOrderAtItsSize)
{
    for (const char* name : {"/a.mp4", "/a.mkv", "/a.webm"}) {
        const std::string path = folder + name;
        {
            MovieWriter movie(path, 96, 64, 12.5);
            for (int f = 0; f < 7; ++f) {
                std::vector<unsigned char> picture = f % 2 ? filled(96, 64, 0, 200, 0) : filled(96, 64, 200, 0, 0);
                movie.write(picture);
            }
            movie.finish();
        }
        const MovieProbe probe = MovieProbe::read(path);
        ASSERT_TRUE(probe.opened) << name;
        EXPECT_EQ(96, probe.width);
        EXPECT_EQ(64, probe.height);
        ASSERT_EQ(7u, probe.centres.size()) << name;
        for (size_t f = 0; f < 7; ++f) {
            const int wanted = f % 2 ? 1 : 0;
            EXPECT_GT(probe.centres[f][wanted], 150) << name << " picture " << f;
            EXPECT_LT(probe.centres[f][1 - wanted], 60) << name << " picture " << f;
        }
    }
    EXPECT_EQ(3u, filesInFolder()); // no temporary file stays
}

TEST_F(Movie, IsEncodedOnTheCallersThreadWhenNoThreadStarts)
{
    Tool::refuseThreads(true);
    {
        MovieWriter movie(folder + "/alone.mp4", 32, 32, 10);
        for (int f = 0; f < 3; ++f) {
            std::vector<unsigned char> picture = filled(32, 32, 250, 10, 10);
            movie.write(picture);
        }
        movie.finish();
    }
    Tool::refuseThreads(false);
    const MovieProbe probe = MovieProbe::read(folder + "/alone.mp4");
    ASSERT_TRUE(probe.opened);
    EXPECT_EQ(3u, probe.centres.size());
}

TEST_F(Movie, AnUnfinishedMovieLeavesNoFile)
{
    {
        MovieWriter movie(folder + "/cut.mp4", 32, 32, 10);
        std::vector<unsigned char> picture = filled(32, 32, 9, 9, 9);
        movie.write(picture);
    }
    EXPECT_EQ(0u, filesInFolder());
}

TEST_F(Movie, RefusesWhatItCannotWrite)
{
    EXPECT_THROW(MovieWriter(folder + "/odd.mp4", 33, 32, 10), Tool::Exception);
    EXPECT_THROW(MovieWriter(folder + "/a.avi", 32, 32, 10), Tool::Exception);
    EXPECT_THROW(MovieWriter(folder + "/missing/a.mp4", 32, 32, 10), Tool::Exception);
    EXPECT_THROW(
        {
            MovieWriter movie(folder + "/small.mp4", 32, 32, 10);
            std::vector<unsigned char> tooSmall(32 * 4);
            movie.write(tooSmall);
            movie.finish();
        },
        Tool::Exception);
    EXPECT_EQ(0u, filesInFolder());
}

// A disk that fills up midway (here a file size limit) fails the movie, and
// nothing stays under its name or beside it.
// A pipe, or a link to one, is no file to replace.
TEST_F(Movie, ATargetThatIsNoRegularFileIsLeftAlone)
{
    const std::string pipe = folder + "/pipe.mp4";
    ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
    fs::create_symlink(pipe, folder + "/link.mp4");
    for (const std::string& target : {pipe, folder + "/link.mp4"}) {
        EXPECT_THROW(
            {
                MovieWriter movie(target, 16, 16, 25);
                movie.finish();
            },
            Tool::Exception)
            << target;
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_symlink(folder + "/link.mp4"));
}

TEST_F(Movie, AFullDiskLeavesNoFile)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
    std::vector<unsigned char> noise(64 * 64 * 4);
    EXPECT_THROW(
        {
            MovieWriter movie(folder + "/full.mkv", 64, 64, 10);
            for (int f = 0; f < 20; ++f) {
                for (unsigned char& c : noise) {
                    c = static_cast<unsigned char>(std::rand());
                }
                movie.write(noise);
            }
            movie.finish();
        },
        Tool::Exception);
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(0u, filesInFolder());
}

TEST(FileNamePattern, FillsItsOneIntegerField)
{
    FileNamePattern pattern;
    std::string error;
    ASSERT_TRUE(pattern.parse("out_%04d.png", error));
    EXPECT_TRUE(pattern.hasField());
    EXPECT_EQ("out_0007.png", pattern.name(7));
    ASSERT_TRUE(pattern.parse("100%%_%u.png", error));
    EXPECT_EQ("100%_12.png", pattern.name(12));
    ASSERT_TRUE(pattern.parse("plain.png", error));
    EXPECT_FALSE(pattern.hasField());
    EXPECT_EQ("plain.png", pattern.name(3));
    for (const char* bad : {"a_%s.png", "a_%d_%d.png", "a_%", "a_%1000d.png", "a_%n.png", "a_%.3d.png"}) {
        EXPECT_FALSE(pattern.parse(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

// The widest field leaves a folder entry of 255 bytes, what a file name holds.
TEST(FileNamePattern, AWideFieldFitsAFileNameOrIsRefused)
{
    FileNamePattern pattern;
    std::string error;
    ASSERT_TRUE(pattern.parse("dir/f_%0249d.png", error)) << error;
    const std::string seven = pattern.name(7);
    EXPECT_EQ(4u + 255u, seven.size());
    EXPECT_EQ("7.png", seven.substr(seven.size() - 5));
    EXPECT_NE(seven, pattern.name(8));
    EXPECT_FALSE(pattern.parse("dir/f_%0250d.png", error));
}

// Room for three bytes a pixel in every buffer is not room for four.
TEST(PictureMemory, CountsFourBytesAPixel)
{
    const uint64_t pixels = 640 * 480;
    for (const auto& [movie, buffers] : {std::pair<bool, uint64_t>{false, 4}, {true, 8}}) {
        EXPECT_FALSE(PictureMemory::problem(640, 480, movie, pixels * 3 * buffers).empty()) << movie;
        EXPECT_TRUE(PictureMemory::problem(640, 480, movie, pixels * 4 * buffers).empty()) << movie;
    }
}

} // namespace
