#include "FlowDataTest.h"

#include "support/DataSetBuilder.h"

namespace {

// --- Rescaling and histogram ----------------------------------------------------

DataFrame frameWith(const std::vector<std::vector<float>>& layers)
{
    DataFrame frame;
    for (const std::vector<float>& values : layers) {
        DataLayer layer;
        layer.values = values;
        for (float v : values) {
            layer.min = std::min(layer.min, v);
            layer.max = std::max(layer.max, v);
        }
        frame.layers.push_back(layer);
    }
    return frame;
}

TEST(Rescaling, SharesOneRangePerLayerAcrossFrames)
{
    FlowData data;
    data.layerCount = 3;
    data.frames.push_back(frameWith({{0, 2, 4}, {-2, 0, 6}, {0, 0, 0}}));
    data.frames.push_back(frameWith({{8, 1, 0}, {1, 1, 1}, {0, 0, 0}}));
    data.frames[0].vectors = {5, -5, 7};
    data.normalizeLayers();
    EXPECT_EQ(data.frames[0].layers[0].values, (std::vector<float>{0, 0.25f, 0.5f}));
    EXPECT_EQ(data.frames[1].layers[0].values, (std::vector<float>{1, 0.125f, 0}));
    EXPECT_EQ(data.frames[0].layers[1].values, (std::vector<float>{0, 0.25f, 1}));
    EXPECT_EQ(data.frames[1].layers[1].values, (std::vector<float>{0.375f, 0.375f, 0.375f}));
    // A layer that is 0 everywhere stays 0.
    EXPECT_EQ(data.frames[0].layers[2].values, (std::vector<float>{0, 0, 0}));
    // Raw extremes and vectors are left alone.
    EXPECT_EQ(data.frames[1].layers[0].max, 8.0f);
    EXPECT_EQ(data.frames[0].layers[1].min, -2.0f);
    EXPECT_EQ(data.frames[0].vectors, (std::vector<float>{5, -5, 7}));
}

TEST(Rescaling, NegativeOnlyAndTinyRanges)
{
    FlowData data;
    data.layerCount = 2;
    const float tiny = std::numeric_limits<float>::denorm_min();
    data.frames.push_back(frameWith({{-4, -1, 0}, {0, tiny, 2 * tiny}}));
    data.normalizeLayers();
    EXPECT_EQ(data.frames[0].layers[0].values, (std::vector<float>{0, 0.75f, 1}));
    EXPECT_EQ(data.frames[0].layers[1].values, (std::vector<float>{0, 0.5f, 1}));
}

TEST_F(FlowDataTest, NonFiniteAndHugeRawValuesStayWithinZeroToOne)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> raw = {inf, -3e38f, 0.0f, 3e38f, -inf};
    writeGrid("run.gri", "SN4DB 5 1 1 1 1 1", 5);
    writeBytes("run.dat", TestFiles::frameBytes(5, 1, [&](int, uint32_t n) { return raw[n]; }));
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("run.gri"), progress));
    EXPECT_EQ(data.frames[0].layers[0].min, -3e38f);
    EXPECT_EQ(data.frames[0].layers[0].max, 3e38f);
    EXPECT_EQ(data.frame(0)->layers[0].values, (std::vector<float>{0, 0, 0.5f, 1, 0}));
}

// Records long enough for the vector lanes, with values no range may hold.
std::vector<float> mixedRecords(std::size_t floats)
{
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              3e38f,
                              -3e38f,
                              0.0f};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    std::vector<float> records(floats);
    for (std::size_t i = 0; i < floats; ++i) {
        records[i] = random() % 9 == 0 ? specials[random() % 6] : value(random);
    }
    return records;
}

