// Picture files: the BMP the change tracker keeps between ticks, the reference pictures of the
// page's icons (BMP or PNG), and the JPEG screenshots uploaded after the auction.
#pragma once

#include <optional>
#include <string>

#include "perception/template_search.h"
#include "platform/platform.h"

namespace kestrava::perception {

// Writes a standard uncompressed 32-bit bitmap file: a 14-byte file header, a 40-byte info header
// with a positive height (rows bottom-up), then the bits from offset 54, for a file of
// 54 + 4 * width * height bytes. False when the picture is empty or the file cannot be written
// (a half-written file is removed).
bool SaveBitmapFile(const platform::Image& bitmap, const std::string& path);

// Reads a bitmap file (any depth the file may have) as a 32-bit picture. None when the file is
// missing or not a picture.
std::optional<platform::Image> LoadBitmapFile(const std::string& path);

// Reads a reference picture (BMP or PNG) as 24-bit blue-green-red rows with a four-byte aligned
// stride, the form the template search takes. None when missing or unreadable.
std::optional<Bgr24Image> LoadReferenceImage(const std::string& path);

enum class JpegStatus { Ok = 0, EmptyPicture = 1, EncodeFailed = 2, WriteFailed = 3 };

// Saves the picture as a JPEG of quality 20. A failure is printed to the debug console as
// "<status> Attempt to save <path> failed." and returned; nothing is retried.
JpegStatus SaveJpeg(const platform::Image& bitmap, const std::string& path);

}  // namespace kestrava::perception
