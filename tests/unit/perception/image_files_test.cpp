#include "perception/image_files.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "perception/capture.h"
#include "unit/perception/scratch_dir.h"

namespace kestrava::perception {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// Every pixel different: blue = 10 * x, green = 10 * y, red = 200, padding byte 0x77.
platform::Image Gradient(int w, int h) {
    platform::Image img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = img.Pixel(x, y);
            p[0] = static_cast<std::uint8_t>(10 * x);
            p[1] = static_cast<std::uint8_t>(10 * y);
            p[2] = 200;
            p[3] = 0x77;
        }
    return img;
}

class ImageFilesTest : public ::testing::Test {
protected:
    std::string PathOf(const char* name) const { return dir_.PathOf(name); }

    testing::ScratchDir dir_;
};

TEST_F(ImageFilesTest, BitmapFileLayout) {
    const int w = 3, h = 2;
    ASSERT_TRUE(SaveBitmapFile(Gradient(w, h), PathOf("a.bmp")));
    const std::vector<std::uint8_t> b = ReadAll(PathOf("a.bmp"));
    ASSERT_EQ(b.size(), 54u + 4u * w * h);

    struct Field {
        const char* name;
        std::size_t at;
        int size;
        std::uint32_t value;
    };
    const Field fields[] = {
        {"type BM", 0, 2, 0x4D42},
        {"file size", 2, 4, 54 + 4 * w * h},
        {"reserved 1", 6, 2, 0},
        {"reserved 2", 8, 2, 0},
        {"bits offset", 10, 4, 54},
        {"info size", 14, 4, 40},
        {"width", 18, 4, 3},
        {"height, positive", 22, 4, 2},
        {"planes", 26, 2, 1},
        {"bits per pixel", 28, 2, 32},
        {"uncompressed", 30, 4, 0},
        {"image size field", 34, 4, 0},
        {"x pixels per metre", 38, 4, 0},
        {"y pixels per metre", 42, 4, 0},
        {"colours used", 46, 4, 0},
        {"colours important", 50, 4, 0},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.size == 2 ? U16(b, f.at) : U32(b, f.at), f.value);
    }

    // Bottom-up: the file's first row is the picture's last; blue, green, red, then a zero byte.
    for (int fileRow = 0; fileRow < h; ++fileRow)
        for (int x = 0; x < w; ++x) {
            SCOPED_TRACE("file row " + std::to_string(fileRow) + " x " + std::to_string(x));
            const std::size_t at = 54 + static_cast<std::size_t>(fileRow) * w * 4 + x * 4;
            const int pictureRow = h - 1 - fileRow;
            EXPECT_EQ(b[at], 10 * x);
            EXPECT_EQ(b[at + 1], 10 * pictureRow);
            EXPECT_EQ(b[at + 2], 200);
            EXPECT_EQ(b[at + 3], 0);
        }
}

TEST_F(ImageFilesTest, BitmapRoundTripComparesEqual) {
    const platform::Image original = Gradient(7, 5);
    ASSERT_TRUE(SaveBitmapFile(original, PathOf("lbp.bmp")));
    const std::optional<platform::Image> back = LoadBitmapFile(PathOf("lbp.bmp"));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(BitmapsEqual(&original, &*back));

    platform::Image changed = original;
    changed.Pixel(6, 4)[2] ^= 1;
    EXPECT_FALSE(BitmapsEqual(&changed, &*back));
}

