#include "FlowDataTest.h"

namespace {

// --- Frame files --------------------------------------------------------------

TEST(FrameFiles, NameRules)
{
    EXPECT_TRUE(FrameFiles::matches("run7", "run7_000.dat"));
    EXPECT_TRUE(FrameFiles::matches("run7", "run7.dat"));
    EXPECT_TRUE(FrameFiles::matches("run7", "run7_000.data"));
    EXPECT_TRUE(FrameFiles::matches("run", "run7_000.dat"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run8_000.dat"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run7_000.DAT"));
    EXPECT_FALSE(FrameFiles::matches("run7", "Run7_000.dat"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run7_000.dat.bak"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run7_000"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run7.gri"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run7.da"));
    EXPECT_FALSE(FrameFiles::matches("run7", "run"));
}

TEST(FrameFiles, NaturalOrder)
{
    std::vector<std::string> names = {"run_10.dat", "run_2.dat", "run_1.dat",  "run_0010.dat", "run_b.dat",
                                      "run_a.dat",  "run.dat",   "run_01.dat", "run_9.data",   "run_100.dat"};
    std::sort(names.begin(), names.end(), FrameFiles::naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"run.dat", "run_01.dat", "run_1.dat", "run_2.dat", "run_9.data",
                                               "run_0010.dat", "run_10.dat", "run_100.dat", "run_a.dat", "run_b.dat"}));
    EXPECT_FALSE(FrameFiles::naturalLess("run_2.dat", "run_2.dat"));
    EXPECT_TRUE(FrameFiles::naturalLess("a9", "a10"));
    EXPECT_FALSE(FrameFiles::naturalLess("a10", "a9"));
    EXPECT_TRUE(FrameFiles::naturalLess("a", "a0"));
    // Digit runs far longer than any integer type still compare by value.
    EXPECT_TRUE(FrameFiles::naturalLess("f99999999999999999999999", "f100000000000000000000000"));
}

TEST_F(FlowDataTest, FramesFollowNaturalOrderAndNameRules)
{
    writeGrid("run.gri", "SN4DB 4 1 1 1 3 1");
    writeFrame("run_10.dat", 30.0f);
    writeFrame("run_2.dat", 20.0f);
    writeFrame("run_1.dat", 10.0f);
    writeFrame("run7_0.data", 40.0f); // claimed by run.gri: its name begins with "run"
    writeFrame("run_3.DAT", 99.0f);
    writeFrame("run_4.dat.bak", 99.0f);
    writeFrame("other_5.dat", 99.0f);
    writeFrame("runnodot", 99.0f);
    fs::create_directory(folder / "run_sub.dat");
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    ASSERT_EQ(data.frames.size(), 4u);
    std::vector<std::string> loaded;
    for (const Line& line : recorder().messages) {
        if (line.text.rfind("Loading Dataframe: ", 0) == 0) {
            loaded.push_back(line.text);
        }
    }
    // '7' sorts before '_', as in plain byte order.
    EXPECT_EQ(loaded, (std::vector<std::string>{
                          "Loading Dataframe: run7_0.data .. [OK]", "Loading Dataframe: run_1.dat .. [OK]",
                          "Loading Dataframe: run_2.dat .. [OK]", "Loading Dataframe: run_10.dat .. [OK]"}));
    // Raw maxima in frame order: node 3 holds base + 3.
    std::vector<float> maxima;
    for (const DataFrame& frame : data.frames) {
        maxima.push_back(frame.layers[0].max);
    }
    EXPECT_EQ(maxima, (std::vector<float>{43, 13, 23, 33}));
    EXPECT_EQ(data.name, "run");
    EXPECT_EQ(data.directory, folder.string() + "/");
}

