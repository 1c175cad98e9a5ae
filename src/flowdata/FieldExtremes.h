#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The extremes of every field of interleaved float records, and of the
// squared length of the vector each record begins with, gathered over blocks
// of whole records. Values that are not finite count nowhere; the fields'
// extremes start at 0, the squared lengths' at none.
class FieldExtremes {
public:
    explicit FieldExtremes(uint32_t fields); // at least the 3 vector components

    void add(const float* records, std::size_t count);
    // Takes in what other, made for as many fields, has gathered.
    void merge(const FieldExtremes& other);

    float low(uint32_t field) const;
    float high(uint32_t field) const;
    // +inf and 0 while no record had a finite length.
    float slowestSquared() const;
    float fastestSquared() const;

private:
    void addTail(const float* records, std::size_t count);

    uint32_t fields;
    // Records are taken a vector's width at a time, and the accumulators hold
    // one lane per float of such a chunk, so that a lane always meets the same
    // field: lane i belongs to field i % fields.
    std::size_t width;
    std::vector<float> lows, highs, squaredLows, squaredHighs;
};
