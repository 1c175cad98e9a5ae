#pragma once

#include "render/StreamlineWorker.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class FlowData;

// Streamlines of the current frame, drawn as depth-tested line strips
// coloured by speed. They are traced on a worker when the frame or data set
// changes, and drawn once ready: until then the last lines of the same data
// set stay, so playing shows no gaps.
class StreamlineRenderer {
public:
    // ready runs on the worker thread whenever new lines are ready to draw.
    explicit StreamlineRenderer(std::function<void()> ready);

    // Forgets the lines, the grid and the failures logged of the previous
    // data set, once the worker has let go of it.
    void reset();
    // Asks for the lines of frame `frame` of data, unless they are the ones
    // asked for last. Needs no GL.
    void ask(const FlowData& data, uint32_t frame);
    // Lets the worker finish what was asked.
    void wait() { worker.wait(); }
    // Takes finished lines into the vertex buffer and draws the current ones,
    // in the model-view in force. Needs the context current, fixed-function
    // drawing with no texture enabled and the depth test on.
    void draw();

private:
    void upload(StreamlineWorker::Result& result);

    StreamlineWorker worker;
    std::shared_ptr<const std::vector<float>> positions; // the grid, shared with the worker
    bool asked = false;
    uint32_t askedFrame = 0;
    uint64_t lastId = 0;
    uint64_t firstCurrentId = 1; // results before it belong to an earlier data set
    unsigned int buffer = 0;
    std::vector<int> first, count;
    std::set<std::string> logged; // failures logged for this data set, once each
};
