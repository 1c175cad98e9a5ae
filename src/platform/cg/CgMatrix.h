#pragma once

#include "platform/cg/cgGL.h"

// Reads one of GL's state matrices (the model-view, the projection, the
// texture matrix or their product projection · model-view), optionally
// transposed, column-major. False for a matrix or transform it does not offer.
class CgMatrix {
public:
    static bool stateMatrix(CGGLenum matrix, CGGLenum transform, float out[16]);
};
