// The printout of kestrava-replay: what a post, an input and a page outcome mean in words, and
// the header, timeline and outcome of a run.
#include <cstdio>
#include <sstream>

#include "platform/keys.h"
#include "runtime/replay.h"
#include "shell/page_commands.h"
#include "shell/scheduled_confirm.h"

namespace kestrava::runtime {

namespace {

using platform::Message;
namespace vk = platform::vk;
namespace wm = platform::wm;
namespace cmd = shell::cmd;

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

}  // namespace

std::string EventText(const ScenarioEvent& e) {
    switch (e.kind) {
        case EventKind::PageReport: return "page report " + std::to_string(e.a) + " " + std::to_string(e.b);
        case EventKind::ServerReport: return "server report " + std::to_string(e.a) + " " + std::to_string(e.b);
        case EventKind::Jam: return "jam signal " + std::to_string(e.a);
        case EventKind::Key: {
            const char* names[] = {"enter", "ctrl+enter", "escape", "f3"};
            return std::string("key ") + names[static_cast<int>(e.key)] +
                   (e.b > 0 ? " held " + std::to_string(e.b) + " ms" : "");
        }
        case EventKind::PageLogin: return "page logged in (0x465)";
        case EventKind::StartSimulation: return "start the practice run (0x49d)";
        case EventKind::Box: return "box " + std::to_string(e.a) + (e.b ? " on" : " off");
        case EventKind::Post:
            return "post " + Hex(static_cast<std::uint32_t>(e.a)) + " " + std::to_string(e.b) + " " + std::to_string(e.c);
        case EventKind::Price: return "the page shows " + std::to_string(e.a);
        case EventKind::ScreenPrice:
            return "the screen's price figure reads " + std::to_string(e.a) + (e.b ? " (a misread)" : "");
        case EventKind::LogFolder: return e.a ? "the Log folder can be written again" : "the Log folder cannot be written";
        case EventKind::Shell: return e.a ? "the page shell is started again (by hand)" : "the page shell's process is killed";
        case EventKind::ClockStep: return "a network-time correction sets the PC clock to " + FormatClock(e.a);
        case EventKind::PageClosesDialog: return "the page closes its code dialog by itself";
        case EventKind::ShellFailsConfirm: return "from now on the shell's scheduled clicks find no confirm button";
    }
    return {};
}

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
        case cmd::ConfirmCodeElement:
            return "confirm the code (element)" + (m.lParam ? ", for token " + std::to_string(m.lParam) : std::string());
        case shell::cmd::ScheduleConfirm: return "click the confirm button at the moment, token " + std::to_string(m.lParam);
        case shell::cmd::CancelScheduledConfirm: return "cancel the scheduled click, token " + std::to_string(m.lParam);
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
            case TimelineEntry::Kind::Shell:
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
    for (const std::string& line : PageLines(r)) out << line << "\n";
    return out.str();
}

std::vector<std::string> PageLines(const ReplayResult& r) {
    std::vector<std::string> lines;
    bool accepted = false;
    for (const PageOutcome& p : r.page) {
        lines.push_back(FormatPageOutcome(p));
        accepted = accepted || p.kind == PageOutcome::Kind::Accepted;
    }
    if (!accepted) lines.push_back("page: no bid accepted");
    return lines;
}

std::string FormatPageOutcome(const PageOutcome& p) {
    const std::string at = FormatClock(p.at);
    if (p.kind == PageOutcome::Kind::NoDialog) return "page: click with no dialog open at " + at;
    if (p.kind == PageOutcome::Kind::TooLate)
        return "page: too late " + std::to_string(p.bid) + " at " + at + ", the auction ended at " + FormatClock(p.end);
    return std::string("page: ") + (p.kind == PageOutcome::Kind::Accepted ? "accepted " : "refused ") +
           std::to_string(p.bid) + " at " + at + ", page price " + std::to_string(p.pagePrice) + ", gap " +
           std::to_string(p.Gap());
}

}  // namespace kestrava::runtime
