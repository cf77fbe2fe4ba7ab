#include "render/Bitmap.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <random>

namespace {

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

struct Header {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t offset = 54;
    uint32_t headerSize = 40;
};

// A bitmap file: the header, zeros up to the data offset, then the pixel bytes as given.
std::vector<uint8_t> bitmapFile(const Header& h, const std::vector<uint8_t>& pixelData) {
    std::vector<uint8_t> bytes(std::max<size_t>(54, h.offset), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putU32(bytes, 10, h.offset);
    putU32(bytes, 14, h.headerSize);
    putU32(bytes, 18, static_cast<uint32_t>(h.width));
    putU32(bytes, 22, static_cast<uint32_t>(h.height));
    bytes[26] = 1;
    bytes[28] = static_cast<uint8_t>(h.bitCount);
    putU32(bytes, 30, h.compression);
    putU32(bytes, 34, h.imageSize);
    bytes.insert(bytes.end(), pixelData.begin(), pixelData.end());
    putU32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    return bytes;
}

class Bitmaps : public ::testing::Test {
protected:
    void SetUp() override { resetProblems(); }

    int decode(const std::vector<uint8_t>& bytes) {
        image = DecodedBitmap{};
        return decodeBitmapBytes(bytes.data(), bytes.size(), "pic", image);
    }

    DecodedBitmap image;
    LogCapture log;
};

TEST_F(Bitmaps, TheEngineLayoutTurnsBlueGreenRedIntoRedGreenBlueInFileRowOrder) {
    // 2 x 2, rows of 6 bytes need no padding; row 0 of the file is the bottom row.
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(decode(bitmapFile({.width = 2, .height = 2, .imageSize = 12}, data)), 0);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(Bitmaps, EncodedImagesReadBackAsGiven) {
    const std::vector<uint8_t> rgb = makeNumberedImage(3, 5);
    ASSERT_EQ(decode(encodeBitmap(rgb, 3, 5)), 0);
    EXPECT_EQ(image.pixels, rgb);
}

TEST_F(Bitmaps, FilesThatAreNoBitmapsAreRefused) {
    std::vector<uint8_t> file = encodeBitmap(makeNumberedImage(2, 1), 2, 1);
    file[1] = 'A';
    EXPECT_EQ(decode(file), -1);
    EXPECT_EQ(decode({'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), -1);
    EXPECT_EQ(decodeBitmapBytes(nullptr, 0, "pic", image), -1);
    EXPECT_EQ(log.count("bitmap pic: not a bitmap file"), 3);
    // 14 to 53 bytes hold no complete header: width and height would lie beyond the file.
    file = encodeBitmap(makeNumberedImage(2, 1), 2, 1);
    file.resize(30);
    EXPECT_EQ(decode(file), -1);
    EXPECT_TRUE(log.contains("bitmap pic: header cut short (30 bytes)"));
    EXPECT_EQ(problemsNoted().size(), 4u);
}

TEST_F(Bitmaps, AnImageSizeOfZeroIsImpliedByWidthAndHeight) {
    // Rows of 12 bytes need no padding: the same picture as with the field filled in.
    const std::vector<uint8_t> data = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                       13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    ASSERT_EQ(decode(bitmapFile({.width = 4, .height = 2, .imageSize = 24}, data)), 0);
    const DecodedBitmap sized = image;
    ASSERT_EQ(decode(bitmapFile({.width = 4, .height = 2, .imageSize = 0}, data)), 0);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.width, 4u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.pixels, sized.pixels);

    // Rows of 6 bytes are padded to 8, as the format has them.
    ASSERT_EQ(decode(bitmapFile({.width = 2, .height = 2, .imageSize = 0},
                                {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0})),
              0);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(problemsNoted().empty());
}

TEST_F(Bitmaps, AnImageSizeLargerThanTheFileIsRefused) {
    EXPECT_EQ(decode(bitmapFile({.width = 4, .height = 1, .imageSize = 600}, std::vector<uint8_t>(12))), -1);
    EXPECT_TRUE(
        log.contains("bitmap pic: image-size field says 600 bytes, the file holds 12 after the header"));
}

TEST_F(Bitmaps, NoPixelsAtAllIsRefused) {
    EXPECT_EQ(decode(bitmapFile({.width = 0, .height = 4, .imageSize = 12}, std::vector<uint8_t>(12))), -1);
    EXPECT_EQ(decode(bitmapFile({.width = 4, .height = 0, .imageSize = 12}, std::vector<uint8_t>(12))), -1);
    EXPECT_EQ(decode(bitmapFile({.width = -4, .height = 1, .imageSize = 12}, std::vector<uint8_t>(12))), -1);
    EXPECT_TRUE(log.contains("bitmap pic: width x height is 0 (0 x 4)"));
    EXPECT_TRUE(log.contains("bitmap pic: width x height is 0 (4 x 0)"));
}

TEST_F(Bitmaps, PaddedRowsAreReadWithoutThePadding) {
    // 1 pixel per row: 3 bytes and one byte of padding, as every common writer saves it.
    const std::vector<uint8_t> data{1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
    ASSERT_EQ(decode(bitmapFile({.width = 1, .height = 2, .imageSize = 8}, data)), 0);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    // The engine's own unpadded layout of the same picture says so by its image size.
    ASSERT_EQ(decode(bitmapFile({.width = 1, .height = 2, .imageSize = 6}, {1, 2, 3, 4, 5, 6})), 0);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    // Padded rows that do not fit are refused, not read past the end.
    EXPECT_EQ(decode(bitmapFile({.width = 1, .height = 2, .imageSize = 8}, {1, 2, 3, 0, 4, 5})), -1);
}

TEST_F(Bitmaps, ThirtyTwoBitPixelsDropTheirFourthByte) {
    const std::vector<uint8_t> data{1, 2, 3, 0xFF, 4, 5, 6, 0xFF};
    ASSERT_EQ(decode(bitmapFile({.width = 2, .height = 1, .bitCount = 32, .imageSize = 8}, data)), 0);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));

    // Bit fields in the usual order decode the same; any other order is refused.
    std::vector<uint8_t> masks(12);
    putU32(masks, 0, 0x00FF0000);
    putU32(masks, 4, 0x0000FF00);
    putU32(masks, 8, 0x000000FF);
    std::vector<uint8_t> withMasks = masks;
    withMasks.insert(withMasks.end(), data.begin(), data.end());
    std::vector<uint8_t> file =
        bitmapFile({.width = 2, .height = 1, .bitCount = 32, .compression = 3}, withMasks);
    putU32(file, 10, 66);
    ASSERT_EQ(decode(file), 0);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    putU32(file, 54, 0x000000FF);
    putU32(file, 62, 0x00FF0000);
    EXPECT_EQ(decode(file), -1);
    EXPECT_TRUE(log.contains(
        "bitmap pic: 32-bit bitmap with unusual colour masks is not supported; save it as 24-bit"));
}

TEST_F(Bitmaps, TopDownFilesComeOutBottomRowFirst) {
    // Rows as stored, each padded to 8 bytes: top row (1..6), bottom row (7..12).
    const std::vector<uint8_t> data{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    ASSERT_EQ(decode(bitmapFile({.width = 2, .height = -2, .imageSize = 16}, data)), 0);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

TEST_F(Bitmaps, PixelDataElsewhereIsFoundThroughTheDataOffset) {
    // A palette nobody asked for, then the pixels.
    const std::vector<uint8_t> data{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA,
                                    0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 1,    2,    3,    4,    5,    6};
    ASSERT_EQ(decode(bitmapFile({.width = 2, .height = 1, .imageSize = 6}, data)), 0);
    EXPECT_EQ(image.pixels[0], 0xAA); // at byte 54 as the engine's layout says
    std::vector<uint8_t> file =
        bitmapFile({.width = 2, .height = 1, .imageSize = 8, .offset = 70}, {1, 2, 3, 4, 5, 6, 0, 0});
    ASSERT_EQ(decode(file), 0);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    putU32(file, 10, 4000);
    EXPECT_EQ(decode(file), -1);
}

TEST_F(Bitmaps, OtherLayoutsAreRefusedWithALine) {
    EXPECT_EQ(decode(bitmapFile({.width = 4, .height = 1, .bitCount = 8, .imageSize = 4}, {0, 1, 2, 3})), -1);
    EXPECT_TRUE(
        log.contains("bitmap pic: 8-bit bitmaps with compression 0 are not supported; save it as 24-bit"));
    EXPECT_EQ(decode(bitmapFile({.width = 2, .height = 1, .compression = 1, .imageSize = 6},
                                std::vector<uint8_t>(6))),
              -1);
    EXPECT_EQ(decode(bitmapFile({.width = 2, .height = 1, .imageSize = 6, .headerSize = 12},
                                std::vector<uint8_t>(6))),
              -1);
    EXPECT_TRUE(
        log.contains("bitmap pic: OS/2 bitmaps are not supported; save it as a Windows 24-bit bitmap"));
}

TEST_F(Bitmaps, RandomHeadersNeverReadOutsideTheFile) {
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        Header h;
        h.width = static_cast<int32_t>(random() % 8) - 1;
        h.height = static_cast<int32_t>(random() % 9) - 4;
        h.bitCount = std::array<uint16_t, 4>{24, 32, 8, 16}[random() % 4];
        h.compression = random() % 4;
        h.imageSize = random() % 4 == 0 ? random() : random() % 120;
        h.offset = random() % 3 == 0 ? random() % 200 : 54;
        std::vector<uint8_t> data(random() % 100);
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(random());
        std::vector<uint8_t> file = bitmapFile(h, data);
        file.resize(file.size() - random() % std::min<size_t>(file.size(), 60));
        std::vector<uint8_t> exact(file.begin(), file.end()); // no slack for the sanitizer to miss
        decode(exact);
        if (image.channels == 3) {
            EXPECT_GE(image.pixels.size(), size_t{image.width} * image.height * 3);
        }
    }
}

} // namespace
