#include "scene/TgaImage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// The fixed TGA header; all multi-byte fields are little-endian.
constexpr std::size_t headerBytes = 18;
constexpr int idLengthOffset = 0;
constexpr int colourMapTypeOffset = 1;
constexpr int imageTypeOffset = 2;
constexpr int colourMapLengthOffset = 5;
constexpr int colourMapEntryBitsOffset = 7;
constexpr int widthOffset = 12;
constexpr int heightOffset = 14;
constexpr int depthOffset = 16;
constexpr int descriptorOffset = 17;

// Uncompressed true-colour, the one type read. 1 (colour-mapped), 3 (greyscale) and the
// run-length encoded 9, 10 and 11 would each need a decoder of their own.
constexpr std::uint8_t trueColourType = 2;
// Colour-map type 1: a palette follows the ID field even in a true-colour file, and must be
// stepped over to reach the pixels.
constexpr std::uint8_t colourMapPresent = 1;
// Descriptor bit 5: the first row in the file is the top row; GL wants the bottom row first.
constexpr std::uint8_t topOriginBit = 0x20;

std::int16_t littleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// Bytes of the palette between the image ID and the pixels; none unless the map type says so.
std::streamoff paletteBytes(const std::uint8_t* header) {
    if (header[colourMapTypeOffset] != colourMapPresent) {
        return 0;
    }
    const auto entries = static_cast<std::uint16_t>(littleEndian16(header + colourMapLengthOffset));
    const int bytesPerEntry = (header[colourMapEntryBitsOffset] + 7) / 8;
    return static_cast<std::streamoff>(entries) * bytesPerEntry;
}

// Bytes the pixels of an accepted header take: at most 8192 * 8192 * 4, well inside size_t.
std::size_t imageBytes(int width, int height, int bitsPerPixel) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
           static_cast<std::size_t>(bitsPerPixel / 8);
}

// The image types that TGA defines: 0 (no image data), 1, 2 and 3 (colour-mapped, true-colour,
// greyscale), 9, 10 and 11 (the same, run-length encoded). A byte that is none of these is not a
// TGA header at all (a PNG's third byte reads as 78), which deserves a message of its own.
bool isTgaImageType(std::uint8_t type) {
    return type <= 3 || (type >= 9 && type <= 11);
}

// Why a header is refused, or empty when it is accepted. Sizes are named as the file's unsigned
// 16-bit fields hold them (65535, not -1).
std::string headerRefusal(const std::uint8_t* header) {
    const std::uint8_t type = header[imageTypeOffset];
    if (type != trueColourType) {
        if (!isTgaImageType(type)) {
            return "not a TGA image (image type " + std::to_string(type) +
                   ", which no TGA file has)";
        }
        return "TGA image type " + std::to_string(type) +
               " is not supported (only 2, uncompressed true-colour)";
    }
    const auto width = static_cast<std::uint16_t>(littleEndian16(header + widthOffset));
    const auto height = static_cast<std::uint16_t>(littleEndian16(header + heightOffset));
    if (width < 1 || width > TgaImage::maxSide || height < 1 || height > TgaImage::maxSide) {
        return "image size " + std::to_string(width) + " by " + std::to_string(height) +
               " is outside 1.." + std::to_string(TgaImage::maxSide);
    }
    const std::uint8_t depth = header[depthOffset];
    if (depth != 24 && depth != 32) {
        return "pixel depth " + std::to_string(depth) + " is not supported (only 24 or 32 bits)";
    }
    return {};
}

// The file stores blue, green, red(, alpha); swap the first and third byte of every pixel.
void swapRedAndBlue(std::uint8_t* pixels, std::size_t bytes, std::size_t bytesPerPixel) {
    for (std::size_t offset = 0; offset + bytesPerPixel <= bytes; offset += bytesPerPixel) {
        std::swap(pixels[offset], pixels[offset + 2]);
    }
}

// Reverses the order of the rows in place (top row first <-> bottom row first).
void flipRows(std::uint8_t* pixels, std::size_t rowBytes, int rows) {
    for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(pixels + static_cast<std::size_t>(top) * rowBytes,
                         pixels + static_cast<std::size_t>(top + 1) * rowBytes,
                         pixels + static_cast<std::size_t>(bottom) * rowBytes);
    }
}

} // namespace

bool TgaImage::readFile(std::string path) {
    release();
    // A directory opens as a stream whose first read fails; read() would refuse it too, with
    // "reading the texture failed", and this check only names the reason.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error_ = path + ": is a directory, not a regular file";
        return false;
    }
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        error_ = path + ": cannot open the texture: " + std::strerror(errno);
        return false;
    }
    return read(file, path);
}

bool TgaImage::read(std::istream& in, const std::string& name) {
    release();
    std::uint8_t header[headerBytes] = {};
    in.read(reinterpret_cast<char*>(header), headerBytes);
    const auto headerRead = static_cast<std::size_t>(in.gcount());
    if (in.bad()) {
        error_ = name + ": reading the texture failed";
        return false;
    }
    if (headerRead == 0) {
        error_ = name + ": the file is empty, not a TGA image";
        return false;
    }
    if (headerRead != headerBytes) {
        error_ = name + ": the file ends after " + std::to_string(headerRead) +
                 " bytes, inside the 18-byte TGA header";
        return false;
    }
    imageType_ = header[imageTypeOffset];
    width_ = littleEndian16(header + widthOffset);
    height_ = littleEndian16(header + heightOffset);
    bitsPerPixel_ = header[depthOffset];
    error_ = headerRefusal(header);
    if (!error_.empty()) {
        error_ = name + ": " + error_;
        return false;
    }

    // The pixels follow the image ID and, when present, the palette. Stepped over by reading, so
    // that a pipe works as well as a file.
    in.ignore(static_cast<std::streamsize>(header[idLengthOffset] + paletteBytes(header)));

    // Value-initialised: the bytes a short file lacks stay zero (black, transparent).
    const std::size_t bytes = imageBytes(width_, height_, bitsPerPixel_);
    pixels_ = std::make_unique<std::uint8_t[]>(bytes);
    pixelBytes_ = bytes;
    if (in) {
        in.read(reinterpret_cast<char*>(pixels_.get()), static_cast<std::streamsize>(bytes));
    }

    swapRedAndBlue(pixels_.get(), bytes, static_cast<std::size_t>(bitsPerPixel_ / 8));
    if (header[descriptorOffset] & topOriginBit) {
        flipRows(pixels_.get(), bytes / static_cast<std::size_t>(height_), height_);
    }
    return true;
}

void TgaImage::release() {
    pixels_.reset();
    pixelBytes_ = 0;
    imageType_ = 0;
    width_ = 0;
    height_ = 0;
    bitsPerPixel_ = 0;
    error_.clear();
}
