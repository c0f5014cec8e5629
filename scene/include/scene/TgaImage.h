#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>

// An uncompressed true-colour TGA image (type 2, 24 or 32 bits per pixel) held in memory with its
// channels in red, green, blue(, alpha) order and its rows bottom row first, which is GL's
// texture row order.
class TgaImage {
public:
    // Largest width or height accepted; larger headers are refused rather than allocated.
    static constexpr int maxSide = 8192;

    TgaImage() = default;
    TgaImage(const TgaImage&) = delete;
    TgaImage& operator=(const TgaImage&) = delete;

    // Releases any pixels held, then reads the file. False, with no pixels held and error()
    // saying why, for a directory, a file that cannot be opened, or any refusal of read().
    bool readFile(std::string path);
    // Releases any pixels held, then reads a TGA image from `in`, front to back without seeking
    // (a pipe will do); `name` starts every message. False, with no pixels held and error()
    // saying why, for input shorter than the header, a type other than 2 (3, greyscale, is
    // refused too: its one-byte pixels cannot be swapped into RGB), a depth other than 24 or
    // 32, or a width or height outside 1..maxSide. The image ID field and any palette are
    // skipped; a top-left origin (descriptor bit 5) is flipped to bottom-left; bytes missing
    // from a short input read as zero.
    bool read(std::istream& in, const std::string& name);

    // Generates a texture name into *textureName, binds it with linear filters and uploads the
    // pixels (GL_RGB for 24 bits, GL_RGBA for 32). An image without pixels uploads nothing and
    // writes 0, GL's "no texture", so whatever is drawn with it is untextured. Needs a current GL
    // context; the texture stays bound. Defined in the drawing library (draw/TextureUpload.cpp):
    // reading needs no GL, uploading does.
    void uploadTexture(unsigned int* textureName);

    std::uint8_t imageType() const { return imageType_; }
    std::int16_t width() const { return width_; }
    std::int16_t height() const { return height_; }
    std::uint8_t bitsPerPixel() const { return bitsPerPixel_; }
    // The pixel bytes, or null when none are held.
    const std::uint8_t* pixels() const { return pixels_.get(); }
    // width * height * bytes per pixel of the pixels held; 0 when none are held.
    std::size_t pixelBytes() const { return pixelBytes_; }
    // Why the last readFile or read returned false; empty after a successful one.
    const std::string& error() const { return error_; }

private:
    // Back to a new image's state: no pixels, a zero header, no error.
    void release();

    std::uint8_t imageType_ = 0;
    std::int16_t width_ = 0;
    std::int16_t height_ = 0;
    std::uint8_t bitsPerPixel_ = 0;
    std::unique_ptr<std::uint8_t[]> pixels_;
    std::size_t pixelBytes_ = 0;
    std::string error_;
};
