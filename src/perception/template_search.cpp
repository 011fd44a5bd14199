#include "perception/template_search.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace kestrava::perception {

namespace {

bool Usable(const Bgr24View& v) { return v.width > 0 && v.height > 0 && v.data != nullptr && v.stride >= v.width * 3; }

// Byte offsets of the template's pixels in the order they are compared. The result does not depend
// on the order (every pixel must match), the speed does: the pixels least like the template's
// corner come first, because the corner of an icon is usually the page's own background and
// matches almost everywhere, while the icon's own colours are rare on the page.
struct ProbeOrder {
    std::vector<std::size_t> image;  // offset from the candidate position in the image
    std::vector<std::size_t> templ;  // offset in the template
};

ProbeOrder MakeProbeOrder(const Bgr24View& image, const Bgr24View& templ) {
    struct Probe {
        int distance;
        int r;
        int c;
    };
    std::vector<Probe> probes;
    probes.reserve(static_cast<std::size_t>(templ.width) * templ.height);
    const std::uint8_t* corner = templ.data;
    for (int r = 0; r < templ.height; ++r)
        for (int c = 0; c < templ.width; ++c) {
            const std::uint8_t* p = templ.data + static_cast<std::size_t>(r) * templ.stride + c * 3;
            int d = 0;
            for (int k = 0; k < 3; ++k) d = std::max(d, std::abs(int{p[k]} - int{corner[k]}));
            probes.push_back(Probe{d, r, c});
        }
    std::stable_sort(probes.begin(), probes.end(),
                     [](const Probe& a, const Probe& b) { return a.distance > b.distance; });
    ProbeOrder order;
    order.image.reserve(probes.size());
    order.templ.reserve(probes.size());
    for (const Probe& p : probes) {
        order.image.push_back(static_cast<std::size_t>(p.r) * image.stride + static_cast<std::size_t>(p.c) * 3);
        order.templ.push_back(static_cast<std::size_t>(p.r) * templ.stride + static_cast<std::size_t>(p.c) * 3);
    }
    return order;
}

bool Close(const std::uint8_t* a, const std::uint8_t* b) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(int{a[k]} - int{b[k]}) > kTemplateTolerance) return false;
    return true;
}

// Stops at the first pixel out of tolerance.
bool MatchesAt(const std::uint8_t* at, const Bgr24View& templ, const ProbeOrder& order) {
    for (std::size_t i = 0; i < order.image.size(); ++i)
        if (!Close(at + order.image[i], templ.data + order.templ[i])) return false;
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
    if (nx <= 0 || ny <= 0) return std::nullopt;
    const ProbeOrder order = MakeProbeOrder(image, templ);
    for (int y = 0; y < ny; ++y) {
        const std::uint8_t* row = image.data + static_cast<std::size_t>(y) * image.stride;
        for (int x = 0; x < nx; ++x) {
            if (MatchesAt(row + static_cast<std::size_t>(x) * 3, templ, order)) return Point{x, y};
        }
    }
    return std::nullopt;
}

}  // namespace kestrava::perception
