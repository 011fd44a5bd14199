// The reference pictures (BMP and PNG) and the change tracker's bitmaps: any file either loads
// as a picture of sound size, whose bytes fill exactly its rows, or is refused; what loads saves
// and loads back pixel for pixel.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "perception/image_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava;
    fuzz::ScratchInstallation();
    const std::string path = "ScreenShot/fuzz.bmp";
    fuzz::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

    const auto reference = perception::LoadReferenceImage(path);
    if (reference) {
        FUZZ_CHECK(reference->width > 0 && reference->height > 0);
        FUZZ_CHECK(reference->stride == (reference->width * 3 + 3) / 4 * 4);
        FUZZ_CHECK(reference->bytes.size() >= static_cast<std::size_t>(reference->stride) * reference->height);
    }
    const auto bitmap = perception::LoadBitmapFile(path);
    FUZZ_CHECK(bitmap.has_value() == reference.has_value());
    if (!bitmap) return 0;
    FUZZ_CHECK(bitmap->width == reference->width && bitmap->height == reference->height);
    FUZZ_CHECK(bitmap->bgra.size() == static_cast<std::size_t>(bitmap->width) * bitmap->height * 4);

    // The round trip through the tracker's own format.
    const std::string copy = "ScreenShot/fuzz-copy.bmp";
    FUZZ_CHECK(perception::SaveBitmapFile(*bitmap, copy));
    const auto again = perception::LoadBitmapFile(copy);
    FUZZ_CHECK(again && again->width == bitmap->width && again->height == bitmap->height);
    FUZZ_CHECK(again->bgra == bitmap->bgra);
    return 0;
}
