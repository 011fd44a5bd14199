#include "runtime/replay.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "config/profile.h"
#include "console/console.h"
#include "log/gbk.h"
#include "log/log_book.h"
#include "perception/page_geometry.h"
#include "perception/price_reader.h"
#include "platform/fake/fake_platform.h"
#include "platform/files.h"
#include "platform/keys.h"
#include "runtime/console_roles.h"
#include "runtime/replay_desktop.h"
#include "runtime/replay_page.h"
#include "shell/page_commands.h"
#include "shell/scheduled_confirm.h"

namespace kestrava::runtime {

namespace {

namespace fs = std::filesystem;
using platform::Message;
using platform::WindowId;
namespace vk = platform::vk;
namespace wm = platform::wm;
namespace cmd = shell::cmd;

constexpr int kYear = 2026, kMonth = 12, kDay = 10;
// A Ctrl held with Enter is released after the next scan tick has seen both.
constexpr DayMs kCtrlHoldMs = 300;
// A key held down repeats at the keyboard's rate while it is down.
constexpr DayMs kKeyRepeatMs = 100;

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

// The scratch installation folder, the working directory for the length of the run.
class Installation {
public:
    Installation() {
        if (const std::optional<std::string> dir = platform::MakePrivateTempFolder("kestrava-replay-"))
            path_ = platform::PathFromUtf8(*dir);
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
    DayMs reachesConsole = 0;  // a feed report: when the console gets it
    int clockOffsetMs = 0;     // a feed report: how far its time code runs from the true time
};

// A key the keyboard repeats (down again, `down` true) or lets go.
struct KeyStep {
    DayMs at;
    int vk;
    bool down;
};

// When a report the page makes at `t` reaches the console.
DayMs ReachesConsole(const Feed& f, DayMs t) {
    DayMs handed = t;
    if (f.burstMs > 0) handed = f.from + (t - f.from + f.burstMs - 1) / f.burstMs * f.burstMs;
    return handed + f.delayMs;
}

// The timeline's order: within one millisecond inputs first, then posts, the shell's messages and
// log lines in the order they were made (a post sorts before the log line written after it).
struct Keyed {
    DayMs at;
    int group;          // 0 inputs, 1 posts, the shell's messages and log lines
    std::size_t order;  // a log line's number; for a post or a message the number of lines before it
    int kind;           // at the same order a post or a message comes before the line
    std::size_t seq;
    TimelineEntry entry;
};

}  // namespace

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
    WindowId page = 0, view = 0;
    auto startShell = [&] {
        page = fp.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", kPageRect);
        const WindowId frame = fp.desktop.AddWindow("", shell::kPageFrameClass, kViewRect, page);
        view = fp.desktop.AddWindow("", shell::kPageViewClass, kViewRect, frame);
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
    // A scenario that posts the shell's answers itself speaks for the shell's scheduled side.
    const bool scenarioAnswers = std::any_of(scenario.events.begin(), scenario.events.end(), [](const ScenarioEvent& e) {
        return e.kind == EventKind::Post && e.a == shell::kScheduleAnswerMessage;
    });
    PageModel pageModel(scenarioAnswers, [&](DayMs at) {
        const auto& s = console->state;
        return Confirmation{at, s.appliedPrice.load(), s.lowestPrice.load(), s.remainingSeconds.load()};
    });
    // Only the live shell's page hears the console: a killed shell's windows are gone.
    desktop.Observe([&](const PostRecord& r) {
        if (r.window != 0 && (r.window == page || r.window == view))
            pageModel.OnPost(r, r.window == view, dayMs(r.atMillis), fp.clock.EpochMillis());
    });
    RoleOptions options;
    options.network = false;
    // A misread (`screen P misread`) leaves the figure's pixels as they were and reads them as P.
    const auto misread = std::make_shared<std::atomic<std::int64_t>>(-1);
    options.perception.reader = std::make_shared<perception::PriceReader>(
        [misread](const perception::PixelBuffer& f) { return PriceFigure::Recognize(f, misread->load()); });
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
    for (const ScenarioEvent& e : scenario.events) inputs.push_back({e.at, e});
    for (const Feed& f : scenario.feeds) {
        for (DayMs t = f.from; t <= f.to; t += f.periodMs) {
            ScenarioEvent e;
            e.at = t;
            e.kind = EventKind::PageReport;
            e.line = f.line;
            inputs.push_back({t, e, true, ReachesConsole(f, t), f.clockOffsetMs.value_or(scenario.pageClockOffsetMs)});
        }
    }
    std::stable_sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) {
        if (a.at != b.at) return a.at < b.at;
        return !a.fromFeed && b.fromFeed;
    });

