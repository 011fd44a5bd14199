// Learning an auction page: which of the page's elements the console acts on or reads, found by
// their visible text, kind, place and shape; the geometry file derived from their places; and the
// files written so that a failure leaves the previous ones in place.
//
// The page shell asks the page for a snapshot (every element that shows text, takes input, is
// clicked or is a picture, with its rectangle in page-view pixels at display scale 1.0); the
// ranking here works on that snapshot alone, so it is tested on fixed snapshots.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::shell::learning {

// A rectangle in page-view pixels (CSS pixels at zoom 1 and display scale 1.0).
struct Box {
    double x = 0, y = 0, w = 0, h = 0;
    double Right() const { return x + w; }
    double Bottom() const { return y + h; }
    double CentreX() const { return x + w / 2; }
    double CentreY() const { return y + h / 2; }
    bool Empty() const { return w <= 0 || h <= 0; }
    bool Contains(double px, double py) const { return px >= x && px < Right() && py >= y && py < Bottom(); }
};

enum class ItemKind { Text, Button, Input, Image, Dialog };

// One element of the page as the page's snapshot script saw it.
struct PageItem {
    std::string selector;   // a CSS selector that matches this element alone
    ItemKind kind = ItemKind::Text;
    std::string text;       // visible text, runs of white space (line breaks too) as one space
    std::string scope;      // title of the dialog it lies in; empty outside dialogs
    Box box;                // of the text itself for text items, else of the element
    bool shown = true;      // painted now (false: measured inside a dialog that is closed)
    bool inFrame = false;   // inside a frame: the shell's scripts and clicks cannot reach it
    std::string align;      // CSS text-align of a text item ("left", "right", "center", …)
};

// The page's state when the snapshot was taken, and its items.
struct PageSnapshot {
    std::string state;  // "ready", "loading" or "login" (a login form is shown)
    std::vector<PageItem> items;
};

// Parses the snapshot script's answer: a first line "state<TAB><state>", then one line per item
// "item<TAB>selector<TAB>kind<TAB>x<TAB>y<TAB>w<TAB>h<TAB>flags<TAB>align<TAB>scope<TAB>text"
// (kind one of text, button, input, image, dialog; flags "s" shown, "f" in a frame). None, with
// `error` set, on anything else.
std::optional<PageSnapshot> ParseSnapshot(std::string_view text, std::string* error);

// What the program needs from a page.
enum class Target {
    Anchor,     // the network icon: every offset is measured from its top-left corner
    Lowest,     // the lowest-price figure (read from the screen)
    Clock,      // the page clock (read from the screen)
    PlusBox,    // the plus-amount box
    AddButton,  // its add button
    BidPrice,   // the bid-price box
    BidButton,  // the bid button
    CodeBox,    // the verification-code input
    Confirm,    // the code dialog's confirm button
    Cancel,     // the code dialog's cancel button
    InfoClose,  // the information dialog's close button
};
inline constexpr std::size_t kTargetCount = 11;
inline constexpr std::array<Target, kTargetCount> kTargets{
    Target::Anchor,   Target::Lowest,    Target::Clock,   Target::PlusBox, Target::AddButton, Target::BidPrice,
    Target::BidButton, Target::CodeBox, Target::Confirm, Target::Cancel,  Target::InfoClose};

struct TargetInfo {
    const char* name;      // for the person ("bid button")
    const char* label;     // shown over the page ("出价按钮")
    const char* role;      // key in the element selector file; empty for the regions read
    const char* withoutIt; // what the program does without it; null when it cannot do without it
};
const TargetInfo& Info(Target t);

enum class Status { Found, Corrected, Skipped, Missing, Ambiguous, InFrame };
const char* StatusName(Status s);

struct Finding {
    Target target = Target::Anchor;
    Status status = Status::Missing;
    std::optional<PageItem> item;   // set for Found and Corrected
    std::vector<PageItem> rivals;   // the equally good candidates of an ambiguous finding
    // One line for the person: what was found, or the element and why it was not.
    std::string Message() const;
    bool Usable() const { return status == Status::Found || status == Status::Corrected; }
};

struct Learning {
    std::string pageProblem;  // the page as a whole cannot be learned now (loading, login form)
    std::array<Finding, kTargetCount> findings{};
    std::vector<PageItem> items;  // the snapshot's, for corrections and the regions' neighbours

    Finding& operator[](Target t) { return findings[static_cast<std::size_t>(t)]; }
    const Finding& operator[](Target t) const { return findings[static_cast<std::size_t>(t)]; }
    // Whether files may be written: no page problem, every finding usable or (optional) skipped.
    bool Complete() const;
    // Every problem standing in the way of writing, one line each (empty when Complete()).
    std::vector<std::string> Problems() const;
    // The summary for the person: found, corrected, missing and what that means.
    std::vector<std::string> Summary() const;
};

