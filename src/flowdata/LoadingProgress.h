#pragma once

// What FlowData::load drives while it reads a data set: the loading dialog's
// progress bar. The dialog implements it; tests pass a recording fake.
class LoadingProgress {
public:
    virtual ~LoadingProgress() = default;
    virtual void setRange(int lower, int upper) = 0;
    virtual void setPosition(int position) = 0;
    // Repaints the bar at once; no input is processed while loading.
    virtual void repaint() = 0;
};
