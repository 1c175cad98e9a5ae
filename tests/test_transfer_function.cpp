#include "transfer/SpeedColorMap.h"
#include "transfer/Transferfunction.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <deque>
#include <limits>

namespace {

using ColorPoint = Transferfunction::ColorPoint;
using AlphaPoint = Transferfunction::AlphaPoint;

const ColorRGB black(0, 0, 0);
const ColorRGB white(255, 255, 255);
const ColorRGB red(255, 0, 0);

std::vector<float> positions(const std::deque<ColorPoint>& list)
{
    std::vector<float> out;
    for (const auto& point : list) {
        out.push_back(point.first);
    }
    return out;
}

std::vector<float> positions(const std::deque<AlphaPoint>& list)
{
    std::vector<float> out;
    for (const auto& point : list) {
        out.push_back(point.first);
    }
    return out;
}

std::array<int, 4> entry(const std::vector<unsigned char>& table, unsigned i)
{
    return {table[4 * i], table[4 * i + 1], table[4 * i + 2], table[4 * i + 3]};
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
    for (unsigned i = 1; i < 4096; ++i) {
        ASSERT_GE(table[4 * i], table[4 * (i - 1)]) << i;
    }
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
