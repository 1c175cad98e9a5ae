#include "FlowDataTest.h"

#include "flowdata/FlowLoader.h"
#include "flowdata/FlowReaders.h"
#include "flowdata/GridFileReader.h"

namespace {

// Two nodes and one layer; frame f's vectors are (f + 1, 0, 0) and its layer
// holds f and 2f + 4, or NaN at node 0 of frame 1. Frame failAt cannot be read.
class MemoryReader : public FlowReader {
public:
    MemoryReader(std::vector<std::string> files, std::size_t failAt) : failAt(failAt)
    {
        shape.size = {{2, 1, 1}};
        shape.layerNames = {"density"};
        shape.frameFiles = std::move(files);
        shape.timestep = 0.5f;
    }
    const FlowLayout& layout() const override { return shape; }
    void readPositions(float* positions) const override
    {
        const float p[] = {0, 0, 0, 3, 0, 0};
        std::copy(std::begin(p), std::end(p), positions);
    }
    void readFrame(std::size_t f, DataFrame& frame) const override
    {
        if (f == failAt) {
            TOOL_THROW("MemoryReader", shape.frameFiles[f] + " is cut short");
        }
        frame.vectors = {float(f + 1), 0, 0, float(f + 1), 0, 0};
        frame.layers[0].values = {f == 1 ? NAN : float(f), 2.0f * f + 4.0f};
    }

private:
    FlowLayout shape;
    std::size_t failAt;
};

class AnyReader : public FlowDataTest {
protected:
    std::shared_ptr<FlowReader> reader(std::size_t failAt)
    {
        writeBytes("a_0.bin", "0");
        writeBytes("a_1.bin", "1");
        return std::make_shared<MemoryReader>(std::vector<std::string>{path("a_0.bin"), path("a_1.bin")}, failAt);
    }
};

TEST_F(AnyReader, AnyReaderLoadsWithTheGridFilesLines)
{
    FlowData data;
    ProgressRecorder progress;
    FlowLoader(data, progress).load(path("a.any"), reader(2));
    const std::vector<std::string> texts = recorder().texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Gridfile loaded .. [OK]");
    EXPECT_EQ(recorder().messages[0].details,
              "Size: 2x1x1 DataLayer:1 Frames:2 Timestep:0.5\n\t\t\t Geometry: 3 x 0 x 0");
    EXPECT_EQ(texts[1], "Loading Dataframe: a_0.bin .. [OK]");
    EXPECT_EQ(texts[2], "Loading Dataframe: a_1.bin .. [OK]");
    EXPECT_EQ(texts[3], "Flowdata loaded .. [OK]");
    EXPECT_EQ(progress.positions, (std::vector<int>{50, 50, 62}));
    EXPECT_EQ(data.name, "a");
    EXPECT_FLOAT_EQ(data.speedMax, 2.0f);

    // Rescaled over both frames' range 0 .. 6, read again on demand.
    const std::shared_ptr<const DataFrame> second = data.frame(1);
    EXPECT_FLOAT_EQ(second->layers[0].values[1], 1.0f);
    EXPECT_FLOAT_EQ(data.frame(0)->layers[0].values[1], 4.0f / 6.0f);
    EXPECT_FLOAT_EQ(second->speedMax, 2.0f);
}

TEST_F(AnyReader, AFrameThatCannotBeReadFailsTheLoad)
{
    FlowData data;
    ProgressRecorder progress;
    try {
        FlowLoader(data, progress).load(path("a.any"), reader(1));
        ADD_FAILURE() << "loaded";
    } catch (const Tool::Exception& e) {
        EXPECT_EQ(e.text, path("a_1.bin") + " is cut short");
    }
    const std::vector<std::string> texts = recorder().texts();
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[1], "Loading Dataframe: a_0.bin .. [OK]");
    EXPECT_EQ(texts[2], "Datafile loaded .. [FAILED]");
    EXPECT_EQ(recorder().messages[2].details, path("a_1.bin"));
    expectEmpty(data);
}

TEST_F(AnyReader, ChosenByContentElseByExtensionInAnyCase)
{
    writeGrid("upper.GRI", "no header");
    writeGrid("named.xyz1", "SN4DB 4 1 1 0 0 1");
    writeBytes("plain.txt", "hello");
    FlowReaderOptions options;
    EXPECT_THROW(FlowReaders::open(path("upper.GRI"), options), Tool::Exception); // a grid file, but malformed
    EXPECT_NE(dynamic_cast<GridFileReader*>(FlowReaders::open(path("named.xyz1"), options).get()), nullptr);
    try {
        FlowReaders::open(path("plain.txt"), options);
        ADD_FAILURE() << "opened";
    } catch (const Tool::Exception& e) {
        EXPECT_EQ(e.text, "Couldn't open " + path("plain.txt") + ": no reader knows this kind of file");
    }
}

} // namespace
