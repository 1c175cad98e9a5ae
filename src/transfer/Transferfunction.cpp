#include "transfer/Transferfunction.h"

#include <climits>
#include <cmath>

namespace {

float clampPosition(float position)
{
    if (position < 0.0f) {
        return 0.0f;
    }
    if (position > 1.0f) {
        return 1.0f;
    }
    return position;
}

// Truncation toward zero that stays defined for NaN and for values beyond int.
int truncateToInt(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

unsigned char saturateByte(int value)
{
    if (value < 0) {
        return 0;
    }
    if (value > 255) {
        return 255;
    }
    return static_cast<unsigned char>(value);
}

float unitChannel(int32_t channel)
{
    return static_cast<float>(channel / 255.0);
}

template <class List, class Value> void setPoint(List& list, float position, const Value& value)
{
    position = clampPosition(position);
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->first == position) {
            it->second = value;
            return;
        }
        if (it->first > position) {
            list.insert(it, {position, value});
            return;
        }
    }
}

template <class List, class Value> void removePoint(List& list, float position, const Value& cleared)
{
    if (list.empty()) {
        return;
    }
    if (position <= 0.0f) {
        list.front().second = cleared;
    } else if (position >= 1.0f) {
        list.back().second = cleared;
    } else {
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->first == position) {
                list.erase(it);
                return;
            }
        }
    }
}

// Walks to the point at or after the position. An exact match gives its value,
// a position before the first point holds the first point's value, and a
// position past every point gives the fallback.
template <class List, class Value, class Interpolate>
Value lookup(const List& list, float position, const Value& fallback, Interpolate interpolate)
{
    position = clampPosition(position);
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->first == position) {
            return it->second;
        }
        if (it->first > position) {
            if (it == list.begin()) {
                return it->second;
            }
            const auto& prev = *(it - 1);
            const float offset = position - prev.first;
            const float width = it->first - prev.first;
            return interpolate(prev.second, it->second, offset, width);
        }
    }
    return fallback;
}

float blend(float from, float to, float offset, float width)
{
    return from + offset * ((to - from) / width);
}

// On a list in ascending order these are the neighbouring points of the walk;
// taking the nearest position on each side keeps them sensible, and free of
// NaN, on any list.
template <class List> float nextPosition(const List& list, float position)
{
    float next = position;
    for (const auto& point : list) {
        if (point.first > position && (next == position || point.first < next)) {
            next = point.first;
        }
    }
    return next;
}

template <class List> float previousPosition(const List& list, float position)
{
    float previous = position;
    for (const auto& point : list) {
        if (point.first < position && (previous == position || point.first > previous)) {
            previous = point.first;
        }
    }
    return previous;
}

float samplePosition(unsigned index, unsigned count)
{
    return static_cast<float>(static_cast<double>(index) / count);
}

} // namespace

Transferfunction::Transferfunction()
{
    reset();
}

void Transferfunction::reset()
{
    resetColor();
    resetAlpha();
}

void Transferfunction::resetColor()
{
    color.clear();
    color.emplace_back(0.0f, ColorRGB(0, 0, 0));
    color.emplace_back(1.0f, ColorRGB(255, 255, 255));
}

void Transferfunction::resetAlpha()
{
    alpha.clear();
    alpha.emplace_back(0.0f, 0.0f);
    alpha.emplace_back(1.0f, 1.0f);
}

void Transferfunction::setColor(float position, const ColorRGB& value)
{
    setPoint(color, position, value);
}

void Transferfunction::setAlpha(float position, float value)
{
    setPoint(alpha, position, value);
}

void Transferfunction::removeColor(float position)
{
    removePoint(color, position, ColorRGB(0, 0, 0));
}

void Transferfunction::removeAlpha(float position)
{
    removePoint(alpha, position, 0.0f);
}

ColorRGB Transferfunction::getColor(float position) const
{
    return lookup(color, position, ColorRGB(0, 0, 0),
                  [](const ColorRGB& from, const ColorRGB& to, float offset, float width) {
                      auto channel = [&](int32_t a, int32_t b) {
                          return truncateToInt(blend(unitChannel(a), unitChannel(b), offset, width) * 255.0);
                      };
                      return ColorRGB(channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b));
                  });
}

float Transferfunction::getAlpha(float position) const
{
    return lookup(alpha, position, 0.0f, blend);
}

float Transferfunction::nextColorPosition(float position) const
{
    return nextPosition(color, position);
}

float Transferfunction::previousColorPosition(float position) const
{
    return previousPosition(color, position);
}

float Transferfunction::nextAlphaPosition(float position) const
{
    return nextPosition(alpha, position);
}

float Transferfunction::previousAlphaPosition(float position) const
{
    return previousPosition(alpha, position);
}

std::vector<ColorRGB> Transferfunction::sampleColors(unsigned count) const
{
    std::vector<ColorRGB> samples;
    samples.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        samples.push_back(getColor(samplePosition(i, count)));
    }
    return samples;
}

std::vector<float> Transferfunction::sampleAlphas(unsigned count) const
{
    std::vector<float> samples;
    samples.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        samples.push_back(getAlpha(samplePosition(i, count)));
    }
    return samples;
}

std::vector<unsigned char> Transferfunction::buildRGBATable() const
{
    std::vector<unsigned char> table;
    table.reserve(tableSize * 4);
    for (unsigned i = 0; i < tableSize; ++i) {
        const float position = samplePosition(i, tableSize - 1);
        const ColorRGB c = getColor(position);
        // Channels outside 0..255 (only possible from a presets file) saturate.
        table.push_back(saturateByte(c.r));
        table.push_back(saturateByte(c.g));
        table.push_back(saturateByte(c.b));
        table.push_back(saturateByte(truncateToInt(getAlpha(position) * 255.0)));
    }
    return table;
}

bool operator==(const Transferfunction& a, const Transferfunction& b)
{
    return a.color == b.color && a.alpha == b.alpha;
}

bool operator!=(const Transferfunction& a, const Transferfunction& b)
{
    return !(a == b);
}
