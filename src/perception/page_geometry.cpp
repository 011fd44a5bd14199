#include "perception/page_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/profile.h"
#include "log/log_book.h"

namespace kestrava::perception {

namespace {

using G = PageGeometry;

std::vector<GeometryKey> BuildKeys() {
    std::vector<GeometryKey> keys;
    const auto plain = [&](const char* name, int G::*field) { keys.push_back(GeometryKey{name, field, 0, false}); };
    plain("lvwf_x", &G::lvwf_x);
    plain("lvwf_y", &G::lvwf_y);
    plain("C_P2_LEFTPRICE_X", &G::C_P2_LEFTPRICE_X);
    plain("C_P2_LEFTPRICE_Y", &G::C_P2_LEFTPRICE_Y);
    plain("C_P2_LEFTPRICE_W", &G::C_P2_LEFTPRICE_W);
    plain("C_P2_LEFTPRICE_H", &G::C_P2_LEFTPRICE_H);
    plain("C_P2_IMGCODE_IN_X", &G::C_P2_IMGCODE_IN_X);
    plain("C_P2_IMGCODE_IN_Y", &G::C_P2_IMGCODE_IN_Y);
    plain("plusinput_picPot_x", &G::plusinput_picPot_x);
    plain("plusinput_picPot_y", &G::plusinput_picPot_y);
    plain("plusbutton_picPot_x", &G::plusbutton_picPot_x);
    plain("plusbutton_picPot_y", &G::plusbutton_picPot_y);
    plain("bidbutton_picPot_x", &G::bidbutton_picPot_x);
    plain("bidbutton_picPot_y", &G::bidbutton_picPot_y);
    plain("bidinput_picPot_x", &G::bidinput_picPot_x);
    plain("bidinput_picPot_y", &G::bidinput_picPot_y);
    for (int i = 0; i < static_cast<int>(G{}.vk_ret_code_enter.size()); ++i) {
        const std::string n = std::to_string(i + 1);
        keys.push_back(GeometryKey{"vk_ret_code_enterx_" + n, nullptr, i, true});
        keys.push_back(GeometryKey{"vk_ret_code_entery_" + n, nullptr, i, false});
    }
    plain("vk_ret_info_enterx", &G::vk_ret_info_enterx);
    plain("vk_ret_info_entery", &G::vk_ret_info_entery);
    plain("vk_esc_x", &G::vk_esc_x);
    plain("vk_esc_y", &G::vk_esc_y);
    plain("vk_esc_x2", &G::vk_esc_x2);
    plain("vk_esc_y2", &G::vk_esc_y2);
    plain("vk_esc_x3", &G::vk_esc_x3);
    plain("vk_esc_y3", &G::vk_esc_y3);
    plain("youdoufugan_left", &G::youdoufugan_left);
    plain("youdoufugan_top", &G::youdoufugan_top);
    plain("youdoufugan_width", &G::youdoufugan_width);
    plain("youdoufugan_height", &G::youdoufugan_height);
    plain("tooltip1_x", &G::tooltip1_x);
    plain("tooltip1_y", &G::tooltip1_y);
    plain("tooltip2_x", &G::tooltip2_x);
    plain("tooltip2_y", &G::tooltip2_y);
    plain("tooltip4_x", &G::tooltip4_x);
    plain("tooltip4_y", &G::tooltip4_y);
    plain("lastone_picPot_x", &G::lastone_picPot_x);
    plain("lastone_picPot_y", &G::lastone_picPot_y);
    plain("lastone_picPot_w", &G::lastone_picPot_w);
    plain("lastone_picPot_h", &G::lastone_picPot_h);
    plain("bidcount_left", &G::bidcount_left);
    plain("bitcount_top", &G::bitcount_top);
    plain("bidcount_width", &G::bidcount_width);
    plain("bitcount_height", &G::bitcount_height);
    plain("ocr_systime_left", &G::ocr_systime_left);
    plain("ocr_systime_top", &G::ocr_systime_top);
    plain("ocr_systime_width", &G::ocr_systime_width);
    plain("ocr_systime_height", &G::ocr_systime_height);
    plain("zise_left", &G::zise_left);
    plain("zise_top", &G::zise_top);
    plain("zise_width", &G::zise_width);
    plain("zise_height", &G::zise_height);
    plain("zuodoufugan_left", &G::zuodoufugan_left);
    plain("zuodoufugan_top", &G::zuodoufugan_top);
    plain("zuodoufugan_width", &G::zuodoufugan_width);
    plain("zuodoufugan_height", &G::zuodoufugan_height);
    plain("quearea_left", &G::quearea_left);
    plain("quearea_top", &G::quearea_top);
    plain("quearea_width", &G::quearea_width);
    plain("quearea_height", &G::quearea_height);
    plain("chuarea_left", &G::chuarea_left);
    plain("chuarea_top", &G::chuarea_top);
    plain("chuarea_width", &G::chuarea_width);
    plain("chuarea_height", &G::chuarea_height);
    return keys;
}

struct ScaleRow {
    std::uint32_t dpi;
    float scale;
};
constexpr ScaleRow kScales[] = {{96, 1.0f},  {120, 1.25f}, {144, 1.5f}, {168, 1.75f},
                                {192, 2.0f}, {216, 2.25f}, {240, 2.5f}};

// The two strings are kept up to 99 characters, the version up to 9 (their buffers' sizes).
constexpr std::size_t kTextBuffer = 100;
constexpr std::size_t kVersionBuffer = 10;

}  // namespace

void PageGeometry::SyncPotPoints() {
    lastone_picPot = Point{lastone_picPot_x, lastone_picPot_y};
    bidinput_picPot = Point{bidinput_picPot_x, bidinput_picPot_y};
    plusinput_picPot = Point{plusinput_picPot_x, plusinput_picPot_y};
    bidbutton_picPot = Point{bidbutton_picPot_x, bidbutton_picPot_y};
    plusbutton_picPot = Point{plusbutton_picPot_x, plusbutton_picPot_y};
}

const std::vector<GeometryKey>& GeometryKeys() {
    static const std::vector<GeometryKey> keys = BuildKeys();
    return keys;
}

int& GeometryField(PageGeometry& g, const GeometryKey& key) {
    if (key.field != nullptr) return g.*(key.field);
    Point& p = g.vk_ret_code_enter[static_cast<std::size_t>(key.confirmIndex)];
    return key.confirmX ? p.x : p.y;
}

float DisplayScaleFromDpi(std::optional<std::uint32_t> appliedDpi) {
    if (!appliedDpi) return 1.0f;
    for (const ScaleRow& row : kScales)
        if (row.dpi == *appliedDpi) return row.scale;
    return 1.0f;
}

float ReadDisplayScale(platform::Registry& registry) {
    const std::optional<std::uint32_t> dpi = registry.ReadDword("AppliedDPI");
    const std::uint32_t shown = dpi.value_or(0);
    log::DebugPrintf("%x, %d\n", shown, static_cast<int>(shown));
    return DisplayScaleFromDpi(dpi);
}

int TruncateToInt(float value) {
    // 2^31 is exactly representable as a float; anything at or beyond it would not convert.
    if (!(value < 2147483648.0f)) return value > 0 ? std::numeric_limits<int>::max() : 0;
    if (value < -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

int ScaleOffset(int value, float scale) { return TruncateToInt(static_cast<float>(value) * scale); }

PageGeometry ReadPageGeometry(const std::string& path) {
    PageGeometry g;
    for (const GeometryKey& key : GeometryKeys())
        GeometryField(g, key) = config::ReadProfileInt(kGeometrySection, key.name, 0, path);
    g.cr_que = config::ReadProfileString(kGeometrySection, "cr_que", "0", kTextBuffer, path);
    g.cr_chu = config::ReadProfileString(kGeometrySection, "cr_chu", "0", kTextBuffer, path);
    g.version = config::ReadProfileString(kGeometrySection, "version", "8.2", kVersionBuffer, path);
    g.SyncPotPoints();
    return g;
}

PageGeometry ScalePageGeometry(const PageGeometry& raw, float scale) {
    PageGeometry g = raw;
    for (const GeometryKey& key : GeometryKeys()) {
        int& field = GeometryField(g, key);
        field = ScaleOffset(field, scale);
    }
    g.SyncPotPoints();
    return g;
}

PageGeometry InitialPageGeometry(const std::string& path) {
    PageGeometry g;
    g.lvwf_x = config::ReadProfileInt(kGeometrySection, "lvwf_x", 0, path);
    g.lvwf_y = config::ReadProfileInt(kGeometrySection, "lvwf_y", 0, path);
    return g;
}

Point AnchoredPoint(const PageGeometry& g, const platform::Rect& viewRect, int dx, int dy) {
    return Point{SaturatingSum({viewRect.left, g.lvwf_x, dx}), SaturatingSum({viewRect.top, g.lvwf_y, dy})};
}

Point ViewPoint(const platform::Rect& viewRect, int x, int y) {
    return Point{SaturatingSum({viewRect.left, x}), SaturatingSum({viewRect.top, y})};
}

platform::Rect PriceRect(const PageGeometry& g) {
    const int left = SaturatingSum({g.lvwf_x, g.C_P2_LEFTPRICE_X});
    const int top = SaturatingSum({g.lvwf_y, g.C_P2_LEFTPRICE_Y});
    return platform::Rect{left, top, SaturatingSum({left, g.C_P2_LEFTPRICE_W}),
                          SaturatingSum({top, g.C_P2_LEFTPRICE_H})};
}

int SaturatingSum(std::initializer_list<int> terms) {
    long long sum = 0;
    for (int t : terms) sum += t;
    return static_cast<int>(
        std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

GeometryStore::GeometryStore() : current_(std::make_shared<const PageGeometry>()) {}

std::shared_ptr<const PageGeometry> GeometryStore::Get() const { return current_.load(); }

void GeometryStore::Publish(PageGeometry g) { current_.store(std::make_shared<const PageGeometry>(std::move(g))); }

void GeometryStore::Update(const std::function<void(PageGeometry&)>& change) {
    std::shared_ptr<const PageGeometry> seen = current_.load();
    for (;;) {
        PageGeometry next = *seen;
        change(next);
        auto replacement = std::make_shared<const PageGeometry>(std::move(next));
        if (current_.compare_exchange_weak(seen, replacement)) return;
    }
}

}  // namespace kestrava::perception
