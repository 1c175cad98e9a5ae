#include "FlowDataTest.h"

#include "flowdata/Plot3dReader.h"

namespace {

// --- Writing PLOT3D files from known fields --------------------------------

// Values of a test data set at node n of block b: positions, IBLANK and the
// primitive flow values the solution file is made from.
float coordinate(std::size_t b, int axis, std::size_t n)
{
    return float(b * 100 + n) + 0.25f * float(axis);
}
float density(std::size_t b, std::size_t n)
{
    return 1.0f + 0.5f * float(n) + float(b);
}
float velocity(int axis, std::size_t n)
{
    return float(axis + 1) - 0.125f * float(n);
}
float pressure(std::size_t n)
{
    return 2.0f + 0.25f * float(n);
}
bool isHole(std::size_t n)
{
    return n % 3 == 1;
}

// Writes the records of one PLOT3D file in a given variant.
class Plot3dWriter {
public:
    explicit Plot3dWriter(const Plot3dVariant& variant) : variant(variant) {}

    void integer(int32_t value)
    {
        if (variant.encoding == Plot3dEncoding::Ascii) {
            record += " " + std::to_string(value);
        } else {
            put(&value, 4);
        }
    }
    void real(double value)
    {
        if (variant.encoding == Plot3dEncoding::Ascii) {
            std::ostringstream text;
            text.precision(17);
            text << " " << value;
            record += text.str();
        } else if (variant.realBytes == 8) {
            put(&value, 8);
        } else {
            const float single = static_cast<float>(value);
            put(&single, 4);
        }
    }
    void end()
    {
        if (variant.encoding == Plot3dEncoding::Fortran) {
            int32_t length = int32_t(record.size());
            std::string marker;
            std::swap(record, marker);
            put(&length, 4);
            std::swap(record, marker);
            bytes += marker + record + marker;
        } else {
            bytes += record + (variant.encoding == Plot3dEncoding::Ascii ? "\n" : "");
        }
        record.clear();
    }

    // The block count (when the variant has one) and the size record.
    void sizes(const std::vector<std::array<uint32_t, 3>>& blocks, int variables = 0)
    {
        if (variant.blockCount) {
            integer(int32_t(blocks.size()));
            end();
        }
        for (const auto& size : blocks) {
            for (int d = 0; d < variant.dimensions; ++d) {
                integer(int32_t(size[d]));
            }
            if (variables > 0) {
                integer(variables);
            }
        }
        end();
    }

    std::string bytes;

private:
    void put(const void* value, std::size_t width)
    {
        std::string raw(static_cast<const char*>(value), width);
        if (variant.bigEndian) {
            std::reverse(raw.begin(), raw.end());
        }
        record += raw;
    }

    Plot3dVariant variant;
    std::string record;
};

uint32_t nodesOf(const std::array<uint32_t, 3>& size)
{
    return size[0] * size[1] * size[2];
}

std::string gridFile(const Plot3dVariant& variant, const std::vector<std::array<uint32_t, 3>>& blocks)
{
    Plot3dWriter w(variant);
    w.sizes(blocks);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (int axis = 0; axis < variant.dimensions; ++axis) {
            for (uint32_t n = 0; n < nodesOf(blocks[b]); ++n) {
                w.real(coordinate(b, axis, n));
            }
        }
        for (uint32_t n = 0; variant.blanked && n < nodesOf(blocks[b]); ++n) {
            w.integer(isHole(n) ? 0 : 1);
        }
        w.end();
    }
    return w.bytes;
}

std::string solutionFile(const Plot3dVariant& variant, const std::vector<std::array<uint32_t, 3>>& blocks, double time,
                         double gamma = 1.4)
{
    Plot3dWriter w(variant);
    w.sizes(blocks);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (double condition : {0.5, 0.0, 1.0e5, time}) {
            w.real(condition);
        }
        w.end();
        const uint32_t nodes = nodesOf(blocks[b]);
        for (uint32_t n = 0; n < nodes; ++n) {
            w.real(density(b, n));
        }
        for (int axis = 0; axis < variant.dimensions; ++axis) {
            for (uint32_t n = 0; n < nodes; ++n) {
                w.real(density(b, n) * velocity(axis, n));
            }
        }
        for (uint32_t n = 0; n < nodes; ++n) {
            double speed2 = 0.0;
            for (int axis = 0; axis < variant.dimensions; ++axis) {
                speed2 += velocity(axis, n) * velocity(axis, n);
            }
            w.real(pressure(n) / (gamma - 1.0) + 0.5 * density(b, n) * speed2);
        }
        w.end();
    }
    return w.bytes;
}

