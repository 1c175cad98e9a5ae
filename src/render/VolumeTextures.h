#pragma once

#include <array>
#include <cstdint>
#include <string>

// Uploading data sets as 3-D textures: X x Y texels per slice, one slice per z.

// Empty when GL can hold a texture of this size and format; otherwise says why.
std::string volumeTooLarge(const std::array<uint32_t, 3>& size, int internalFormat, unsigned format);

// Fills texture name, bound to GL_TEXTURE_3D on the active unit, from float
// data: linear filters, clamped to the edge texels so that the outer cells
// show their own values. Enables GL_TEXTURE_3D around the upload. Returns
// false when GL reports an error (for example, out of memory).
bool uploadVolume(unsigned int name, int internalFormat, unsigned format, const std::array<uint32_t, 3>& size,
                  const float* data);
