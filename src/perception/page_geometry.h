// Where things are on the page: the display scale, the page anchor (the top-left corner of the
// page's network-status icon) and the offsets of the geometry file, scaled to the display.
//
// A geometry is published whole: calibration builds a new record and swaps it in, so a tick on
// another thread sees either the old record or the new one, never a mixture.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "perception/capture.h"
#include "shell/page_geometry.h"
#include "platform/platform.h"

namespace kestrava::perception {

inline constexpr char kGeometryFile[] = ".//bin//coordinatebaseline.ini";
inline constexpr char kGeometrySection[] = "Position";

// One field per key of the geometry file, named after the key. Offsets are relative to the anchor
// (lvwf_x, lvwf_y), except the hint-balloon positions (tooltip*), which are relative to the page
// view's top-left corner. The points the click primitives act on live in the page shell's part of
// the record (the base), so the shell link takes its slice of a calibrated geometry as it is; the
// 27 confirm points vk_ret_code_enterx_N / _entery_N are vk_ret_code_enter[N - 1].
struct PageGeometry : shell::PageGeometry {
    int C_P2_LEFTPRICE_X = 0, C_P2_LEFTPRICE_Y = 0, C_P2_LEFTPRICE_W = 0, C_P2_LEFTPRICE_H = 0;
    int youdoufugan_left = 0, youdoufugan_top = 0, youdoufugan_width = 0, youdoufugan_height = 0;
    int tooltip1_x = 0, tooltip1_y = 0, tooltip2_x = 0, tooltip2_y = 0, tooltip4_x = 0, tooltip4_y = 0;
    int lastone_picPot_w = 0, lastone_picPot_h = 0;
    int bidcount_left = 0, bitcount_top = 0, bidcount_width = 0, bitcount_height = 0;
    int ocr_systime_left = 0, ocr_systime_top = 0, ocr_systime_width = 0, ocr_systime_height = 0;
    int zise_left = 0, zise_top = 0, zise_width = 0, zise_height = 0;
    int zuodoufugan_left = 0, zuodoufugan_top = 0, zuodoufugan_width = 0, zuodoufugan_height = 0;
    int quearea_left = 0, quearea_top = 0, quearea_width = 0, quearea_height = 0;
    int chuarea_left = 0, chuarea_top = 0, chuarea_width = 0, chuarea_height = 0;
    std::string cr_que = "0";
    std::string cr_chu = "0";
    std::string version = "8.2";

    // The five pairs their readers take as points; refreshed from the fields by
    // ScalePageGeometry (and by SyncPotPoints after any other change).
    Point lastone_picPot, bidinput_picPot, plusinput_picPot, bidbutton_picPot, plusbutton_picPot;

    void SyncPotPoints();
};

// The integer keys of the geometry file in file order, with their fields (tests and the scaling
// walk the same list).
struct GeometryKey {
    std::string name;
    int PageGeometry::*field = nullptr;  // a plain key; null for a confirm point's coordinate:
    int confirmIndex = 0;                // vk_ret_code_enter[confirmIndex]
    bool confirmX = false;               // .x, else .y
};
const std::vector<GeometryKey>& GeometryKeys();
int& GeometryField(PageGeometry& g, const GeometryKey& key);

// The display scale for an AppliedDPI value: 96 → 1.0, 120 → 1.25 … 240 → 2.5; any other value,
// or none, 1.0.
float DisplayScaleFromDpi(std::optional<std::uint32_t> appliedDpi);
// Reads AppliedDPI and prints it to the debug console ("%x, %d\n", 0 when absent).
float ReadDisplayScale(platform::Registry& registry);

// Truncation toward zero, saturating at the int limits (0 for a NaN).
int TruncateToInt(float value);
// value × scale as a single-precision product truncated toward zero (101 × 1.25 = 126,
// −3 × 1.5 = −4); saturates at the int limits instead of overflowing.
int ScaleOffset(int value, float scale);

// Every key of `path` (section Position) as stored, unscaled; defaults for anything missing.
PageGeometry ReadPageGeometry(const std::string& path = kGeometryFile);
// Every integer field (the anchor included) scaled, and the five points refreshed.
PageGeometry ScalePageGeometry(const PageGeometry& raw, float scale);
// The geometry before the first calibration: only the anchor, unscaled, from the file.
PageGeometry InitialPageGeometry(const std::string& path = kGeometryFile);

// Sum of coordinates clamped to the int range (a corrupt geometry value must not wrap around).
int SaturatingSum(std::initializer_list<int> terms);

// A screen point the console acts on: page view's origin + anchor + (dx, dy).
Point AnchoredPoint(const PageGeometry& g, const platform::Rect& viewRect, int dx, int dy);
// A hint-balloon position: page view's origin + (x, y), without the anchor.
Point ViewPoint(const platform::Rect& viewRect, int x, int y);
// The lowest-price figure, in page-view coordinates.
platform::Rect PriceRect(const PageGeometry& g);

// The published geometry. Readers take a snapshot and keep using it for the whole of their work;
// writers publish a complete new record.
class GeometryStore {
public:
    GeometryStore();
    std::shared_ptr<const PageGeometry> Get() const;
    void Publish(PageGeometry g);
    // Applies `change` to a copy of the current record and publishes it; retried if another
    // writer published meanwhile, so no change is lost.
    void Update(const std::function<void(PageGeometry&)>& change);

private:
    std::atomic<std::shared_ptr<const PageGeometry>> current_;
};

}  // namespace kestrava::perception
