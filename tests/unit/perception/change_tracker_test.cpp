#include "perception/change_tracker.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "perception/capture.h"
#include "perception/image_files.h"
#include "platform/fake/fake_platform.h"
#include "unit/perception/scratch_dir.h"

namespace kestrava::perception {
namespace {

namespace fs = std::filesystem;
using platform::Image;

TEST(TrackedRect, SinglePrecisionTruncation) {
    struct Case {
        int x, y;
        float scale;
        platform::Rect expected;
    };
    const Case cases[] = {
        {10, 20, 1.0f, {88, 369, 163, 508}},
        // left = trunc(10 + 97.5) = 107, top = trunc(20 + 436.25) = 456, right = trunc(107 + 93.75),
        // bottom = trunc(456 + 173.75)
        {10, 20, 1.25f, {107, 456, 200, 629}},
        {0, 0, 1.5f, {117, 523, 229, 731}},
        // A negative anchor truncates toward zero: −100 + 78 = −22; −400 + 349 = −51.
        {-100, -400, 1.0f, {-22, -51, 53, 88}},
        {-100, -400, 1.25f, {-2, 36, 91, 209}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " x" + std::to_string(c.scale));
        EXPECT_EQ(TrackedRect(c.x, c.y, c.scale), c.expected);
    }
}

Image Solid(std::uint8_t v, int w = 6, int h = 4) {
    Image img(w, h);
    std::fill(img.bgra.begin(), img.bgra.end(), v);
    return img;
}

class ChangeTrackerTest : public ::testing::Test {
protected:
    // Each capture hands out the next queued frame (none stands for an unreadable page).
    ChangeTracker::Capture Frames() {
        return [this] {
            std::optional<Image> f;
            if (!frames_.empty()) {
                f.swap(frames_.front());
                frames_.pop_front();
            }
            return f;
        };
    }