DataFrame frameFor(const Plot3dReader& reader)
{
    const FlowLayout& layout = reader.layout();
    const std::size_t nodes = std::size_t(layout.size[0]) * layout.size[1] * layout.size[2];
    DataFrame frame;
    frame.vectors.assign(3 * nodes, -1.0f);
    frame.layers.resize(layout.layerNames.size());
    for (DataLayer& layer : frame.layers) {
        layer.values.assign(nodes, -1.0f);
    }
    return frame;
}

std::vector<float> positionsOf(const Plot3dReader& reader)
{
    const auto& size = reader.layout().size;
    std::vector<float> positions(3 * std::size_t(size[0]) * size[1] * size[2], -1.0f);
    reader.readPositions(positions.data());
    return positions;
}

std::string tinyFile(const std::string& name)
{
    return std::string(QUORVANE_SOURCE_DIR) + "/tests/data/plot3d/" + name;
}

class Plot3dTest : public FlowDataTest {
protected:
    // Block b's frame values against the fields they were written from.
    static void expectFrame(const Plot3dReader& reader, std::size_t b, int dimensions, bool blanked, double gamma = 1.4)
    {
        DataFrame frame = frameFor(reader);
        reader.readFrame(0, frame);
        for (std::size_t n = 0; n < frame.layers[0].values.size(); ++n) {
            SCOPED_TRACE(n);
            if (blanked && isHole(n)) {
                EXPECT_TRUE(std::isnan(frame.layers[0].values[n]));
                EXPECT_TRUE(std::isnan(frame.layers[1].values[n]));
                EXPECT_TRUE(std::isnan(frame.vectors[3 * n]));
                continue;
            }
            EXPECT_FLOAT_EQ(frame.layers[0].values[n], density(b, n));
            for (int axis = 0; axis < 3; ++axis) {
                EXPECT_NEAR(frame.vectors[3 * n + axis], axis < dimensions ? velocity(axis, n) : 0.0f, 1e-5);
            }
            EXPECT_NEAR(frame.layers[1].values[n], pressure(n), 1e-4);
            EXPECT_GT(frame.layers[2].values[n], pressure(n) / (gamma - 1.0) - 1e-4);
        }
    }
    static void expectPositions(const Plot3dReader& reader, std::size_t b, int dimensions)
    {
        const std::vector<float> positions = positionsOf(reader);
        for (std::size_t n = 0; n < positions.size() / 3; ++n) {
            for (int axis = 0; axis < 3; ++axis) {
                EXPECT_FLOAT_EQ(positions[3 * n + axis], axis < dimensions ? coordinate(b, axis, n) : 0.0f);
            }
        }
    }
    Tool::Exception openFailure(const std::string& name, int block = 0)
    {
        try {
            Plot3dReader reader(path(name), FlowReaderOptions{block});
        } catch (const Tool::Exception& e) {
            return e;
        }
        ADD_FAILURE() << name << " opened";
        return Tool::Exception("", "", "", 0);
    }
};

const std::vector<std::array<uint32_t, 3>> twoBlocks = {{{3, 2, 2}}, {{2, 3, 2}}};

// --- The files written by a Fortran program --------------------------------

