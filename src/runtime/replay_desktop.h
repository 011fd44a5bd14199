// The replay's fake surroundings of the console: the page's price figure on the fake screen and
// the desktop that records every post together with what the console knew at that moment.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "log/log_book.h"
#include "perception/page_geometry.h"
#include "perception/price_reader.h"
#include "platform/fake/fake_platform.h"

namespace kestrava::runtime {

// The page shell's window on the fake desktop; page-view coordinates start below its caption.
inline constexpr platform::Rect kPageRect{0, 0, 1200, 900};
inline constexpr platform::Rect kViewRect{0, 30, 1200, 900};

// The page's lowest-price figure on the fake screen. The fake page draws it as a block of one
// colour whose blue, green and red bytes carry the figure (opaque, where the blank screen is
// transparent black), at the place the console's geometry gives it, whenever the screen is
// captured; the console's grab of the figure then goes through the desktop, the geometry and the
// screen as on a real page.
class PriceFigure {
public:
    explicit PriceFigure(std::shared_ptr<perception::GeometryStore> geometry) : geometry_(std::move(geometry)) {}

    void Show(std::int64_t price) { shown_ = price; }
    void Paint(platform::fake::FakeScreen& screen);

    // The replay's stand-in for the price engine and its checks: the figure's number as the
    // engine's text (with the line breaks the engine ends it with) under the engine's digit rule,
    // or a refusal for a picture that is not a whole drawn figure.
    // `misread` (not negative): the number a reader that learned a wrong glyph gives for the
    // figure's unchanged pixels.
    static perception::FigureReading Recognize(const perception::PixelBuffer& figure, std::int64_t misread = -1);

private:
    static void Erase(platform::fake::FakeScreen& screen, const platform::Rect& r);

    std::shared_ptr<perception::GeometryStore> geometry_;
    std::atomic<std::int64_t> shown_{-1};  // -1: the page shows no figure
    std::optional<platform::Rect> painted_;
};

// What a click lands on, by the geometry's points.
enum class PagePointRole { None, PlusBox, AddButton, BidButton, CodeBox, InfoConfirm, Cancel, Confirm };

struct PostRecord {
    platform::WindowId window = 0;
    platform::Message message;
    std::int64_t atMillis = 0;  // epoch milliseconds of the true time
    std::string point;  // the geometry's name of a clicked point
    PagePointRole role = PagePointRole::None;
    std::size_t linesBefore = 0;  // log lines written before it
    int applied = 0, lowest = 0, remaining = 0;
};

// The fake desktop, with every post recorded together with what the console knew at that moment.
class RecordingDesktop : public platform::Desktop {
public:
    // Hears every post right after it was recorded (and before it is handed on).
    using Observer = std::function<void(const PostRecord&)>;

    RecordingDesktop(platform::fake::FakeDesktop& inner, platform::Clock& clock) : inner_(inner), clock_(clock) {}

    void Watch(const console::CKestravaDlg* c, const log::LogBook* book) {
        console_ = c;
        book_ = book;
    }
    void Observe(Observer observer) { observer_ = std::move(observer); }
    // The PC clock was set to run `pcAheadMs` ahead of the true time (negative: behind). Posts are
    // recorded in true time from now on; the log lines written from now on carry stamps that far off.
    void ClockStepped(std::int64_t pcAheadMs);
    // How far the PC clock ran ahead when log line number `line` (0-based, in the run) was written.
    std::int64_t PcAheadAtLine(std::size_t line);
    // The number of log lines written so far in the run.
    std::size_t LinesWritten();
    std::vector<PostRecord> Records();

    platform::WindowId FindWindowByTitle(std::string_view t) override { return inner_.FindWindowByTitle(t); }
    platform::WindowId FindWindowByClass(std::string_view c) override { return inner_.FindWindowByClass(c); }
    platform::WindowId FindChild(platform::WindowId p, std::string_view c) override { return inner_.FindChild(p, c); }
    bool IsWindow(platform::WindowId w) override { return inner_.IsWindow(w); }
    std::string Title(platform::WindowId w) override { return inner_.Title(w); }
    std::optional<platform::Rect> WindowRect(platform::WindowId w) override { return inner_.WindowRect(w); }
    std::optional<platform::Rect> ClientRect(platform::WindowId w) override { return inner_.ClientRect(w); }
    bool SetForeground(platform::WindowId w) override { return inner_.SetForeground(w); }
    bool WaitUntilUncovered(platform::WindowId w, std::uint32_t timeoutMs) override {
        return inner_.WaitUntilUncovered(w, timeoutMs);
    }
    bool Place(platform::WindowId w, int x, int y, bool topmost, bool activate) override {
        return inner_.Place(w, x, y, topmost, activate);
    }
    platform::Rect ScreenRect() override { return inner_.ScreenRect(); }
    std::unique_ptr<platform::MessageWindow> CreateMessageWindow(std::string_view title, std::string_view className,
                                                                 platform::MessageHandler handler,
                                                                 bool mapped) override {
        return inner_.CreateMessageWindow(title, className, std::move(handler), mapped);
    }

    bool PostMessage(platform::WindowId w, const platform::Message& m) override;

private:
    static void NamePoint(const shell::PageGeometry& g, const platform::Message& m, PostRecord& r);
    // Counts the log lines written so far, so the timeline can put a post between the lines it
    // came between. A flush empties the book; the lines it took are counted on.
    std::size_t LinesSoFar();

    platform::fake::FakeDesktop& inner_;
    platform::Clock& clock_;
    const console::CKestravaDlg* console_ = nullptr;
    const log::LogBook* book_ = nullptr;
    Observer observer_;
    std::size_t pendingLines_ = 0;
    std::size_t flushedLines_ = 0;
    std::int64_t pcAheadMs_ = 0;
    std::vector<std::pair<std::size_t, std::int64_t>> steps_;  // (first line, PC ahead by) per clock step
    std::mutex mutex_;
    std::vector<PostRecord> records_;
};

}  // namespace kestrava::runtime
