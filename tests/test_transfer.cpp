#include "PresetsFuzzEntry.h"
#include "diagnostics/Logger.h"
#include "transfer/PresetArchive.h"
#include "transfer/PresetManager.h"
#include "transfer/SpeedColorMap.h"
#include "transfer/Transferfunction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using ColorPoint = Transferfunction::ColorPoint;
using AlphaPoint = Transferfunction::AlphaPoint;

const ColorRGB black(0, 0, 0);
const ColorRGB white(255, 255, 255);
const ColorRGB red(255, 0, 0);

std::vector<float> positions(const std::deque<ColorPoint>& list)
{
    std::vector<float> out;
    for (const auto& point : list)
        out.push_back(point.first);
    return out;
}

std::vector<float> positions(const std::deque<AlphaPoint>& list)
{
    std::vector<float> out;
    for (const auto& point : list)
        out.push_back(point.first);
    return out;
}

std::array<int, 4> entry(const std::vector<unsigned char>& table, unsigned i)
{
    return {table[4 * i], table[4 * i + 1], table[4 * i + 2], table[4 * i + 3]};
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

// A fresh function and the resets.

TEST(Transferfunction, DefaultIsGreyRampWithRisingOpacity)
{
    const Transferfunction tf;
    EXPECT_EQ(tf.color, (std::deque<ColorPoint>{{0.0f, black}, {1.0f, white}}));
    EXPECT_EQ(tf.alpha, (std::deque<AlphaPoint>{{0.0f, 0.0f}, {1.0f, 1.0f}}));
    EXPECT_EQ(tf.getColor(0.5f), ColorRGB(127, 127, 127));
    EXPECT_EQ(tf.getAlpha(0.5f), 0.5f);
    EXPECT_EQ(tf.getColor(0.0f), black);
    EXPECT_EQ(tf.getColor(1.0f), white);
}

TEST(Transferfunction, ResetsRestoreTheirOwnListOnly)
{
    Transferfunction tf;
    tf.setColor(0.5f, red);
    tf.setAlpha(0.5f, 0.9f);
    tf.resetColor();
    EXPECT_EQ(tf.color, Transferfunction().color);
    EXPECT_EQ(tf.alpha.size(), 3u);
    tf.setColor(0.5f, red);
    tf.resetAlpha();
    EXPECT_EQ(tf.alpha, Transferfunction().alpha);
    EXPECT_EQ(tf.color.size(), 3u);
    tf.reset();
    EXPECT_EQ(tf, Transferfunction());
}

// The transfer texture.

TEST(Transferfunction, TableOfDefaultFunction)
{
    const std::vector<unsigned char> table = Transferfunction().buildRGBATable();
    ASSERT_EQ(table.size(), 16384u);
    EXPECT_EQ(entry(table, 0), (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(entry(table, 2047), (std::array<int, 4>{127, 127, 127, 127}));
    EXPECT_EQ(entry(table, 2048), (std::array<int, 4>{127, 127, 127, 127}));
    EXPECT_EQ(entry(table, 4094), (std::array<int, 4>{254, 254, 254, 254}));
    EXPECT_EQ(entry(table, 4095), (std::array<int, 4>{255, 255, 255, 255}));
    // A ramp never falls.
    for (unsigned i = 1; i < 4096; ++i)
        ASSERT_GE(table[4 * i], table[4 * (i - 1)]) << i;
}

TEST(Transferfunction, TableFollowsBothLists)
{
    Transferfunction tf;
    tf.setColor(0.5f, red);
    tf.setAlpha(0.0f, 1.0f);
    tf.setAlpha(1.0f, 0.0f);
    const std::vector<unsigned char> table = tf.buildRGBATable();
    EXPECT_EQ(entry(table, 0), (std::array<int, 4>{0, 0, 0, 255}));
    EXPECT_EQ(entry(table, 4095), (std::array<int, 4>{255, 255, 255, 0}));
    // Halfway up the first segment: half of red, three quarters opaque.
    const std::array<int, 4> quarter = entry(table, 1024);
    EXPECT_NEAR(quarter[0], 127, 1);
    EXPECT_EQ(quarter[1], 0);
    EXPECT_NEAR(quarter[3], 191, 1);
}

// Setting and clamping.

TEST(Transferfunction, SetClampsPositionToTheEnds)
{
    Transferfunction tf;
    tf.setColor(1.5f, red);
    tf.setColor(-2.0f, ColorRGB(0, 0, 9));
    EXPECT_EQ(tf.color, (std::deque<ColorPoint>{{0.0f, ColorRGB(0, 0, 9)}, {1.0f, red}}));
    tf.setAlpha(7.0f, 0.25f);
    EXPECT_EQ(tf.alpha.back(), AlphaPoint(1.0f, 0.25f));
    // Lookups clamp too.
    EXPECT_EQ(tf.getColor(-1.0f), ColorRGB(0, 0, 9));
    EXPECT_EQ(tf.getColor(3.0f), red);
    EXPECT_EQ(tf.getAlpha(3.0f), 0.25f);
}

TEST(Transferfunction, SetReplacesAtAnExistingPosition)
{
    Transferfunction tf;
    tf.setAlpha(0.5f, 0.1f);
    tf.setAlpha(0.5f, 0.8f);
    EXPECT_EQ(tf.alpha.size(), 3u);
    EXPECT_EQ(tf.getAlpha(0.5f), 0.8f);
    // The opacity is stored as given.
    tf.setAlpha(0.5f, 1.5f);
    EXPECT_EQ(tf.getAlpha(0.5f), 1.5f);
}

TEST(Transferfunction, SetInsertsInOrderAndInterpolates)
{
    Transferfunction tf;
    tf.setColor(0.25f, red);
    EXPECT_EQ(positions(tf.color), (std::vector<float>{0.0f, 0.25f, 1.0f}));
    EXPECT_EQ(tf.getColor(0.125f), ColorRGB(127, 0, 0));
    EXPECT_EQ(tf.getColor(0.25f), red);
    tf.setColor(0.75f, ColorRGB(0, 255, 0));
    tf.setColor(0.5f, ColorRGB(0, 0, 255));
    EXPECT_EQ(positions(tf.color), (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
    EXPECT_EQ(tf.getColor(0.625f), ColorRGB(0, 127, 127));
}

TEST(Transferfunction, ListsAreIndependent)
{
    Transferfunction tf;
    tf.setColor(0.3f, red);
    tf.removeColor(0.0f);
    EXPECT_EQ(tf.alpha, Transferfunction().alpha);
    tf.setAlpha(0.6f, 0.2f);
    tf.removeAlpha(1.0f);
    EXPECT_EQ(positions(tf.alpha), (std::vector<float>{0.0f, 0.6f, 1.0f}));
    EXPECT_EQ(positions(tf.color), (std::vector<float>{0.0f, 0.3f, 1.0f}));
    EXPECT_EQ(tf.color.front().second, black);
    EXPECT_EQ(tf.color.back().second, white);
}

// Removing.

TEST(Transferfunction, RemoveAtTheEndsOnlyClearsThem)
{
    Transferfunction tf;
    tf.setColor(0.0f, red);
    tf.removeColor(0.0f);
    EXPECT_EQ(tf.color, (std::deque<ColorPoint>{{0.0f, black}, {1.0f, white}}));
    tf.removeAlpha(1.0f);
    EXPECT_EQ(tf.alpha, (std::deque<AlphaPoint>{{0.0f, 0.0f}, {1.0f, 0.0f}}));
    // Beyond the ends counts as the ends.
    tf.removeColor(4.0f);
    EXPECT_EQ(tf.color.back(), ColorPoint(1.0f, black));
    tf.setAlpha(0.0f, 0.5f);
    tf.removeAlpha(-1.0f);
    EXPECT_EQ(tf.alpha.front(), AlphaPoint(0.0f, 0.0f));
}

TEST(Transferfunction, RemoveErasesOnlyAnExactMatch)
{
    Transferfunction tf;
    tf.setColor(0.25f, red);
    tf.setAlpha(0.25f, 0.9f);
    tf.removeColor(0.3f);
    tf.removeAlpha(0.3f);
    EXPECT_EQ(tf.color.size(), 3u);
    EXPECT_EQ(tf.alpha.size(), 3u);
    tf.removeColor(0.25f);
    tf.removeAlpha(0.25f);
    EXPECT_EQ(tf, Transferfunction());
}

// Navigation.

TEST(Transferfunction, NavigationAtTheEnds)
{
    Transferfunction tf;
    EXPECT_EQ(tf.nextColorPosition(1.0f), 1.0f);
    EXPECT_EQ(tf.nextAlphaPosition(1.0f), 1.0f);
    EXPECT_EQ(tf.previousAlphaPosition(0.0f), 0.0f);
    EXPECT_EQ(tf.previousColorPosition(0.0f), 0.0f);
    EXPECT_EQ(tf.nextAlphaPosition(0.3f), 1.0f);
    EXPECT_EQ(tf.previousColorPosition(0.3f), 0.0f);
    EXPECT_EQ(tf.nextColorPosition(0.0f), 1.0f);
    EXPECT_EQ(tf.previousAlphaPosition(1.0f), 0.0f);
}

TEST(Transferfunction, NavigationBetweenPoints)
{
    Transferfunction tf;
    tf.setColor(0.25f, red);
    tf.setColor(0.5f, red);
    tf.setAlpha(0.75f, 0.5f);
    EXPECT_EQ(tf.nextColorPosition(0.25f), 0.5f);
    EXPECT_EQ(tf.previousColorPosition(0.5f), 0.25f);
    EXPECT_EQ(tf.nextColorPosition(0.3f), 0.5f);
    EXPECT_EQ(tf.previousColorPosition(0.3f), 0.25f);
    EXPECT_EQ(tf.nextColorPosition(0.5f), 1.0f);
    EXPECT_EQ(tf.previousColorPosition(0.25f), 0.0f);
    // The alpha list has its own points.
    EXPECT_EQ(tf.nextAlphaPosition(0.25f), 0.75f);
    EXPECT_EQ(tf.previousAlphaPosition(1.0f), 0.75f);
}

// Sampling for the editor's bars.

TEST(Transferfunction, SamplingUsesIOverCount)
{
    const Transferfunction tf;
    EXPECT_TRUE(tf.sampleColors(0).empty());
    EXPECT_TRUE(tf.sampleAlphas(0).empty());
    EXPECT_EQ(tf.sampleColors(4),
              (std::vector<ColorRGB>{black, ColorRGB(63, 63, 63), ColorRGB(127, 127, 127), ColorRGB(191, 191, 191)}));
    EXPECT_EQ(tf.sampleAlphas(4), (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f}));
    const std::vector<float> wide = tf.sampleAlphas(300);
    ASSERT_EQ(wide.size(), 300u);
    EXPECT_EQ(wide[299], static_cast<float>(299.0 / 300.0));
    EXPECT_EQ(tf.sampleColors(1), std::vector<ColorRGB>{black});
}

// Lists that break the invariants, as a presets file may hold them.

TEST(TransferfunctionBrokenLists, EmptyListsAreHarmless)
{
    Transferfunction tf;
    tf.color.clear();
    tf.alpha.clear();
    EXPECT_EQ(tf.getColor(0.5f), black);
    EXPECT_EQ(tf.getAlpha(0.5f), 0.0f);
    EXPECT_EQ(tf.nextColorPosition(0.5f), 0.5f);
    EXPECT_EQ(tf.previousAlphaPosition(0.5f), 0.5f);
    tf.removeColor(0.0f);
    tf.removeAlpha(1.0f);
    tf.setColor(0.5f, red);
    EXPECT_TRUE(tf.color.empty());
    EXPECT_EQ(tf.sampleColors(3), std::vector<ColorRGB>(3, black));
    const std::vector<unsigned char> table = tf.buildRGBATable();
    EXPECT_EQ(table, std::vector<unsigned char>(16384, 0));
}

TEST(TransferfunctionBrokenLists, ListsNotReachingTheEnds)
{
    Transferfunction tf;
    tf.color = {{0.25f, red}, {0.75f, white}};
    tf.alpha = {{0.25f, 0.5f}, {0.75f, 1.0f}};
    // Before the first point its value holds; past the last there is none.
    EXPECT_EQ(tf.getColor(0.1f), red);
    EXPECT_EQ(tf.getAlpha(0.0f), 0.5f);
    EXPECT_EQ(tf.getColor(0.9f), black);
    EXPECT_EQ(tf.getAlpha(1.0f), 0.0f);
    EXPECT_EQ(tf.previousColorPosition(0.1f), 0.1f);
    EXPECT_EQ(tf.previousColorPosition(0.9f), 0.75f);
    EXPECT_EQ(tf.nextColorPosition(0.9f), 0.9f);
    // Removing "the end points" touches the outermost points there are.
    tf.removeColor(0.0f);
    EXPECT_EQ(tf.color.front(), ColorPoint(0.25f, black));
    tf.setColor(1.0f, red);
    EXPECT_EQ(tf.color.size(), 2u);
}

TEST(TransferfunctionBrokenLists, UnsortedAndNonFinitePositions)
{
    Transferfunction tf;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    tf.color = {{0.0f, black}, {0.8f, white}, {0.5f, red}, {nan, red}, {1.0f, white}};
    tf.alpha = {{0.0f, 0.0f}, {nan, 0.5f}, {1.0f, 1.0f}};
    EXPECT_EQ(tf.getColor(0.4f), ColorRGB(127, 127, 127));
    // The walk stops at the first point past the position, 0.8 here.
    EXPECT_EQ(tf.getColor(0.5f), ColorRGB(159, 159, 159));
    EXPECT_EQ(tf.getColor(nan), black);
    EXPECT_TRUE(std::isnan(tf.getAlpha(0.5f)));
    // Navigation goes to the nearest position on either side, never to NaN.
    EXPECT_EQ(tf.previousColorPosition(0.9f), 0.8f);
    EXPECT_EQ(tf.nextColorPosition(0.4f), 0.5f);
    EXPECT_EQ(tf.previousAlphaPosition(1.0f), 0.0f);
    const std::vector<unsigned char> table = tf.buildRGBATable();
    ASSERT_EQ(table.size(), 16384u);
    // The NaN opacity becomes transparent in the texture.
    EXPECT_EQ(entry(table, 2048)[3], 0);
    tf.setColor(nan, red);
    tf.setAlpha(nan, 1.0f);
    EXPECT_EQ(tf.color.size(), 5u);
    EXPECT_EQ(tf.alpha.size(), 3u);
}

TEST(TransferfunctionBrokenLists, ChannelsOutsideTheByteRangeSaturate)
{
    Transferfunction tf;
    tf.color = {{0.0f, ColorRGB(-5, 300, INT_MAX)}, {1.0f, ColorRGB(INT_MIN, 255, INT_MAX)}};
    tf.alpha = {{0.0f, -2.0f}, {1.0f, 3.0f}};
    EXPECT_EQ(tf.getColor(0.0f), ColorRGB(-5, 300, INT_MAX));
    const ColorRGB middle = tf.getColor(0.5f);
    EXPECT_LT(middle.r, 0);
    EXPECT_EQ(middle.g, 277);
    const std::vector<unsigned char> table = tf.buildRGBATable();
    EXPECT_EQ(entry(table, 0), (std::array<int, 4>{0, 255, 255, 0}));
    EXPECT_EQ(entry(table, 4095), (std::array<int, 4>{0, 255, 255, 255}));
}

// The preset store, each test in a fresh current directory.

class PresetStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/quorvane-presets-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        previous = fs::current_path();
        fs::current_path(folder);
        store().preset.clear();
        store().load(); // no file here: forgets any earlier unreadable file
        Tool::Logger::instance().enabled = true;
        Tool::Logger::instance().history.clear();
    }

    void TearDown() override
    {
        fs::current_path(previous);
        fs::remove_all(folder);
        store().preset.clear();
    }

    static PresetManager& store() { return PresetManager::getInstance(); }

    static std::string failureLine(const std::string& prefix)
    {
        for (const Tool::Message& message : Tool::Logger::instance().history)
            if (message.text.rfind(prefix, 0) == 0 && message.text.find("[FAILED]") != std::string::npos)
                return message.text + " | " + message.details;
        return std::string();
    }

    static std::vector<std::string> folderEntries()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator("."))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
    fs::path previous;
};

TEST_F(PresetStore, NoFileMeansNoPresets)
{
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
    EXPECT_TRUE(store().getPresetNames().empty());
    EXPECT_TRUE(Tool::Logger::instance().history.empty());
}

TEST_F(PresetStore, GetCreatesAndHasNever)
{
    EXPECT_FALSE(store().hasPreset("Fire"));
    EXPECT_EQ(store().getPresetCount(), 0u);
    Transferfunction& fire = store().getPreset("Fire");
    EXPECT_EQ(fire, Transferfunction());
    EXPECT_EQ(store().getPresetCount(), 1u);
    EXPECT_TRUE(store().hasPreset("Fire"));
    EXPECT_FALSE(store().hasPreset("fire"));
    EXPECT_EQ(store().getPresetCount(), 1u);
    fire.setColor(0.5f, red);
    EXPECT_EQ(store().getPreset("Fire").color.size(), 3u);
}

TEST_F(PresetStore, SaveAndLoadRoundTrip)
{
    Transferfunction edited;
    edited.setColor(1.0f / 4096, ColorRGB(12, 34, 56));
    edited.setColor(4095.0f / 4096, red);
    edited.setAlpha(2049.0f / 4096, 0.3f);
    edited.setAlpha(0.0f, 0.123456789f);
    store().getPreset("fire") = edited;
    store().getPreset("Fire") = Transferfunction();
    store().getPreset("a <name> & \"quotes\"") = edited;
    store().getPreset(" spaced\tand\nbroken ");
    store().getPreset("");
    store().save();
    ASSERT_TRUE(fs::exists(PresetManager::fileName));

    const auto saved = store().preset;
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().preset, saved);
    EXPECT_EQ(store().getPresetNames(),
              (std::vector<std::string>{"", " spaced\tand\nbroken ", "Fire", "a <name> & \"quotes\"", "fire"}));
    EXPECT_EQ(store().getPreset("fire"), edited);
    EXPECT_TRUE(failureLine("").empty());
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, FileHasTheDocumentedStructure)
{
    store().getPreset("Default");
    store().save();
    const std::string text = readFile(PresetManager::fileName);
    const char* order[] = {"<boost_serialization signature=\"serialization::archive\"",
                           "<this class_id=\"0\" tracking_level=\"1\" version=\"0\" object_id=\"_0\">",
                           "<preset class_id=\"1\" tracking_level=\"0\" version=\"0\">",
                           "<count>1</count>",
                           "<item_version>0</item_version>",
                           "<first>Default</first>",
                           "<color class_id=\"4\" tracking_level=\"0\" version=\"0\">",
                           "<count>2</count>",
                           "<r>0</r>",
                           "<r>255</r>",
                           "<alpha class_id=\"7\"",
                           "</this>",
                           "</boost_serialization>"};
    std::size_t at = 0;
    for (const char* piece : order) {
        const std::size_t found = text.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << "\n" << text;
        at = found;
    }
}

