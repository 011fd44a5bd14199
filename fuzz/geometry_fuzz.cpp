// The geometry file: any text gives a geometry (defaults for what is missing) whose integer keys
// are what a reading of the text finds (fuzz/reference_profile.h, not the program's reader), whose
// texts fit their buffers, and which scales at every display scale without wrapping; written back
// key by key, the file's text holds the same numbers and reads back the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "config/profile.h"
#include "fuzz_support.h"
#include "perception/page_geometry.h"
#include "reference_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava;
    using namespace kestrava::perception;
    fuzz::ScratchInstallation();
    FuzzedDataProvider in(data, size);
    const std::uint32_t dpi = in.PickValueInArray<std::uint32_t>({96, 120, 144, 168, 192, 216, 240, 100});
    const int viewLeft = in.ConsumeIntegral<int>();
    const int viewTop = in.ConsumeIntegral<int>();
    const std::string path = "bin/coordinatebaseline.ini";
    const std::string text = in.ConsumeRemainingBytesAsString();
    fuzz::WriteFile(path, text);

    const PageGeometry raw = ReadPageGeometry(path);
    for (const GeometryKey& key : GeometryKeys()) {
        const int value = GeometryField(const_cast<PageGeometry&>(raw), key);
        FUZZ_CHECK(value == fuzz::ReferenceInt(text, kGeometrySection, key.name, 0));
    }
    FUZZ_CHECK(raw.cr_que.find_first_of("\r\n") == std::string::npos && raw.version.size() < 64);
    const PageGeometry initial = InitialPageGeometry(path);
    FUZZ_CHECK(initial.lvwf_x == raw.lvwf_x && initial.lvwf_y == raw.lvwf_y);

    const float scale = DisplayScaleFromDpi(dpi);
    FUZZ_CHECK(scale >= 1.0f && scale <= 2.5f);
    const PageGeometry scaled = ScalePageGeometry(raw, scale);
    for (const GeometryKey& key : GeometryKeys()) {
        const long long before = GeometryField(const_cast<PageGeometry&>(raw), key);
        const long long after = GeometryField(const_cast<PageGeometry&>(scaled), key);
        // Scaling up never shrinks a value or flips its sign. The product is single precision, so
        // a value beyond 2^24 counts as the float holds it (such a page is absurd, not a crash).
        const auto held = static_cast<long long>(static_cast<float>(before));
        FUZZ_CHECK(before >= 0 ? after >= held || after == INT32_MAX : after <= held || after == INT32_MIN);
    }
    const platform::Rect view{viewLeft, viewTop, viewLeft, viewTop};
    const Point p = AnchoredPoint(scaled, view, scaled.C_P2_LEFTPRICE_X, scaled.C_P2_LEFTPRICE_Y);
    const long long exactX = static_cast<long long>(viewLeft) + scaled.lvwf_x + scaled.C_P2_LEFTPRICE_X;
    FUZZ_CHECK(p.x == (exactX > INT32_MAX ? INT32_MAX : exactX < INT32_MIN ? INT32_MIN : exactX));

    // The click primitives' points: anchor + offset, clamped like every other sum of coordinates.
    auto clamped = [](long long v) { return static_cast<int>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v); };
    for (const Point& q : scaled.vk_ret_code_enter) {
        const Point a = scaled.At(q.x, q.y);
        FUZZ_CHECK(a.x == clamped(static_cast<long long>(scaled.lvwf_x) + q.x));
        FUZZ_CHECK(a.y == clamped(static_cast<long long>(scaled.lvwf_y) + q.y));
    }
    const Point code = scaled.At(scaled.C_P2_IMGCODE_IN_X, scaled.C_P2_IMGCODE_IN_Y);
    FUZZ_CHECK(code.x == clamped(static_cast<long long>(scaled.lvwf_x) + scaled.C_P2_IMGCODE_IN_X));
    const platform::Rect price = PriceRect(scaled);
    FUZZ_CHECK(price.right >= price.left || scaled.C_P2_LEFTPRICE_W < 0);

    // Written back key by key into a fresh file, the geometry reads back the same.
    const std::string copy = "bin/geometry-copy.ini";
    std::remove(copy.c_str());
    for (const GeometryKey& key : GeometryKeys())
        FUZZ_CHECK(config::WriteProfileInt(kGeometrySection, key.name,
                                           GeometryField(const_cast<PageGeometry&>(raw), key), copy));
    const PageGeometry back = ReadPageGeometry(copy);
    const std::string copyText = fuzz::ReadFile(copy);
    for (const GeometryKey& key : GeometryKeys()) {
        const int value = GeometryField(const_cast<PageGeometry&>(raw), key);
        FUZZ_CHECK(fuzz::ReferenceInt(copyText, kGeometrySection, key.name, value == 0 ? 1 : 0) == value);
        FUZZ_CHECK(GeometryField(const_cast<PageGeometry&>(back), key) == value);
    }
    return 0;
}
