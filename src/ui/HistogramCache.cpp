#include "ui/HistogramCache.h"

#include "flowdata/FlowData.h"

const std::vector<float>& HistogramCache::histogram(const FlowData& data, int layer, int bins)
{
    if (data_ != &data) {
        invalidate();
        data_ = &data;
    }
    const std::pair<int, int> key(layer, bins);
    auto found = histograms_.find(key);
    if (found == histograms_.end()) {
        found = histograms_.emplace(key, data.computeHistogram(layer, bins)).first;
    }
    return found->second;
}

void HistogramCache::invalidate()
{
    data_ = nullptr;
    histograms_.clear();
}
