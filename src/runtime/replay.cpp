#include "runtime/replay.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "config/profile.h"
#include "console/console.h"
#include "log/gbk.h"
#include "log/log_book.h"
#include "perception/page_geometry.h"
#include "perception/price_reader.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"
#include "runtime/console_roles.h"
#include "shell/page_commands.h"

namespace kestrava::runtime {

namespace {

namespace fs = std::filesystem;
using platform::Message;
using platform::WindowId;
namespace vk = platform::vk;
namespace wm = platform::wm;
namespace cmd = shell::cmd;

constexpr int kYear = 2026, kMonth = 12, kDay = 10;
// The page shell's window on the fake desktop; page-view coordinates start below its caption.
constexpr platform::Rect kPageRect{0, 0, 1200, 900};
constexpr platform::Rect kViewRect{0, 30, 1200, 900};
// A Ctrl held with Enter is released after the next scan tick has seen both.
constexpr DayMs kCtrlHoldMs = 300;

platform::LocalTime LocalAt(DayMs ms) {
    return platform::fake::MakeLocal(kYear, kMonth, kDay, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                                     static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
}

// A geometry in which every point has a recognisable place, so a click names its target:
// anchor (100, 50), confirm point N at anchor + (1000 + N, 500 + N). The lowest-price figure lies
// at anchor + (300, 400), 120 x 30, clear of the change detector's region. The scenario's own
// geometry lines overwrite any of these.
void WriteDefaultGeometry() {
    const std::string file = ".//bin//coordinatebaseline.ini";
    const std::pair<const char*, int> values[] = {
        {"lvwf_x", 100},           {"lvwf_y", 50},           {"plusinput_picPot_x", 10}, {"plusinput_picPot_y", 11},
        {"plusbutton_picPot_x", 20}, {"plusbutton_picPot_y", 21}, {"bidbutton_picPot_x", 30}, {"bidbutton_picPot_y", 31},
        {"C_P2_IMGCODE_IN_X", 40}, {"C_P2_IMGCODE_IN_Y", 41}, {"vk_ret_info_enterx", 50}, {"vk_ret_info_entery", 51},
        {"vk_esc_x", 60},          {"vk_esc_y", 61},         {"vk_esc_x2", 62},          {"vk_esc_y2", 63},
        {"vk_esc_x3", 64},         {"vk_esc_y3", 65},        {"C_P2_LEFTPRICE_X", 300},  {"C_P2_LEFTPRICE_Y", 400},
        {"C_P2_LEFTPRICE_W", 120}, {"C_P2_LEFTPRICE_H", 30},
    };
    for (const auto& [key, value] : values) config::WriteProfileInt("Position", key, value, file);
    for (int n = 1; n <= 27; ++n) {
        config::WriteProfileInt("Position", "vk_ret_code_enterx_" + std::to_string(n), 1000 + n, file);
        config::WriteProfileInt("Position", "vk_ret_code_entery_" + std::to_string(n), 500 + n, file);
    }
}

// The page's lowest-price figure on the fake screen. The fake page draws it as a block of one
// colour whose blue, green and red bytes carry the figure (opaque, where the blank screen is
// transparent black), at the place the console's geometry gives it, whenever the screen is
// captured; the console's grab of the figure then goes through the desktop, the geometry and the
// screen as on a real page.
class PriceFigure {
public:
    explicit PriceFigure(std::shared_ptr<perception::GeometryStore> geometry) : geometry_(std::move(geometry)) {}

    void Show(std::int64_t price) { shown_ = price; }

    void Paint(platform::fake::FakeScreen& screen) {
        const std::int64_t price = shown_.load();
        if (price < 0) return;
        platform::Rect at = perception::PriceRect(*geometry_->Get());
        at = {at.left + kViewRect.left, at.top + kViewRect.top, at.right + kViewRect.left, at.bottom + kViewRect.top};
        if (painted_ && *painted_ != at) Erase(screen, *painted_);  // the geometry moved: the figure moves with it
        painted_ = at;
        screen.Fill(at, static_cast<std::uint8_t>(price), static_cast<std::uint8_t>(price >> 8),
                    static_cast<std::uint8_t>(price >> 16));
    }

    // The replay's stand-in for the price engine and its checks: the figure's number as the
    // engine's text (with the line breaks the engine ends it with) under the engine's digit rule,
    // or a refusal for a picture that is not a whole drawn figure.
    static perception::FigureReading Recognize(const perception::PixelBuffer& figure) {
        perception::FigureReading r;
        r.refusal = "no whole figure drawn";
        const std::size_t pixels = static_cast<std::size_t>(figure.width) * figure.height;
        if (pixels == 0 || figure.bytes.size() < pixels * 4) return r;
        const std::uint8_t* first = figure.bytes.data();
        if (first[3] != 0xFF) return r;
        for (std::size_t i = 1; i < pixels; ++i)
            if (!std::equal(first, first + 4, figure.bytes.data() + i * 4)) return r;
        r.text = std::to_string(first[0] | first[1] << 8 | first[2] << 16) + "\n\n";
        r.price = perception::ParseScreenPrice(r.text);
        r.refusal = r.price ? "" : "not one line of five or six digits";
        return r;
    }

private:
    static void Erase(platform::fake::FakeScreen& screen, const platform::Rect& r) {
        // Back to the blank screen's transparent black, which no figure reads as (Fill paints opaque).
        platform::Image& frame = screen.Framebuffer();
        const platform::Rect c = platform::Intersect(r, platform::Rect{0, 0, frame.width, frame.height});
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.left; x < c.right; ++x) std::fill_n(frame.Pixel(x, y), 4, 0);
    }

    std::shared_ptr<perception::GeometryStore> geometry_;
    std::atomic<std::int64_t> shown_{-1};  // -1: the page shows no figure
    std::optional<platform::Rect> painted_;
};

// The scratch installation folder, the working directory for the length of the run.
class Installation {
public:
    Installation() {
        char pattern[] = "/tmp/kestrava-replay-XXXXXX";
        if (const char* dir = ::mkdtemp(pattern)) path_ = dir;
        if (path_.empty()) return;
        std::error_code ec;
        previous_ = fs::current_path(ec);
        for (const char* sub : {"bin", "Log", "ScreenShot"}) fs::create_directories(path_ / sub, ec);
        fs::current_path(path_, ec);
        ok_ = !ec;
    }
    ~Installation() {
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    bool Ok() const { return ok_; }

private:
    fs::path path_;
    fs::path previous_;
    bool ok_ = false;
};

struct PostRecord {
    WindowId window = 0;
    Message message;
    std::int64_t atMillis = 0;
    std::string point;  // the geometry's name of a clicked point
    std::size_t linesBefore = 0;  // log lines written before it
    bool confirmPoint = false;
    int applied = 0, lowest = 0, remaining = 0;
};

// The fake desktop, with every post recorded together with what the console knew at that moment.
class RecordingDesktop : public platform::Desktop {
public:
    RecordingDesktop(platform::fake::FakeDesktop& inner, platform::Clock& clock) : inner_(inner), clock_(clock) {}