TEST_F(PresetStore, SavingAgainReplacesOrAdds)
{
    store().getPreset("b");
    store().save();
    store().getPreset("b").setColor(0.5f, red);
    store().save();
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetCount(), 1u);
    EXPECT_EQ(store().getPreset("b").color.size(), 3u);

    store().getPreset("a");
    store().save();
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(PresetStore, LoadReplacesTheWholeStore)
{
    store().getPreset("on disk");
    store().save();
    store().preset.clear();
    store().getPreset("only in memory");
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"on disk"});
}

const char* const version6File = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>
<!DOCTYPE boost_serialization>
<boost_serialization signature="serialization::archive" version="6">
<this class_id="0" tracking_level="1" version="0" object_id="_0">
<preset class_id="1" tracking_level="0" version="0">
<count>2</count>
<item_version>0</item_version>
<item class_id="2" tracking_level="0" version="0">
<first>Fire</first>
<second class_id="3" tracking_level="0" version="0">
<color class_id="4" tracking_level="0" version="0">
<count>3</count>
<item_version>0</item_version>
<item class_id="5" tracking_level="0" version="0">
<first>0</first>
<second class_id="6" tracking_level="0" version="0"><r>0</r><g>0</g><b>0</b></second>
</item>
<item><first>0.5</first><second><r>255</r><g>64</g><b>0</b></second></item>
<item><first>1</first><second><r>255</r><g>255</g><b>128</b></second></item>
</color>
<alpha class_id="7" tracking_level="0" version="0">
<count>3</count>
<item_version>0</item_version>
<item class_id="8" tracking_level="0" version="0"><first>0</first><second>0</second></item>
<item><first>0.00024414062</first><second>0.30000001</second></item>
<item><first>1</first><second>1</second></item>
</alpha>
</second>
</item>
<item>
<first>fire &amp; ice</first>
<second>
<color><count>2</count><item_version>0</item_version>
<item><first>0</first><second><r>0</r><g>0</g><b>255</b></second></item>
<item><first>1</first><second><r>255</r><g>0</g><b>0</b></second></item>
</color>
<alpha><count>2</count><item_version>0</item_version>
<item><first>0</first><second>0.5</second></item>
<item><first>1</first><second>0.75</second></item>
</alpha>
</second>
</item>
</preset>
</this>
</boost_serialization>
)";

