// How long the page shell's click takes to reach the page's handler.
//
//   command   the console's confirm command (0x4a3) posted to the page window -> the page's click
//             handler runs (the element's place is already known from the page's watch)
//   scheduled a scheduled confirmation (0x4ab) -> the page's handler, against the moment it names
//
// The page's handler stamps the click with the system clock to a tenth of a millisecond
// ("epoch=" in its log line); the command's stamp is taken just before it is posted. Each round
// opens the code dialog with a wrong code, so the page keeps its revisions and shows its error
// box, which the round closes again.
//
// usage: bench_click_path [rounds per kind, default 15]   (needs an X display; scripts/xvfb-env)
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "component/sorrelpane/shell_harness.h"
#include "platform/x11/x11_desktop.h"

namespace {

using namespace sorrelpane_harness;

constexpr std::uint32_t kBidElement = 0x4a1;
constexpr std::uint32_t kScheduleConfirm = 0x4ab;
constexpr char kWrongCode[] = "1111";

double EpochMillisNow() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The epoch stamp of the n-th (1-based) "click codeok" line of the page.
std::optional<double> NthConfirmStamp(const std::string& log, std::size_t n) {
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i < n; ++i) {
        at = log.find("page: click codeok", at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos) return std::nullopt;
    }
    const std::size_t e = log.find("epoch=", at);
    if (e == std::string::npos) return std::nullopt;
    return std::stod(log.substr(e + 6));
}

class Bench {
public:
    Bench(kestrava::platform::Desktop& desktop, const Installation& inst, WindowId window, WindowId view)
        : desktop_(desktop), inst_(inst), window_(window), view_(view) {}

    void Post(WindowId to, std::uint32_t msg, std::uint32_t wParam = 0, std::int32_t lParam = 0) {
        desktop_.PostMessage(to, Message{msg, wParam, lParam});
    }
    void PostAt(std::uint32_t msg, const char* keyX, const char* keyY) {
        Post(window_, msg, static_cast<std::uint32_t>(inst_.Geometry("lvwf_x") + inst_.Geometry(keyX)),
             inst_.Geometry("lvwf_y") + inst_.Geometry(keyY));
    }
    void Type(const std::string& digits) { TypeDigits(desktop_, view_, digits); }

    // Opens the code dialog for round `round` (1-based) with the wrong code typed in. The plus
    // amount typed in the first round stays in its box for the later ones.
    bool OpenCodeDialog(std::size_t round) {
        if (round == 1) {
            PostAt(kClickPlusBoxAt, "plusinput_picPot_x", "plusinput_picPot_y");
            Type("300");
        }
        Post(window_, kAddElement);
        Post(window_, kBidElement);
        if (!WaitUntil([&] { return CountIn(inst_.Log(), "page: dialog code open") >= round; })) return false;
        // The dialog is drawn a frame after it opens. Now and then the page keeps the keys in the
        // box that had the focus before the dialog; the code is then typed again.
        const std::string typed = std::string("page: input codeinput=") + kWrongCode;
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            PostAt(kCodeBoxPoint, "C_P2_IMGCODE_IN_X", "C_P2_IMGCODE_IN_Y");
            Type(kWrongCode);
            if (WaitUntil([&] { return CountIn(inst_.Log(), typed) >= round; }, 2000)) return true;
        }
        std::fprintf(stderr, "round %zu: the code did not reach the code box\n", round);
        return false;
    }
    // Waits for the round's confirmation and closes the page's error box.
    std::optional<double> TakeConfirm(std::size_t round) {
        if (!WaitUntil([&] { return CountIn(inst_.Log(), "page: click codeok") >= round; })) return std::nullopt;
        const std::optional<double> stamp = NthConfirmStamp(inst_.Log(), round);
        WaitUntil([&] { return CountIn(inst_.Log(), "page: dialog info ") >= round; }, 5000);
        Post(window_, kCloseInfoElement);
        WaitUntil([&] { return CountIn(inst_.Log(), "page: click infook") >= round; }, 5000);
        return stamp;
    }

private:
    kestrava::platform::Desktop& desktop_;
    const Installation& inst_;
    WindowId window_, view_;
};

void Report(const char* kind, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%-10s no samples\n", kind);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * (ms.size() - 1) + 0.5))]; };
    std::printf("%-10s n=%2zu  min %6.1f  median %6.1f  p90 %6.1f  max %6.1f  ms\n", kind, ms.size(), ms.front(), at(0.5),
                at(0.9), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_click_path: needs an X display (. scripts/xvfb-env && xvfb_start)\n");
        return 2;
    }
    auto desktop = kestrava::platform::x11::X11Desktop::Open();
    if (!desktop) return 2;
    // A practice page in its revision phase with time for every round.
    Installation inst("seed=7&code=4321&t0=80&delay=50&jam=0");
    FakeConsole console(*desktop);
    ShellProcess shell(inst.Dir());
    WindowId window = 0, view = 0;
    if (!WaitUntil([&] {
            window = desktop->FindWindowByTitle(kPageTitle);
            view = desktop->FindChild(desktop->FindChild(window, "Chrome_WidgetWin_0"), "Chrome_WidgetWin_1");
            return view != 0;
        })) {
        std::fprintf(stderr, "bench_click_path: the page window did not appear\n");
        return 1;
    }
    desktop->PostMessage(window, Message{kOpenPractice, 0, 0});
    if (!console.WaitFor(kPageLoggedIn)) {
        std::fprintf(stderr, "bench_click_path: the practice page did not log in\n");
        return 1;
    }
    Bench bench(*desktop, inst, window, view);
    std::vector<double> command, scheduled;
    std::size_t round = 0;
    for (int i = 0; i < rounds; ++i) {
        if (!bench.OpenCodeDialog(++round)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double sent = EpochMillisNow();
        bench.Post(window, kConfirmElement);
        if (auto at = bench.TakeConfirm(round)) command.push_back(*at - sent);

        if (!bench.OpenCodeDialog(++round)) break;
        const double due = std::floor(EpochMillisNow()) + 400;
        bench.Post(window, kScheduleConfirm, static_cast<std::uint32_t>(static_cast<std::int64_t>(due)),
                   static_cast<std::int32_t>(100 + i));
        if (auto at = bench.TakeConfirm(round)) scheduled.push_back(*at - due);
    }
    std::printf("the page shell's click path, %d rounds per kind (page handler minus the command or the moment):\n",
                rounds);
    Report("command", command);
    Report("scheduled", scheduled);
    desktop->PostMessage(window, Message{wm::Close, 0, 0});
    shell.WaitExit(20000);
    return command.size() == static_cast<std::size_t>(rounds) && scheduled.size() == static_cast<std::size_t>(rounds) ? 0 : 1;
}
