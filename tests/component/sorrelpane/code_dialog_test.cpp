// The page's verification-code dialog as the console hears of it (0x4b1): a real Sorrelpane on the
// practice page under the test's X display, the dialog opened by the console's commands and
// closed every way it can close, the reports read by a stand-in console window.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "component/sorrelpane/shell_fixture.h"
#include "component/sorrelpane/shell_harness.h"
#include "console/console.h"

namespace {

using namespace sorrelpane_harness;
namespace console = kestrava::console;

constexpr std::uint32_t kCodeDialog = console::msg::CodeDialog;
constexpr std::int32_t kOpened = static_cast<std::int32_t>(console::CodeDialog::Opened);
constexpr std::int32_t kByConfirm = static_cast<std::int32_t>(console::CodeDialog::ClosedByConfirm);
constexpr std::int32_t kOtherwise = static_cast<std::int32_t>(console::CodeDialog::ClosedOtherwise);
constexpr std::uint32_t kPressBid = 0x4a1;
constexpr std::uint32_t kCancelElement = 0x4a4;
constexpr std::uint32_t kFocusPlusBox = 0x4a6;
constexpr std::uint32_t kConfirmSeen = 0x4ae;
constexpr std::uint32_t kVerdict = 0x4af;

// The price in the page's own line about the dialog it opened last ("dialog code open price=N").
std::uint32_t LastPriceShown(const std::string& log) {
    const std::string key = "page: dialog code open price=";
    const std::size_t at = log.rfind(key);
    return at == std::string::npos ? 0 : static_cast<std::uint32_t>(std::stoul(log.substr(at + key.size())));
}

// A person's click through the X server (xdotool) at a page point of the console's geometry.
void PersonClicks(const Installation& inst, WindowId view, const char* keyX, const char* keyY) {
    const int x = inst.Geometry("lvwf_x") + inst.Geometry(keyX);
    const int y = inst.Geometry("lvwf_y") + inst.Geometry(keyY);
    const std::string command = "xdotool mousemove --window " + std::to_string(view) + " " + std::to_string(x) + " " +
                                std::to_string(y) + " click 1 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A practice run for one test: its installation (with `elements` as its selector file when given),
// the stand-in console, the shell.
struct PracticeRun {
    PracticeRun(kestrava::platform::Desktop& desktop, const std::string& params, const char* elements)
        : inst(params), elementsWritten(WriteElements(inst, elements)), console(desktop), shell(inst.Dir()) {}
    static bool WriteElements(const Installation& inst, const char* elements) {
        if (!elements) return false;
        std::ofstream(inst.Dir() / "bin" / "sorrelpane.ini", std::ios::app) << "practiceelements=bin/elements.ini\n";
        std::ofstream(inst.Dir() / "bin" / "elements.ini") << elements;
        return true;
    }
    Installation inst;
    bool elementsWritten;
    FakeConsole console;
    ShellProcess shell;
};

class CodeDialogTest : public SorrelpaneTest {
protected:
    // The run logged in, the lowest price plus 300 in the bid-price box (as the console fills it,
    // by element); null on failure.
    std::unique_ptr<PracticeRun> Start(const std::string& params, const char* elements = nullptr) {
        auto run = std::make_unique<PracticeRun>(*desktop_, params, elements);
        w_ = OpenPracticePage();
        if (w_.view == 0 || !run->console.WaitFor(kPageLoggedIn)) {
            ADD_FAILURE() << "the practice page did not log in";
            return nullptr;
        }
        Post(w_.window, kFocusPlusBox);
        TypeDigits(w_.view, "300");
        if (!run->inst.WaitLog("page: input plusamount=300 trusted=1")) return nullptr;
        Post(w_.window, kAddElement);
        if (!run->inst.WaitLog("page: click addbtn trusted=1 amount=300")) return nullptr;
        return run;
    }

    // Waits for the console's `n`-th report of the dialog (counting from 1).
    std::optional<Message> Report(const FakeConsole& c, std::size_t n) {
        if (!c.WaitFor(kCodeDialog, n)) {
            ADD_FAILURE() << "no code dialog report number " << n << " (" << c.Received(kCodeDialog).size() << " came)";
            return std::nullopt;
        }
        return c.Received(kCodeDialog)[n - 1];
    }

    // The bid button pressed: the dialog opens and the console hears of it with the price the page
    // shows, which is the report number `n`.
    void OpenDialog(const PracticeRun& run, std::size_t n) {
        Post(w_.window, kPressBid);
        const std::optional<Message> opened = Report(run.console, n);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->lParam, kOpened);
        EXPECT_GT(opened->wParam, 89000u);
        EXPECT_EQ(opened->wParam, LastPriceShown(run.inst.Log())) << "the price the dialog shows";
    }

    PageWindows w_;
};

// Each way the dialog closes, in one practice run: what the console is told, and that the report
// carries the price of the dialog that closed.
enum class Closer { ConfirmCommand, ConfirmPoint, PersonOnConfirm, ScheduledConfirm, CancelCommand, PersonOnCancel };
struct CloseCase {
    const char* name;
    Closer how;
    std::int32_t expected;
    bool infoFollows;  // the page then shows its information dialog (a wrong code, a verdict)
};
constexpr CloseCase kCloseCases[] = {
    {"the console's confirm command", Closer::ConfirmCommand, kByConfirm, true},
    {"the console's click at a confirm point", Closer::ConfirmPoint, kByConfirm, true},
    {"the person's mouse on 确定", Closer::PersonOnConfirm, kByConfirm, true},
    {"a scheduled confirm with the right code", Closer::ScheduledConfirm, kByConfirm, true},
    {"the console's cancel command", Closer::CancelCommand, kOtherwise, false},
    {"the person's mouse on 取消", Closer::PersonOnCancel, kOtherwise, false},
};

TEST_F(CodeDialogTest, EachWayTheDialogClosesIsReportedWithItsPrice) {
    const std::unique_ptr<PracticeRun> run = Start("seed=7&code=4321&t0=80&delay=50&jam=0");
    ASSERT_TRUE(run);
    const Installation& inst = run->inst;
    const FakeConsole& console = run->console;
    std::size_t reports = 0;
    std::size_t infos = 0;
    std::size_t codes = 0;
    for (const CloseCase& c : kCloseCases) {
        SCOPED_TRACE(c.name);
        OpenDialog(*run, ++reports);
        const std::uint32_t price = LastPriceShown(inst.Log());
        const std::size_t before = console.ReceivedAmong({kAnswer, kConfirmSeen, kVerdict, kCodeDialog}).size();
        switch (c.how) {
        case Closer::ConfirmCommand: Post(w_.window, kConfirmElement); break;
        case Closer::ConfirmPoint: PostAt(inst, w_.window, kClickAt, "vk_ret_code_enterx_1", "vk_ret_code_entery_1"); break;
        case Closer::PersonOnConfirm: PersonClicks(inst, w_.view, "vk_ret_code_enterx_1", "vk_ret_code_entery_1"); break;
        case Closer::ScheduledConfirm:
            TypeCode(inst, w_, ++codes);
            Post(w_.window, kSchedule, static_cast<std::uint32_t>(EpochMs() + 300), 31);
            break;
        case Closer::CancelCommand: Post(w_.window, kCancelElement); break;
        case Closer::PersonOnCancel: PersonClicks(inst, w_.view, "vk_esc_x", "vk_esc_y"); break;
        }
        const std::optional<Message> closed = Report(console, ++reports);
        ASSERT_TRUE(closed);
        EXPECT_EQ(closed->lParam, c.expected);
        EXPECT_EQ(closed->wParam, price);

        if (c.how == Closer::ScheduledConfirm) {
            // What the console hears around a scheduled confirm, in this order: the schedule
            // accepted and fired, the page's handler ran, the dialog closed by its confirm, the
            // verdict after the server delay.
            ASSERT_TRUE(console.WaitFor(kVerdict));
            const std::vector<Message> all = console.ReceivedAmong({kAnswer, kConfirmSeen, kVerdict, kCodeDialog});
            std::vector<std::pair<std::uint32_t, std::int32_t>> sequence;
            for (std::size_t i = before; i < all.size(); ++i) {
                // The page's clock and its verdict are other tests' business.
                const bool keep = all[i].msg == kAnswer || all[i].msg == kCodeDialog;
                sequence.emplace_back(all[i].msg, keep ? all[i].lParam : 0);
            }
            const std::vector<std::pair<std::uint32_t, std::int32_t>> expected{
                {kAnswer, Accepted}, {kAnswer, Fired}, {kConfirmSeen, 0}, {kCodeDialog, kByConfirm}, {kVerdict, 0}};
            EXPECT_EQ(sequence, expected);
        }
        if (c.infoFollows) {
            ASSERT_TRUE(WaitUntil([&] { return CountIn(inst.Log(), "page: dialog info") > infos; }));
            ++infos;
            const std::size_t closes = CountIn(inst.Log(), "page: click infook");
            Post(w_.window, kCloseInfoElement);
            ASSERT_TRUE(WaitUntil([&] { return CountIn(inst.Log(), "page: click infook") > closes; }));
        }
    }
    // A dialog whose page is opened afresh goes with it: closed otherwise. Nothing else came.
    OpenDialog(*run, ++reports);
    Post(w_.window, kOpenPractice);
    const std::optional<Message> gone = Report(console, ++reports);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->lParam, kOtherwise);
    ASSERT_TRUE(console.WaitFor(kPageLoggedIn, 2));
    EXPECT_EQ(console.Received(kCodeDialog).size(), reports);
    CloseShell(run->shell, w_);
}