TEST_F(PresetStore, LoadsAFileOfArchiveVersion6)
{
    writeFile(PresetManager::fileName, version6File);
    store().load();
    ASSERT_EQ(store().getPresetNames(), (std::vector<std::string>{"Fire", "fire & ice"}));
    const Transferfunction& fire = store().getPreset("Fire");
    EXPECT_EQ(fire.color,
              (std::deque<ColorPoint>{{0.0f, black}, {0.5f, ColorRGB(255, 64, 0)}, {1.0f, ColorRGB(255, 255, 128)}}));
    EXPECT_EQ(fire.alpha, (std::deque<AlphaPoint>{{0.0f, 0.0f}, {1.0f / 4096, 0.3f}, {1.0f, 1.0f}}));
    EXPECT_EQ(store().getPreset("fire & ice").alpha, (std::deque<AlphaPoint>{{0.0f, 0.5f}, {1.0f, 0.75f}}));
    EXPECT_TRUE(failureLine("").empty());
}

TEST_F(PresetStore, MissingClosingTagsDoNotEndTheProcess)
{
    std::string text = version6File;
    const std::string rootEnd = "</boost_serialization>\n";
    text.erase(text.find(rootEnd));
    writeFile(PresetManager::fileName, text);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 2u);

    // Without the object's own end tag the root's is taken for it.
    text = version6File;
    const std::string thisEnd = "</this>\n";
    text.erase(text.find(thisEnd), thisEnd.size());
    writeFile(PresetManager::fileName, text);
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetCount(), 2u);
}

