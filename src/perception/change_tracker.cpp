#include "perception/change_tracker.h"

#include "log/log_book.h"
#include "perception/capture.h"
#include "perception/image_files.h"
#include "perception/price_rules.h"

namespace kestrava::perception {

platform::Rect TrackedRect(int lvwf_x, int lvwf_y, float scale) {
    const auto trunc = TruncateToInt;
    const int left = trunc(static_cast<float>(lvwf_x) + 78.0f * scale);
    const int top = trunc(static_cast<float>(lvwf_y) + 349.0f * scale);
    const int right = trunc(static_cast<float>(left) + 75.0f * scale);
    const int bottom = trunc(static_cast<float>(top) + 139.0f * scale);
    return platform::Rect{left, top, right, bottom};
}

ChangeTracker::ChangeTracker(std::string pictureFile) : pictureFile_(std::move(pictureFile)) {}

ChangeStep ChangeTracker::Step(const Capture& capture) {
    ChangeStep step;
    step.firstRun = !started_.exchange(true);
    // A new day starts from a fresh picture: one kept from before the reset shows another page.
    if (step.firstRun) reference_ = capture();
    step.previous = reference_;
    step.current = capture();
    // A failed capture is not a picture of the page: no step, and the reference stays.
    if (!step.current) return step;
    if (reference_) {
        step.verdict = BitmapsEqual(&*reference_, &*step.current) ? ChangeVerdict::Same : ChangeVerdict::Changed;
    }
    reference_ = step.current;

    step.saved = SaveBitmapFile(*step.current, pictureFile_);
    if (!step.saved && !saveFailing_) log::DebugPrintf("cannot write %s; the change tracker goes on from memory\n", pictureFile_.c_str());
    saveFailing_ = !step.saved;
    return step;
}

ChangeTracker::Capture TrackedRegionCapture(platform::Desktop& desktop, platform::Screen& screen, const PageGeometry& g,
                                            float scale) {
    const platform::Rect region = TrackedRect(g.lvwf_x, g.lvwf_y, scale);
    return [&desktop, &screen, region] { return CaptureRegion(desktop, screen, region); };
}

std::optional<int> PriceAfterChange(ChangeVerdict verdict, int lowestPrice, bool holdOnChange) {
    switch (verdict) {
        case ChangeVerdict::Same:
            return lowestPrice;
        case ChangeVerdict::Changed:
            if (holdOnChange) return std::nullopt;
            return lowestPrice + kPriceStep;
        case ChangeVerdict::Unreadable:
            break;
    }
    return std::nullopt;
}

std::optional<int> TrackedScreenPrice(std::optional<int> believed, ChangeVerdict verdict, int lowestPrice,
                                      bool holdOnChange) {
    if (believed) return believed;
    return PriceAfterChange(verdict, lowestPrice, holdOnChange);
}

std::optional<int> TrackingStart(int priceAt62, std::optional<int> lastBelieved) {
    std::optional<int> start;
    for (const int candidate : {priceAt62, lastBelieved.value_or(0)})
        if (SeedsChangeTracking(candidate) && (!start || candidate > *start)) start = candidate;
    return start;
}

}  // namespace kestrava::perception