TEST_F(FlowDataTest, SpeedRangeOfALoadedSetIsItsSlowestAndFastestLength)
{
    DataSetBuilder set{4, 1, 1};
    set.frames = 3;
    // Lengths 3, 5, 7, 9; then 2 and 13 among them in the middle frame.
    set.vector = [](int f, uint32_t i, uint32_t, uint32_t) {
        const DataSetBuilder::Vec3 plain[4] = {{{1, 2, 2}}, {{3, 4, 0}}, {{2, 3, 6}}, {{0, -9, 0}}};
        if (f == 1 && i == 1) {
            return DataSetBuilder::Vec3{{0, 0, -2}};
        }
        if (f == 1 && i == 2) {
            return DataSetBuilder::Vec3{{5, 0, 12}};
        }
        return plain[i];
    };
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(set.write(path("run"), 2, 1.0f), progress));
    EXPECT_FLOAT_EQ(data.speedMin, 2.0f);
    EXPECT_FLOAT_EQ(data.speedMax, 13.0f);
}

TEST(FieldExtremes, VectorLanesMatchOneRecordAtATime)
{
    for (uint32_t fields : {3u, 5u, 7u, 12u}) {
        const std::vector<float> records = mixedRecords(fields * 1001);
        FieldExtremes extremes(fields);
        for (std::size_t done = 0, count = 1; done < 1001; done += count, count = count * 3 + 1) {
            extremes.add(records.data() + done * fields, std::min<std::size_t>(count, 1001 - done));
        }
        std::vector<float> low(fields, 0.0f), high(fields, 0.0f);
        float slowest = std::numeric_limits<float>::infinity(), fastest = 0.0f;
        for (std::size_t r = 0; r < 1001; ++r) {
            const float* record = &records[r * fields];
            for (uint32_t f = 0; f < fields; ++f) {
                if (std::isfinite(record[f])) {
                    low[f] = std::min(low[f], record[f]);
                    high[f] = std::max(high[f], record[f]);
                }
            }
            const float squared = record[0] * record[0] + record[1] * record[1] + record[2] * record[2];
            if (std::isfinite(squared)) {
                slowest = std::min(slowest, squared);
                fastest = std::max(fastest, squared);
            }
        }
        for (uint32_t f = 0; f < fields; ++f) {
            EXPECT_EQ(extremes.low(f), low[f]) << fields << " fields, field " << f;
            EXPECT_EQ(extremes.high(f), high[f]) << fields << " fields, field " << f;
        }
        EXPECT_EQ(extremes.slowestSquared(), slowest) << fields << " fields";
        EXPECT_EQ(extremes.fastestSquared(), fastest) << fields << " fields";

        const LayerRange range(-20.0, 30.0);
        std::vector<float> rescaled(1001);
        range.rescale(records.data() + 2, 1001, fields, rescaled.data());
        for (std::size_t r = 0; r < 1001; ++r) {
            EXPECT_EQ(rescaled[r], range(records[r * fields + 2])) << "record " << r;
        }
    }
}

TEST(Parallel, AnExceptionOnAnyThreadReachesTheCaller)
{
    std::atomic<int> ran{0};
    EXPECT_THROW(parallelFor(64,
                             [&](unsigned worker, std::size_t) {
                                 ++ran;
                                 if (worker == workerCount() - 1) {
                                     throw std::bad_alloc();
                                 }
                                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
                             }),
                 std::bad_alloc);
    EXPECT_LT(ran, 64);
}

