// The submission control: the bidder's keys, the smart submission that Enter arms, and the one
// operation that presses "确定".
#include <filesystem>
#include <iterator>
#include <span>
#include <string>

#include "engine/engine.h"
#include "log/log_book.h"
#include "perception/capture.h"
#include "perception/image_files.h"
#include "platform/keys.h"

namespace kestrava::engine {

namespace vk = platform::vk;

namespace {

// The 27 calibrated confirm points, by their numbers, in the order each mode clicks them. A
// practice page answers the first of its points; the real page is pressed by the element
// command first and by the points after it.
constexpr int kSimulationConfirmOrder[] = {19, 23, 9, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13,
                                           14, 15, 16, 17, 18, 20, 21, 22, 24, 25, 26, 27};
constexpr int kRealConfirmOrder[] = {9, 23, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13,
                                     14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25, 26, 27};
static_assert(std::size(kSimulationConfirmOrder) == 27 && std::size(kRealConfirmOrder) == 27);

constexpr char kShotFolder[] = ".//ScreenShot//del2//samples//";
// The rule names the smart submission's confirmations are scheduled and taken under.
constexpr char kDelayRule[] = "延时提交";
// Above this gap the smart submission always waits for the price.
constexpr int kFarGap = 800;
constexpr std::uint32_t kF3RepeatMs = 400;
constexpr int kF3TestAmount = 3000;
constexpr char kNothingWaiting[] = "没有等待提交的出价";

}  // namespace

// ---- The submission's life

SubmissionStep Engine::Fire(console::CKestravaDlg& c, SubmissionInput input, int price, std::uint32_t serial) {
    SubmissionStep step;
    {
        // Under the schedule's lock: a rule announcing a moment sees the bid armed and its
        // schedule reaches ConfirmBid, or sees it gone and announces nothing.
        std::lock_guard lock(scheduleMutex_);
        step = records.submission.Fire(input, price, serial);
        if (step.from == step.to && step.action != SubmissionAction::NewLife && step.action != SubmissionAction::Note)
            return step;
        // The display follows the bid the page holds.
        c.state.appliedPrice = step.price;
        if (step.action == SubmissionAction::NewLife) lifePageWindow_ = c.state.pageWindow.load();
    }
    if (step.from == SubmissionState::Armed && step.to != SubmissionState::Armed) {
        // Confirmations waiting for this bid (rise rules, cloud) die with its waiting.
        records.rise1Pending = 0;
        records.rise2Pending = 0;
        records.cloudPending = 0;
    }
    switch (step.action) {
        case SubmissionAction::Withdraw:
            AbandonScheduledConfirm(c, "撤销");
            break;
        case SubmissionAction::Lost:
            AbandonScheduledConfirm(c, "页面已关闭验证码框");
            if (input == SubmissionInput::ShellRestarted) {
                Log(c, "页面已重新打开，申请价格" + std::to_string(step.previousPrice) + "的验证码框已不在");
                c.SetInfoBody("页面已重新打开，原验证码框已不在，请重新出价");
            } else {
                Log(c, "页面关闭了验证码框，申请价格" + std::to_string(step.previousPrice) + "不再等待提交");
                c.SetInfoBody("页面关闭了验证码框，出价没有提交，请重新出价");
            }
            c.state.statusClass = 0;
            c.state.statusText.Set("----");
            break;
        case SubmissionAction::Expire:
            AbandonScheduledConfirm(c, "拍卖结束");
            Log(c, "拍卖已结束，申请价格" + std::to_string(step.previousPrice) + "没有提交");
            break;
        case SubmissionAction::NewLife:
        case SubmissionAction::Forget:
            AbandonScheduledConfirm(c, "重置");
            break;
        default:
            break;
    }
    return step;
}

void Engine::RefuseEnter(console::CKestravaDlg& c, const SubmissionStep& step) {
    // A held Enter repeats ten times a second: the bidder is told once.
    if (!step.firstRefusal) return;
    Log(c, kNothingWaiting);
    log::DebugPrintf("Enter refused: the bid is %s\n", std::string(Name(step.to)).c_str());
    c.SetInfoBody(kNothingWaiting);
}

void Engine::OnCodeDialogReport(console::CKestravaDlg& c, std::uint32_t price, std::int32_t state) {
    const int p = price <= 999999 ? static_cast<int>(price) : 0;
    switch (static_cast<console::CodeDialog>(state)) {
        case console::CodeDialog::Opened: {
            const SubmissionStep step = Fire(c, SubmissionInput::PageOpened, p);
            if (step.Did(SubmissionAction::NewLife)) Log(c, "页面打开了验证码框，价格" + std::to_string(p));
            if (step.Did(SubmissionAction::Note)) log::DebugPrintf("页面验证码框价格 %d\n", p);
            return;
        }
        case console::CodeDialog::ClosedByConfirm: {
            // The shell's click for a moment it was told of can reach the page a few milliseconds
            // before the submit tick reaches that moment: the rule that scheduled it still takes
            // the confirmation at its tick (ConfirmBid finds the shell's click), and says so.
            const Submission& bid = records.submission;
            if (bid.Armed() && ConfirmSchedule(c).TokenOf(bid.Serial()) != 0) return;
            const SubmissionStep step = Fire(c, SubmissionInput::PageConfirmed);
            if (step.from == SubmissionState::Applied || step.from == SubmissionState::Armed)
                Log(c, "页面的确定按钮已按下，申请价格" + std::to_string(step.previousPrice) + "已提交");
            return;
        }
        case console::CodeDialog::ClosedOtherwise:
            Fire(c, SubmissionInput::PageClosed);
            return;
    }
}

void Engine::WatchPageWindow(console::CKestravaDlg& c) {
    // A new page window (the shell restarted) shows a new page: the old one's dialog is gone.
    const platform::WindowId now = c.state.pageWindow.load();
    const platform::WindowId life = lifePageWindow_.load();
    if (now == 0 || life == 0 || now == life || !records.submission.Waiting()) return;
    Fire(c, SubmissionInput::ShellRestarted);
}

// ---- ConfirmBid

void Engine::ConfirmBid(console::CKestravaDlg& c, const char* rule) {
    // The page shell clicks a confirmation it was told of ahead, at its moment.
    if (ConfirmSchedule(c).TakeConfirm(rule)) {
        records.leftToShellPrice = records.submission.Price();
        return;
    }
    ConfirmByCommand(c);
}

void Engine::ConfirmByCommand(console::CKestravaDlg& c) {
    // A schedule of this arming that the shell may still read late (it stalled past the moment)
    // and this command name each other: the shell clicks once for the two. The points are not
    // clicked then, since they would click a second time.
    if (const std::uint32_t token = ConfirmSchedule(c).TokenOf(records.submission.Serial())) {
        c.shell.ConfirmCodeElement(token);
        return;
    }
    if (c.shell.ElementMode()) {
        c.shell.ConfirmCodeElement();
        return;
    }
    const shell::PageGeometry g = c.state.Geometry();
    const bool simulation = c.IsSimulation();
    if (!simulation) c.shell.ConfirmCodeElement();
    for (const int n : simulation ? std::span<const int>(kSimulationConfirmOrder) : std::span<const int>(kRealConfirmOrder)) {
        const shell::PagePoint offset = g.vk_ret_code_enter[n - 1];
        c.shell.ClickAt(g.At(offset.x, offset.y));
    }
}

// ---- Scheduled confirmations

namespace {
// How far ahead a moment is announced: far enough for the acknowledgement to come back, near
// enough that the rule's state (the armed submission, the page) is what it will be at the moment.
constexpr std::int32_t kAnnounceAheadMs = 1000;
}  // namespace

shell::ConfirmSchedule& Engine::ConfirmSchedule(console::CKestravaDlg& c) {
    std::call_once(scheduleOnce_, [&] {
        schedule_ = std::make_unique<shell::ConfirmSchedule>(
            c.platform.clock, [&c](const platform::Message& m) { return c.shell.Post(m.msg, m.wParam, m.lParam); },
            // The shell's day log has every schedule, cancel and click with its timing; the
            // console's notes go to the debug console and leave the day log to the rules' lines.
            [](const std::string& line) { log::DebugPrintf("%s\n", line.c_str()); });
    });
    return *schedule_;
}

void Engine::ScheduleConfirm(console::CKestravaDlg& c, std::uint32_t dueTick, const char* rule) {
    // In either action mode: a page the shell has no confirm selector for is answered as such, and
    // the console then clicks at its points at the moment.
    const auto ahead = static_cast<std::int32_t>(dueTick - Now(c));
    // Too close for an acknowledgement to come back in time: the rule confirms by itself.
    if (ahead > kAnnounceAheadMs || ahead <= static_cast<std::int32_t>(shell::ConfirmSchedule::kAckMarginMs)) return;
    std::lock_guard lock(scheduleMutex_);
    // A submission ended meanwhile has nothing left to confirm.
    if (!records.submission.Armed()) return;
    shell::ConfirmSchedule& schedule = ConfirmSchedule(c);
    if (schedule.Pending()) {
        // One armed submission, one confirmation: of the moments its rules announce, the earliest
        // confirms and the others find the submission ended. The same moment again, or a later
        // one, keeps the pending schedule; otherwise two waiting rules (both rise rules, a delay
        // and a forced moment) would replace each other's schedule on every tick.
        const auto apart = static_cast<std::int32_t>(dueTick - scheduledDue_);
        if (apart >= -static_cast<std::int32_t>(shell::ConfirmSchedule::kSameConfirmMs)) return;
    }
    scheduledDue_ = dueTick;
    records.forced58Scheduled = std::string_view(rule) == kForced58Rule ? 1 : 0;
    schedulePageWindow_ = c.state.pageWindow.load();
    schedule.Schedule(dueTick, rule, records.submission.Serial());
}

void Engine::KeepScheduleWithItsShell(console::CKestravaDlg& c) {
    // A shell that restarted (or a page window that went) after acknowledging has lost the moment
    // with its old window: nobody would click. Cancelled here, the rule confirms by itself at the
    // moment, or announces it afresh to the new shell while there is time for an answer.
    shell::ConfirmSchedule& schedule = ConfirmSchedule(c);
    if (schedule.Pending() && c.state.pageWindow.load() != schedulePageWindow_.load())
        schedule.Abandon("页面窗口已更换，到时由本程序点击");
}

void Engine::OnScheduleAnswer(console::CKestravaDlg& c, std::uint32_t token, std::int32_t answer) {
    if (!ConfirmSchedule(c).OnAnswer(token, answer)) return;
    // The shell found no confirm button at the moment the rule left to it: click now by command
    // and at the points, and say so in the day's log. The bid is confirming already; the dialog
    // still holds it until this click.
    const int price = records.leftToShellPrice.exchange(0);
    ConfirmByCommand(c);
    Log(c, "页面未能按预约点击确定，软件立即点击确定 申请价格：" + std::to_string(price));
}

void Engine::AbandonScheduledConfirm(console::CKestravaDlg& c, const char* why) { ConfirmSchedule(c).Abandon(why); }

// ---- Keys

void Engine::HandleKey(console::CKestravaDlg& c, int key) {
    switch (key) {
        case vk::Return:
            PressEnter(c);
            return;
        case vk::Escape:
            // The dialog is cancelled whatever the console knows of it: the bidder asked.
            Fire(c, SubmissionInput::Escape);
            c.shell.CancelCodeDialog();
            Log(c, "检查是否有页面干扰申请价格 ");
            return;
        case vk::F3:
            PressF3(c);
            return;
        default:
            return;
    }
}

void Engine::PressEnter(console::CKestravaDlg& c) {
    auto& s = c.state;
    // Nothing in a dialog to confirm: said once, and no screenshot, no check, no click.
    if (!records.submission.Waiting()) {
        RefuseEnter(c, Fire(c, SubmissionInput::Enter));
        return;
    }
    Log(c, "...");
    if (c.platform.keyboard.Query(vk::Control).down) {
        const SubmissionStep step = Fire(c, SubmissionInput::ForcedEnter);
        if (!step.Did(SubmissionAction::Confirm)) return RefuseEnter(c, step);
        PlaySound(c, 180);
        c.SetInfoBody("强制提交价格");
        ConfirmBid(c);
        Log(c, "国拍最低价：" + s.lowestText.Get() + " 强制提交价格 ..");
        return;
    }
    const int r = s.remainingSeconds.load();
    if (r > 3 && r < 90) SaveBidDialogShot(c);
    Log(c, ".");
    if (r == 1) {
        // The last second leaves no time to wait for the price.
        if (c.shell.ElementMode()) c.shell.CloseInfoDialog();
        const SubmissionStep step = Fire(c, SubmissionInput::ForcedEnter);
        if (!step.Did(SubmissionAction::Confirm)) return RefuseEnter(c, step);
        ConfirmBid(c);
        Log(c, "59秒客户按回车，软件点击“确定”按钮");
        return;
    }
    if (c.shell.ElementMode()) c.shell.CloseInfoDialog();
    SmartSubmitCheckOnEnter(c);
}

void Engine::PressF3(console::CKestravaDlg& c) {
    if (c.state.remainingSeconds.load() >= 1800 || c.state.auctionPhase.load() != 3) return;
    // A second press within 400 ms of the previous one (a bounce, a double tap) only keeps the
    // stamp: one test application.
    const std::uint32_t now = Now(c);
    const std::uint32_t previous = records.lastF3Tick.exchange(now);
    if (now - previous <= kF3RepeatMs) return;
    // A test bid would replace the bid in the dialog and its cancel would close the real code
    // dialog: refused while a bid waits for its confirmation and near a moment of the strategy.
    if (records.submission.Waiting()) {
        Log(c, "F3测试未执行：已有申请价格等待提交");
        ShowHint(c, 9);
        return;
    }
    if (NearABidMoment(c, c.state.remainingSeconds.load())) {
        Log(c, "F3测试未执行：离自动申请价格不足5秒");
        ShowHint(c, 10);
        return;
    }
    if (const auto& calibrate = c.hooks().smartCalibrate) calibrate(c);
    ApplyBid(c, kF3TestAmount);
    const std::uint32_t test = records.submission.Serial();
    // The application holds this thread for about a second; the stamp counts from its end.
    records.lastF3Tick = Now(c);
    // The cancel closes the test's dialog, and the test bid goes with it, armed by an Enter
    // meanwhile or not: it must not wait on into the real bids' moments, nor be armed later.
    c.StartCancelTimer([this, &c, test] {
        const SubmissionStep step = Fire(c, SubmissionInput::Cancel, 0, test);
        if (!step.Did(SubmissionAction::Withdraw)) return;
        c.state.statusClass = 0;
        c.state.statusText.Set("----");
        if (step.from == SubmissionState::Armed) Log(c, "F3测试价格已自动取消，不再等待提交");
    });
    c.SetInfoBody("F3测试加价3000，3秒后，验证码框自动关闭");
}

void Engine::SaveBidDialogShot(console::CKestravaDlg& c) {
    if (!options_.geometry) return;
    const std::shared_ptr<const perception::PageGeometry> g = options_.geometry->Get();
    const int top = perception::SaturatingSum(
        {g->lvwf_y, perception::TruncateToInt(130.0f * c.state.displayScale.load())});
    const int left = perception::SaturatingSum({g->lvwf_x, g->youdoufugan_left});
    const platform::Rect rect{left, top, perception::SaturatingSum({left, g->youdoufugan_width}),
                              perception::SaturatingSum({top, g->youdoufugan_height})};
    const std::optional<platform::Image> shot = perception::CaptureRegion(c.platform.desktop, c.platform.screen, rect);
    if (!shot) return;

    const platform::LocalTime t = c.platform.clock.Now();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    const std::string path = std::string(kShotFolder) + c.state.bidNumber.Get() + "_" + stamp + "_2.bmp";
    std::error_code ec;
    std::filesystem::create_directories(kShotFolder, ec);
    if (!perception::SaveBitmapFile(*shot, path)) return;
    records.lastShotPath.Set(path);
    // Two presses within one second save the same file again; it is uploaded once.
    c.state.uploadQueue.With([&](auto& queue) {
        for (const std::string& queued : queue)
            if (queued == path) return;
        queue.push_back(path);
    });
}

// ---- Smart submission

void Engine::FinishSubmission(console::CKestravaDlg& c, bool wasArmed) {
    if (c.state.auctionPhase.load() > 2) c.SetInfoBody(".");
    if (wasArmed) {
        c.state.statusClass = 0;
        c.state.statusText.Set("----");
    }
}

void Engine::ConfirmAndFinish(console::CKestravaDlg& c, SubmissionInput input, std::uint32_t serial,
                              std::string_view logText, const char* rule) {
    // The transition to confirming is taken once per bid: only its taker clicks.
    const SubmissionStep step = Fire(c, input, 0, serial);
    if (!step.Did(SubmissionAction::Confirm)) return;
    ConfirmBid(c, rule);
    Log(c, "国拍最低价：" + c.state.lowestText.Get() + std::string(logText));
    FinishSubmission(c, step.from == SubmissionState::Armed);
}

void Engine::SmartSubmitCheck(console::CKestravaDlg& c) {
    std::lock_guard lock(checkMutex_);
    SmartSubmitCheckLocked(c, false);
}

void Engine::SmartSubmitCheckOnEnter(console::CKestravaDlg& c) {
    std::lock_guard lock(checkMutex_);
    SmartSubmitCheckLocked(c, true);
}

void Engine::SmartSubmitCheckLocked(console::CKestravaDlg& c, bool mayArm) {
    auto& s = c.state;
    Submission& bid = records.submission;
    // The bid's own price, as the page holds it; the gap is nothing without a bid.
    const SubmissionState state = bid.State();
    const std::uint32_t serial = bid.Serial();
    const bool wasArmed = state == SubmissionState::Armed;
    if (!wasArmed && !(mayArm && state == SubmissionState::Applied)) {
        if (mayArm) RefuseEnter(c, Fire(c, SubmissionInput::Enter));
        return;
    }
    const int gap = bid.Price() - s.lowestPrice.load();
    const int r = s.remainingSeconds.load();
    const int windowSeconds = strategy.pricelimitStartTime.load();
    const int limit = strategy.ctrlXpricelimit.load();
    const int delayMs = strategy.DelayBidTime.load();
    // The bidder's Enter confirms from applied or armed; every other check only from armed.
    const SubmissionInput confirm = mayArm ? SubmissionInput::EnterInReach : SubmissionInput::RuleConfirm;

    const auto arm = [&] {
        if (wasArmed) {
            // Waiting again: a delay started while the gap was in reach no longer holds.
            if (bid.StopDelay()) {
                ConfirmSchedule(c).AbandonRule(kDelayRule, "差价超出延时条件");
                Log(c, "国拍最低价：" + s.lowestText.Get() + "，差价超出延时条件，取消延时");
            }
            return;
        }
        if (!Fire(c, SubmissionInput::Enter, 0, serial).Did(SubmissionAction::Arm)) return;
        PlaySound(c, 189);
        c.SetInfoBody("请等待！软件在等待价格上涨，然后依据参数来提交。\n现在不能用“鼠标”点击 “确定”按钮");
        Log(c, "客户按了回车，智能提交开启，等待价格上涨到差价范围");
        ShowHint(c, 2);
    };

    if (gap <= kBidWindowGap) {
        ConfirmAndFinish(c, confirm, serial, "，软件点击\"确定\"按钮");
    } else if (r > windowSeconds || gap > kFarGap || gap > limit) {
        arm();
    } else if (delayMs == 0) {
        ConfirmAndFinish(c, confirm, serial, "，软件点击确定提交");
    } else {
        if (!wasArmed && !Fire(c, SubmissionInput::Enter, 0, serial).Did(SubmissionAction::Arm)) return;
        const std::uint32_t now = Now(c);
        if (bid.StartDelay(now)) {
            const std::string ms = std::to_string(delayMs);
            Log(c, "国拍最低价：" + s.lowestText.Get() + "，延时" + ms + "毫秒");
            c.SetInfoBody("智能提交中，延时" + ms + "毫秒后提交");
        }
        const std::optional<std::uint32_t> start = bid.DelayStart();
        if (!start) return;  // the bid left armed meanwhile
        if (now - *start >= static_cast<std::uint32_t>(delayMs))
            ConfirmAndFinish(c, SubmissionInput::RuleConfirm, serial, "，延时达到", kDelayRule);
        else
            ScheduleConfirm(c, *start + static_cast<std::uint32_t>(delayMs), kDelayRule);
    }
}

// ---- The two forced-submission boxes

void Engine::OnForcedBoxClicked(console::CKestravaDlg& c, int id) {
    auto& controls = c.controls;
    if (!controls.Exists(box::ForcedByTime) || !controls.Exists(box::ForcedByRise)) return;
    if (id == box::ForcedByTime && controls.IsChecked(box::ForcedByTime)) {
        ShowHint(c, 8);
        controls.SetCheck(box::ForcedByRise, 0);
    } else if (id == box::ForcedByRise && controls.IsChecked(box::ForcedByRise)) {
        controls.SetCheck(box::ForcedByTime, 0);
    }
}

}  // namespace kestrava::engine