TEST_F(Plot3dTest, TinyFilesHoldTheFortranProgramsValues)
{
    Plot3dReader reader(tinyFile("tiny.xyz"), FlowReaderOptions{3});
    ASSERT_EQ(reader.blocks().size(), 5u);
    for (const auto& size : reader.blocks()) {
        EXPECT_EQ(size, (std::array<uint32_t, 3>{{2, 2, 2}}));
    }
    EXPECT_EQ(reader.layout().frameFiles, std::vector<std::string>{tinyFile("tiny.q")});
    EXPECT_EQ(recorder().count("PLOT3D grid with 5 blocks, showing block 3 .. [OK]"), 1u);
    // Block 3's x is i + 3, y is j and z is k, i, j, k counting from 1.
    const std::vector<float> positions = positionsOf(reader);
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_FLOAT_EQ(positions[3 * n], float(n % 2 + 1 + 3));
        EXPECT_FLOAT_EQ(positions[3 * n + 1], float(n / 2 % 2 + 1));
        EXPECT_FLOAT_EQ(positions[3 * n + 2], float(n / 4 + 1));
    }
    DataFrame frame = frameFor(reader);
    reader.readFrame(0, frame);
    const float energy = 2.3f / 0.4f + 0.5f * 0.9f * (1.3f * 1.3f + 1.2f * 1.2f + 1.1f * 1.1f);
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_FLOAT_EQ(frame.layers[0].values[n], 0.9f);
        EXPECT_NEAR(frame.vectors[3 * n], 1.3f, 1e-6);
        EXPECT_NEAR(frame.vectors[3 * n + 1], 1.2f, 1e-6);
        EXPECT_NEAR(frame.vectors[3 * n + 2], 1.1f, 1e-6);
        EXPECT_NEAR(frame.layers[1].values[n], 2.3f, 1e-5);
        EXPECT_NEAR(frame.layers[2].values[n], energy, 1e-5);
    }
}

TEST_F(Plot3dTest, SolutionFileOpensWithItsGrid)
{
    Plot3dReader reader(tinyFile("tiny.q"), FlowReaderOptions{});
    EXPECT_EQ(reader.block(), 0u);
    EXPECT_EQ(reader.layout().size, (std::array<uint32_t, 3>{{2, 2, 2}}));
    EXPECT_EQ(reader.layout().layerNames, (std::vector<std::string>{"Density", "Pressure", "Stagnation energy"}));
    EXPECT_FLOAT_EQ(positionsOf(reader)[0], 1.0f);

    writeBytes("tiny_0.f", "");
    fs::copy_file(tinyFile("tiny.xyz"), path("tiny.xyz"));
    fs::copy_file(tinyFile("tiny.q"), path("tiny_0.q"));
    Plot3dReader byFunction(path("tiny_0.f"), FlowReaderOptions{});
    EXPECT_EQ(byFunction.layout().frameFiles, std::vector<std::string>{path("tiny_0.q")});
}

TEST_F(Plot3dTest, LoadOpensTheTinyGridWithItsSolution)
{
    FlowData data;
    ProgressRecorder progress;
    data.load(tinyFile("tiny.xyz"), progress, FlowReaderOptions{2});
    EXPECT_EQ(data.size, (std::array<uint32_t, 3>{{2, 2, 2}}));
    EXPECT_EQ(data.layerCount, 3);
    EXPECT_EQ(data.frameCount, 1);
    EXPECT_FLOAT_EQ(data.positions.at(0), 3.0f);
    EXPECT_NEAR(data.frame(0)->vectors.at(0), 1.3f, 1e-6);
    EXPECT_EQ(recorder().count("PLOT3D grid with 5 blocks, showing block 2 .. [OK]"), 1u);
    EXPECT_EQ(recorder().count("Flowdata loaded .. [OK]"), 1u);
}

// --- Variants written here -------------------------------------------------

struct VariantCase {
    const char* name;
    Plot3dVariant variant;
};

void PrintTo(const VariantCase& variantCase, std::ostream* out)
{
    *out << variantCase.variant.describe();
}

class Plot3dVariants : public Plot3dTest, public testing::WithParamInterface<VariantCase> {};

TEST_P(Plot3dVariants, DetectedFromTheBytesWithTheirValues)
{
    const Plot3dVariant& variant = GetParam().variant;
    auto blocks = variant.blockCount ? twoBlocks : std::vector<std::array<uint32_t, 3>>{twoBlocks[1]};
    for (auto& size : blocks) {
        size[2] = variant.dimensions == 2 ? 1 : size[2];
    }
    writeBytes("flow.xyz", gridFile(variant, blocks));
    writeBytes("flow.q", solutionFile(variant, blocks, 0.0));
    const std::size_t shown = blocks.size() - 1;
    Plot3dReader reader(path("flow.xyz"), FlowReaderOptions{int(shown)});
    EXPECT_EQ(reader.blocks(), blocks);
    EXPECT_EQ(reader.layout().size, blocks[shown]);
    Plot3dVariant expected = variant;
    if (variant.encoding == Plot3dEncoding::Ascii) {
        expected.realBytes = 8;
        expected.bigEndian = false;
    }
    ASSERT_FALSE(recorder().messages.empty());
    EXPECT_EQ(recorder().messages.back().details.substr(0, expected.describe().size()), expected.describe());
    expectPositions(reader, shown, variant.dimensions);
    expectFrame(reader, shown, variant.dimensions, variant.blanked);
}

