#include "scene/TgaImage.h"

#include "TgaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <istream>
#include <streambuf>

namespace {

Bytes pixelsOf(const TgaImage& image) {
    if (image.pixels() == nullptr) {
        return {};
    }
    return Bytes(image.pixels(), image.pixels() + image.pixelBytes());
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A 2 by 3 picture, 24-bit, rows listed bottom row first; each pixel blue, green, red as stored.
const Bytes bottomRowFirst = {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
const Bytes topRowFirst = {21, 22, 23, 24, 25, 26, 11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6};
const Bytes asRgbBottomRowFirst = {3,  2,  1,  6,  5,  4,  13, 12, 11,
                                   16, 15, 14, 23, 22, 21, 26, 25, 24};

} // namespace

TEST(TgaImage, SwapsBlueAndRedOfEveryPixelAndKeepsAlphaAndRowOrder) {
    TgaImage image;
    // 2 by 2, 32-bit: blue, green, red, alpha per pixel.
    const Bytes stored = {10, 20, 30, 40, 11, 21, 31, 41, 12, 22, 32, 42, 13, 23, 33, 43};
    ASSERT_TRUE(image.readFile(writeFile("bgra.tga", tgaFile({.width = 2, .height = 2}, stored))))
        << image.error();
    EXPECT_EQ(image.imageType(), 2);
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.height(), 2);
    EXPECT_EQ(image.bitsPerPixel(), 32);
    EXPECT_TRUE(image.error().empty());
    EXPECT_EQ(pixelsOf(image),
              (Bytes{30, 20, 10, 40, 31, 21, 11, 41, 32, 22, 12, 42, 33, 23, 13, 43}));

    // 3 by 1, 24-bit: an odd width, so rows are not multiples of four bytes.
    const Bytes stored24 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(image.readFile(
        writeFile("bgr.tga", tgaFile({.width = 3, .height = 1, .bitsPerPixel = 24}, stored24))));
    EXPECT_EQ(image.bitsPerPixel(), 24);
    EXPECT_EQ(pixelsOf(image), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7}));
}

TEST(TgaImage, SkipsTheIdFieldAndPaletteAndFlipsATopLeftOrigin) {
    const TgaHeader plain{.width = 2, .height = 3, .bitsPerPixel = 24};
    TgaImage image;
    ASSERT_TRUE(image.readFile(writeFile("bottom.tga", tgaFile(plain, bottomRowFirst))));
    EXPECT_EQ(pixelsOf(image), asRgbBottomRowFirst);

    TgaHeader withId = plain;
    withId.idLength = 5;
    Bytes idThenPixels = {'n', 'a', 'm', 'e', '!'};
    idThenPixels.insert(idThenPixels.end(), bottomRowFirst.begin(), bottomRowFirst.end());
    ASSERT_TRUE(image.readFile(writeFile("id.tga", tgaFile(withId, idThenPixels))));
    EXPECT_EQ(pixelsOf(image), asRgbBottomRowFirst) << "ID bytes taken as pixels";

    // A palette in a true-colour file (map type 1) sits between the ID and the pixels: 2 entries
    // of 24 bits here.
    TgaHeader withPalette = withId;
    withPalette.colourMapType = 1;
    withPalette.colourMapLength = 2;
    withPalette.colourMapEntryBits = 24;
    Bytes idPalettePixels = {'n', 'a', 'm', 'e', '!', 90, 91, 92, 93, 94, 95};
    idPalettePixels.insert(idPalettePixels.end(), bottomRowFirst.begin(), bottomRowFirst.end());
    ASSERT_TRUE(image.readFile(writeFile("palette.tga", tgaFile(withPalette, idPalettePixels))));
    EXPECT_EQ(pixelsOf(image), asRgbBottomRowFirst) << "palette bytes taken as pixels";

    // Descriptor bit 5: the same picture stored top row first reads as the same rows.
    TgaHeader topLeft = plain;
    topLeft.descriptor = 0x20;
    ASSERT_TRUE(image.readFile(writeFile("top.tga", tgaFile(topLeft, topRowFirst))));
    EXPECT_EQ(pixelsOf(image), asRgbBottomRowFirst);
}

