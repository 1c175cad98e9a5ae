#include "render/VolumeTextures.h"

#include <GL/glew.h>

std::string volumeTooLarge(const std::array<uint32_t, 3>& size, int internalFormat, unsigned format)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &largest);
    const std::string nodes =
        std::to_string(size[0]) + " x " + std::to_string(size[1]) + " x " + std::to_string(size[2]) + " nodes";
    for (uint32_t side : size) {
        if (side < 1 || side > uint32_t(largest)) {
            return nodes + " exceed the largest 3-D texture of " + std::to_string(largest) + " texels a side";
        }
    }
    // The proxy asks the driver whether this format fits at this size.
    glTexImage3D(GL_PROXY_TEXTURE_3D, 0, internalFormat, GLsizei(size[0]), GLsizei(size[1]), GLsizei(size[2]), 0,
                 format, GL_FLOAT, nullptr);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &width);
    if (width == 0) {
        return nodes + " do not fit in one 3-D texture";
    }
    return std::string();
}

bool allocateVolume(unsigned int name, int internalFormat, unsigned format, const std::array<uint32_t, 3>& size)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_3D, name);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexImage3D(GL_TEXTURE_3D, 0, internalFormat, GLsizei(size[0]), GLsizei(size[1]), GLsizei(size[2]), 0, format,
                 GL_UNSIGNED_BYTE, nullptr);
    return glGetError() == GL_NO_ERROR;
}

bool fillVolume(unsigned int name, unsigned format, unsigned type, const std::array<uint32_t, 3>& size,
                const void* data)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_3D, name);
    // Rows of 16-bit values are not padded to 4 bytes; the default comes back after.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, GLsizei(size[0]), GLsizei(size[1]), GLsizei(size[2]), format, type,
                    data);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    return glGetError() == GL_NO_ERROR;
}
