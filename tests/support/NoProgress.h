#pragma once

#include "flowdata/LoadingProgress.h"

// Loading progress that nobody watches.
struct NoProgress : LoadingProgress {
    void setRange(int, int) override {}
    void setPosition(int) override {}
    void repaint() override {}
};
