#pragma once

#include <cstdint>
#include <set>
#include <string>

class FlowData;

// The glyph point list: a regular lattice on the bottom face of the
// normalised box, each point carrying the flow of one frame where it stands,
// the vector as its normal and the speed's colour as its colour. The glyph
// programs turn each point into an arrow along the vector; a zero normal
// draws none.
class GlyphPoints {
public:
    // Replaces list (deleting the old one) with columns + 2 by rows + 2
    // points spanning the box edge to edge, carrying frame frameIndex;
    // list is 0 without a data set or grid. Needs the context current.
    void build(unsigned int& list, const FlowData* data, int columns, int rows, uint32_t frameIndex);
    // Rebuilds list when the frame to show differs from the one it carries.
    // An emptied data set keeps the list it had.
    void follow(unsigned int& list, const FlowData& data, uint32_t frameIndex);
    // A newly loaded set: its frames' failures are logged again, once each.
    void forgetFailures() { logged.clear(); }

private:
    std::set<std::string> logged; // failures logged for this data set
    int columns = 0;
    int rows = 0;
    uint32_t frame = 0;
};