    void Watch(const console::CKestravaDlg* c, const log::LogBook* book) {
        console_ = c;
        book_ = book;
    }
    // The PC clock was set to run `pcAheadMs` ahead of the true time (negative: behind). Posts are
    // recorded in true time from now on; the log lines written from now on carry stamps that far off.
    void ClockStepped(std::int64_t pcAheadMs) {
        std::lock_guard lock(mutex_);
        pcAheadMs_ = pcAheadMs;
        steps_.push_back({LinesSoFar(), pcAheadMs});
    }
    // How far the PC clock ran ahead when log line number `line` (0-based, in the run) was written.
    std::int64_t PcAheadAtLine(std::size_t line) {
        std::lock_guard lock(mutex_);
        std::int64_t ahead = 0;
        for (const auto& [from, value] : steps_)
            if (from <= line) ahead = value;
        return ahead;
    }
    std::vector<PostRecord> Records() {
        std::lock_guard lock(mutex_);
        return records_;
    }

    WindowId FindWindowByTitle(std::string_view t) override { return inner_.FindWindowByTitle(t); }
    WindowId FindWindowByClass(std::string_view c) override { return inner_.FindWindowByClass(c); }
    WindowId FindChild(WindowId p, std::string_view c) override { return inner_.FindChild(p, c); }
    bool IsWindow(WindowId w) override { return inner_.IsWindow(w); }
    std::string Title(WindowId w) override { return inner_.Title(w); }
    std::optional<platform::Rect> WindowRect(WindowId w) override { return inner_.WindowRect(w); }
    std::optional<platform::Rect> ClientRect(WindowId w) override { return inner_.ClientRect(w); }
    bool SetForeground(WindowId w) override { return inner_.SetForeground(w); }
    bool WaitUntilUncovered(WindowId w, std::uint32_t timeoutMs) override {
        return inner_.WaitUntilUncovered(w, timeoutMs);
    }
    bool Place(WindowId w, int x, int y, bool topmost, bool activate) override {
        return inner_.Place(w, x, y, topmost, activate);
    }
    platform::Rect ScreenRect() override { return inner_.ScreenRect(); }
    std::unique_ptr<platform::MessageWindow> CreateMessageWindow(std::string_view title, std::string_view className,
                                                                 platform::MessageHandler handler,
                                                                 bool mapped) override {
        return inner_.CreateMessageWindow(title, className, std::move(handler), mapped);
    }

