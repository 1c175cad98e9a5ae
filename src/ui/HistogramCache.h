#pragma once

#include <map>
#include <utility>
#include <vector>

class FlowData;

// Keeps the histograms the editor has drawn, one per layer and bin count, so
// that neither a repaint nor a switch back to a layer runs over all of its
// values again. They belong to one data set; a newly loaded set must be
// announced by invalidate(), since the main dialog reloads into the same
// FlowData object.
class HistogramCache {
public:
    const std::vector<float>& histogram(const FlowData& data, int layer, int bins);
    void invalidate();

private:
    const FlowData* data_ = nullptr;
    std::map<std::pair<int, int>, std::vector<float>> histograms_;
};