TEST(Parallel, RunsOnTheCallingThreadWhenNoThreadStarts)
{
    Tool::refuseThreads(true);
    std::set<std::thread::id> threads;
    parallelFor(16, [&](unsigned, std::size_t) { threads.insert(std::this_thread::get_id()); });
    Tool::refuseThreads(false);
    EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(Histogram, WorkedExample)
{
    FlowData data;
    data.frames.push_back(frameWith({{0.0625f, 0.2f, 0.2f, 1.0f}}));
    const std::vector<float> h = data.computeHistogram(0, 8);
    EXPECT_EQ(h, (std::vector<float>{0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Histogram, LogScaleAgainstTheFullestBin)
{
    FlowData data;
    // Bin 1 of 4 gets 3 values over two frames, bin 3 gets 9, bin 4 (exactly 1.0) gets 2.
    data.frames.push_back(frameWith({{0.3f, 0.3f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 1.0f}}));
    data.frames.push_back(frameWith({{0.26f, 0.7f, 0.7f, 0.7f, 0.7f, 1.0f}}));
    const std::vector<float> h = data.computeHistogram(0, 4);
    ASSERT_EQ(h.size(), 5u);
    const float top = std::log(9.0f) / std::log(2.7f);
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_FLOAT_EQ(h[1], std::log(3.0f) / std::log(2.7f) / top);
    EXPECT_EQ(h[2], 1.0f);
    EXPECT_EQ(h[3], 0.0f);
    EXPECT_FLOAT_EQ(h[4], std::log(2.0f) / std::log(2.7f) / top);
}

TEST(Histogram, DegenerateInputsGiveZeros)
{
    FlowData empty;
    EXPECT_EQ(empty.computeHistogram(0, 4), std::vector<float>(5, 0.0f));
    EXPECT_EQ(empty.computeHistogram(0, 0), std::vector<float>(1, 0.0f));
    EXPECT_TRUE(empty.computeHistogram(0, -3).empty());

    FlowData data;
    // No bin above one value, and values that must not be counted at all.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    data.frames.push_back(frameWith({{0.3f, 0.9f, nan, nan, -0.5f, -0.5f, 1.5f, 1.5f, inf, inf, -inf, -inf}}));
    EXPECT_EQ(data.computeHistogram(0, 4), std::vector<float>(5, 0.0f));
    EXPECT_EQ(data.computeHistogram(1, 4), std::vector<float>(5, 0.0f));
    EXPECT_EQ(data.computeHistogram(-1, 4), std::vector<float>(5, 0.0f));
}

TEST(Histogram, BinIsTheTruncatedDoubleQuotient)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t n : {1u, 3u, 7u, 8u, 10u, 100u, 333u, 1000u, 1021u, 4096u}) {
        const HistogramBin bin(n);
        const float width = 1.0f / static_cast<float>(n);
        std::vector<float> values = {0.0f, 1.0f, width, std::nextafter(width, 0.0f), 0.5f};
        for (std::size_t k = 1; k <= n; ++k) {
            const float edge = static_cast<float>(static_cast<double>(k) * width);
            values.insert(values.end(), {edge, std::nextafter(edge, 0.0f), std::nextafter(edge, 2.0f)});
        }
        for (int i = 0; i < 20000; ++i) {
            values.push_back(unit(random));
        }
        for (float v : values) {
            if (v > 1.0f) {
                continue;
            }
            const std::size_t expected = std::min<std::size_t>(static_cast<std::size_t>(double(v) / double(width)), n);
            ASSERT_EQ(bin(v), expected) << "n " << n << " value " << v;
        }
    }
}

// --- Generated data sets --------------------------------------------------------

TEST_F(FlowDataTest, GeneratedCurvedDataSetLoads)
{
    FlowGenerator::Settings settings;
    settings.size = {{6, 5, 4}};
    settings.layers = 3;
    settings.frames = 2;
    settings.timestep = 0.25f;
    settings.curved = true;
    const FlowGenerator generator(settings);
    std::string error;
    ASSERT_TRUE(FlowWriter::write(path("vortex"), generator, error)) << error;
    EXPECT_TRUE(fs::exists(folder / "vortex_002.dat"));
    EXPECT_FALSE(fs::exists(folder / "vortex_003.dat"));

    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("vortex.gri"), progress));
    ASSERT_EQ(data.frames.size(), 3u);
    EXPECT_EQ(data.positions, generator.positions());
    EXPECT_EQ(data.timestep, 0.25f);

    // The signed vorticity spans both signs, so its 0 lands strictly inside 0 .. 1.
    EXPECT_LT(data.frames[0].layers[1].min, 0.0f);
    EXPECT_GT(data.frames[0].layers[1].max, 0.0f);
    for (std::size_t f = 0; f < data.frames.size(); ++f) {
        for (const DataLayer& layer : data.frame(f)->layers) {
            for (float v : layer.values) {
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << layer.name << " " << v;
            }
        }
    }
    // The flow moves: the vectors of the first and last frame differ.
    EXPECT_NE(data.frame(0)->vectors, data.frame(2)->vectors);
    // A curved grid's first row is not a straight line along x.
    EXPECT_NE(data.positions[1], data.positions[3 * 2 + 1]);
}