TEST_F(PresetStore, ImpossibleCountsAreRejectedBeforeAllocating)
{
    const std::string good = version6File;
    const std::string counted = "<count>3</count>";
    for (const std::string count : {"4000000000", "-1", "18446744073709551615", "1000000"}) {
        SCOPED_TRACE(count);
        std::string text = good;
        text.replace(text.find(counted), counted.size(), "<count>" + count + "</count>");
        writeFile(PresetManager::fileName, text);
        Tool::Logger::instance().history.clear();
        store().load();
        EXPECT_EQ(store().getPresetCount(), 0u);
        const std::string line = failureLine("Reading presets file \"Brindlemoor.presets\"");
        EXPECT_NE(line.find("exceeds the size of the file"), std::string::npos) << line;
    }
    // The map's count too.
    std::string text = good;
    text.replace(text.find("<count>2</count>"), 16, "<count>4000000000</count>");
    writeFile(PresetManager::fileName, text);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
}

TEST_F(PresetStore, UnreadableFilesAreLoggedAndKept)
{
    const std::string good = version6File;
    const std::vector<std::string> bad = {
        "",
        "not xml at all",
        good.substr(0, good.size() / 2),                                                     // truncated
        std::string(version6File).replace(good.find("version=\"6\""), 11, "version=\"99\""), // newer archive
        std::string(version6File).replace(good.find("<r>255</r>"), 10, "<r>x</r>"),          // wrong value
        std::string(version6File).replace(good.find("<first>0.5</first>"), 18, "<first>nan</first>"),
        std::string(version6File).replace(good.find("<item_version>0</item_version>"), 30, ""), // structure
        std::string(version6File).replace(good.find("version=\"0\""), 11, "version=\"3\""),     // newer class
        std::string(version6File).replace(good.find("</r>"), 4, "</item_version>"),             // end tag mismatch
        std::string(version6File).replace(good.find("</first>"), 8, "</" + std::string(100, 'f') + ">"),
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        writeFile(PresetManager::fileName, bad[i]);
        Tool::Logger::instance().history.clear();
        store().preset.clear();
        store().load();
        EXPECT_EQ(store().getPresetCount(), 0u);
        const std::string line = failureLine("Reading presets file \"Brindlemoor.presets\"");
        EXPECT_FALSE(line.empty());
        // Not the stale errno the library would append ("No such file ...").
        if (i == 0 || i == 2) {
            EXPECT_NE(line.find("ends early"), std::string::npos) << line;
        }
        EXPECT_EQ(readFile(PresetManager::fileName), bad[i]);
    }
}

