// Seeing the page: captures of the page view, of a rectangle of it or of the screen, the pixel
// grab handed to text recognition, and the exact picture comparison of the change tracker.
//
// A capture is a platform::Image (32-bit, top-down, blue-green-red plus a byte nothing reads),
// owned by the caller like any value. "None" is an empty optional.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "shell/page_commands.h"
#include "shell/page_geometry.h"

namespace kestrava::perception {

// One point type for the whole program: the page shell's.
using Point = shell::PagePoint;

// The page shell's top-level window and the two nested children that show the page.
using shell::kPageViewClass;
using shell::kPageWindowTitle;
inline constexpr const auto& kPageOuterClass = shell::kPageFrameClass;

// The page window, or 0.
platform::WindowId FindPageWindow(platform::Desktop& desktop);
// The page view (the inner child of the page window found by class alone), or 0. Looked up
// afresh on every call: the shell may recreate its windows at any time.
platform::WindowId FindPageView(platform::Desktop& desktop);

// How long a raised page is given to come out on top: the window manager restacks and the page
// shell repaints a moment after the request.
inline constexpr std::uint32_t kRaiseWaitMs = 1000;

// Brings the page window to the front and waits (at most kRaiseWaitMs) until the page view is
// actually on top. A capture taken right after the request would show whatever covered the page.
// False when there is no page view or it stayed covered; the caller then captures nothing.
bool RaisePage(platform::Desktop& desktop, platform::WindowId page);

// The whole visible page view, clipped to the display. `callerRect` only gates the call: an
// empty one (the caller had no page window) returns none.
std::optional<platform::Image> CapturePage(platform::Desktop& desktop, platform::Screen& screen,
                                           const platform::Rect& callerRect);

// `pageRect` in page-view coordinates, clipped to the display. None when the rectangle is empty,
// the page view is missing, or nothing of it lies on the display.
std::optional<platform::Image> CaptureRegion(platform::Desktop& desktop, platform::Screen& screen,
                                             const platform::Rect& pageRect);

// `screenRect` in screen coordinates, clipped to the display.
std::optional<platform::Image> CaptureScreen(platform::Screen& screen, const platform::Rect& screenRect);

// What text recognition is given: rows top to bottom, exactly 4 * width bytes each, pixels as
// blue, green, red and an unused byte.
struct PixelBuffer {
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t bitsPerPixel = 32;
};

// Grabs `width` x `height` pixels at (x, y) of a window whose rectangle on the screen is
// `windowRect`. The buffer always has the asked size: pixels off the display are black. A
// non-positive size gives an empty buffer.
PixelBuffer GrabPixels(platform::Screen& screen, const platform::Rect& windowRect, int x, int y, int width, int height);

// True when both pictures have the same size and the same colour bytes. The same picture twice
// is equal; a missing picture is never equal to anything.
bool BitmapsEqual(const platform::Image* a, const platform::Image* b);

}  // namespace kestrava::perception