TEST_F(ImageFilesTest, FailuresAreValues) {
    EXPECT_FALSE(SaveBitmapFile(Gradient(2, 2), PathOf("no/such/dir/a.bmp")));
    EXPECT_FALSE(SaveBitmapFile(platform::Image{}, PathOf("empty.bmp")));
    EXPECT_FALSE(fs::exists(PathOf("empty.bmp")));

    EXPECT_FALSE(LoadBitmapFile(PathOf("missing.bmp")).has_value());
    EXPECT_FALSE(LoadReferenceImage(PathOf("missing.bmp")).has_value());
    std::ofstream(PathOf("junk.bmp")) << "BM this is not a picture";
    EXPECT_FALSE(LoadBitmapFile(PathOf("junk.bmp")).has_value());
    EXPECT_FALSE(LoadReferenceImage(PathOf("junk.bmp")).has_value());
    // A header that promises more rows than the file holds.
    std::vector<std::uint8_t> truncated = [&] {
        EXPECT_TRUE(SaveBitmapFile(Gradient(40, 40), PathOf("full.bmp")));
        std::vector<std::uint8_t> b = ReadAll(PathOf("full.bmp"));
        b.resize(100);
        return b;
    }();
    std::ofstream(PathOf("cut.bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(truncated.data()), static_cast<std::streamsize>(truncated.size()));
    EXPECT_FALSE(LoadReferenceImage(PathOf("cut.bmp")).has_value());
    EXPECT_FALSE(LoadBitmapFile(PathOf("cut.bmp")).has_value());
    // A header that claims billions of pixels each way, in a file of a few kilobytes.
    std::vector<std::uint8_t> huge = ReadAll(PathOf("full.bmp"));
    for (const std::size_t at : {18u, 22u}) {
        huge[at] = huge[at + 1] = huge[at + 2] = 0xFF;
        huge[at + 3] = 0x7F;
    }
    std::ofstream(PathOf("huge.bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(huge.data()), static_cast<std::streamsize>(huge.size()));
    EXPECT_FALSE(LoadReferenceImage(PathOf("huge.bmp")).has_value());
    EXPECT_FALSE(LoadBitmapFile(PathOf("huge.bmp")).has_value());
}

TEST_F(ImageFilesTest, ReferencePictureIsBgrWithAlignedStride) {
    // Width 5: 15 bytes of pixels per row, padded to 16.
    const platform::Image original = Gradient(5, 3);
    ASSERT_TRUE(SaveBitmapFile(original, PathOf("icon.bmp")));
    const std::optional<Bgr24Image> ref = LoadReferenceImage(PathOf("icon.bmp"));
    ASSERT_TRUE(ref.has_value());
    EXPECT_EQ(ref->width, 5);
    EXPECT_EQ(ref->height, 3);
    EXPECT_EQ(ref->stride, 16);
    const Bgr24Image locked = LockAs24(original);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint8_t* a = ref->bytes.data() + y * ref->stride + x * 3;
            const std::uint8_t* b = locked.bytes.data() + y * locked.stride + x * 3;
            EXPECT_EQ(std::vector<int>(a, a + 3), std::vector<int>(b, b + 3)) << "pixel " << x << "," << y;
        }
}

TEST_F(ImageFilesTest, ReferencePictureFromPng) {
    // The same gradient as a PNG in red-green-blue order, as picture editors write it.
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            rgb.insert(rgb.end(), {200, static_cast<std::uint8_t>(10 * y), static_cast<std::uint8_t>(10 * x)});
    ASSERT_NE(stbi_write_png(PathOf("icon.png").c_str(), 5, 3, 3, rgb.data(), 5 * 3), 0);
    const std::optional<Bgr24Image> ref = LoadReferenceImage(PathOf("icon.png"));
    ASSERT_TRUE(ref.has_value());
    EXPECT_EQ(ref->stride, 16);
    const Bgr24Image expected = LockAs24(Gradient(5, 3));
    for (int y = 0; y < 3; ++y)
        EXPECT_TRUE(std::equal(ref->bytes.begin() + y * 16, ref->bytes.begin() + y * 16 + 15,
                               expected.bytes.begin() + y * expected.stride))
            << "row " << y;

    // Broken PNGs are refused before the decoder sizes anything from them: a chunk that claims
    // more bytes than the file has, and a file cut before its end chunk.
    const std::vector<std::uint8_t> png = ReadAll(PathOf("icon.png"));
    auto refused = [&](std::vector<std::uint8_t> bytes, const char* why) {
        std::ofstream(PathOf("bad.png"), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_FALSE(LoadReferenceImage(PathOf("bad.png")).has_value()) << why;
        EXPECT_FALSE(LoadBitmapFile(PathOf("bad.png")).has_value()) << why;
    };
    std::vector<std::uint8_t> longChunk = png;
    longChunk[33] = 0x28;  // the first chunk after the header (IDAT): 0x28xxxxxx bytes, 670 MB
    refused(longChunk, "chunk longer than the file");
    refused(std::vector<std::uint8_t>(png.begin(), png.end() - 12), "no end chunk");
    // Only BMP and PNG are pictures here, though the decoder knows more kinds.
    refused({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ',', 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 'D', 1, 0, ';'},
            "a GIF");
}

TEST_F(ImageFilesTest, JpegIsWrittenOrReported) {
    EXPECT_EQ(SaveJpeg(Gradient(64, 48), PathOf("shot.jpg")), JpegStatus::Ok);
    const std::vector<std::uint8_t> b = ReadAll(PathOf("shot.jpg"));
    ASSERT_GE(b.size(), 4u);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xD8);
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b[b.size() - 1], 0xD9);
    // Quality 20 scales the standard luminance table by 5000 / 20 %: its first entry, 16, becomes 40.
    std::size_t dqt = 2;
    while (dqt + 5 < b.size() && !(b[dqt] == 0xFF && b[dqt + 1] == 0xDB)) ++dqt;
    ASSERT_LT(dqt + 5, b.size());
    EXPECT_EQ(b[dqt + 5], 40);

    EXPECT_EQ(SaveJpeg(Gradient(8, 8), PathOf("no/such/dir/shot.jpg")), JpegStatus::WriteFailed);
    EXPECT_EQ(SaveJpeg(platform::Image{}, PathOf("empty.jpg")), JpegStatus::EmptyPicture);
    EXPECT_FALSE(fs::exists(PathOf("empty.jpg")));
}

}  // namespace
}  // namespace kestrava::perception
