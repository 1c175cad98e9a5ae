#include "ui/HistogramCache.h"

#include "flowdata/FlowData.h"

const std::vector<float>& HistogramCache::histogram(const FlowData& data, int layer, int bins)
{
    if (data_ != &data || layer_ != layer || bins_ != bins) {
        values_ = data.computeHistogram(layer, bins);
        data_ = &data;
        layer_ = layer;
        bins_ = bins;
    }
    return values_;
}

void HistogramCache::invalidate()
{
    data_ = nullptr;
    layer_ = -1;
    bins_ = -1;
    values_.clear();
}
