#pragma once

#include <vector>

// The order in which to draw translucent z-slices so that they composite
// correctly: farthest from the eye first. modelView is the column-major
// model-view matrix of the data (camera and data scale); depths holds each
// slice's z in the same model space. Equal distances keep ascending order.
std::vector<int> slicesBackToFront(const float modelView[16], const std::vector<float>& depths);
