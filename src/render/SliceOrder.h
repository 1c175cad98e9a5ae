#pragma once

#include <array>
#include <vector>

// The order in which to draw translucent slices so that they composite
// correctly: farthest from the eye first. modelView is the column-major
// model-view matrix of the data (camera and data scale); centres holds each
// slice's centre in the same model space, so slices stacked along any axis
// are told apart. Equal distances keep ascending order.
std::vector<int> slicesBackToFront(const float modelView[16], const std::vector<std::array<float, 3>>& centres);

// Squared distance from the eye of a model-space point: the eye sits at the
// origin of the space the model-view matrix maps to.
float eyeDistanceSquared(const float modelView[16], const std::array<float, 3>& point);