// encoding, big endian, real bytes, IBLANK, dimensions, block count
INSTANTIATE_TEST_SUITE_P(
    Plot3d, Plot3dVariants,
    testing::Values(VariantCase{"FortranLittleSingle", {Plot3dEncoding::Fortran, false, 4, false, 3, false}},
                    VariantCase{"FortranBigDoubleMulti", {Plot3dEncoding::Fortran, true, 8, false, 3, true}},
                    VariantCase{"FortranBlanked", {Plot3dEncoding::Fortran, false, 4, true, 3, true}},
                    VariantCase{"FortranFlat", {Plot3dEncoding::Fortran, true, 4, false, 2, false}},
                    VariantCase{"CLittleSingleMulti", {Plot3dEncoding::C, false, 4, false, 3, true}},
                    VariantCase{"CBigDoubleBlanked", {Plot3dEncoding::C, true, 8, true, 3, false}},
                    VariantCase{"CFlatBlanked", {Plot3dEncoding::C, false, 8, true, 2, true}},
                    VariantCase{"AsciiMultiBlanked", {Plot3dEncoding::Ascii, false, 8, true, 3, true}},
                    VariantCase{"AsciiFlat", {Plot3dEncoding::Ascii, false, 8, false, 2, false}}),
    [](const testing::TestParamInfo<VariantCase>& info) { return std::string(info.param.name); });

TEST_F(Plot3dTest, AsciiRepeatsAndFortranExponents)
{
    // A 2x2x1 grid: x 0 1 0 1, y 0 0 1 1, z all 0, written with repeats.
    writeBytes("r.xyz", "2 2 1\n0. 1. 0. 1.\n2*0.0D0 2*1.0d+00\n4*0\n");
    writeBytes("r.q", "2 2 1\n0.5 0 1e5 2.5\n4*2.0 4*4.0E0 2*-2.0 2*2 4*0. 4*1.5D1\n");
    Plot3dReader reader(path("r.xyz"), FlowReaderOptions{});
    EXPECT_EQ(positionsOf(reader), (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}));
    DataFrame frame = frameFor(reader);
    reader.readFrame(0, frame);
    EXPECT_EQ(frame.vectors, (std::vector<float>{2, -1, 0, 2, -1, 0, 2, 1, 0, 2, 1, 0}));
    // p = 0.4 (15 - 0.5 * 2 * 5) = 4
    EXPECT_EQ(frame.layers[1].values, (std::vector<float>{4, 4, 4, 4}));
}

// --- Frames ----------------------------------------------------------------

TEST_F(Plot3dTest, SolutionsSharingTheStemInNaturalOrderGiveTheTimestep)
{
    const Plot3dVariant variant{Plot3dEncoding::Fortran, false, 4, false, 3, false};
    const std::vector<std::array<uint32_t, 3>> block = {twoBlocks[0]};
    writeBytes("run.x", gridFile(variant, block));
    for (int step : {10, 2, 1}) {
        writeBytes("run_" + std::to_string(step) + ".q", solutionFile(variant, block, 0.5 * step));
    }
    writeBytes("other.q", solutionFile(variant, block, 100.0));
    Plot3dReader reader(path("run.x"), FlowReaderOptions{});
    EXPECT_EQ(reader.layout().frameFiles,
              (std::vector<std::string>{path("run_1.q"), path("run_2.q"), path("run_10.q")}));
    EXPECT_FLOAT_EQ(reader.layout().timestep, (5.0f - 0.5f) / 2.0f);

    // With none sharing its stem, a grid takes every solution of the folder.
    writeBytes("lone.grd", gridFile(variant, block));
    Plot3dReader lone(path("lone.grd"), FlowReaderOptions{});
    EXPECT_EQ(lone.layout().frameFiles.size(), 4u);
}

