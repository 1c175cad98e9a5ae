#include "FlowDataTest.h"

namespace {

// --- Grid header ----------------------------------------------------------

TEST(GridHeader, ParsesSixNumbersAndIgnoresTheRest)
{
    GridHeader h;
    const std::string text = TestFiles::header("SN4DB 64\t32  16 2 10 0.5");
    EXPECT_EQ(h.parse(text.data(), text.size()), 6);
    EXPECT_EQ(h.x, 64);
    EXPECT_EQ(h.y, 32);
    EXPECT_EQ(h.z, 16);
    EXPECT_EQ(h.layers, 2);
    EXPECT_EQ(h.frames, 10);
    EXPECT_FLOAT_EQ(h.timestep, 0.5f);
}

TEST(GridHeader, StopsAtTheFirstMismatchKeepingEarlierValues)
{
    GridHeader h;
    h.layers = 7;
    h.frames = 9;
    h.timestep = 2.0f;
    const std::string text = TestFiles::header("SN4DB 3 4 5 x 1 1");
    EXPECT_EQ(h.parse(text.data(), text.size()), 3);
    EXPECT_EQ(h.z, 5);
    EXPECT_EQ(h.layers, 7);
    EXPECT_EQ(h.frames, 9);
    EXPECT_EQ(h.timestep, 2.0f);

    GridHeader wrong;
    const std::string lower = TestFiles::header("sn4db 3 4 5 1 1 1");
    EXPECT_EQ(wrong.parse(lower.data(), lower.size()), 0);
    EXPECT_EQ(wrong.x, 0);
}

TEST(GridHeader, NeverReadsPastByteForty)
{
    // X is written across byte 40: only its first three digits are inside.
    std::string text = "SN4DB" + std::string(32, ' ') + "12345 1 1 0 1 1";
    GridHeader h;
    EXPECT_EQ(h.parse(text.data(), text.size()), 1);
    EXPECT_EQ(h.x, 123);

    // The text ends at a zero byte even when digits follow it.
    std::string zero = TestFiles::header("SN4DB 2 2 1 0 1 0.25");
    zero[8] = '\0';
    GridHeader cut;
    EXPECT_EQ(cut.parse(zero.data(), zero.size()), 1);
    EXPECT_EQ(cut.x, 2);
}

TEST(GridHeader, AcceptsSignsAndRejectsOutOfRangeNumbers)
{
    GridHeader h;
    const std::string text = TestFiles::header("SN4DB +2 2 1 -1 1 1e-2");
    EXPECT_EQ(h.parse(text.data(), text.size()), 6);
    EXPECT_EQ(h.x, 2);
    EXPECT_EQ(h.layers, -1);
    EXPECT_FLOAT_EQ(h.timestep, 0.01f);

    GridHeader big;
    const std::string huge = TestFiles::header("SN4DB 99999999999 1 1 0 1 1");
    EXPECT_EQ(big.parse(huge.data(), huge.size()), 0);
    EXPECT_EQ(big.x, 0);
}

TEST(GridHeader, RefusesAPlusBeforeAMinus)
{
    GridHeader h;
    const std::string text = TestFiles::header("SN4DB +-5 1 1 0 1 1");
    EXPECT_EQ(h.parse(text.data(), text.size()), 0);
    EXPECT_EQ(h.x, 0);
}

// --- Grid file --------------------------------------------------------------

TEST_F(FlowDataTest, GridSuccessReportsSizesAndAdjustedFrameCount)
{
    const std::vector<float> p = TestFiles::gridPositions(4, 3, 2, 2.5f);
    writeBytes("run.gri", TestFiles::header("SN4DB 4 3 2 2 10 0.5") + TestFiles::floatBytes(p));
    FlowData data;
    loadFailure(data, path("run.gri")); // no frame files: fails later, after the grid lines
    ASSERT_GE(recorder().messages.size(), 2u);
    const Line& first = recorder().messages[0];
    EXPECT_EQ(first.source, "FlowData::load()");
    EXPECT_EQ(first.text, "Loading file " + path("run.gri") + " ..");
    EXPECT_EQ(first.details, "");
    const Line& ok = recorder().messages[1];
    EXPECT_EQ(ok.text, "Gridfile loaded .. [OK]");
    EXPECT_EQ(ok.details, "Size: 4x3x2 DataLayer:2 Frames:11 Timestep:0.5\n\t\t\t Geometry: 7.5 x 5 x 2.5");
    EXPECT_EQ(data.frameCount, 11);
}

TEST_F(FlowDataTest, FrameCountAdjustment)
{
    const std::vector<std::pair<int, int>> cases = {{0, 0}, {1, 1}, {2, 3}, {10, 11}};
    for (const auto& [header, expected] : cases) {
        writeGrid("adjust.gri", "SN4DB 4 1 1 0 " + std::to_string(header) + " 1");
        FlowData data;
        ProgressRecorder progress;
        try {
            data.load(path("adjust.gri"), progress);
        } catch (const Tool::Exception&) {
        }
        EXPECT_EQ(data.frameCount, expected) << "header frames " << header;
    }
}

TEST_F(FlowDataTest, MissingGridFailsWithoutUnloading)
{
    FlowData data;
    const Tool::Exception e = loadFailure(data, path("missing.gri"));
    EXPECT_EQ(e.source, "FlowData::load()");
    EXPECT_EQ(e.text, "Couldn't open " + path("missing.gri"));
    EXPECT_EQ(e.file, "FlowData");
    EXPECT_GT(e.line, 0);
    ASSERT_EQ(recorder().messages.size(), 2u);
    EXPECT_EQ(recorder().messages[1].text, "Gridfile loaded .. [FAILED]");
    EXPECT_EQ(recorder().messages[1].details, path("missing.gri"));
    expectEmpty(data);
}

TEST_F(FlowDataTest, GridThatIsNotARegularFileCannotBeOpened)
{
    fs::create_directory(folder / "dir.gri");
    ASSERT_EQ(::mkfifo(path("fifo.gri").c_str(), 0600), 0);
    for (const char* name : {"dir.gri", "fifo.gri"}) {
        FlowData data;
        EXPECT_EQ(loadFailure(data, path(name)).text, "Couldn't open " + path(name));
        expectEmpty(data);
    }
}

TEST_F(FlowDataTest, GridBodyMustHoldEveryPosition)
{
    const std::string head = TestFiles::header("SN4DB 2 2 1 0 1 1");
    const std::string body = TestFiles::floatBytes(TestFiles::gridPositions(2, 2, 1, 1.0f));
    struct Case {
        std::string name;
        std::string bytes;
        bool loads;
    };
    const std::vector<Case> cases = {
        {"one float short", head + body.substr(0, body.size() - 4), false},
        {"short by a fragment", head + body.substr(0, body.size() - 1), false},
        {"trailing fragment", head + body + "abc", true},
        {"extra floats", head + body + TestFiles::floatBytes({9, 9, 9, 9}), true},
        {"header only", head, false},
        {"shorter than the header", head.substr(0, 20), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes("body.gri", c.bytes);
        writeFrame("body_0.dat", 1.0f);
        recorder().messages.clear();
        FlowData data;
        ProgressRecorder progress;
        if (c.loads) {
            EXPECT_NO_THROW(data.load(path("body.gri"), progress));
            EXPECT_EQ(data.positions, TestFiles::gridPositions(2, 2, 1, 1.0f));
            continue;
        }
        const Tool::Exception e = loadFailure(data, path("body.gri"));
        EXPECT_EQ(e.text, "Invalid Gridfile (Size and Positions not matching");
        const std::vector<std::string> texts = recorder().texts();
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[1], "Gridfile loaded .. [FAILED]");
        EXPECT_EQ(recorder().messages[1].details, path("body.gri"));
        EXPECT_EQ(texts[2], "Unloading file  ..");
        EXPECT_EQ(recorder().messages[2].source, "FlowData::unload()");
        expectEmpty(data);
    }
}

TEST_F(FlowDataTest, ALoadNeverUsesWhatAnEarlierLoadLeft)
{
    // F = 0 without frame files loads, but holds no frame, so nobody unloads it.
    writeGrid("empty.gri", "SN4DB 4 1 1 0 0 1");
    writeBytes("short.gri",
               TestFiles::header("SN4DB 4 1 1 0 0 1") + TestFiles::floatBytes(std::vector<float>(11, 1.0f)));
    writeBytes("headless.gri",
               TestFiles::header("no numbers") + TestFiles::floatBytes(TestFiles::gridPositions(4, 1, 1, 1.0f)));
    FlowData data;
    ProgressRecorder progress;
    for (const char* grid : {"short.gri", "headless.gri"}) {
        ASSERT_NO_THROW(data.load(path("empty.gri"), progress));
        ASSERT_TRUE(data.frames.empty());
        EXPECT_EQ(loadFailure(data, path(grid)).text, "Invalid Gridfile (Size and Positions not matching") << grid;
    }
}

TEST_F(FlowDataTest, HostileOrEmptySizesAreInvalid)
{
    // None of these may allocate for the sizes they claim.
    const std::vector<std::string> headers = {
        "SN4DB 0 2 1 0 1 1",         "SN4DB 2 2 0 0 1 1",           "SN4DB 2 2 1 -1 1 1",
        "SN4DB 2 2 1 5000 1 1",      "SN4DB -1 -1 -1 0 1 1",        "SN4DB 2147483647 2147483647 2147483647 1 1 1",
        "SN4DB 65536 65536 1 0 1 1", "SN4DB 100000 100000 1 0 1 1", "not a header at all",
    };
    for (const std::string& text : headers) {
        SCOPED_TRACE(text);
        writeGrid("bad.gri", text);
        FlowData data;
        EXPECT_EQ(loadFailure(data, path("bad.gri")).text, "Invalid Gridfile (Size and Positions not matching");
        expectEmpty(data);
    }
}

TEST_F(FlowDataTest, FrameCountAtTheLimitDoesNotOverflow)
{
    writeGrid("limit.gri", "SN4DB 4 1 1 0 2147483647 1");
    writeFrame("limit_0.dat", 0.0f, 4, 0);
    FlowData data;
    EXPECT_EQ(loadFailure(data, path("limit.gri")).text, "Frames not not matching the specified timesteps");
    EXPECT_EQ(data.frameCount, std::numeric_limits<int32_t>::max());
}

// --- Frame names, header values and the generator -------------------------------

TEST(FrameFiles, DecimalNamesInNaturalOrder)
{
    std::vector<std::string> names = {"flow_1.dat", "flow_0.75.dat", "flow_0.5.dat", "flow_0.25.dat"};
    std::sort(names.begin(), names.end(), FrameFiles::naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"flow_0.25.dat", "flow_0.5.dat", "flow_0.75.dat", "flow_1.dat"}));
    EXPECT_TRUE(FrameFiles::naturalLess("flow_1.dat", "flow_1.5.dat"));
    EXPECT_TRUE(FrameFiles::naturalLess("flow_0.5.dat", "flow_0.50.dat")); // equal values: plain order
}

