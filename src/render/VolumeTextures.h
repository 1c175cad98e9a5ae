#pragma once

#include <array>
#include <cstdint>
#include <string>

// Uploading data sets as 3-D textures: X x Y texels per slice, one slice per z.

// Empty when GL can hold a texture of this size and format; otherwise says why.
std::string volumeTooLarge(const std::array<uint32_t, 3>& size, int internalFormat, unsigned format);

// Gives texture name, bound to GL_TEXTURE_3D on the active unit, storage
// for the size in this format (contents undefined): linear filters, clamped
// to the edge texels so that the outer cells show their own values. Returns
// false when GL reports an error (for example, out of memory).
bool allocateVolume(unsigned int name, int internalFormat, unsigned format, const std::array<uint32_t, 3>& size);

// Replaces every texel of the allocated texture name, binding it on the
// active unit, with data of this format and type (GL enums such as GL_RED
// and GL_UNSIGNED_SHORT). Returns false when GL reports an error.
bool fillVolume(unsigned int name, unsigned format, unsigned type, const std::array<uint32_t, 3>& size,
                const void* data);
