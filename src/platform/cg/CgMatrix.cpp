#include "platform/cg/CgMatrix.h"

#include <GL/glew.h>

#include <algorithm>

namespace {

void multiply(const float a[16], const float b[16], float out[16])
{
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            out[column * 4 + row] = sum;
        }
    }
}

} // namespace

bool CgMatrix::stateMatrix(CGGLenum matrix, CGGLenum transform, float out[16])
{
    if (transform != CG_GL_MATRIX_IDENTITY && transform != CG_GL_MATRIX_TRANSPOSE) {
        return false;
    }
    switch (matrix) {
    case CG_GL_MODELVIEW_MATRIX:
        glGetFloatv(GL_MODELVIEW_MATRIX, out);
        break;
    case CG_GL_PROJECTION_MATRIX:
        glGetFloatv(GL_PROJECTION_MATRIX, out);
        break;
    case CG_GL_TEXTURE_MATRIX:
        glGetFloatv(GL_TEXTURE_MATRIX, out);
        break;
    case CG_GL_MODELVIEW_PROJECTION_MATRIX: {
        float modelView[16];
        float projection[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        multiply(projection, modelView, out);
        break;
    }
    default:
        return false;
    }
    if (transform == CG_GL_MATRIX_TRANSPOSE) {
        for (int column = 0; column < 4; ++column) {
            for (int row = column + 1; row < 4; ++row) {
                std::swap(out[column * 4 + row], out[row * 4 + column]);
            }
        }
    }
    return true;
}
