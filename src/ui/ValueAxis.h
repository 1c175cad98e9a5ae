#pragma once

#include <string>

// The editor's two slider scales: the value slider's position k stands for
// k / 4096 on a layer's normalised value axis, the opacity slider's
// position j for the opacity j / 50.
namespace ValueAxis {

constexpr int sliderMaximum = 4096;
constexpr int opacityMaximum = 50;

// k / 4096, divided in double precision and rounded to single precision.
float position(int k);
// j / 50, computed the same way.
float opacity(int j);
// The value slider's position for a position on the axis, and the opacity
// slider's for an opacity: scaled and truncated toward zero, kept within the
// slider's range (lists read from a presets file may hold any number).
int sliderPosition(float position);
int opacitySliderPosition(float opacity);
// "Value: k (p)" with p printed with six significant digits.
std::string labelText(int k);

} // namespace ValueAxis
