#pragma once

// Test files of the scene tests: TGA files built byte by byte in a scratch directory of the test
// process, removed when the process ends, so parallel test processes never meet.

#include "support/ScratchDirectory.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The header fields a test varies; everything else is zero as in a plain exported file.
struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 2;
    std::uint16_t colourMapLength = 0;
    std::uint8_t colourMapEntryBits = 0;
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::uint8_t bitsPerPixel = 32;
    std::uint8_t descriptor = 0;
};

// The 18 header bytes, little-endian, followed by `afterHeader` (ID, palette, pixels).
inline Bytes tgaFile(const TgaHeader& h, const Bytes& afterHeader) {
    const auto low = [](int value) { return static_cast<std::uint8_t>(value & 0xff); };
    const auto high = [](int value) { return static_cast<std::uint8_t>((value >> 8) & 0xff); };
    Bytes file = {h.idLength,
                  h.colourMapType,
                  h.imageType,
                  0,
                  0,
                  low(h.colourMapLength),
                  high(h.colourMapLength),
                  h.colourMapEntryBits,
                  0,
                  0,
                  0,
                  0,
                  low(h.width),
                  high(h.width),
                  low(h.height),
                  high(h.height),
                  h.bitsPerPixel,
                  h.descriptor};
    // Appended byte by byte: GCC 12 at -O3 warns (wrongly) of copying beyond the header.
    for (const std::uint8_t byte : afterHeader) {
        file.push_back(byte);
    }
    return file;
}

inline const ScratchDirectory& scratchDirectory() {
    static const ScratchDirectory directory("scene-test");
    return directory;
}

// Writes the bytes to `name` in the scratch directory and returns the file's path.
inline std::string writeFile(const std::string& name, const Bytes& bytes) {
    const std::string path = scratchDirectory().path(name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}