// Every seed and every input that once broke the loader goes through the
// fuzzer's own entry, which aborts on a wrong outcome.
TEST(FlowDataFuzzCorpus, ReplaysEveryInput)
{
    const fs::path root = fs::path(QUORVANE_SOURCE_DIR) / "fuzz";
    std::size_t replayed = 0;
    for (const char* folder : {"corpus", "crashes"}) {
        if (!fs::is_directory(root / folder / "flowdata")) {
            continue;
        }
        for (const fs::directory_entry& file : fs::directory_iterator(root / folder / "flowdata")) {
            SCOPED_TRACE(file.path().string());
            std::ifstream in(file.path().string(), std::ios::binary);
            const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(flowDataFuzzOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 10u);
}

TEST(FlowWriter, HeaderAndFrameNames)
{
    FlowGenerator::Settings settings;
    settings.size = {{48, 32, 8}};
    settings.layers = 2;
    settings.frames = 24;
    settings.timestep = 0.1f;
    const std::string h = FlowWriter::header(settings);
    ASSERT_EQ(h.size(), 40u);
    EXPECT_EQ(h.substr(0, 26), "SN4DB 48 32 8 2 24 0.1\n   ");
    EXPECT_EQ(FlowWriter::frameFileName("d/v", 7, 25), "d/v_007.dat");
    EXPECT_EQ(FlowWriter::frameFileName("d/v", 1234, 2001), "d/v_1234.dat");
    settings.size = {{2000000000, 2000000000, 2000000000}};
    settings.layers = 2000000000;
    settings.frames = 2000000000;
    EXPECT_TRUE(FlowWriter::header(settings).empty());
}

} // namespace

// Node positions and flow of a grid, x fastest, both given as functions of
// the node's index point (i, j, k).
using Point = std::array<float, 3>;
struct TracedGrid {
    std::array<uint32_t, 3> size;
    std::vector<float> positions, vectors;

    TracedGrid(std::array<uint32_t, 3> n, const std::function<Point(Point)>& place,
               const std::function<Point(Point)>& flow)
        : size(n)
    {
        for (uint32_t k = 0; k < n[2]; ++k) {
            for (uint32_t j = 0; j < n[1]; ++j) {
                for (uint32_t i = 0; i < n[0]; ++i) {
                    const Point p = place({{float(i), float(j), float(k)}});
                    const Point v = flow({{float(i), float(j), float(k)}});
                    positions.insert(positions.end(), p.begin(), p.end());
                    vectors.insert(vectors.end(), v.begin(), v.end());
                }
            }
        }
    }
    Streamline trace(Point seed) const { return StreamlineTracer(positions, size, vectors, 1).trace(seed); }
};

Point unchanged(Point p)
{
    return p;
}

TEST(StreamlineTracer, UniformFlowGivesAStraightLineAcrossTheGrid)
{
    const TracedGrid grid({{10, 10, 10}}, unchanged, [](Point) { return Point{{1, 0, 0}}; });
    const Streamline line = grid.trace({{2.5f, 4.3f, 5.1f}});
    ASSERT_GE(line.points.size(), 10u);
    for (size_t n = 0; n < line.points.size(); ++n) {
        EXPECT_NEAR(line.points[n][1], 4.3f, 1e-4f);
        EXPECT_NEAR(line.points[n][2], 5.1f, 1e-4f);
        if (n > 0) {
            EXPECT_GT(line.points[n][0], line.points[n - 1][0]) << "the line runs with the flow";
        }
    }
    // Both ways, to within one step of either side.
    EXPECT_LT(line.points.front()[0], 0.5f);
    EXPECT_GT(line.points.back()[0], 8.5f);
}

TEST(StreamlineTracer, SolidBodyRotationStaysOnItsCircle)
{
    // A flat grid centred on the origin, flow (-y, x): circles about the centre.
    auto centred = [](Point p) { return Point{{p[0] - 20, p[1] - 20, 0}}; };
    const TracedGrid grid({{41, 41, 1}}, centred, [&](Point p) {
        const Point q = centred(p);
        return Point{{-q[1], q[0], 0}};
    });
    const Streamline line = grid.trace({{30, 20, 0}});
    double turned = 0;
    for (size_t n = 0; n < line.points.size(); ++n) {
        EXPECT_NEAR(std::hypot(line.points[n][0], line.points[n][1]), 10.0, 0.1) << "point " << n;
        if (n > 0) {
            turned += std::remainder(std::atan2(line.points[n][1], line.points[n][0]) -
                                         std::atan2(line.points[n - 1][1], line.points[n - 1][0]),
                                     2 * M_PI);
        }
    }
    EXPECT_GT(turned, 2 * M_PI) << "at least one full turn, counter-clockwise";
}

TEST(StreamlineTracer, RotatedGridGivesTheRotatedLines)
{
    // A bending flow on a uniform grid, and the same turned by 30 degrees
    // about z and then 20 about x: grid positions and flow alike.
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6), cx = std::cos(M_PI / 9), sx = std::sin(M_PI / 9);
    auto turn = [=](Point p) {
        const double x = c * p[0] - s * p[1], y = s * p[0] + c * p[1];
        return Point{{float(x), float(cx * y - sx * p[2]), float(sx * y + cx * p[2])}};
    };
    auto flow = [](Point p) { return Point{{1, 0.1f * (p[0] - 4), 0.2f}}; };
    const TracedGrid plain({{12, 12, 8}}, unchanged, flow);
    const TracedGrid turned({{12, 12, 8}}, turn, [&](Point p) { return turn(flow(p)); });
    const Streamline expected = plain.trace({{3.2f, 5.5f, 1.5f}});
    const Streamline got = turned.trace({{3.2f, 5.5f, 1.5f}});
    ASSERT_GE(expected.points.size(), 10u);
    ASSERT_EQ(got.points.size(), expected.points.size());
    for (size_t n = 0; n < got.points.size(); ++n) {
        const Point want = turn(expected.points[n]);
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(got.points[n][size_t(a)], want[size_t(a)], 1e-3f) << "point " << n << " axis " << a;
        }
    }
}