TEST_F(PresetStore, TooBigAndNonRegularFilesAreRejected)
{
    {
        std::ofstream(PresetManager::fileName) << version6File;
    }
    fs::resize_file(PresetManager::fileName, 17 * 1024 * 1024);
    store().load();
    EXPECT_EQ(store().getPresetCount(), 0u);
    EXPECT_NE(failureLine("Reading").find("larger than 16 MiB"), std::string::npos);

    fs::remove(PresetManager::fileName);
    fs::create_directory(PresetManager::fileName);
    Tool::Logger::instance().history.clear();
    store().load();
    EXPECT_NE(failureLine("Reading").find("not a regular file"), std::string::npos);

    // Opening a pipe must not wait for a writer.
    fs::remove(PresetManager::fileName);
    ASSERT_EQ(::mkfifo(PresetManager::fileName, 0600), 0);
    Tool::Logger::instance().history.clear();
    store().load();
    EXPECT_NE(failureLine("Reading").find("not a regular file"), std::string::npos);
}

TEST_F(PresetStore, FirstSaveAfterAnUnreadableFileMovesItAside)
{
    writeFile(PresetManager::fileName, "garbage 1");
    store().load();
    store().getPreset("new");
    store().save();
    EXPECT_EQ(readFile("Brindlemoor.presets.bak"), "garbage 1");
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"new"});

    // Only the first save moves the file; later ones replace the readable file.
    store().getPreset("newer");
    store().save();
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Brindlemoor.presets", "Brindlemoor.presets.bak"}));

    // An earlier backup is not overwritten either.
    writeFile(PresetManager::fileName, "garbage 2");
    store().load();
    store().save();
    EXPECT_EQ(readFile("Brindlemoor.presets.bak"), "garbage 1");
    EXPECT_EQ(readFile("Brindlemoor.presets.bak.1"), "garbage 2");
}

