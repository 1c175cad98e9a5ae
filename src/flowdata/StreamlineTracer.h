#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One traced line: grid positions along it and the flow's speed at each.
struct Streamline {
    std::vector<std::array<float, 3>> points;
    std::vector<float> speeds;
};

// Traces streamlines of one frame through a structured, possibly curved
// grid. Integration runs in index space (node (i, j, k) sits at index point
// (i, j, k)), where every cell is a unit cube: the flow is carried there
// through the inverse of the grid's local Jacobian, so a curved grid needs no
// search for the cell that holds a point. The index-space direction is
// normalised, so each fourth-order Runge-Kutta step covers `step` cells.
class StreamlineTracer {
public:
    // positions and vectors hold 3 floats per node, x fastest, and must
    // outlive the tracer; maxSpeed is the frame's largest speed. A grid
    // flat in more than one axis or arrays shorter than size asks for give
    // an invalid tracer, which traces nothing.
    StreamlineTracer(const std::vector<float>& positions, const std::array<uint32_t, 3>& size,
                     const std::vector<float>& vectors, float maxSpeed);

    bool valid() const { return ok; }

    // The line through an index-space seed, traced both ways. Fewer than two
    // points when the seed lies outside the grid or in still flow.
    Streamline trace(const std::array<float, 3>& seed) const;
    std::vector<Streamline> traceAll(const std::vector<std::array<float, 3>>& seeds) const;

    // perSide x perSide seeds spread evenly over the bottom slice and the
    // same over the middle one (only one slice for a flat grid).
    static std::vector<std::array<float, 3>> seedLattice(const std::array<uint32_t, 3>& size, uint32_t perSide);

    float step = 0.5f;          // cells per step
    int maxSteps = 400;         // per direction
    float stopFraction = 0.01f; // of maxSpeed: slower flow ends a line

private:
    using Vec = std::array<double, 3>;

    // At index point xi: the normalised index-space direction, the grid
    // position and the speed. False outside the grid or where the direction
    // is undefined (still flow, a folded cell, bad numbers).
    bool evaluate(const Vec& xi, Vec& direction, Vec* position, double* speed) const;
    void traceOneWay(const Vec& seed, double h, Streamline& line) const;

    const std::vector<float>& positions;
    const std::vector<float>& vectors;
    std::array<uint32_t, 3> size;
    double fastest = 0;
    int flatAxis = -1; // the axis of a one-node-thick grid, or -1
    bool ok = false;
};
