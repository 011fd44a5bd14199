#include "perception/template_search.h"

#include <cstdlib>

namespace kestrava::perception {

namespace {

bool Usable(const Bgr24View& v) {
    return v.width > 0 && v.height > 0 && v.data != nullptr && v.stride >= v.width * 3;
}

bool MatchesAt(const Bgr24View& image, const Bgr24View& templ, int x, int y) {
    const int rowBytes = templ.width * 3;
    for (int r = 0; r < templ.height; ++r) {
        const std::uint8_t* ip = image.data + static_cast<std::size_t>(y + r) * image.stride + x * 3;
        const std::uint8_t* tp = templ.data + static_cast<std::size_t>(r) * templ.stride;
        // Stops at the first channel out of tolerance: on a page where the icon's colours are
        // rare almost every position fails on its first byte.
        for (int k = 0; k < rowBytes; ++k) {
            if (std::abs(static_cast<int>(ip[k]) - static_cast<int>(tp[k])) > kTemplateTolerance) return false;
        }
    }
    return true;
}

}  // namespace

Bgr24Image::Bgr24Image(int w, int h)
    : width(w), height(h), stride(((w * 3) + 3) & ~3), bytes(static_cast<std::size_t>(stride) * h, 0) {}

Bgr24Image LockAs24(const platform::Image& image) {
    if (image.Empty()) return Bgr24Image{};
    Bgr24Image out(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.Pixel(0, y);
        std::uint8_t* dst = out.Pixel(0, y);
        for (int x = 0; x < image.width; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    return out;
}

std::optional<Point> FindTemplate(const Bgr24View& image, const Bgr24View& templ) {
    if (!Usable(image) || !Usable(templ)) return std::nullopt;
    const int nx = image.width - templ.width + 1;
    const int ny = image.height - templ.height + 1;
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            if (MatchesAt(image, templ, x, y)) return Point{x, y};
        }
    }
    return std::nullopt;
}

}  // namespace kestrava::perception