TEST_F(FlowDataTest, FifoAndLinkLoopNamedLikeFramesAreSkipped)
{
    writeGrid("run.gri", "SN4DB 4 1 1 1 1 1");
    writeFrame("run_0.dat", 1.0f);
    ASSERT_EQ(::mkfifo(path("run_1.dat").c_str(), 0600), 0);
    fs::create_symlink(folder / "run_2.dat", folder / "run_3.dat");
    fs::create_symlink(folder / "run_3.dat", folder / "run_2.dat");
    fs::create_symlink(folder / "gone", folder / "run_4.dat");
    writeFrame("target", 5.0f);
    fs::create_symlink(folder / "target", folder / "run_5.dat");
    FlowData data;
    ProgressRecorder progress;
    const Tool::Exception e = loadFailure(data, path("run.gri"));
    // The regular file and the link to one are read; the rest are skipped unopened.
    EXPECT_EQ(e.text, "Frames not not matching the specified timesteps");
    std::vector<std::string> texts = recorder().texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Loading Dataframe: run_0.dat .. [OK]"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Loading Dataframe: run_5.dat .. [OK]"), texts.end());

    fs::remove(folder / "run_5.dat");
    FlowData again;
    EXPECT_NO_THROW(again.load(path("run.gri"), progress));
    EXPECT_EQ(again.frames.size(), 1u);
}

TEST_F(FlowDataTest, FrameRecordCounts)
{
    writeGrid("run.gri", "SN4DB 4 1 1 2 1 1");
    const std::string full = TestFiles::frameBytes(4, 2, [](int l, uint32_t n) { return float(l * 10 + n); });
    struct Case {
        std::string name;
        std::string bytes;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"exact", full, true},
        {"extra record", full + TestFiles::frameBytes(1, 2, [](int, uint32_t) { return 1e9f; }), true},
        {"trailing fragment", full + "xyz", true},
        {"one record short", full.substr(0, full.size() - 20), false},
        {"one byte short", full.substr(0, full.size() - 1), false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes("run_0.dat", c.bytes);
        recorder().messages.clear();
        FlowData data;
        ProgressRecorder progress;
        if (c.loads) {
            ASSERT_NO_THROW(data.load(path("run.gri"), progress));
            const DataFrame& frame = *data.frame(0);
            EXPECT_EQ(frame.vectors, (std::vector<float>{0, 0, 0.5f, 1, -1, 0.5f, 2, -2, 0.5f, 3, -3, 0.5f}));
            EXPECT_EQ(frame.layers[1].max, 13.0f); // the extra record's 1e9 was not read
            EXPECT_EQ(recorder().texts().back(), "Flowdata loaded .. [OK]");
            continue;
        }
        const Tool::Exception e = loadFailure(data, path("run.gri"));
        EXPECT_EQ(e.text, "Data not matching the specified size");
        const std::vector<Line>& lines = recorder().messages;
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2].text, "Datafile loaded .. [FAILED]");
        EXPECT_EQ(lines[2].details, path("run_0.dat"));
        EXPECT_EQ(lines[3].text, "Unloading file  ..");
        expectEmpty(data);
    }
}

TEST_F(FlowDataTest, FrameRecordsBuildVectorsAndLayers)
{
    writeGrid("run.gri", "SN4DB 4 1 1 3 1 1");
    writeBytes("run.dat", TestFiles::frameBytes(4, 3, [](int l, uint32_t n) { return float(l) - float(n); }));
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    const std::shared_ptr<const DataFrame> handle = data.frame(0);
    const DataFrame& frame = *handle;
    EXPECT_EQ(frame.size, (std::array<uint32_t, 3>{{4, 1, 1}}));
    ASSERT_EQ(frame.layers.size(), 3u);
    for (int l = 0; l < 3; ++l) {
        const DataLayer& layer = frame.layers[l];
        EXPECT_EQ(layer.name, "Layer_" + std::to_string(l));
        EXPECT_EQ(layer.nodeCount, 4u);
        EXPECT_EQ(layer.size, (std::array<uint32_t, 3>{{4, 1, 1}}));
        EXPECT_EQ(layer.values.size(), 4u);
        // Raw extremes start from 0: values l .. l - 3.
        EXPECT_EQ(layer.min, float(l) - 3.0f);
        EXPECT_EQ(layer.max, std::max(float(l), 0.0f));
    }
    ASSERT_NE(data.getSize(), nullptr);
    EXPECT_EQ(*data.getSize(), (std::array<uint32_t, 3>{{4, 1, 1}}));
}