// The page takes the dialog away by itself (its code expired): closed otherwise, with the price.
TEST_F(CodeDialogTest, ADialogThePageClosesByItselfIsReportedClosedOtherwise) {
    const std::unique_ptr<PracticeRun> run = Start("seed=7&code=4321&t0=80&delay=50&jam=0&codetimeout=1");
    ASSERT_TRUE(run);
    OpenDialog(*run, 1);
    const std::optional<Message> closed = Report(run->console, 2);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->lParam, kOtherwise);
    EXPECT_EQ(closed->wParam, LastPriceShown(run->inst.Log()));
    EXPECT_NE(run->inst.Log().find("page: dialog code expired after 1 s"), std::string::npos) << run->inst.Log();
    CloseShell(run->shell, w_);
}

// The watch knows no page of its own: on another operator's layout it works from that page's
// selectors; with no confirm selector the shell cannot tell, and says nothing.
struct PageCase {
    const char* name;
    const char* params;
    const char* elements;
    bool reported;
};
// The login form is the same on both.
constexpr char kLoginSelectors[] = "loginbid=#loginbid\nloginpwd=#loginpwd\nloginid=#loginid\nloginbutton=#loginbtn\n";
constexpr PageCase kPageCases[] = {
    {"another operator's page with its selectors", "&variant=b",
     "[Elements]\nbidbutton=#offersubmit\nconfirm=#vcodeyes\ncancel=#vcodeback\ninfoclose=#msgclose\n"
     "plusbox=#stepinput\naddbutton=#stepapply\ncodebox=#vcode\nbidprice=#offerinput\n",
     true},
    {"a page without a confirm selector", "",
     "[Elements]\nbidbutton=#bidbtn\ncancel=#codecancel\nplusbox=#plusamount\naddbutton=#addbtn\ncodebox=#codeinput\n"
    ,
     false},
};

TEST_F(CodeDialogTest, OtherPagesAreWatchedThroughTheirSelectors) {
    for (const PageCase& p : kPageCases) {
        SCOPED_TRACE(p.name);
        const std::string elements = std::string(p.elements) + kLoginSelectors;
        const std::unique_ptr<PracticeRun> run =
            Start(std::string("seed=7&code=4321&t0=80&delay=50&jam=0") + p.params, elements.c_str());
        ASSERT_TRUE(run);
        if (p.reported) {
            OpenDialog(*run, 1);
            Post(w_.window, kCancelElement);
            const std::optional<Message> closed = Report(run->console, 2);
            ASSERT_TRUE(closed);
            EXPECT_EQ(closed->lParam, kOtherwise);
        } else {
            Post(w_.window, kPressBid);
            ASSERT_TRUE(run->inst.WaitLog("page: dialog code open"));
            Post(w_.window, kCancelElement);
            ASSERT_TRUE(run->inst.WaitLog("page: click codecancel"));
            EXPECT_TRUE(run->inst.WaitLog("code dialog: no confirm selector for this page"));
            EXPECT_TRUE(run->console.Received(kCodeDialog).empty());
        }
        CloseShell(run->shell, w_);
    }
}

}  // namespace