    bool PostMessage(WindowId w, const Message& m) override {
        PostRecord r;
        r.window = w;
        r.message = m;
        if (console_) {
            const auto& s = console_->state;
            r.applied = s.appliedPrice.load();
            r.lowest = s.lowestPrice.load();
            r.remaining = s.remainingSeconds.load();
            if (m.msg == cmd::ClickAt || m.msg == cmd::ClickPlusBoxAt) NamePoint(s.Geometry(), m, r);
        }
        {
            std::lock_guard lock(mutex_);
            r.atMillis = clock_.EpochMillis() - pcAheadMs_;
            r.linesBefore = LinesSoFar();
            records_.push_back(r);
        }
        return inner_.PostMessage(w, m);
    }

private:
    static void NamePoint(const shell::PageGeometry& g, const Message& m, PostRecord& r) {
        const shell::PagePoint p{static_cast<int>(m.wParam), m.lParam};
        auto is = [&](int x, int y) {
            const shell::PagePoint q = g.At(x, y);
            return q.x == p.x && q.y == p.y;
        };
        for (int n = 1; n <= 27; ++n) {
            if (is(g.vk_ret_code_enter[n - 1].x, g.vk_ret_code_enter[n - 1].y)) {
                r.point = "confirm point " + std::to_string(n);
                r.confirmPoint = true;
                return;
            }
        }
        const std::pair<const char*, std::pair<int, int>> named[] = {
            {"plus-amount box", {g.plusinput_picPot_x, g.plusinput_picPot_y}},
            {"add button", {g.plusbutton_picPot_x, g.plusbutton_picPot_y}},
            {"bid button", {g.bidbutton_picPot_x, g.bidbutton_picPot_y}},
            {"code box", {g.C_P2_IMGCODE_IN_X, g.C_P2_IMGCODE_IN_Y}},
            {"info dialog's confirm", {g.vk_ret_info_enterx, g.vk_ret_info_entery}},
            {"cancel point 1", {g.vk_esc_x, g.vk_esc_y}},
            {"cancel point 2", {g.vk_esc_x2, g.vk_esc_y2}},
            {"cancel point 3", {g.vk_esc_x3, g.vk_esc_y3}},
        };
        for (const auto& [name, offset] : named) {
            if (is(offset.first, offset.second)) {
                r.point = name;
                return;
            }
        }
    }

    platform::fake::FakeDesktop& inner_;
    platform::Clock& clock_;
    // Counts the log lines written so far, so the timeline can put a post between the lines it
    // came between. A flush empties the book; the lines it took are counted on.
    std::size_t LinesSoFar() {
        if (!book_) return 0;
        const std::string pending = book_->Pending();
        const std::size_t now = static_cast<std::size_t>(std::count(pending.begin(), pending.end(), '\n'));
        if (now < pendingLines_) flushedLines_ += pendingLines_;
        pendingLines_ = now;
        return flushedLines_ + now;
    }