// Ranks the snapshot's items for every target.
Learning FindElements(const PageSnapshot& snapshot);
// The person's correction: `item` is the element for `t` (a frame's element is refused, with the
// reason returned).
std::optional<std::string> Correct(Learning& learning, Target t, const PageItem& item);
// The person says the page lacks `t`: refused, with the reason, when the program needs it.
std::optional<std::string> Skip(Learning& learning, Target t);

// The item under a page-view point (the smallest one containing it), for a correction by click.
std::optional<PageItem> ItemAt(const std::vector<PageItem>& items, double x, double y);

// ---- the geometry file

// The rectangles the geometry file is made of, in page-view pixels at display scale 1.0.
struct GeometryBoxes {
    Box anchor, lowest, clock, codeInput, plusBox, addButton, bidButton, bidPrice, confirm, cancel, infoClose;
    Box codeDialog, infoDialog;  // the dialog area covers both
    Box leftPanel, lowestTime, bidCount;
};

// Every key of the geometry file in file order with its value: the anchor in page-view pixels,
// the rest relative to it (rounded to whole pixels).
std::vector<std::pair<std::string, std::string>> GeometryKeyValues(const GeometryBoxes& b);
// Where the console's hint balloon beside an element goes (its point, page-view pixels): right of
// the element as on the practice page, else below, left or above it, the first place where the
// balloon (at most kBalloonWidth × kBalloonHeight, its body from 18 px left of the point) covers
// none of `keepClear` (the figures read from the screen) and stays inside the page.
inline constexpr double kBalloonWidth = 480;
inline constexpr double kBalloonHeight = 160;
struct BalloonPlace {
    int x = 0, y = 0;
};
BalloonPlace PlaceBalloon(const Box& beside, const std::vector<Box>& keepClear);

// The file text: `comment` lines (each prefixed "; "), [Position] and the keys.
std::string GeometryFileText(const std::vector<std::string>& comment,
                             const std::vector<std::pair<std::string, std::string>>& keys);

// A region to read a figure from: `figure` (the text's own box) grown by a margin of at least
// 3 pixels, and by room for one more digit on the side the figure grows to (`align`), then
// drawn back from any other text item it would take in, so that only this figure's ink can lie in
// it and whole digits stay clear of its edges. Whole pixels.
Box FigureRegion(const Box& figure, int digits, const std::string& align, const std::vector<PageItem>& others);

// The geometry boxes from a complete learning: the regions with their margins; what the page
// lacks (or what learning does not measure) taken from `previous` (keys of the existing file,
// anchor-relative as stored), else 0.
GeometryBoxes BoxesFromLearning(const Learning& learning, const std::map<std::string, int>& previous);

// The element selector file for the learned page.
std::string ElementsFileText(const Learning& learning, const std::map<std::string, std::string>& keep);

// ---- writing

struct FileToWrite {
    std::string path;
    std::string bytes;
};
// Writes every file beside its target first; only when all are written are they moved into place,
// each previous file kept as "<path>.<stamp>.bak". On a failure the targets are left (or put back)
// as they were and the partial files removed. The error names the file and the reason.
std::optional<std::string> ReplaceFiles(const std::vector<FileToWrite>& files, const std::string& stamp);

// Nearest-neighbour scaling of 32-bit pixels (the reference pictures at the other display
// scales, as the shipped ones are made).
// Pixels are 0xAARRGGBB, rows top to bottom.
std::vector<std::uint32_t> ScaleNearest(const std::vector<std::uint32_t>& pixels, int w, int h, int toW, int toH);
// A 24-bit uncompressed BMP of the pixels (alpha dropped), as the reference pictures are stored.
std::string Bmp24(const std::vector<std::uint32_t>& pixels, int w, int h);
// The reference pictures of the icon: file name and size for each display scale the console
// knows ("wifi_green.bmp" at 1.0, "wifi_green2.bmp" at 1.25 …), the size truncated as the console
// truncates scaled offsets.
struct ScaledPicture {
    const char* name;
    float scale;
};
inline constexpr std::array<ScaledPicture, 7> kGreenPictures{{{"wifi_green.bmp", 1.0f},
                                                              {"wifi_green2.bmp", 1.25f},
                                                              {"wifi_green3.bmp", 1.5f},
                                                              {"wifi_green4.bmp", 2.0f},
                                                              {"wifi_green5.bmp", 1.75f},
                                                              {"wifi_green6.bmp", 2.25f},
                                                              {"wifi_green7.bmp", 2.5f}}};

}  // namespace kestrava::shell::learning
