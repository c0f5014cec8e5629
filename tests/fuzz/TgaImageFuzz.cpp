// Fuzz target of the TGA reader: any bytes, read as a texture from memory. The result must be what
// the format promises, checked against a model of the format written here from the header's
// bytes, not only "no crash":
//  - refused exactly when the header says so (input shorter than 18 bytes, an image type other
//    than 2, a width or height outside 1..maxSide, a depth other than 24 or 32), with a message
//    that starts with the input's name and names that reason, and no pixels;
//  - accepted otherwise, with width * height * depth / 8 pixel bytes: each is the input's byte at
//    its place after the ID field and any palette, the first and third byte of every pixel
//    exchanged, the rows reversed when the origin is top-left, and zero where the input ended.
#include "scene/TgaImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

constexpr std::size_t headerBytes = 18;
constexpr std::uint8_t topOriginBit = 0x20;
// An accepted image above this many pixel bytes is not read: it runs the same code as a small
// one, and the largest (256 MiB) take a second each, which would stall the fuzzer. 256 KiB still
// holds eight rows of the widest image.
constexpr std::size_t largestImageRead = std::size_t{1} << 18;
const std::string inputName = "fuzz input";

void require(bool condition, const char* invariant) {
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        std::abort();
    }
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What the header promises, read from the bytes as the format defines them.
struct Expected {
    std::string refusal; // a fragment of the refusal message; empty when the image is accepted
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
    bool topOrigin = false;
    std::size_t pixelStart = 0; // input offset of the first pixel byte
};

Expected expectationOf(const std::uint8_t* data, std::size_t size) {
    Expected expected;
    if (size == 0) {
        expected.refusal = "is empty";
        return expected;
    }
    if (size < headerBytes) {
        expected.refusal = "inside the 18-byte TGA header";
        return expected;
    }
    const auto field16 = [&](std::size_t at) { return data[at] | (data[at + 1] << 8); };
    expected.width = field16(12);
    expected.height = field16(14);
    const int depth = data[16];
    const auto inRange = [](int side) { return side >= 1 && side <= TgaImage::maxSide; };
    if (data[2] != 2) {
        expected.refusal = "type " + std::to_string(data[2]);
    } else if (!inRange(expected.width) || !inRange(expected.height)) {
        expected.refusal = "image size " + std::to_string(expected.width) + " by " +
                           std::to_string(expected.height);
    } else if (depth != 24 && depth != 32) {
        expected.refusal = "pixel depth " + std::to_string(depth);
    }
    expected.bytesPerPixel = depth / 8;
    expected.topOrigin = (data[17] & topOriginBit) != 0;
    const std::size_t palette = data[1] == 1 ? std::size_t(field16(5)) * ((data[7] + 7) / 8) : 0;
    expected.pixelStart = headerBytes + data[0] + palette;
    return expected;
}

// The byte that pixel byte `index` of the image must hold.
std::uint8_t expectedPixelByte(const Expected& e, const std::uint8_t* data, std::size_t size,
                               std::size_t index) {
    const std::size_t rowBytes = std::size_t(e.width) * e.bytesPerPixel;
    const std::size_t row = index / rowBytes;
    const std::size_t column = index % rowBytes / e.bytesPerPixel;
    const std::size_t channel = index % e.bytesPerPixel;
    const std::size_t storedRow = e.topOrigin ? std::size_t(e.height) - 1 - row : row;
    const std::size_t storedChannel = channel == 0 ? 2 : channel == 2 ? 0 : channel;
    const std::size_t at =
        e.pixelStart + storedRow * rowBytes + column * e.bytesPerPixel + storedChannel;
    return at < size ? data[at] : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Expected expected = expectationOf(data, size);
    const bool accepted = expected.refusal.empty();
    const std::size_t imageBytes =
        accepted ? std::size_t(expected.width) * expected.height * expected.bytesPerPixel : 0;
    if (imageBytes > largestImageRead) {
        return 0;
    }

    // An image that already holds pixels: a refusal must let them go.
    TgaImage image;
    std::istringstream previous(std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\30\0abc", 21));
    require(image.read(previous, "previous"), "a 1 by 1, 24-bit image is read");

    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    const bool read = image.read(input, inputName);
    require(read == accepted, "accepted exactly when the header is acceptable");
    if (!accepted) {
        require(image.pixels() == nullptr && image.pixelBytes() == 0, "a refusal holds no pixels");
        require(image.error().rfind(inputName + ": ", 0) == 0, "a refusal names the input");
        require(contains(image.error(), expected.refusal), "a refusal names its reason");
        return 0;
    }
    require(image.error().empty(), "an accepted image has no error");
    require(image.width() == expected.width && image.height() == expected.height &&
                image.bitsPerPixel() == expected.bytesPerPixel * 8,
            "the header's size and depth are kept");
    require(image.pixels() != nullptr && image.pixelBytes() == imageBytes,
            "width * height * bytes per pixel are held");
    for (std::size_t index = 0; index < imageBytes; ++index) {
        require(image.pixels()[index] == expectedPixelByte(expected, data, size, index),
                "every pixel byte is the input's, swapped and flipped as documented");
    }
    return 0;
}