TEST_F(Plot3dTest, MetaFileNamesTheFilesTheVariantGammaAndTimes)
{
    const Plot3dVariant variant{Plot3dEncoding::C, true, 8, false, 3, true};
    writeBytes("m.xyz", gridFile(variant, twoBlocks));
    writeBytes("m1.q", solutionFile(variant, twoBlocks, 0.0, 1.2));
    writeBytes("m2.q", solutionFile(variant, twoBlocks, 0.0, 1.2));
    Plot3dWriter f(variant);
    f.sizes(twoBlocks, 2);
    for (std::size_t b = 0; b < twoBlocks.size(); ++b) {
        for (uint32_t n = 0; n < 2 * nodesOf(twoBlocks[b]); ++n) {
            f.real(1000.0 * b + n);
        }
        f.end();
    }
    writeBytes("m.f", f.bytes);
    writeBytes("m.p3d", R"({"auto-detect-format": false, "byte-order": "big", "precision": 64,
        "multi-grid": true, "language": "C", "blanking": false, "2D": false, "R": 287, "gamma": 1.2,
        "functions": [110], "filenames": [
          {"time": 0.5, "xyz": "m.xyz", "q": "m1.q", "function": "m.f"},
          {"time": 2.0, "xyz": "m.xyz", "q": "m2.q", "function": ["m.f"]}]})");
    Plot3dReader reader(path("m.p3d"), FlowReaderOptions{1});
    EXPECT_FLOAT_EQ(reader.layout().timestep, 1.5f);
    ASSERT_EQ(reader.layout().layerNames.size(), 5u);
    EXPECT_EQ(reader.layout().layerNames[4], "Function_1");
    expectFrame(reader, 1, 3, false, 1.2);
    DataFrame frame = frameFor(reader);
    reader.readFrame(1, frame);
    EXPECT_FLOAT_EQ(frame.layers[3].values[2], 1002.0f);
    EXPECT_FLOAT_EQ(frame.layers[4].values[0], 1000.0f + nodesOf(twoBlocks[1]));

    // The hints narrow the detection: the same files said to be little endian fit no variant.
    writeBytes("wrong.p3d", R"({"byte-order": "little", "filenames": [{"xyz": "m.xyz", "q": "m1.q"}]})");
    EXPECT_NE(openFailure("wrong.p3d").text.find("no PLOT3D grid variant fits"), std::string::npos);
    writeBytes("typo.p3d", R"({"precision": "double", "filenames": [{"xyz": "m.xyz", "q": "m1.q"}]})");
    EXPECT_EQ(openFailure("typo.p3d").text, path("typo.p3d") + ": \"precision\" is not a number");
}