TEST(TgaImage, RefusesWhatItCannotShowAndSaysWhy) {
    struct Case {
        const char* name;
        TgaHeader header;
        const char* why;
    };
    const Case cases[] = {
        {"rle.tga", {.imageType = 10, .width = 1, .height = 1}, "type 10"},
        {"mapped.tga", {.imageType = 1, .width = 1, .height = 1, .bitsPerPixel = 8}, "type 1"},
        {"png.tga", {.imageType = 'N', .width = 1, .height = 1}, "not a TGA image"},
        {"grey.tga", {.imageType = 3, .width = 1, .height = 1, .bitsPerPixel = 8}, "type 3"},
        {"depth16.tga", {.width = 1, .height = 1, .bitsPerPixel = 16}, "depth 16"},
        {"depth8.tga", {.width = 1, .height = 1, .bitsPerPixel = 8}, "depth 8"},
        {"zero-width.tga", {.width = 0, .height = 1}, "size 0 by 1"},
        {"zero-height.tga", {.width = 1, .height = 0}, "size 1 by 0"},
        {"negative.tga", {.width = -1, .height = 4}, "size 65535 by 4"},
        {"wide.tga", {.width = TgaImage::maxSide + 1, .height = 1}, "size 8193 by 1"},
        {"tall.tga", {.width = 1, .height = TgaImage::maxSide + 1}, "size 1 by 8193"},
    };
    TgaImage image;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A good read first: the refusal must also drop the pixels held before.
        ASSERT_TRUE(image.readFile(
            writeFile("good.tga", tgaFile({.width = 1, .height = 1}, {1, 2, 3, 4}))));
        const std::string path = writeFile(c.name, tgaFile(c.header, Bytes(64, 7)));
        EXPECT_FALSE(image.readFile(path));
        EXPECT_EQ(image.pixels(), nullptr);
        EXPECT_EQ(image.pixelBytes(), 0u);
        EXPECT_TRUE(contains(image.error(), c.why)) << image.error();
        EXPECT_TRUE(contains(image.error(), path)) << image.error();
    }
    EXPECT_FALSE(image.readFile("/nonexistent/ball.tga"));
    EXPECT_EQ(image.pixels(), nullptr);
    EXPECT_EQ(image.error(), "/nonexistent/ball.tga: cannot open the texture: No such file or "
                             "directory");

    EXPECT_FALSE(image.readFile(writeFile("header.tga", Bytes{0, 0, 2, 0, 0, 0, 0})));
    EXPECT_TRUE(contains(image.error(), "ends after 7 bytes, inside the 18-byte TGA header"))
        << image.error();
    EXPECT_FALSE(image.readFile(writeFile("empty.tga", Bytes{})));
    EXPECT_TRUE(contains(image.error(), "the file is empty")) << image.error();

    // A directory opens as a stream that reads nothing: it must not pass for an empty file.
    const std::string folder = scratchDirectory().path("folder.tga").string();
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(image.readFile(folder));
    EXPECT_EQ(image.error(), folder + ": is a directory, not a regular file");
}

namespace {

// Hands out its bytes front to back and refuses to seek, as a pipe does.
class PipeLikeBuffer : public std::streambuf {
public:
    explicit PipeLikeBuffer(Bytes bytes) : bytes_(std::move(bytes)) {
        char* begin = reinterpret_cast<char*>(bytes_.data());
        setg(begin, begin, begin + bytes_.size());
    }

private:
    Bytes bytes_;
};

} // namespace

TEST(TgaImage, ReadsFromAStreamThatCannotSeek) {
    TgaHeader withId{.idLength = 3, .width = 2, .height = 3, .bitsPerPixel = 24};
    Bytes idThenPixels = {'i', 'd', '!'};
    idThenPixels.insert(idThenPixels.end(), bottomRowFirst.begin(), bottomRowFirst.end());
    PipeLikeBuffer buffer(tgaFile(withId, idThenPixels));
    std::istream pipe(&buffer);
    TgaImage image;
    ASSERT_TRUE(image.read(pipe, "pipe")) << image.error();
    EXPECT_EQ(pixelsOf(image), asRgbBottomRowFirst);
}

TEST(TgaImage, ReadsTheLargestSideAndZeroFillsAShortFile) {
    TgaImage image;
    // 2 by 2 at 32 bits needs 16 bytes; the file stops after 5.
    ASSERT_TRUE(image.readFile(
        writeFile("short.tga", tgaFile({.width = 2, .height = 2}, {10, 20, 30, 40, 50}))));
    EXPECT_EQ(pixelsOf(image), (Bytes{30, 20, 10, 40, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // The largest side accepted, no pixel data at all, flipped: every byte still zero.
    ASSERT_TRUE(image.readFile(writeFile(
        "longest.tga",
        tgaFile({.width = TgaImage::maxSide, .height = 2, .bitsPerPixel = 24, .descriptor = 0x20},
                {}))))
        << image.error();
    ASSERT_EQ(image.pixelBytes(), std::size_t{TgaImage::maxSide} * 2 * 3);
    const Bytes pixels = pixelsOf(image);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), static_cast<long>(pixels.size()));

    // A second, smaller read replaces the first image entirely.
    ASSERT_TRUE(image.readFile(
        writeFile("one.tga", tgaFile({.width = 1, .height = 1, .bitsPerPixel = 24}, {7, 8, 9}))));
    EXPECT_EQ(image.width(), 1);
    EXPECT_EQ(pixelsOf(image), (Bytes{9, 8, 7}));
}
