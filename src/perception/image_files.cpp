#include "perception/image_files.h"

#include <stb/stb_image.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "log/log_book.h"

namespace kestrava::perception {

namespace {

constexpr int kJpegQuality = 20;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
// The largest picture read: a whole 8K display (7680 x 4320) with room to spare. Reference icons
// are a few dozen pixels; the change tracker's bitmaps are parts of the screen.
constexpr int kMaxPictureSide = 16384;
constexpr long long kMaxPicturePixels = 40LL * 1000 * 1000;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Writes all of `bytes` to `path`; a file left half-written is removed so that the next reader
// sees "missing" rather than a torn picture.
bool WriteWholeFile(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    if (written && closed) return true;
    std::remove(path.c_str());
    return false;
}

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) return std::nullopt;
    return bytes;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The picture decoder fills rows missing from a cut-off BMP with black; a reference icon read
// that way could match any dark area of the page. An uncompressed BMP must hold all its rows.
bool TruncatedBitmap(const std::vector<std::uint8_t>& b) {
    if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') return false;
    if (b.size() < 54) return true;
    const std::uint32_t infoSize = Get32(b, 14);
    if (infoSize < 40) return false;  // the old 12-byte header: left to the decoder
    const long long width = static_cast<std::int32_t>(Get32(b, 18));
    const long long height = static_cast<std::int32_t>(Get32(b, 22));
    const long long bits = b[28] | (b[29] << 8);
    const std::uint32_t compression = Get32(b, 30);
    if (compression != 0 && compression != 3) return false;  // run-length data has no fixed size
    const long long rowBytes = (std::llabs(width) * bits + 31) / 32 * 4;
    const long long rows = std::llabs(height);
    // Rows that could not fit in the file even without headers: said without a product that
    // could overflow for a header claiming billions of rows.
    if (rowBytes > 0 && rows > static_cast<long long>(b.size()) / rowBytes) return true;
    const long long needed = static_cast<long long>(Get32(b, 10)) + rowBytes * rows;
    return static_cast<long long>(b.size()) < needed;
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsPng(const std::vector<std::uint8_t>& b) {
    return b.size() >= sizeof kPngSignature && std::equal(std::begin(kPngSignature), std::end(kPngSignature), b.begin());
}

// Every chunk of a PNG file lies inside the file. The decoder sizes its buffer from a chunk's
// length before it reads the chunk, so a file of a few hundred bytes could have it allocate
// gigabytes for data that is not there.
bool PngChunksFit(const std::vector<std::uint8_t>& b) {
    std::size_t at = sizeof kPngSignature;
    while (at + 12 <= b.size()) {
        const std::uint32_t length = static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        if (length > b.size() - at - 12) return false;
        const bool end = b[at + 4] == 'I' && b[at + 5] == 'E' && b[at + 6] == 'N' && b[at + 7] == 'D';
        at += 12 + static_cast<std::size_t>(length);
        if (end) return true;
    }
    return false;  // no IEND: cut off
}

// Decodes a BMP or PNG file into `channels` bytes per pixel (RGB or RGBA order). Files of any
// other kind are refused before the decoder sees them: it would read a dozen more formats.
std::unique_ptr<stbi_uc, StbFree> Decode(const std::string& path, int channels, int& w, int& h) {
    const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
    if (!bytes || bytes->empty() || bytes->size() > static_cast<std::size_t>(INT32_MAX)) return nullptr;
    const bool bmp = bytes->size() >= 2 && (*bytes)[0] == 'B' && (*bytes)[1] == 'M';
    if (bmp ? TruncatedBitmap(*bytes) : !IsPng(*bytes) || !PngChunksFit(*bytes)) return nullptr;
    // The header's size before any pixel is decoded: a file of a few bytes may claim a picture of
    // gigabytes, and the decoder would allocate it before finding the data missing.
    int fileChannels = 0;
    if (!stbi_info_from_memory(bytes->data(), static_cast<int>(bytes->size()), &w, &h, &fileChannels) || w <= 0 ||
        h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide ||
        static_cast<long long>(w) * h > kMaxPicturePixels)
        return nullptr;
    std::unique_ptr<stbi_uc, StbFree> pixels(
        stbi_load_from_memory(bytes->data(), static_cast<int>(bytes->size()), &w, &h, &fileChannels, channels));
    if (!pixels || w <= 0 || h <= 0) return nullptr;
    return pixels;
}

}  // namespace

bool SaveBitmapFile(const platform::Image& bitmap, const std::string& path) {
    if (bitmap.Empty() || bitmap.bgra.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height * 4)
        return false;
    // The display is 32 bits deep, so rows need no padding and there is no colour table.
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(bitmap.width) * 4;
    const std::uint32_t imageSize = rowBytes * static_cast<std::uint32_t>(bitmap.height);
    const std::uint32_t bitsOffset = kFileHeaderSize + kInfoHeaderSize;

    std::vector<std::uint8_t> file;
    file.reserve(bitsOffset + imageSize);
    // BITMAPFILEHEADER
    Put16(file, 0x4D42);  // "BM"
    Put32(file, bitsOffset + imageSize);
    Put16(file, 0);
    Put16(file, 0);
    Put32(file, bitsOffset);
    // BITMAPINFOHEADER: uncompressed; image size, resolution and colour counts left 0.
    Put32(file, kInfoHeaderSize);
    Put32(file, static_cast<std::uint32_t>(bitmap.width));
    Put32(file, static_cast<std::uint32_t>(bitmap.height));  // positive: bottom-up rows
    Put16(file, 1);
    Put16(file, 32);
    for (int i = 0; i < 6; ++i) Put32(file, 0);

    for (int y = bitmap.height - 1; y >= 0; --y) {
        const std::uint8_t* p = bitmap.Pixel(0, y);
        for (int x = 0; x < bitmap.width; ++x, p += 4) {
            file.push_back(p[0]);
            file.push_back(p[1]);
            file.push_back(p[2]);
            file.push_back(0);  // reserved byte of a 32-bit bitmap
        }
    }
    return WriteWholeFile(path, file.data(), file.size());
}

std::optional<platform::Image> LoadBitmapFile(const std::string& path) {
    int w = 0, h = 0;
    const std::unique_ptr<stbi_uc, StbFree> rgba = Decode(path, 4, w, h);
    if (!rgba) return std::nullopt;
    platform::Image image(w, h);
    const stbi_uc* src = rgba.get();
    std::uint8_t* dst = image.bgra.data();
    for (std::size_t i = 0, n = static_cast<std::size_t>(w) * h; i < n; ++i, src += 4, dst += 4) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = 0;
    }
    return image;
}

