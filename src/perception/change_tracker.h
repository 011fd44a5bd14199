// The change detector of the last 55 seconds: a fixed region beside the price list is captured
// every tick and compared with the previous tick's picture, which the tracker keeps in memory.
// Each tick on which the region looks different counts as one price step of 100. The picture is
// also written to a file for inspection; nothing reads it back, so a folder that cannot be
// written (or a file someone replaced) never makes every tick look like a change.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "perception/page_geometry.h"
#include "platform/platform.h"

namespace kestrava::perception {

inline constexpr char kChangePictureFile[] = ".//ScreenShot//lbp.bmp";
inline constexpr int kPriceStep = 100;

// The tracked region in page-view coordinates: left = trunc(anchor x + 78·s),
// top = trunc(anchor y + 349·s), right = trunc(left + 75·s), bottom = trunc(top + 139·s), in
// single precision.
platform::Rect TrackedRect(int lvwf_x, int lvwf_y, float scale);

enum class ChangeVerdict {
    // No information: the region could not be captured this tick (the earlier picture stays the
    // reference), or there was no earlier picture to compare with (this one becomes it).
    Unreadable,
    Same,
    Changed,
};

struct ChangeStep {
    ChangeVerdict verdict = ChangeVerdict::Unreadable;
    bool firstRun = false;
    bool saved = false;  // the new picture was written to the file
    // The two pictures compared, for the debug preview.
    std::optional<platform::Image> previous;
    std::optional<platform::Image> current;
};

class ChangeTracker {
public:
    using Capture = std::function<std::optional<platform::Image>()>;

    explicit ChangeTracker(std::string pictureFile = kChangePictureFile);

    // One tick, on the scan tick's thread. The first tick of the auction day compares two fresh
    // captures; later ticks compare the previous tick's picture with a fresh capture, which then
    // becomes the reference and is written to the file. Only a comparison of two pictures taken
    // this day can count as a change.
    ChangeStep Step(const Capture& capture);

    // The auction-day reset: the next step is a first run again.
    void Reset() { started_ = false; }
    bool Started() const { return started_; }
    const std::string& PictureFile() const { return pictureFile_; }

private:
    std::string pictureFile_;
    std::atomic<bool> started_{false};  // reset from the interface thread
    std::optional<platform::Image> reference_;  // the last picture captured (Step only)
    bool saveFailing_ = false;                  // the last save failed and was reported (Step only)
};

// Captures of the tracked region of the page view for `g`'s anchor at display scale `scale`.
ChangeTracker::Capture TrackedRegionCapture(platform::Desktop& desktop, platform::Screen& screen, const PageGeometry& g,
                                            float scale);

// The screen price a tick's verdict gives: the same price, one step up, or none (unreadable, or
// the minute label of the page clock is empty in simulation, when a change cannot be trusted).
std::optional<int> PriceAfterChange(ChangeVerdict verdict, int lowestPrice, bool holdOnChange);

// The screen path's price for a tick the tracker runs on. A figure the price gate believed this
// tick is the page's own number and wins: the tracker only counts changes, one step each, however
// far the price moved. Without one, the tracker's verdict applied to the lowest price.
std::optional<int> TrackedScreenPrice(std::optional<int> believed, ChangeVerdict verdict, int lowestPrice,
                                      bool holdOnChange);

// Where the tracker's first run starts: the higher of the figure read with 62 or 63 seconds left
// and the last figure the price gate believed (a price believed later is newer, and the lowest price
// does not fall); none when neither is a plausible price.
std::optional<int> TrackingStart(int priceAt62, std::optional<int> lastBelieved);

}  // namespace kestrava::perception
