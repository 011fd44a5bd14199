#include "perception/change_tracker.h"

#include "perception/capture.h"
#include "perception/image_files.h"

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
    step.firstRun = !started_;
    if (step.firstRun) {
        started_ = true;
        step.previous = capture();
        // A failed capture is not a picture of the page: it must not count as a price step.
        if (!step.previous) return step;
    } else {
        step.previous = LoadBitmapFile(pictureFile_);
    }
    step.current = capture();
    if (!step.current) return step;
    step.verdict = BitmapsEqual(step.previous ? &*step.previous : nullptr, &*step.current) ? ChangeVerdict::Same
                                                                                           : ChangeVerdict::Changed;
    step.saved = SaveBitmapFile(*step.current, pictureFile_);
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

}  // namespace kestrava::perception