TEST_F(FlowDataTest, WrongNumberOfFramesFailsAfterReadingThemAll)
{
    writeGrid("run.gri", "SN4DB 4 1 1 0 10 1");
    for (int f = 0; f < 10; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", 0.0f, 4, 0);
    }
    FlowData data;
    const Tool::Exception e = loadFailure(data, path("run.gri"));
    EXPECT_EQ(e.text, "Frames not not matching the specified timesteps");
    const std::vector<Line>& lines = recorder().messages;
    ASSERT_EQ(lines.size(), 2u + 10u + 2u);
    EXPECT_EQ(lines[11].text, "Loading Dataframe: run_9.dat .. [OK]");
    EXPECT_EQ(lines[12].text, "Flowdata loaded .. [FAILED]");
    EXPECT_EQ(lines[12].details, "");
    EXPECT_EQ(lines[13].text, "Unloading file  ..");
    expectEmpty(data);
    EXPECT_EQ(data.frameCount, 11);
}

TEST_F(FlowDataTest, FilesBeyondTheFrameCountAreReadButNotKept)
{
    // Records how many frames the data set holds each time a file is done.
    struct HeldFrames : LoadingProgress {
        const FlowData* data = nullptr;
        std::vector<std::size_t> held;
        void setRange(int, int) override {}
        void setPosition(int) override { held.push_back(data->frames.size()); }
        void repaint() override {}
    };
    writeGrid("run.gri", "SN4DB 4 1 1 1 1 1");
    for (int f = 0; f < 4; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", 0.0f);
    }
    FlowData data;
    HeldFrames progress;
    progress.data = &data;
    EXPECT_THROW(data.load(path("run.gri"), progress), Tool::Exception);
    // The first position is the grid's; one follows per frame file.
    EXPECT_EQ(progress.held, (std::vector<std::size_t>{0, 0, 1, 1, 1}));
    EXPECT_EQ(recorder().messages[5].text, "Loading Dataframe: run_3.dat .. [OK]");
    EXPECT_EQ(recorder().messages[6].text, "Flowdata loaded .. [FAILED]");
    expectEmpty(data);
}