std::optional<Bgr24Image> LoadReferenceImage(const std::string& path) {
    int w = 0, h = 0;
    const std::unique_ptr<stbi_uc, StbFree> rgb = Decode(path, 3, w, h);
    if (!rgb) return std::nullopt;
    Bgr24Image image(w, h);
    const stbi_uc* src = rgb.get();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = image.Pixel(0, y);
        for (int x = 0; x < w; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return image;
}

JpegStatus SaveJpeg(const platform::Image& bitmap, const std::string& path) {
    JpegStatus status = JpegStatus::Ok;
    if (bitmap.Empty()) {
        status = JpegStatus::EmptyPicture;
    } else {
        tjhandle handle = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long jpegSize = 0;
        if (handle == nullptr || tjCompress2(handle, bitmap.bgra.data(), bitmap.width, bitmap.width * 4, bitmap.height,
                                             TJPF_BGRX, &jpeg, &jpegSize, TJSAMP_420, kJpegQuality, 0) != 0) {
            status = JpegStatus::EncodeFailed;
        } else {
            if (!WriteWholeFile(path, jpeg, jpegSize)) status = JpegStatus::WriteFailed;
        }
        if (jpeg != nullptr) tjFree(jpeg);
        if (handle != nullptr) tjDestroy(handle);
    }
    if (status != JpegStatus::Ok)
        log::DebugPrintf("%d Attempt to save %s failed.\n", static_cast<int>(status), path.c_str());
    return status;
}

}  // namespace kestrava::perception