TEST_F(PresetStore, NonFiniteValuesAreNeverWritten)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Transferfunction& tf = store().getPreset("odd");
    tf.setAlpha(0.5f, nan);
    tf.setAlpha(0.25f, inf);
    tf.alpha.push_back({-inf, 0.5f});
    store().save();
    const std::string text = readFile(PresetManager::fileName);
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
    store().preset.clear();
    store().load();
    ASSERT_EQ(store().getPresetCount(), 1u);
    EXPECT_EQ(store().getPreset("odd").alpha,
              (std::deque<AlphaPoint>{{0.0f, 0.0f}, {0.25f, 1.0f}, {0.5f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.5f}}));
}

TEST_F(PresetStore, SaveKeepsPermissionsAndLeavesNoTemporaryFile)
{
    store().getPreset("x");
    store().save();
    ::chmod(PresetManager::fileName, 0600);
    store().getPreset("y");
    store().save();
    struct stat status;
    ASSERT_EQ(::stat(PresetManager::fileName, &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, SaveThroughASymbolicLinkReplacesItsTarget)
{
    fs::create_directory("elsewhere");
    writeFile("elsewhere/mine.presets", "old");
    fs::create_symlink("elsewhere/mine.presets", PresetManager::fileName);
    store().getPreset("linked");
    store().save();
    EXPECT_TRUE(fs::is_symlink(PresetManager::fileName));
    store().preset.clear();
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"linked"});
    EXPECT_NE(readFile("elsewhere/mine.presets"), "old");
}