// Runs check where file permissions apply: as root, in a child process that
// has become an unprivileged user. True when check passed.
bool withoutPrivileges(const std::function<bool()>& check)
{
    if (::geteuid() != 0) {
        return check();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(FlowDataTest, UnreadableFrameOrFolderFailsAsCannotOpen)
{
    // Open to others, so an unprivileged user reaches the files.
    fs::permissions(folder, fs::owner_all | fs::others_read | fs::others_exe);
    writeBytes("run.gri",
               TestFiles::header("SN4DB 4 1 1 0 1 1") + TestFiles::floatBytes(TestFiles::gridPositions(4, 1, 1, 1.0f)));
    writeFrame("run_0.dat", 0.0f, 4, 0);
    fs::permissions(folder / "run.gri", fs::owner_read | fs::others_read);
    fs::permissions(folder / "run_0.dat", fs::no_perms);
    EXPECT_TRUE(withoutPrivileges([&] {
        FlowData data;
        const Tool::Exception e = loadFailure(data, path("run.gri"));
        const std::vector<Line>& lines = recorder().messages;
        return e.text == "Couldn't open " + path("run_0.dat") && lines.size() == 4 &&
               lines[2].text == "Datafile loaded .. [FAILED]" && lines[2].details == path("run_0.dat") &&
               data.getSize() == nullptr && data.positions.empty();
    }));

    // The grid opens through the folder, but the folder cannot be listed.
    fs::permissions(folder, fs::owner_all | fs::others_exe);
    recorder().messages.clear();
    EXPECT_TRUE(withoutPrivileges([&] {
        FlowData data;
        const Tool::Exception e = loadFailure(data, path("run.gri"));
        const std::vector<Line>& lines = recorder().messages;
        return e.text == "Couldn't open " + folder.string() + "/" && lines.size() == 4 &&
               lines[2].text == "Datafile loaded .. [FAILED]" && lines[2].details == folder.string() + "/" &&
               data.getSize() == nullptr && data.positions.empty();
    }));
}

// Run by DataSetLargerThanMemoryFailsCleanly in a fresh process of this
// program, where the address space holds nothing left over from other tests.
TEST(OutOfMemory, DISABLED_LoadInALimitedAddressSpace)
{
    const char* grid = std::getenv("QUORVANE_OOM_GRID");
    if (grid == nullptr) {
        GTEST_SKIP() << "run by DataSetLargerThanMemoryFailsCleanly";
    }
    std::ifstream status("/proc/self/status");
    std::string key;
    uint64_t kilobytes = 0;
    while (status >> key && key != "VmSize:") {
        status.ignore(1 << 16, '\n');
    }
    status >> kilobytes;
    const rlimit limit{(kilobytes + 64 * 1024) * 1024, RLIM_INFINITY};
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
    // The frames' share of what may be used holds one 21 MB frame of the four.
    MemoryBudget::setProcessLimit(4 * 24 * 1024 * 1024);

    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(grid, progress));
    for (std::size_t f : {0, 3, 1}) {
        // Layer 1 holds n % 7 - 1 on -1 .. 5: node 2 rescales to 2 / 6.
        EXPECT_FLOAT_EQ(data.frame(f)->layers.at(1).values.at(2), 2.0f / 6.0f);
    }
}

TEST_F(FlowDataTest, DataSetLargerThanMemoryFailsCleanly)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
    // 84 MB of frames against an address space that may grow by 64 MB, of
    // which positions take 13 MB and the stacks of finished threads 16 MB.
    const uint32_t nodes = 1024 * 1024;
    writeBytes("big.gri", TestFiles::header("SN4DB 1024 1024 1 2 3 1") +
                              TestFiles::floatBytes(TestFiles::gridPositions(1024, 1024, 1, 1.0f)));
    const std::string frame =
        TestFiles::frameBytes(nodes, 2, [](int l, uint32_t n) { return float(n % 7) - float(l); });
    for (int f = 0; f < 4; ++f) {
        writeBytes(("big_" + std::to_string(f) + ".dat"), frame);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("QUORVANE_OOM_GRID", path("big.gri").c_str(), 1);
        ::execl("/proc/self/exe", "test_flowdata", "--gtest_filter=OutOfMemory.DISABLED_LoadInALimitedAddressSpace",
                "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

TEST_F(FlowDataTest, AFrameLargerThanItsShareOfMemoryFailsTheLoad)
{
    // One frame of 65536 nodes with one layer: 1.0 MB, against 0.5 MB.
    writeBytes("run.gri", TestFiles::header("SN4DB 256 256 1 1 1 1") +
                              TestFiles::floatBytes(TestFiles::gridPositions(256, 256, 1, 1.0f)));
    writeFrame("run_0.dat", 0.0f, 65536);
    MemoryBudget::setProcessLimit(2000000);
    FlowData data;
    const Tool::Exception e = loadFailure(data, path("run.gri"));
    MemoryBudget::setProcessLimit(0);
    EXPECT_EQ(e.text, "Out of memory");
    const std::vector<Line>& lines = recorder().messages;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2].text, "Flowdata loaded .. [FAILED]");
    EXPECT_EQ(lines[2].details, "A frame needs 1.0 MB; 0.5 MB may be used for frames");
    expectEmpty(data);
}

TEST_F(FlowDataTest, FramesBeyondTheBudgetAreReadAgainAndMatch)
{
    FlowGenerator::Settings settings;
    settings.size = {{6, 5, 4}};
    settings.layers = 2;
    settings.frames = 3;
    std::string error;
    ASSERT_TRUE(FlowWriter::write(path("v"), FlowGenerator(settings), error)) << error;
    FlowData all;
    ProgressRecorder progress;
    ASSERT_NO_THROW(all.load(path("v.gri"), progress));
    // Room for one decoded frame of 120 nodes x 5 floats.
    MemoryBudget::setProcessLimit(4 * 2400);
    FlowData one;
    ASSERT_NO_THROW(one.load(path("v.gri"), progress));
    MemoryBudget::setProcessLimit(0);
    const std::shared_ptr<const DataFrame> held = one.frame(3);
    for (std::size_t f : {0, 3, 1, 2, 0}) {
        const std::shared_ptr<const DataFrame> a = all.frame(f), b = one.frame(f);
        EXPECT_EQ(a->vectors, b->vectors) << f;
        EXPECT_EQ(a->layers[1].values, b->layers[1].values) << f;
    }
    EXPECT_EQ(held->vectors, all.frame(3)->vectors); // a held frame is never reused
    EXPECT_NE(held->vectors, all.frame(0)->vectors);
    EXPECT_EQ(one.computeHistogram(1, 64), all.computeHistogram(1, 64));
}

TEST_F(FlowDataTest, PrefetchReadsAFrameAheadOnAWorker)
{
    writeFrame("run_0.dat", 3.0f);
    BinaryFile file;
    ASSERT_TRUE(file.open(path("run_0.dat")));
    FrameStore store({{path("run_0.dat"), file.stamp()}}, {{4, 1, 1}}, 1, {LayerRange(0, 6)}, 1 << 20);
    store.prefetch(0, 0);
    for (int wait = 0; wait < 1000 && store.residentFrames() == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fs::remove(path("run_0.dat"));
    EXPECT_EQ(store.frame(0)->layers[0].values, (std::vector<float>{0.5f, 4.0f / 6, 5.0f / 6, 1}));
}

TEST_F(FlowDataTest, PrefetchNeverEvictsTheFrameShown)
{
    std::vector<FrameStore::Source> sources;
    for (int f = 0; f < 3; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", float(f));
        BinaryFile file;
        ASSERT_TRUE(file.open(path("run_" + std::to_string(f) + ".dat")));
        sources.push_back({path("run_" + std::to_string(f) + ".dat"), file.stamp()});
    }
    // Room for two frames of 4 nodes x 4 floats; frame 0 is the least recently used.
    FrameStore store(sources, {{4, 1, 1}}, 1, {LayerRange(0, 2)}, 2 * 64);
    store.frame(0);
    store.frame(1);
    store.prefetch(2, 0);
    for (int wait = 0; wait < 1000 && !store.holds(2); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(store.holds(2));
    EXPECT_TRUE(store.holds(0));
    EXPECT_FALSE(store.holds(1));
}

TEST_F(FlowDataTest, TheHistogramDecodesNoMoreFramesThanTheBudgetHolds)
{
    writeGrid("run.gri", "SN4DB 256 256 1 1 3 1", 65536);
    for (int f = 0; f < 4; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", float(f), 65536);
    }
    // Room for one decoded frame of 65536 nodes x 4 floats.
    MemoryBudget::setProcessLimit(4 * 1048576);
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    MemoryBudget::setProcessLimit(0);
    data.computeHistogram(0, 64);
    EXPECT_EQ(data.frameStore()->peakFrames(), 1u);
}

TEST_F(FlowDataTest, AFrameCutShortAfterTheLoadFailsWithItsFileAndReason)
{
    writeGrid("run.gri", "SN4DB 4 1 1 1 2 1");
    for (int f = 0; f < 3; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", float(f));
    }
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    fs::resize_file(folder / "run_1.dat", 8);
    try {
        data.frame(1);
        ADD_FAILURE() << "frame 1 was read";
    } catch (const Tool::Exception& e) {
        EXPECT_EQ(e.text, "Couldn't read " + path("run_1.dat") + ": the file is shorter than the grid needs");
    }
    EXPECT_EQ(data.frame(2)->layers[0].values.back(), 1.0f);
}

TEST_F(FlowDataTest, AStoreHitMovesTheFrameToTheFront)
{
    const std::vector<FrameStore::Source> sources = writeFrames(3);
    FrameStore store(sources, {{4, 1, 1}}, 1, {LayerRange(0, 6)}, 2 * 64);
    for (std::size_t f : {0, 1, 0, 2}) {
        store.frame(f);
    }
    // Only what is kept can still be shown.
    for (const FrameStore::Source& source : sources) {
        fs::remove(source.path);
    }
    EXPECT_NO_THROW(store.frame(0)) << "touched after frame 1";
    EXPECT_THROW(store.frame(1), Tool::Exception);
}

TEST_F(FlowDataTest, AFailedDecodeFailsAgainWithoutWaiting)
{
    const std::vector<FrameStore::Source> sources = writeFrames(1);
    fs::resize_file(sources[0].path, 8);
    const auto store = std::make_shared<FrameStore>(sources, std::array<uint32_t, 3>{{4, 1, 1}}, 1,
                                                    std::vector<LayerRange>{{0, 6}}, 64);
    auto failure = [store] {
        try {
            store->frame(0);
            return std::string("read");
        } catch (const Tool::Exception& e) {
            return e.text;
        }
    };
    const std::string reason = "Couldn't read " + sources[0].path + ": the file is shorter than the grid needs";
    EXPECT_EQ(failure(), reason);
    // Asked again on a thread of its own, which is left behind if it hangs.
    std::packaged_task<std::string()> again(failure);
    std::future<std::string> second = again.get_future();
    std::thread(std::move(again)).detach();
    ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the second request waits";
    EXPECT_EQ(second.get(), reason);
}

TEST_F(FlowDataTest, AFrameTouchedAfterTheLoadIsRefused)
{
    writeGrid("run.gri", "SN4DB 4 1 1 1 2 1");
    writeFrames(3);
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    // The same bytes, of the same size, with a later time stamp.
    const fs::path touched = folder / "run_1.dat";
    fs::last_write_time(touched, fs::last_write_time(touched) + 5);
    try {
        data.frame(1);
        ADD_FAILURE() << "frame 1 was read";
    } catch (const Tool::Exception& e) {
        EXPECT_EQ(e.text,
                  "Couldn't read " + path("run_1.dat") + ": the file has changed since the data set was loaded");
    }
}

// Reads the first block and then only half of what is asked, as a read error
// or a file cut short during the scan would.
class ReaderCutAfterOneBlock : public FrameReader {
public:
    using FrameReader::FrameReader;

private:
    std::size_t readAt(void* target, std::size_t count, uint64_t position) const override
    {
        return position == 0 ? FrameReader::readAt(target, count, position) : count / 2;
    }
};

TEST_F(FlowDataTest, AShortReadInTheMiddleOfTheScanFailsTheFrame)
{
    // 40000 records of 16 bytes: three blocks.
    writeFrame("run_0.dat", 0.0f, 40000);
    ReaderCutAfterOneBlock reader({{200, 200, 1}}, 1);
    DataFrame frame;
    EXPECT_EQ(reader.measure(path("run_0.dat"), frame), FrameReader::Result::TooShort);
}

TEST(FrameReader, ReportsFilesItCannotOpen)
{
    FrameReader reader({{1, 1, 1}}, 0);
    DataFrame frame;
    EXPECT_EQ(reader.read("/nonexistent/quorvane/run_0.dat", frame), FrameReader::Result::CannotOpen);
    EXPECT_EQ(reader.read("/", frame), FrameReader::Result::CannotOpen);
}

TEST_F(FlowDataTest, ProgressForFourFrames)
{
    writeGrid("run.gri", "SN4DB 4 1 1 0 3 1");
    for (int f = 0; f < 4; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", 0.0f, 4, 0);
    }
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 100}}));
    EXPECT_EQ(progress.repaints, 1);
    EXPECT_EQ(progress.positions, (std::vector<int>{50, 50, 56, 62, 68}));
}