TEST(StreamlineTracer, SeedsFillTheBottomAndMiddleSlices)
{
    const auto seeds = StreamlineTracer::seedLattice({{9, 5, 7}}, 4);
    ASSERT_EQ(seeds.size(), 32u);
    EXPECT_EQ(seeds[0], (Point{{1, 0.5f, 0}}));
    EXPECT_EQ(seeds[31], (Point{{7, 3.5f, 3}}));
    EXPECT_EQ(StreamlineTracer::seedLattice({{9, 5, 1}}, 4).size(), 16u);
}

TEST(StreamlineTracer, MiddleSeedSliceOfAnOddAndAnEvenDepth)
{
    EXPECT_EQ(StreamlineTracer::seedLattice({{4, 4, 7}}, 1).back()[2], 3.0f);
    EXPECT_EQ(StreamlineTracer::seedLattice({{4, 4, 8}}, 1).back()[2], 3.0f);
}

TEST(StreamlineTracer, SpeedsRunInTheOrderOfThePointsOnBothHalves)
{
    // Flow along x that gains speed with x: at every point the speed is 1 + x.
    const TracedGrid grid({{10, 3, 3}}, unchanged, [](Point p) { return Point{{1 + p[0], 0, 0}}; });
    const Streamline line = grid.trace({{4.2f, 1, 1}});
    ASSERT_GE(line.points.size(), 10u);
    ASSERT_EQ(line.speeds.size(), line.points.size());
    for (size_t n = 0; n < line.points.size(); ++n) {
        EXPECT_NEAR(line.speeds[n], 1 + line.points[n][0], 1e-3f) << "point " << n;
    }
}