TEST_F(FlowDataTest, ExtentsComeFromTheFirstRowColumnAndPillar)
{
    // A sheared 3x2x2 grid: the last node lies beyond every first-line end.
    std::vector<float> p;
    for (int k = 0; k < 2; ++k) {
        for (int j = 0; j < 2; ++j) {
            for (int i = 0; i < 3; ++i) {
                p.insert(p.end(), {i + 0.5f * j, 2.0f * j + 0.25f * k, 3.0f * k + 0.125f * i});
            }
        }
    }
    writeBytes("shear.gri", TestFiles::header("SN4DB 3 2 2 0 1 1") + TestFiles::floatBytes(p));
    writeFrame("shear_0.dat", 0.0f, 12, 0);
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("shear.gri"), progress));
    const auto grid = std::find_if(recorder().messages.begin(), recorder().messages.end(),
                                   [](const Line& line) { return line.text == "Gridfile loaded .. [OK]"; });
    ASSERT_NE(grid, recorder().messages.end());
    EXPECT_NE(grid->details.find("Geometry: 2 x 2 x 3"), std::string::npos) << grid->details;
}

TEST_F(FlowDataTest, HeaderFieldsThatDoNotParseKeepTheirValuesThroughLoad)
{
    writeGrid("first.gri", "SN4DB 4 1 1 1 4 0.25");
    for (int f = 0; f < 5; ++f) {
        writeFrame("first_" + std::to_string(f) + ".dat", 1.0f);
    }
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("first.gri"), progress));
    data.unload();
    // Layers, frames and time step do not parse: the first set's 1, 5 and 0.25 stay.
    writeGrid("second.gri", "SN4DB 4 1 1 one");
    for (int f = 0; f < 5; ++f) {
        writeFrame("second_" + std::to_string(f) + ".dat", 2.0f);
    }
    ASSERT_NO_THROW(data.load(path("second.gri"), progress));
    EXPECT_EQ(data.layerCount, 1);
    EXPECT_EQ(data.frameCount, 5);
    EXPECT_EQ(data.timestep, 0.25f);
    EXPECT_EQ(data.frames.size(), 5u);
}

TEST_F(FlowDataTest, GridOf4096LayersLoads)
{
    writeGrid("wide.gri", "SN4DB 1 1 1 4096 1 1", 1);
    writeFrame("wide_0.dat", 0.0f, 1, 4096);
    FlowData data;
    ProgressRecorder progress;
    ASSERT_NO_THROW(data.load(path("wide.gri"), progress));
    EXPECT_EQ(data.frames.at(0).layers.size(), 4096u);
}

TEST(Flowgen, HelpPrintsTheUsage)
{
    for (const char* option : {"-h", "--help"}) {
        SCOPED_TRACE(option);
        FILE* program = ::popen((std::string(FLOWGEN_PROGRAM) + " " + option + " 2>&1").c_str(), "r");
        ASSERT_NE(program, nullptr);
        std::string output;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, program)) {
            output += buffer;
        }
        EXPECT_EQ(::pclose(program), 0) << output;
        EXPECT_EQ(output.rfind("usage: flowgen", 0), 0u) << output;
        EXPECT_NE(output.find("F+1 frame files"), std::string::npos) << output;
    }
}

} // namespace