    std::vector<TimelineEntry> inputEntries;
    std::size_t next = 0;
    std::vector<KeyStep> keySteps;
    auto deliver = [&](const Input& in) {
        const ScenarioEvent& e = in.event;
        if (!in.fromFeed) inputEntries.push_back({in.at, TimelineEntry::Kind::Input, "", {}, EventText(e)});
        switch (e.kind) {
            case EventKind::PageReport: {
                const std::uint32_t price = static_cast<std::uint32_t>(in.fromFeed ? pageModel.Price() : e.a);
                const std::int32_t code = in.fromFeed ? TimeCode(in.at + in.clockOffsetMs, console->IsSimulation())
                                                      : static_cast<std::int32_t>(e.b);
                if (in.fromFeed && price == 0) return;  // the page shows no price yet
                if (!in.fromFeed && price > 0) pageModel.SetPrice(price);  // the page reports what it shows
                const Message report{console::msg::PageReport, price, code};
                // A late report carries its own moment's price and time code.
                if (in.fromFeed && in.reachesConsole > in.at)
                    pageModel.Send({in.reachesConsole, report, ""});
                else
                    console->HandleMessage(report);
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
            case EventKind::Price: pageModel.SetPrice(e.a); return;
            case EventKind::PageClosesDialog: pageModel.CloseDialogByPage(in.at); return;
            case EventKind::ShellFailsConfirm: pageModel.ShellFailsConfirm(); return;
            case EventKind::ScreenPrice:
                if (e.b != 0) {
                    misread->store(e.a);
                    return;
                }
                misread->store(-1);
                figure->Show(e.a);
                pageModel.FigureShows(e.a);
                return;
            case EventKind::LogFolder: SetLogFolderWritable(e.a != 0); return;
            case EventKind::Shell:
                if (e.a == 0 && page != 0) fp.desktop.RemoveWindow(page);
                if (e.a == 0) {
                    page = view = 0;
                    pageModel.ShellGone();
                }
                if (e.a == 1 && page == 0) startShell();
                return;
            case EventKind::ClockStep: return;  // applied by the run's loop, between the ticks
            case EventKind::Key:
                switch (e.key) {
                    case Key::Enter:
                        if (e.b == 0) {
                            fp.keyboard.Tap(vk::Return);
                            return;
                        }
                        fp.keyboard.SetDown(vk::Return, true);
                        for (DayMs t = in.at + kKeyRepeatMs; t < in.at + e.b; t += kKeyRepeatMs)
                            keySteps.push_back({t, vk::Return, true});
                        keySteps.push_back({in.at + e.b, vk::Return, false});
                        return;
                    case Key::CtrlEnter:
                        fp.keyboard.SetDown(vk::Control, true);
                        fp.keyboard.Tap(vk::Return);
                        keySteps.push_back({in.at + kCtrlHoldMs, vk::Control, false});
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
    std::vector<Keyed> shellEntries;  // what the page's side said to the console, for the timeline
    auto pump = fp.clock.StartPeriodic(1, [&] {
        const DayMs now = trueNow();
        while (next < inputs.size() && inputs[next].at <= now) deliver(inputs[next++]);
        for (auto it = keySteps.begin(); it != keySteps.end();) {
            if (it->at <= now) {
                fp.keyboard.SetDown(it->vk, it->down);
                it = keySteps.erase(it);
            } else {
                ++it;
            }
        }
        // The page's auction ends at its hour on the true clock (the console's end, read as below).
        if (const std::int64_t end = console->state.auctionEnd.load(); end > 0) pageModel.SetAuctionEnd(dayMs(end * 1000));
        pageModel.Poll(now, fp.clock.EpochMillis());
        for (const PageModel::ToConsole& m : pageModel.TakeDue(now)) {
            if (!m.text.empty())
                shellEntries.push_back({now, 1, desktop.LinesWritten(), 0, 0,
                                        {now, TimelineEntry::Kind::Shell, "shell", m.message, m.text}});
            console->HandleMessage(m.message);
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

    // The timeline: inputs, posts, the shell's messages and log lines by time (see Keyed).
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
        if (r.message.msg == cmd::ConfirmCodeElement || (r.role == PagePointRole::Confirm && !sameBurst))
            result.confirmations.push_back({e.at, r.applied, r.lowest, r.remaining});
        all.push_back({e.at, 1, r.linesBefore, 0, seq++, std::move(e)});
    }
    for (Keyed& k : shellEntries) {
        k.seq = seq++;
        all.push_back(std::move(k));
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
    // The shell's scheduled clicks are presses the console asked for too.
    for (const Confirmation& c : pageModel.ShellClicks()) result.confirmations.push_back(c);
    std::stable_sort(result.confirmations.begin(), result.confirmations.end(),
                     [](const Confirmation& a, const Confirmation& b) { return a.at < b.at; });
    result.page = pageModel.Outcomes();
    result.started = true;
    return result;
}

}  // namespace kestrava::runtime
