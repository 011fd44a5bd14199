// Finding a small reference picture (the page's network-status icon) in a page capture.
// Both pictures are 24-bit blue-green-red rows addressed through their own strides, the layout a
// reference picture is read into.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "perception/capture.h"
#include "platform/platform.h"

namespace kestrava::perception {

// A read-only look at 24-bit pixels: row r starts at data + r * stride.
struct Bgr24View {
    int width = 0;
    int height = 0;
    int stride = 0;
    const std::uint8_t* data = nullptr;
};

// 24-bit pixels owning their bytes; rows padded to a multiple of four bytes.
struct Bgr24Image {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> bytes;

    Bgr24Image() = default;
    Bgr24Image(int w, int h);
    Bgr24View View() const { return Bgr24View{width, height, stride, bytes.data()}; }
    std::uint8_t* Pixel(int x, int y) { return bytes.data() + static_cast<std::size_t>(y) * stride + x * 3; }
};

// A capture (32-bit) as 24-bit pixels for the search.
Bgr24Image LockAs24(const platform::Image& image);

// Every colour byte may differ from the template's by this much and still match.
inline constexpr int kTemplateTolerance = 40;

// The first position, in raster order (rows top to bottom, each left to right), where every
// pixel of `templ` matches the image within the tolerance. None when the template is empty,
// larger than the image, or found nowhere.
std::optional<Point> FindTemplate(const Bgr24View& image, const Bgr24View& templ);

}  // namespace kestrava::perception
