#pragma once

#include "flowdata/DataFrame.h"
#include "flowdata/FlowReader.h"
#include "flowdata/LayerRange.h"

#include <vector>

// What the load and the frame store do with a frame a reader gives raw.
class RawFrames {
public:
    // Sizes frame's arrays for a reader's readFrame: 3 vector components and
    // one value per layer for every node, the layers named.
    static void shape(const FlowLayout& layout, DataFrame& frame);

    // Keeps of raw what a load keeps: its layers with their names and raw
    // extremes (from 0, finite values only) and its speed range (measured
    // already); no values.
    static void measure(const DataFrame& raw, DataFrame& measured);

    // Sets frame's speed range from its vectors; lengths that are not finite
    // count nowhere.
    static void measureSpeed(DataFrame& frame);

    // Rescales every layer in place with its common range.
    static void rescale(DataFrame& frame, const std::vector<LayerRange>& ranges);
};