TEST_F(PresetStore, FailedWriteKeepsTheOldFile)
{
    store().getPreset("kept");
    store().save();
    const std::string before = readFile(PresetManager::fileName);

    // A file size limit makes writing fail the way a full disk does.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        store().getPreset("lost");
        store().save();
        _exit(failureLine("Writing presets file \"Brindlemoor.presets\"").empty() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not logged";
    EXPECT_EQ(readFile(PresetManager::fileName), before);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{PresetManager::fileName});
}

TEST_F(PresetStore, SaveRefusesWhatLoadWouldRefuse)
{
    store().getPreset("kept");
    store().save();
    const std::string before = readFile(PresetManager::fileName);
    // Written as "&amp;", the name alone is larger than any file load reads.
    store().getPreset(std::string(PresetManager::maxFileSize / 5 + 1, '&'));
    store().save();
    EXPECT_NE(failureLine("Writing presets file").find("more than 16 MiB"), std::string::npos);
    EXPECT_EQ(readFile(PresetManager::fileName), before);
}

TEST_F(PresetStore, SaveRemovesOnlyStaleTemporaryFilesOfItsOwn)
{
    const std::vector<std::string> names = {"Brindlemoor.presets.a1B2c3", "Brindlemoor.presets.backup",
                                            "Brindlemoor.presets.a1B2c", "Other.presets.a1B2c3"};
    for (const std::string& name : names) {
        writeFile(name, "left behind");
        fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    writeFile("Brindlemoor.presets.Fresh1", "another save right now");
    store().getPreset("x");
    store().save();
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Brindlemoor.presets", "Brindlemoor.presets.Fresh1",
                                                         "Brindlemoor.presets.a1B2c", "Brindlemoor.presets.backup",
                                                         "Other.presets.a1B2c3"}));
}