    const console::CKestravaDlg* console_ = nullptr;
    const log::LogBook* book_ = nullptr;
    std::size_t pendingLines_ = 0;
    std::size_t flushedLines_ = 0;
    std::int64_t pcAheadMs_ = 0;
    std::vector<std::pair<std::size_t, std::int64_t>> steps_;  // (first line, PC ahead by) per clock step
    std::mutex mutex_;
    std::vector<PostRecord> records_;
};

std::string Hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

std::string KeyName(std::uint32_t k) {
    switch (k) {
        case vk::Return: return "Enter";
        case vk::Escape: return "Escape";
        case vk::Delete: return "Delete";
        case vk::Back: return "Backspace";
        case vk::Control: return "Ctrl";
        default: break;
    }
    if (k >= 0x30 && k <= 0x39) return std::string(1, static_cast<char>(k));
    if (k >= 0x70 && k <= 0x7b) return "F" + std::to_string(k - 0x6f);
    return "vk " + Hex(k);
}

std::string EventText(const ScenarioEvent& e) {
    switch (e.kind) {
        case EventKind::PageReport: return "page report " + std::to_string(e.a) + " " + std::to_string(e.b);
        case EventKind::ServerReport: return "server report " + std::to_string(e.a) + " " + std::to_string(e.b);
        case EventKind::Jam: return "jam signal " + std::to_string(e.a);
        case EventKind::Key: {
            const char* names[] = {"enter", "ctrl+enter", "escape", "f3"};
            return std::string("key ") + names[static_cast<int>(e.key)];
        }
        case EventKind::PageLogin: return "page logged in (0x465)";
        case EventKind::StartSimulation: return "start the practice run (0x49d)";
        case EventKind::Box: return "box " + std::to_string(e.a) + (e.b ? " on" : " off");
        case EventKind::Post:
            return "post " + Hex(static_cast<std::uint32_t>(e.a)) + " " + std::to_string(e.b) + " " + std::to_string(e.c);
        case EventKind::Price: return "the page shows " + std::to_string(e.a);
        case EventKind::ScreenPrice: return "the screen's price figure reads " + std::to_string(e.a);
        case EventKind::LogFolder: return e.a ? "the Log folder can be written again" : "the Log folder cannot be written";
        case EventKind::Shell: return e.a ? "the page shell is started again (by hand)" : "the page shell's process is killed";
        case EventKind::ClockStep: return "a network-time correction sets the PC clock to " + FormatClock(e.a);
    }
    return {};
}

// The page time code of a moment: ten digits HHMMSSffff in a real run, six in a practice run.
std::int32_t TimeCode(DayMs ms, bool simulation) {
    const std::int64_t hhmmss = (ms / 3600000) * 10000 + (ms / 60000 % 60) * 100 + ms / 1000 % 60;
    if (simulation) return static_cast<std::int32_t>(hhmmss);
    return static_cast<std::int32_t>(hhmmss * 10000 + (ms % 1000) * 10);
}

// "[电脑11:29:57.505 - 国拍11:29:57] text": the PC time of the stamp, in ms of the day.
std::optional<DayMs> StampTime(const std::string& line) {
    const std::size_t at = line.find("电脑");
    if (at == std::string::npos) return std::nullopt;
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(line.c_str() + at + std::string("电脑").size(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4)
        return std::nullopt;
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

// The installation's Log folder made unwritable for anyone, root included (permission bits do
// not stop root): the folder moves aside and a plain file takes its name, so creating or opening
// the day's file inside fails as on a full or read-only disk. Undone the other way round.
void SetLogFolderWritable(bool writable) {
    std::error_code ec;
    if (writable) {
        if (!fs::is_regular_file("Log", ec)) return;
        fs::remove("Log", ec);
        fs::rename("Log.away", "Log", ec);
        if (ec) fs::create_directories("Log", ec);
        return;
    }
    if (!fs::is_directory("Log", ec)) return;
    fs::rename("Log", "Log.away", ec);
    std::ofstream("Log") << "not a folder\n";
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(std::move(line));
        pos = end + 1;
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What the scenario makes happen, in the order it happens; feeds expanded into page reports.
struct Input {
    DayMs at;
    ScenarioEvent event;
    bool fromFeed = false;
    bool releaseCtrl = false;
};

}  // namespace

std::string DescribePost(const Message& m) {
    const int x = static_cast<int>(m.wParam), y = m.lParam;
    const std::string point = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    switch (m.msg) {
        case wm::Close: return "close the window";
        case wm::KeyDown: return "key down " + KeyName(m.wParam);
        case wm::KeyUp: return "key up " + KeyName(m.wParam);
        case wm::Char:
            if (m.wParam >= 0x20 && m.wParam < 0x7f) return std::string("char '") + static_cast<char>(m.wParam) + "'";
            return "char " + Hex(m.wParam);
        case wm::LButtonDown: return "mouse down at (" + std::to_string(platform::LoWord(m.lParam)) + "," +
                                     std::to_string(platform::HiWord(m.lParam)) + ")";
        case wm::LButtonUp: return "mouse up at (" + std::to_string(platform::LoWord(m.lParam)) + "," +
                                   std::to_string(platform::HiWord(m.lParam)) + ")";
        case cmd::OpenRealPage: return "open the auction page";
        case cmd::OpenSimulationPage: return "open the practice page";
        case cmd::CompatibilityTest: return "compatibility test";
        case cmd::ClickAt: return "click at " + point;
        case cmd::ClickPlusBoxAt: return "click the plus-amount box at " + point;
        case cmd::PressBidElement: return "press the bid button (element)";
        case cmd::CodeBoxPoint: return "the code box is at " + point;
        case cmd::ConfirmCodeElement: return "confirm the code (element)";
        case cmd::CancelCodeElement: return "cancel the code dialog (element)";
        case cmd::CloseInfoElement: return "close the info dialog (element)";
        case cmd::FocusPlusBoxElement: return "focus the plus-amount box (element)";
        case cmd::PressAddElement: return "press the add button (element)";
        case cmd::StatusIconRecoverySecond:
        case cmd::StatusIconRecoveryFirst: return "status-icon recovery";
        case cmd::CalibrationDone: return "calibration done";
        default: return "command " + Hex(m.msg);
    }
}

ReplayResult RunReplay(const Scenario& scenario) {
    ReplayResult result;
    result.start = scenario.start;
    Installation folder;
    if (!folder.Ok()) {
        result.failure = "cannot make a scratch installation folder under /tmp";
        return result;
    }
    WriteDefaultGeometry();
    for (const SettingValue& v : scenario.settings) {
        if (!config::WriteProfileString(v.section, v.key, v.value, v.file)) {
            result.failure = "cannot write " + v.key + " to " + v.file;
            return result;
        }
    }

    platform::fake::FakePlatform fp(LocalAt(scenario.start));
    RecordingDesktop desktop(fp.desktop, fp.clock);
    const platform::Platform platform{fp.clock,    fp.clock, desktop,    fp.screen,       fp.keyboard, fp.registry,
                                      fp.programs, fp.sound, fp.notices, fp.systemTime, fp.power,    fp.singleInstance};
    const std::int64_t dayStartMillis = fp.clock.EpochMillis() - scenario.start;
    auto dayMs = [&](std::int64_t epochMillis) { return epochMillis - dayStartMillis; };

    // The page shell is up with the page open, as the console expects to find it. A shell killed
    // takes its windows with it; one started again has new ones.
    std::map<WindowId, const char*> shellWindows;  // every window of every shell, for the timeline
    WindowId page = 0;
    auto startShell = [&] {
        page = fp.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", kPageRect);
        const WindowId frame = fp.desktop.AddWindow("", shell::kPageFrameClass, kViewRect, page);
        const WindowId view = fp.desktop.AddWindow("", shell::kPageViewClass, kViewRect, frame);
        shellWindows[page] = "page";
        shellWindows[frame] = "frame";
        shellWindows[view] = "view";
    };
    startShell();
    fp.programs.AddFile(shell::kShellPath);

    log::LogBook book(fp.clock, "./Log");
    console::LoginInfo login;
    login.bidNumber = scenario.bidNumber;
    auto console = std::make_unique<console::CKestravaDlg>(platform, book, login);
    desktop.Watch(console.get(), &book);
    RoleOptions options;
    options.network = false;
    options.perception.reader = std::make_shared<perception::PriceReader>(&PriceFigure::Recognize);
    // The hooks hold the roles; the console's close stops every tick before they go.
    const ConsoleRoles roles = AttachAll(*console, std::move(options));
    const auto figure = std::make_shared<PriceFigure>(roles.perception->geometry());
    fp.screen.SetPainter([figure](platform::fake::FakeScreen& screen) { figure->Paint(screen); });

    const console::InitResult init = console->OnInitDialog();
    if (!init.ok) {
        std::string shown;
        for (const auto& [text, caption] : fp.notices.Shown()) shown += (shown.empty() ? "" : "; ") + text;
        result.failure = "the console did not start (exit code " + std::to_string(init.exitCode) + ")" +
                         (shown.empty() ? "" : ": " + shown);
        return result;
    }
    auto click = [&](std::int64_t id, bool on) {
        console->controls.SetCheck(static_cast<int>(id), on ? 1 : 0);
        console->OnCommand(static_cast<int>(id));
    };
    for (const ScenarioEvent& e : scenario.startBoxes) click(e.a, e.b != 0);

    // Everything the scenario makes happen, in time order; explicit events before feed reports
    // of the same millisecond, so a price change is in the report of that moment.
    std::vector<Input> inputs;
    for (const ScenarioEvent& e : scenario.events) inputs.push_back({e.at, e, false, false});
    for (const Feed& f : scenario.feeds) {
        for (DayMs t = f.from; t <= f.to; t += f.periodMs) {
            ScenarioEvent e;
            e.at = t;
            e.kind = EventKind::PageReport;
            e.line = f.line;
            inputs.push_back({t, e, true, false});
        }
    }
    std::stable_sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) {
        if (a.at != b.at) return a.at < b.at;
        return !a.fromFeed && b.fromFeed;
    });

    std::vector<TimelineEntry> inputEntries;
    std::size_t next = 0;
    std::vector<DayMs> ctrlReleases;
    std::int64_t pagePrice = 0;
    auto deliver = [&](const Input& in) {
        const ScenarioEvent& e = in.event;
        if (!in.fromFeed) inputEntries.push_back({in.at, TimelineEntry::Kind::Input, "", {}, EventText(e)});
        switch (e.kind) {
            case EventKind::PageReport: {
                const std::uint32_t price = static_cast<std::uint32_t>(in.fromFeed ? pagePrice : e.a);
                const std::int32_t code =
                    in.fromFeed ? TimeCode(in.at, console->IsSimulation()) : static_cast<std::int32_t>(e.b);
                if (in.fromFeed && price == 0) return;  // the page shows no price yet
                console->HandleMessage(Message{console::msg::PageReport, price, code});
                return;
            }
            case EventKind::ServerReport:
                console->HandleMessage(
                    Message{console::msg::ServerReport, static_cast<std::uint32_t>(e.a), static_cast<std::int32_t>(e.b)});
                return;
            case EventKind::Jam:
                console->HandleMessage(Message{console::msg::JamSignal, static_cast<std::uint32_t>(e.a), 0});
                return;
            case EventKind::PageLogin: console->HandleMessage(Message{console::msg::PageLoggedIn, 0, 0}); return;
            case EventKind::StartSimulation:
                console->HandleMessage(Message{console::msg::StartSimulationRun, 0, 0});
                return;
            case EventKind::Post:
                console->HandleMessage(
                    Message{static_cast<std::uint32_t>(e.a), static_cast<std::uint32_t>(e.b), static_cast<std::int32_t>(e.c)});
                return;
            case EventKind::Box: click(e.a, e.b != 0); return;
            case EventKind::Price: pagePrice = e.a; return;
            case EventKind::ScreenPrice: figure->Show(e.a); return;
            case EventKind::LogFolder: SetLogFolderWritable(e.a != 0); return;
            case EventKind::Shell:
                if (e.a == 0 && page != 0) fp.desktop.RemoveWindow(page);
                if (e.a == 0) page = 0;
                if (e.a == 1 && page == 0) startShell();
                return;
            case EventKind::ClockStep: return;  // applied by the run's loop, between the ticks
            case EventKind::Key:
                switch (e.key) {
                    case Key::Enter: fp.keyboard.Tap(vk::Return); return;
                    case Key::CtrlEnter:
                        fp.keyboard.SetDown(vk::Control, true);
                        fp.keyboard.Tap(vk::Return);
                        ctrlReleases.push_back(in.at + kCtrlHoldMs);
                        return;
                    case Key::Escape: fp.keyboard.Tap(vk::Escape); return;
                    case Key::F3: fp.keyboard.Tap(vk::F3); return;
                }
                return;
        }
    };
    // The interface thread's share: every millisecond, whatever has fallen due. It runs between
    // the ticks, and also while a tick sleeps in a bid application's waits.
    // The scenario's times are the true time, which the page and its feed keep; a clock step makes
    // the PC clock run `pcAhead` ms ahead of it (negative: behind).
    std::int64_t pcAhead = 0;
    auto trueNow = [&] { return dayMs(fp.clock.EpochMillis()) - pcAhead; };
    std::vector<ScenarioEvent> clockSteps;
    for (const ScenarioEvent& e : scenario.events)
        if (e.kind == EventKind::ClockStep) clockSteps.push_back(e);
    std::size_t nextStep = 0;
    auto pump = fp.clock.StartPeriodic(1, [&] {
        const DayMs now = trueNow();
        while (next < inputs.size() && inputs[next].at <= now) deliver(inputs[next++]);
        for (auto it = ctrlReleases.begin(); it != ctrlReleases.end();) {
            if (*it <= now) {
                fp.keyboard.SetDown(vk::Control, false);
                it = ctrlReleases.erase(it);
            } else {
                ++it;
            }
        }
    });

    // Until the stop time, or two seconds after the auction's end as the console knows it (a
    // practice run learns its end only when it starts).
    constexpr DayMs kAfterEndMs = 2000;
    constexpr DayMs kLastMs = 24LL * 3600 * 1000 - 1;
    for (;;) {
        const DayMs now = trueNow();
        // The auction ends at its hour on the true clock, whatever the PC clock says.
        DayMs target = scenario.stop.value_or(dayMs(console->state.auctionEnd.load() * 1000) + kAfterEndMs);
        if (!scenario.stop && next < inputs.size()) target = std::max(target, inputs.back().at);
        target = std::min(target, kLastMs);
        if (now >= target) break;
        if (nextStep < clockSteps.size() && clockSteps[nextStep].at <= now) {
            // Set as the system clock's setter sets it: the wall clock jumps, the tick count and
            // the timers' periods do not (FakeClock::SetNow), and no tick runs at that moment.
            const DayMs setTo = clockSteps[nextStep++].a;
            fp.clock.SetNow(LocalAt(setTo));
            pcAhead = setTo - now;
            desktop.ClockStepped(pcAhead);
            continue;
        }
        DayMs until = std::min(target, now + 1000);
        if (nextStep < clockSteps.size()) until = std::min(until, clockSteps[nextStep].at);
        fp.clock.AdvanceTo(LocalAt(until + pcAhead));
    }
    result.stop = trueNow();
    result.simulation = console->IsSimulation();
    pump.reset();

    // The whole log: the close writes what is still buffered to the day's file, after anything an
    // earlier flush (the end of a real auction) put there; a failed write leaves it buffered.
    const std::string dayFile = book.DayFilePath(scenario.bidNumber);
    console->OnClose();
    result.logLines = SplitLines(log::GbkToUtf8(ReadFile(dayFile)) + book.Pending());
    result.unwrittenLogLines = SplitLines(book.Pending()).size();

    // The timeline: inputs, posts and log lines by time; within one millisecond inputs first, then
    // posts in their order, then log lines in theirs.
    // Within one millisecond: inputs first, then posts and log lines in the order they were
    // made (a post sorts before the log line that was written after it).
    struct Keyed {
        DayMs at;
        int group;          // 0 inputs, 1 posts and log lines
        std::size_t order;  // a log line's number; for a post the number of lines before it
        int kind;           // at the same order a post comes before the line
        std::size_t seq;
        TimelineEntry entry;
    };
    std::vector<Keyed> all;
    std::size_t seq = 0;
    for (TimelineEntry& e : inputEntries) all.push_back({e.at, 0, 0, 0, seq++, std::move(e)});
    const std::vector<PostRecord> posts = desktop.Records();
    for (const PostRecord& r : posts) {
        const auto named = shellWindows.find(r.window);
        if (named == shellWindows.end()) continue;
        const char* target = named->second;
        TimelineEntry e;
        e.at = dayMs(r.atMillis);
        e.kind = TimelineEntry::Kind::Post;
        e.target = target;
        e.message = r.message;
        e.text = DescribePost(r.message) + (r.point.empty() ? "" : " = " + r.point);
        // A confirmation: the confirm command, or the first of a burst of confirm-point clicks
        // when no command came with it.
        const bool sameBurst = !result.confirmations.empty() && result.confirmations.back().at == e.at;
        if (r.message.msg == cmd::ConfirmCodeElement || (r.confirmPoint && !sameBurst))
            result.confirmations.push_back({e.at, r.applied, r.lowest, r.remaining});
        all.push_back({e.at, 1, r.linesBefore, 0, seq++, std::move(e)});
    }
    // A line without a stamp continues the one before it (a summary of several lines).
    DayMs lineAt = result.start;
    std::size_t lineNumber = 0;
    for (const std::string& line : result.logLines) {
        TimelineEntry e;
        if (const auto stamp = StampTime(line)) lineAt = *stamp - desktop.PcAheadAtLine(lineNumber);
        e.at = lineAt;
        e.kind = TimelineEntry::Kind::Log;
        const std::size_t body = line.find("] ");
        const std::size_t pageAt = line.find("国拍");
        std::string pageClock = pageAt == std::string::npos || body == std::string::npos ? "" : line.substr(pageAt, body - pageAt);
        pageClock.erase(std::remove(pageClock.begin(), pageClock.end(), ' '), pageClock.end());
        e.text = (pageClock.empty() ? "" : "[" + pageClock + "] ") + (body == std::string::npos ? line : line.substr(body + 2));
        all.push_back({e.at, 1, lineNumber++, 1, seq++, std::move(e)});
    }
    std::stable_sort(all.begin(), all.end(), [](const Keyed& a, const Keyed& b) {
        if (a.at != b.at) return a.at < b.at;
        if (a.group != b.group) return a.group < b.group;
        if (a.order != b.order) return a.order < b.order;
        if (a.kind != b.kind) return a.kind < b.kind;
        return a.seq < b.seq;
    });
    for (Keyed& k : all) result.timeline.push_back(std::move(k.entry));
    result.started = true;
    return result;
}

std::string FormatReplay(const Scenario& scenario, const ReplayResult& r) {
    std::ostringstream out;
    out << "scenario " << (scenario.name.empty() ? "(unnamed)" : scenario.name) << ": "
        << (r.simulation ? "practice run" : "real run") << ", console start " << FormatClock(r.start) << ", stop "
        << FormatClock(r.stop) << "\n";
    if (!r.started) {
        out << "failed: " << r.failure << "\n";
        return out.str();
    }
    out << "\n-- timeline (virtual time, who, message, wParam, lParam, meaning)\n";
    for (const TimelineEntry& e : r.timeline) {
        char head[64];
        switch (e.kind) {
            case TimelineEntry::Kind::Input:
                out << FormatClock(e.at) << "  in     " << e.text << "\n";
                break;
            case TimelineEntry::Kind::Post:
                std::snprintf(head, sizeof head, "  %-5s  %s %6u %6d  ", e.target.c_str(), Hex(e.message.msg).c_str(),
                              e.message.wParam, e.message.lParam);
                out << FormatClock(e.at) << head << e.text << "\n";
                break;
            case TimelineEntry::Kind::Log:
                out << FormatClock(e.at) << "  log    " << e.text << "\n";
                break;
        }
    }
    out << "\n-- outcome\n";
    if (r.confirmations.empty()) out << "no confirmation\n";
    for (std::size_t i = 0; i < r.confirmations.size(); ++i) {
        const Confirmation& c = r.confirmations[i];
        out << "confirm " << (i + 1) << " at " << FormatClock(c.at) << ": applied " << c.applied << ", lowest "
            << c.lowest << ", gap " << c.Gap() << ", " << c.remainingSeconds << " s remaining\n";
    }
    return out.str();
}

}  // namespace kestrava::runtime