TEST_F(FlowDataTest, LoadWhileLoadedDoesNothingAndUnloadKeepsCounts)
{
    writeGrid("run.gri", "SN4DB 4 1 1 1 4 0.25");
    for (int f = 0; f < 5; ++f) {
        writeFrame("run_" + std::to_string(f) + ".dat", 1.0f);
    }
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    recorder().messages.clear();
    data.load(path("missing.gri"), progress);
    EXPECT_TRUE(recorder().messages.empty());
    EXPECT_EQ(data.frames.size(), 5u);

    data.unload();
    ASSERT_EQ(recorder().messages.size(), 1u);
    EXPECT_EQ(recorder().messages[0].source, "FlowData::unload()");
    EXPECT_EQ(recorder().messages[0].text, "Unloading file  ..");
    expectEmpty(data);
    EXPECT_EQ(data.frameCount, 5);
    EXPECT_EQ(data.layerCount, 1);
    EXPECT_EQ(data.timestep, 0.25f);
}

uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t total = 0, pages = 0;
    statm >> total >> pages;
    return pages * uint64_t(::sysconf(_SC_PAGESIZE));
}

TEST(Unload, GivesFreedMemoryBackToTheSystem)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator keeps freed memory itself";
#endif
    // 40 MB of frames, each followed by memory still in use, so that no
    // free() alone can shrink the heap.
    FlowData data;
    std::vector<std::vector<float>> kept;
    for (int f = 0; f < 600; ++f) {
        data.frames.emplace_back().vectors.assign(16384, 1.0f);
        kept.emplace_back(16384, 2.0f);
    }
    const uint64_t loaded = residentBytes();
    data.unload();
    EXPECT_LT(residentBytes(), loaded - 30000000);
}

