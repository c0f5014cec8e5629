#include "scene/TgaImage.h"

#include <GL/gl.h>

#include <cstddef>

namespace {

// Bytes the pixels of a header TgaImage accepts take: at most 8192 * 8192 * 4, well inside
// size_t.
std::size_t imageBytes(int width, int height, int bitsPerPixel) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
           static_cast<std::size_t>(bitsPerPixel / 8);
}

} // namespace

void TgaImage::uploadTexture(unsigned int* textureName) {
    // pixelBytes_ is exactly width * height * bytes per pixel whenever pixels are held, so GL
    // never reads past the buffer.
    if (!pixels_ || pixelBytes_ != imageBytes(width_, height_, bitsPerPixel_)) {
        *textureName = 0;
        return;
    }
    GLint maxTextureSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSide);
    if (width_ > maxTextureSide || height_ > maxTextureSide) {
        *textureName = 0;
        return;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    *textureName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);

    // Rows of a 24-bit image of odd width are not 4-byte aligned; the file has no row padding.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum format = bitsPerPixel_ == 32 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width_, height_, 0, format, GL_UNSIGNED_BYTE,
                 pixels_.get());
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
}