TEST_F(Plot3dTest, FramesReadOnSeveralThreadsAtOnce)
{
    const Plot3dVariant variant{Plot3dEncoding::Fortran, false, 8, false, 3, true};
    const std::vector<std::array<uint32_t, 3>> big = {{{40, 30, 20}}};
    writeBytes("t.xyz", gridFile(variant, big));
    for (int f = 0; f < 4; ++f) {
        writeBytes("t" + std::to_string(f) + ".q", solutionFile(variant, big, f));
    }
    Plot3dReader reader(path("t.xyz"), FlowReaderOptions{});
    std::vector<DataFrame> frames(8, frameFor(reader));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        threads.emplace_back([&, i] { reader.readFrame(i % 4, frames[i]); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const DataFrame& frame : frames) {
        EXPECT_EQ(frame.layers[1].values, frames[0].layers[1].values);
        EXPECT_FLOAT_EQ(frame.layers[0].values.back(), density(0, 40 * 30 * 20 - 1));
    }
}

// --- Failures ----------------------------------------------------------------

TEST_F(Plot3dTest, TruncatedFilesFailSayingWhatWasTried)
{
    std::string grid = TestFiles::read(tinyFile("tiny.xyz"));
    writeBytes("cut.xyz", grid.substr(0, grid.size() - 1));
    writeBytes("cut.q", TestFiles::read(tinyFile("tiny.q")));
    const std::string text = openFailure("cut.xyz").text;
    EXPECT_NE(text.find(path("cut.xyz") + ": no PLOT3D grid variant fits its 599 bytes; tried Fortran records and "
                                          "C binary"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("IBLANK"), std::string::npos);

    // A wrong closing marker is not taken for another variant.
    grid[4 + 4 + 4 + 4 + 60] = 0x3d;
    writeBytes("cut.xyz", grid);
    EXPECT_NE(openFailure("cut.xyz").text.find("no PLOT3D grid variant fits"), std::string::npos);

    const std::string solution = TestFiles::read(tinyFile("tiny.q"));
    writeBytes("cut.xyz", TestFiles::read(tinyFile("tiny.xyz")));
    writeBytes("cut.q", solution.substr(0, solution.size() - 8));
    EXPECT_NE(openFailure("cut.xyz").text.find(path("cut.q") + ": no PLOT3D solution variant fits"), std::string::npos);
}

TEST_F(Plot3dTest, HostileSizesFailWithoutAllocatingThem)
{
    const Plot3dVariant fortran{Plot3dEncoding::Fortran, false, 4, false, 3, true};
    const Plot3dVariant c{Plot3dEncoding::C, true, 4, false, 3, true};
    for (const Plot3dVariant& variant : {fortran, c}) {
        for (const std::vector<int32_t>& header :
             std::vector<std::vector<int32_t>>{{2147483647, 2, 2, 2},
                                               {-5, 2, 2, 2},
                                               {1, 2147483647, 2147483647, 2147483647},
                                               {1, -2, 2, 2},
                                               {1, 100000, 100000, 100000}}) {
            SCOPED_TRACE(variant.describe() + " " + std::to_string(header[0]) + " " + std::to_string(header[1]));
            Plot3dWriter w(variant);
            w.integer(header[0]);
            w.end();
            for (std::size_t i = 1; i < header.size(); ++i) {
                w.integer(header[i]);
            }
            w.end();
            writeBytes("h.xyz", w.bytes + std::string(96, '\0'));
            writeBytes("h.q", w.bytes);
            EXPECT_NE(openFailure("h.xyz").text.find("no PLOT3D grid variant fits"), std::string::npos);
        }
    }
    // Repeats cannot make a few bytes of text claim a huge grid.
    writeBytes("h.xyz", "1000 1000 1000 3000000000*1.0\n");
    EXPECT_NE(openFailure("h.xyz").text.find("no PLOT3D grid variant fits"), std::string::npos);
    writeBytes("h.xyz", "2 2 1 0 1 0 1 0 0 1 1 4*0 1-2\n");
    EXPECT_EQ(openFailure("h.xyz").text, path("h.xyz") + ": '1-2' is not a number");
}

TEST_F(Plot3dTest, MismatchedFilesAndBlocksFail)
{
    const Plot3dVariant variant{Plot3dEncoding::Fortran, false, 4, false, 3, true};
    writeBytes("g.xyz", gridFile(variant, twoBlocks));
    writeBytes("g.q", solutionFile(variant, {twoBlocks[1], twoBlocks[0]}, 0.0));
    EXPECT_NE(openFailure("g.xyz").text.find(path("g.q") + " does not match its grid"), std::string::npos);
    writeBytes("g.q", solutionFile(variant, twoBlocks, 0.0));
    EXPECT_EQ(openFailure("g.xyz", 2).text, path("g.xyz") + " has 2 blocks; there is no block 2");
    EXPECT_EQ(openFailure("g.xyz", -1).text, path("g.xyz") + " has 2 blocks; there is no block -1");
    fs::remove(path("g.q"));
    EXPECT_EQ(openFailure("g.xyz").text, "No PLOT3D solution files (.q) beside " + path("g.xyz"));
}

TEST(Plot3dReader, RecognisesFortranRecordsAndMetaFiles)
{
    const std::string tiny = TestFiles::read(tinyFile("tiny.xyz"));
    EXPECT_TRUE(Plot3dReader::recognises("a.bin", tiny.data(), tiny.size()));
    const std::string flat = gridFile({Plot3dEncoding::Fortran, true, 8, false, 2, false}, {{{2, 2, 1}}});
    EXPECT_TRUE(Plot3dReader::recognises("a", flat.data(), flat.size()));
    const std::string c = gridFile({Plot3dEncoding::C, false, 4, false, 3, true}, {{{2, 2, 1}}});
    EXPECT_FALSE(Plot3dReader::recognises("a.xyz", c.data(), c.size()));
    const std::string header = TestFiles::header("SN4DB 2 2 1 0 1 1");
    EXPECT_FALSE(Plot3dReader::recognises("a.xyz", header.data(), header.size()));
    const std::string meta = " {\"filenames\": []}";
    EXPECT_TRUE(Plot3dReader::recognises("a.json", meta.data(), meta.size()));
    EXPECT_FALSE(Plot3dReader::recognises("a.p3d", "{\"a\": 1}", 8));
}

} // namespace