TEST_F(PresetStore, ReadOnlyFileIsNotReplaced)
{
    writeFile(PresetManager::fileName, "mine");
    ::chmod(PresetManager::fileName, 0444);
    store().getPreset("x");
    store().save();
    EXPECT_NE(failureLine("Writing presets file").find("read-only"), std::string::npos);
    EXPECT_EQ(readFile(PresetManager::fileName), "mine");
}

TEST_F(PresetStore, MissingFileLeavesTheStoreAsItWas)
{
    store().getPreset("unsaved").setAlpha(0.5f, 0.25f);
    const Transferfunction before = store().getPreset("unsaved");
    store().load();
    EXPECT_EQ(store().getPresetNames(), std::vector<std::string>{"unsaved"});
    EXPECT_EQ(store().getPreset("unsaved"), before);
}

// Every corpus file and every crash input the fuzzer found goes through the
// fuzzer's own entry.
TEST(PresetsFuzzCorpus, ReplaysEveryInput)
{
    const fs::path root = fs::path(QUORVANE_SOURCE_DIR) / "fuzz";
    std::size_t replayed = 0;
    for (const char* folder : {"corpus", "crashes"}) {
        if (!fs::is_directory(root / folder / "presets"))
            continue;
        for (const auto& file : fs::recursive_directory_iterator(root / folder / "presets")) {
            if (!file.is_regular_file())
                continue;
            SCOPED_TRACE(file.path().string());
            const std::string data = readFile(file.path().string());
            EXPECT_EQ(presetsFuzzOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GE(replayed, 3u);
}

TEST(SpeedColorMap, RunsFromVioletToYellowOverTheSpeedRange)
{
    auto bytes = [](std::array<float, 3> c) {
        return std::array<int, 3>{{int(c[0] * 255 + 0.5f), int(c[1] * 255 + 0.5f), int(c[2] * 255 + 0.5f)}};
    };
    const std::array<int, 3> slowest{{68, 1, 84}}, fastest{{253, 231, 37}};
    EXPECT_EQ(bytes(SpeedColorMap::ofSpeed(2, 2, 6)), slowest);
    EXPECT_EQ(bytes(SpeedColorMap::ofSpeed(6, 2, 6)), fastest);
    EXPECT_EQ(bytes(SpeedColorMap::ofSpeed(9, 2, 6)), fastest) << "clamped";
    EXPECT_EQ(bytes(SpeedColorMap::ofSpeed(4, 2, 6)), (std::array<int, 3>{{33, 145, 140}})) << "the middle sample";
    EXPECT_EQ(bytes(SpeedColorMap::at(0.05f)), (std::array<int, 3>{{70, 19, 101}})) << "between two samples";
    EXPECT_EQ(bytes(SpeedColorMap::ofSpeed(3, 3, 3)), fastest) << "one speed throughout is the fastest";
}