TEST_F(FlowDataTest, MemoryLimitIsTheTightestCgroupOnTheWayUp)
{
    const auto limit = [&](const std::string& file, const std::string& text) {
        fs::create_directories((folder / file).parent_path());
        writeBytes(file, text);
    };
    limit("memory/jobs/memory.limit_in_bytes", "3000\n");
    limit("memory/jobs/run/memory.limit_in_bytes", "9000\n");
    limit("unified/slice/memory.max", "max\n");
    limit("unified/slice/unit/memory.max", "5000\n");
    const std::string root = folder.string();
    EXPECT_EQ(MemoryBudget::cgroupLimit("4:memory:/jobs/run\n0::/\n", root), 3000u);
    EXPECT_EQ(MemoryBudget::cgroupLimit("0::/slice/unit\n", root), 5000u);
    EXPECT_EQ(MemoryBudget::cgroupLimit("4:cpu:/jobs/run\n", root), std::numeric_limits<uint64_t>::max());
}

TEST_F(FlowDataTest, RelativeGridPathUsesTheCurrentFolder)
{
    writeGrid("rel.gri", "SN4DB 4 1 1 0 1 1");
    writeFrame("rel_0.dat", 0.0f, 4, 0);
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    FlowData data;
    ProgressRecorder progress;
    EXPECT_NO_THROW(data.load("rel.gri", progress));
    fs::current_path(before);
    EXPECT_EQ(data.frames.size(), 1u);
    EXPECT_EQ(data.directory, "");
    EXPECT_EQ(data.name, "rel");
}

} // namespace
