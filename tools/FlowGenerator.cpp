#include "FlowGenerator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float pi = 3.14159265f;

// A Lamb-Oseen vortex about an axis parallel to z: circulation gamma, core radius core.
struct Vortex {
    float cx;
    float cy;
    float gamma;
    float core;

    // Adds this vortex's velocity at (x, y) and returns its vorticity there.
    float add(float x, float y, float& vx, float& vy) const
    {
        const float dx = x - cx;
        const float dy = y - cy;
        const float r2 = dx * dx + dy * dy;
        const float decay = std::exp(-r2 / (core * core));
        // The swirl speed over r; finite at the axis where it tends to gamma / (2 pi core^2).
        const float swirl = r2 > 1e-12f ? gamma * (1.0f - decay) / (2.0f * pi * r2) : gamma / (2.0f * pi * core * core);
        vx -= swirl * dy;
        vy += swirl * dx;
        return gamma / (pi * core * core) * decay;
    }
};

} // namespace

FlowGenerator::FlowGenerator(const Settings& settings) : config(settings)
{
    const uint32_t longest = std::max({config.size[0], config.size[1], config.size[2]});
    spacing = longest > 1 ? 1.0f / static_cast<float>(longest - 1) : 1.0f;
}

uint64_t FlowGenerator::nodeCount() const
{
    return uint64_t(config.size[0]) * config.size[1] * config.size[2];
}

int32_t FlowGenerator::frameFileCount() const
{
    return config.frames > 1 ? config.frames + 1 : config.frames;
}

std::array<float, 3> FlowGenerator::position(uint32_t i, uint32_t j, uint32_t k) const
{
    float x = spacing * static_cast<float>(i);
    float y = spacing * static_cast<float>(j);
    float z = spacing * static_cast<float>(k);
    if (config.curved) {
        // Gentle bends, small against the spacing's slope, so no cell folds over.
        const float width = spacing * static_cast<float>(std::max<uint32_t>(config.size[0] - 1, 1));
        const float height = spacing * static_cast<float>(std::max<uint32_t>(config.size[1] - 1, 1));
        y += 0.08f * height * std::sin(pi * x / width);
        z += 0.05f * height * std::sin(pi * y / height) * std::cos(pi * x / width);
        x += 0.04f * width * std::sin(pi * y / height);
    }
    return {{x, y, z}};
}

std::vector<float> FlowGenerator::positions() const
{
    std::vector<float> out;
    out.reserve(3 * nodeCount());
    for (uint32_t k = 0; k < config.size[2]; ++k) {
        for (uint32_t j = 0; j < config.size[1]; ++j) {
            for (uint32_t i = 0; i < config.size[0]; ++i) {
                const std::array<float, 3> p = position(i, j, k);
                out.insert(out.end(), p.begin(), p.end());
            }
        }
    }
    return out;
}

void FlowGenerator::records(int32_t frame, uint64_t first, uint64_t count, float* out) const
{
    const uint64_t nx = config.size[0];
    const uint64_t nxy = nx * config.size[1];
    const float width = spacing * static_cast<float>(std::max<uint32_t>(config.size[0] - 1, 1));
    const float height = spacing * static_cast<float>(std::max<uint32_t>(config.size[1] - 1, 1));
    const float depth = spacing * static_cast<float>(std::max<uint32_t>(config.size[2] - 1, 1));
    const float t = config.timestep * static_cast<float>(frame);
    const int32_t files = std::max(frameFileCount(), 1);
    // The pair crosses the middle half of the box over the whole sequence, wobbling as it goes.
    const float progress = static_cast<float>(frame) / static_cast<float>(files);
    const float centreX = width * (0.25f + 0.5f * progress);
    const float wobble = 0.05f * height * std::sin(2.0f * pi * progress);
    const float core = 0.12f * std::min(width, height) + 1e-3f;
    const Vortex pair[2] = {{centreX, 0.5f * height - 1.2f * core + wobble, 1.0f, core},
                            {centreX, 0.5f * height + 1.2f * core + wobble, -1.0f, core}};
    const uint32_t recordFloats = 3 + static_cast<uint32_t>(std::max(config.layers, 0));

    for (uint64_t n = first; n < first + count; ++n, out += recordFloats) {
        const uint32_t i = static_cast<uint32_t>(n % nx);
        const uint32_t j = static_cast<uint32_t>(n % nxy / nx);
        const uint32_t k = static_cast<uint32_t>(n / nxy);
        const std::array<float, 3> p = position(i, j, k);
        float vx = 0.0f;
        float vy = 0.0f;
        float vorticity = 0.0f;
        for (const Vortex& vortex : pair) {
            vorticity += vortex.add(p[0], p[1], vx, vy);
        }
        // Up- and down-welling in the cores, changing with height.
        const float vz = 0.5f * vorticity * core * core * std::sin(pi * p[2] / depth);
        out[0] = vx;
        out[1] = vy;
        out[2] = vz;
        for (uint32_t l = 0; l + 3 < recordFloats; ++l) {
            float value = 0.0f;
            if (l == 0) {
                value = std::sqrt(vx * vx + vy * vy + vz * vz);
            } else if (l == 1) {
                value = vorticity;
            } else if (l == 2) {
                value = vz;
            } else {
                value = std::sin(pi * (static_cast<float>(l) * p[0] / width - t)) * std::cos(pi * p[1] / height);
            }
            out[3 + l] = value;
        }
    }
}
