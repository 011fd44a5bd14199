#include "runtime/replay_desktop.h"

#include <algorithm>

#include "shell/page_commands.h"

namespace kestrava::runtime {

// ---- PriceFigure

void PriceFigure::Paint(platform::fake::FakeScreen& screen) {
    const std::int64_t price = shown_.load();
    if (price < 0) return;
    platform::Rect at = perception::PriceRect(*geometry_->Get());
    at = {at.left + kViewRect.left, at.top + kViewRect.top, at.right + kViewRect.left, at.bottom + kViewRect.top};
    if (painted_ && *painted_ != at) Erase(screen, *painted_);  // the geometry moved: the figure moves with it
    painted_ = at;
    screen.Fill(at, static_cast<std::uint8_t>(price), static_cast<std::uint8_t>(price >> 8),
                static_cast<std::uint8_t>(price >> 16));
}

perception::FigureReading PriceFigure::Recognize(const perception::PixelBuffer& figure, std::int64_t misread) {
    perception::FigureReading r;
    r.refusal = "no whole figure drawn";
    const std::size_t pixels = static_cast<std::size_t>(figure.width) * figure.height;
    if (pixels == 0 || figure.bytes.size() < pixels * 4) return r;
    const std::uint8_t* first = figure.bytes.data();
    if (first[3] != 0xFF) return r;
    for (std::size_t i = 1; i < pixels; ++i)
        if (!std::equal(first, first + 4, figure.bytes.data() + i * 4)) return r;
    r.text = std::to_string(misread >= 0 ? misread : (first[0] | first[1] << 8 | first[2] << 16)) + "\n\n";
    r.price = perception::ParseScreenPrice(r.text);
    r.refusal = r.price ? "" : "not one line of five or six digits";
    return r;
}

void PriceFigure::Erase(platform::fake::FakeScreen& screen, const platform::Rect& r) {
    // Back to the blank screen's transparent black, which no figure reads as (Fill paints opaque).
    platform::Image& frame = screen.Framebuffer();
    const platform::Rect c = platform::Intersect(r, platform::Rect{0, 0, frame.width, frame.height});
    for (int y = c.top; y < c.bottom; ++y)
        for (int x = c.left; x < c.right; ++x) std::fill_n(frame.Pixel(x, y), 4, 0);
}

// ---- RecordingDesktop

void RecordingDesktop::ClockStepped(std::int64_t pcAheadMs) {
    std::lock_guard lock(mutex_);
    pcAheadMs_ = pcAheadMs;
    steps_.push_back({LinesSoFar(), pcAheadMs});
}

std::int64_t RecordingDesktop::PcAheadAtLine(std::size_t line) {
    std::lock_guard lock(mutex_);
    std::int64_t ahead = 0;
    for (const auto& [from, value] : steps_)
        if (from <= line) ahead = value;
    return ahead;
}

std::size_t RecordingDesktop::LinesWritten() {
    std::lock_guard lock(mutex_);
    return LinesSoFar();
}

std::vector<PostRecord> RecordingDesktop::Records() {
    std::lock_guard lock(mutex_);
    return records_;
}

bool RecordingDesktop::PostMessage(platform::WindowId w, const platform::Message& m) {
    PostRecord r;
    r.window = w;
    r.message = m;
    if (console_) {
        const auto& s = console_->state;
        r.applied = s.appliedPrice.load();
        r.lowest = s.lowestPrice.load();
        r.remaining = s.remainingSeconds.load();
        if (m.msg == shell::cmd::ClickAt || m.msg == shell::cmd::ClickPlusBoxAt) NamePoint(s.Geometry(), m, r);
    }
    {
        std::lock_guard lock(mutex_);
        r.atMillis = clock_.EpochMillis() - pcAheadMs_;
        r.linesBefore = LinesSoFar();
        records_.push_back(r);
    }
    // Outside the lock: the page's answer may look at the log.
    if (observer_) observer_(r);
    return inner_.PostMessage(w, m);
}

void RecordingDesktop::NamePoint(const shell::PageGeometry& g, const platform::Message& m, PostRecord& r) {
    const shell::PagePoint p{static_cast<int>(m.wParam), m.lParam};
    auto is = [&](int x, int y) {
        const shell::PagePoint q = g.At(x, y);
        return q.x == p.x && q.y == p.y;
    };
    for (int n = 1; n <= 27; ++n) {
        if (is(g.vk_ret_code_enter[n - 1].x, g.vk_ret_code_enter[n - 1].y)) {
            r.point = "confirm point " + std::to_string(n);
            r.role = PagePointRole::Confirm;
            return;
        }
    }
    struct Named {
        const char* name;
        int x, y;
        PagePointRole role;
    };
    const Named named[] = {
        {"plus-amount box", g.plusinput_picPot_x, g.plusinput_picPot_y, PagePointRole::PlusBox},
        {"add button", g.plusbutton_picPot_x, g.plusbutton_picPot_y, PagePointRole::AddButton},
        {"bid button", g.bidbutton_picPot_x, g.bidbutton_picPot_y, PagePointRole::BidButton},
        {"code box", g.C_P2_IMGCODE_IN_X, g.C_P2_IMGCODE_IN_Y, PagePointRole::CodeBox},
        {"info dialog's confirm", g.vk_ret_info_enterx, g.vk_ret_info_entery, PagePointRole::InfoConfirm},
        {"cancel point 1", g.vk_esc_x, g.vk_esc_y, PagePointRole::Cancel},
        {"cancel point 2", g.vk_esc_x2, g.vk_esc_y2, PagePointRole::Cancel},
        {"cancel point 3", g.vk_esc_x3, g.vk_esc_y3, PagePointRole::Cancel},
    };
    for (const Named& n : named) {
        if (is(n.x, n.y)) {
            r.point = n.name;
            r.role = n.role;
            return;
        }
    }
}

std::size_t RecordingDesktop::LinesSoFar() {
    if (!book_) return 0;
    const std::string pending = book_->Pending();
    const std::size_t now = static_cast<std::size_t>(std::count(pending.begin(), pending.end(), '\n'));
    if (now < pendingLines_) flushedLines_ += pendingLines_;
    pendingLines_ = now;
    return flushedLines_ + now;
}

}  // namespace kestrava::runtime