    testing::ScratchDir dir_;
    std::string file_ = dir_.PathOf("lbp.bmp");
    std::deque<std::optional<Image>> frames_;
};

TEST_F(ChangeTrackerTest, TicksOfAnAuctionDay) {
    // Yesterday's picture: the first tick of the day must not compare against it.
    ASSERT_TRUE(SaveBitmapFile(Solid(9), file_));
    ChangeTracker tracker(file_);
    struct Tick {
        const char* name;
        std::vector<std::optional<Image>> frames;  // what the tick's captures see
        ChangeVerdict verdict;
        bool firstRun;
        bool fileHolds1;  // afterwards the file holds Solid(1) (else Solid(2))
    };
    const Tick ticks[] = {
        {"first tick compares two fresh captures", {Solid(1), Solid(1)}, ChangeVerdict::Same, true, true},
        {"unchanged region", {Solid(1)}, ChangeVerdict::Same, false, true},
        {"changed region", {Solid(2)}, ChangeVerdict::Changed, false, false},
        {"unreadable page leaves the file", {std::nullopt}, ChangeVerdict::Unreadable, false, false},
        {"back to the first picture", {Solid(1)}, ChangeVerdict::Changed, false, true},
    };
    for (const Tick& t : ticks) {
        SCOPED_TRACE(t.name);
        frames_.assign(t.frames.begin(), t.frames.end());
        const ChangeStep step = tracker.Step(Frames());
        EXPECT_TRUE(frames_.empty());
        EXPECT_EQ(step.verdict, t.verdict);
        EXPECT_EQ(step.firstRun, t.firstRun);
        const std::optional<Image> onFile = LoadBitmapFile(file_);
        ASSERT_TRUE(onFile.has_value());
        const Image want = Solid(t.fileHolds1 ? 1 : 2);
        EXPECT_TRUE(BitmapsEqual(&*onFile, &want));
    }
    EXPECT_TRUE(tracker.Started());

    // The next day starts over.
    tracker.Reset();
    frames_ = {Solid(5), Solid(5)};
    EXPECT_EQ(tracker.Step(Frames()).verdict, ChangeVerdict::Same);
}

// The picture file is only a copy: a folder it cannot be written to, or a file someone deleted or
// replaced, must not turn every tick into a price step (ten a second in screen mode).
TEST_F(ChangeTrackerTest, ThePictureFileNeverDecidesAChange) {
    struct Spoiler {
        const char* name;
        std::string file;
        void (*spoil)(const std::string& file);  // after each tick
    };
    const std::string folderIsAFile = dir_.PathOf("ScreenShot") + "/lbp.bmp";
    std::ofstream(dir_.PathOf("ScreenShot")) << "a file where the ScreenShot folder should be";
    const std::string readOnly = dir_.PathOf("ro") + "/lbp.bmp";
    fs::create_directories(dir_.PathOf("ro"));
    fs::permissions(dir_.PathOf("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    const Spoiler spoilers[] = {
        {"ScreenShot is a file, not a folder", folderIsAFile, [](const std::string&) {}},
        {"ScreenShot is missing", dir_.PathOf("missing") + "/lbp.bmp", [](const std::string&) {}},
        {"ScreenShot is read-only (root writes anyway)", readOnly, [](const std::string&) {}},
        {"the file is deleted after each tick", file_, [](const std::string& f) { fs::remove(f); }},
        {"the file is overwritten after each tick", file_,
         [](const std::string& f) { std::ofstream(f) << "not a bitmap"; }},
    };
    struct Tick {
        std::vector<std::optional<Image>> frames;
        ChangeVerdict verdict;
    };
    const Tick ticks[] = {
        {{Solid(1), Solid(1)}, ChangeVerdict::Same},  // the first run compares two captures
        {{Solid(1)}, ChangeVerdict::Same},
        {{Solid(1)}, ChangeVerdict::Same},
        {{Solid(2)}, ChangeVerdict::Changed},
        {{Solid(2)}, ChangeVerdict::Same},
        {{std::nullopt}, ChangeVerdict::Unreadable},  // the reference stays Solid(2)
        {{Solid(2)}, ChangeVerdict::Same},
        {{Solid(1, 8, 4)}, ChangeVerdict::Changed},  // another size (the display scale changed)
    };
    for (const Spoiler& sp : spoilers) {
        SCOPED_TRACE(sp.name);
        ChangeTracker tracker(sp.file);
        int tickNumber = 0;
        for (const Tick& t : ticks) {
            SCOPED_TRACE(tickNumber++);
            frames_.assign(t.frames.begin(), t.frames.end());
            EXPECT_EQ(tracker.Step(Frames()).verdict, t.verdict);
            sp.spoil(sp.file);
        }
    }
}

TEST_F(ChangeTrackerTest, AFailedFirstCaptureTakesNoStep) {
    ChangeTracker tracker(file_);
    struct Tick {
        std::vector<std::optional<Image>> frames;
        ChangeVerdict verdict;
    };
    const Tick ticks[] = {
        {{std::nullopt, std::nullopt}, ChangeVerdict::Unreadable},  // no page yet
        {{Solid(1)}, ChangeVerdict::Unreadable},                    // the first picture: nothing to compare with
        {{Solid(1)}, ChangeVerdict::Same},
        {{Solid(2)}, ChangeVerdict::Changed},
    };
    for (const Tick& t : ticks) {
        frames_.assign(t.frames.begin(), t.frames.end());
        EXPECT_EQ(tracker.Step(Frames()).verdict, t.verdict);
        EXPECT_TRUE(frames_.empty());
    }
}

TEST_F(ChangeTrackerTest, FirstTickWithoutAPageIsUnreadable) {
    ChangeTracker tracker(file_);
    frames_ = {std::nullopt};
    const ChangeStep step = tracker.Step(Frames());
    EXPECT_EQ(step.verdict, ChangeVerdict::Unreadable);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(ChangeTrackerTest, TracksTheRegionBesideTheAnchor) {
    platform::fake::FakeDesktop desktop;
    platform::fake::FakeScreen screen;
    const platform::Rect view{300, 120, 1100, 720};
    const auto page = desktop.AddWindow(kPageWindowTitle, "Sorrelpane", view);
    desktop.AddWindow("", kPageViewClass, view, desktop.AddWindow("", kPageOuterClass, view, page));
    PageGeometry g;
    g.lvwf_x = 10;
    g.lvwf_y = 20;
    // Region at view (88, 369) … (163, 508): one pixel just inside its last corner changes.
    ChangeTracker tracker(file_);
    const ChangeTracker::Capture capture = TrackedRegionCapture(desktop, screen, g, 1.0f);
    ASSERT_EQ(tracker.Step(capture).verdict, ChangeVerdict::Same);
    screen.Fill(platform::Rect{300 + 163, 120 + 508, 300 + 164, 120 + 509}, 1, 2, 3);  // just outside
    EXPECT_EQ(tracker.Step(capture).verdict, ChangeVerdict::Same);
    screen.Fill(platform::Rect{300 + 162, 120 + 507, 300 + 163, 120 + 508}, 1, 2, 3);  // inside
    const ChangeStep step = tracker.Step(capture);
    EXPECT_EQ(step.verdict, ChangeVerdict::Changed);
    ASSERT_TRUE(step.current.has_value());
    EXPECT_EQ(step.current->width, 75);
    EXPECT_EQ(step.current->height, 139);
}

TEST(PriceAfterChange, Verdicts) {
    struct Case {
        ChangeVerdict verdict;
        bool hold;
        std::optional<int> price;
    };
    const Case cases[] = {
        {ChangeVerdict::Same, false, 89300},
        {ChangeVerdict::Same, true, 89300},
        {ChangeVerdict::Changed, false, 89400},
        {ChangeVerdict::Changed, true, std::nullopt},
        {ChangeVerdict::Unreadable, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.verdict) * 10 + c.hold);
        EXPECT_EQ(PriceAfterChange(c.verdict, 89300, c.hold), c.price);
    }
}

// The screen path of the last 55 seconds with the lowest price at 89300: a figure believed this
// tick is the price, whatever the tracker saw (a jump of 300 is 300, not one step; a page that
// repainted without a change of price is no change); only without one does the tracker count.
TEST(TrackedScreenPrice, ABelievedFigureWinsOverTheTrackersCount) {
    struct Case {
        const char* name;
        std::optional<int> believed;
        ChangeVerdict verdict;
        bool hold;
        std::optional<int> price;
    };
    const Case cases[] = {
        {"a jump of 300 in one change", 89600, ChangeVerdict::Changed, false, 89600},
        {"a repaint at the same price", 89300, ChangeVerdict::Changed, false, 89300},
        {"a figure read while the region looks the same", 89400, ChangeVerdict::Same, false, 89400},
        {"a figure read while the region cannot be captured", 89400, ChangeVerdict::Unreadable, false, 89400},
        {"a figure read while a practice run holds changes", 89400, ChangeVerdict::Changed, true, 89400},
        {"no figure: the tracker's step", std::nullopt, ChangeVerdict::Changed, false, 89400},
        {"no figure, no change", std::nullopt, ChangeVerdict::Same, false, 89300},
        {"no figure, nothing captured", std::nullopt, ChangeVerdict::Unreadable, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TrackedScreenPrice(c.believed, c.verdict, 89300, c.hold), c.price);
    }
}

// The tracker's first run starts from the higher of the figure read with 62 s left and the last
// figure believed; an implausible one of the two does not count.
TEST(TrackingStart, TheHigherOfThePriceAt62AndTheLastBelievedFigure) {
    struct Case {
        const char* name;
        int priceAt62;
        std::optional<int> lastBelieved;
        std::optional<int> start;
    };
    const Case cases[] = {
        {"a higher figure believed after 62 s", 89000, 89300, 89300},
        {"the figure at 62 s is the last believed", 89300, 89300, 89300},
        {"the last believed figure is older and lower", 89300, 89000, 89300},
        {"nothing read at 62 s", 0, 89300, 89300},
        {"nothing believed", 89000, std::nullopt, 89000},
        {"neither", 0, std::nullopt, std::nullopt},
        {"an implausible price at 62 s", 120000, 89300, 89300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TrackingStart(c.priceAt62, c.lastBelieved), c.start);
    }
}

}  // namespace
}  // namespace kestrava::perception
