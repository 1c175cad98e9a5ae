#pragma once

#include <vector>

class FlowData;

// Keeps the last histogram the editor drew, so that a repaint does not run
// over every value of the layer again. The key is the data set, the layer
// and the bin count; a newly loaded set must be announced by invalidate(),
// since the main dialog reloads into the same FlowData object.
class HistogramCache {
public:
    const std::vector<float>& histogram(const FlowData& data, int layer, int bins);
    void invalidate();

private:
    const FlowData* data_ = nullptr;
    int layer_ = -1;
    int bins_ = -1;
    std::vector<float> values_;
};
