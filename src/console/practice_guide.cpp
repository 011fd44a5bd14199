#include "console/practice_guide.h"

#include "shell/page_commands.h"
#include "shell/scheduled_confirm.h"

#include <cstdio>
#include <iterator>

namespace kestrava::console {

namespace {

// The confirmation lines of the rules, the first fitting row wins (the rise-based forced
// submission's line ends like the forced submission's).
struct RuleRow {
    std::string_view logFragment;
    std::string_view rule;
};
constexpr RuleRow kRules[] = {
    {"，软件点击\"确定\"按钮", "差额规则"},
    {"，软件点击确定提交", "差额规则"},
    {"，延时达到", "差额延时规则"},
    {"涨幅强制提交 完毕", "涨幅强制提交"},
    {"软件强制提交 完毕", "强制提交"},
    {"功能点击确定", "上涨规则"},
    {"云提交确定", "云提交"},
    {"59秒客户按回车", "最后一秒回车"},
    {"强制提交价格", "强制提交价格"},
    {"，点击确定", "云端信号"},
};

// What the guide knows beyond the run's state, as the decision table reads it.
struct Known {
    bool applied = false;
    bool armed = false;
    bool confirmed = false;
    bool result = false;
};

// Which step the run is at: the first row whose condition holds.
struct StepRow {
    bool (*holds)(const GuideRun& run, const Known& k);
    GuideStep step;
};
constexpr StepRow kSteps[] = {
    {[](const GuideRun&, const Known& k) { return k.result; }, GuideStep::Outcome},
    {[](const GuideRun& r, const Known&) { return r.runState < 2 && r.auctionPhase != 4; }, GuideStep::NotStarted},
    {[](const GuideRun&, const Known& k) { return k.confirmed; }, GuideStep::Confirmed},
    {[](const GuideRun& r, const Known&) { return r.auctionPhase == 4 || r.runState == 4; }, GuideStep::EndedUnconfirmed},
    {[](const GuideRun&, const Known& k) { return k.armed; }, GuideStep::AwaitingGap},
    {[](const GuideRun& r, const Known& k) { return k.applied && r.appliedPrice > 0; }, GuideStep::CodeDialog},
    {[](const GuideRun& r, const Known&) { return r.auctionPhase == 3; }, GuideStep::AwaitingApplication},
    {[](const GuideRun&, const Known&) { return true; }, GuideStep::BeforeRevision},
};

std::string StepText(GuideStep step, const GuideRun& run) {
    switch (step) {
        case GuideStep::NotStarted: return "练习：等待模拟拍卖开始（页面登录后自动开始）";
        case GuideStep::BeforeRevision:
            return "练习：首次出价时段，请等待修改出价阶段；软件按所选策略自动申请价格";
        case GuideStep::AwaitingApplication:
            return "练习：修改出价阶段，请等待策略设定的时刻；软件会自动加价并打开验证码框";
        case GuideStep::CodeDialog: return "练习：验证码框已打开，请输入图片中的四位数字，然后按回车";
        case GuideStep::AwaitingGap:
            return "练习：已按回车，价格进入" + std::to_string(run.gapLimit) +
                   "以内时软件自动确认，请不要点“确定”";
        case GuideStep::Confirmed: return "练习：软件已确认出价，等待页面的判定和拍卖结果";
        case GuideStep::EndedUnconfirmed: return "练习：拍卖已结束，没有确认出价，等待拍卖结果";
        case GuideStep::Outcome: break;
    }
    return {};
}

// "HH:MM:SS.mmm" of milliseconds after midnight.
std::string ClockText(std::int32_t ms) {
    if (ms < 0) ms = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000 % 24, ms / 60000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

// The practice page's auction ends at 11:30:00 of its clock.
constexpr std::int32_t kPageEndMs = (11 * 3600 + 30 * 60) * 1000;

}  // namespace

std::optional<std::string_view> ConfirmingRule(std::string_view logLine) {
    for (const RuleRow& row : kRules)
        if (logLine.find(row.logFragment) != std::string_view::npos) return row.rule;
    return std::nullopt;
}

void PracticeGuide::OnLogLine(std::string_view text, std::int64_t epochMs) {
    std::lock_guard lock(mutex_);
    if (text.find(kAppliedLine) != std::string_view::npos) applied_ = true;
    if (text.find(kArmedLine) != std::string_view::npos) armed_ = true;
    // The first confirmation is the one the page saw; a later line is another rule finding the
    // submission already confirmed.
    if (!rule_.empty()) return;
    if (const auto rule = ConfirmingRule(text)) {
        rule_ = std::string(*rule);
        confirmedAtLow_ = confirmSentLow_.value_or(static_cast<std::uint32_t>(epochMs));
    }
}

void PracticeGuide::OnCommandSent(std::uint32_t msg, std::uint32_t wParam, std::int64_t epochMs) {
    std::lock_guard lock(mutex_);
    if (!rule_.empty()) return;
    if (msg == shell::cmd::ConfirmCodeElement) confirmSentLow_ = static_cast<std::uint32_t>(epochMs);
    // A scheduled confirmation is clicked by the shell at the moment it names.
    if (msg == shell::cmd::ScheduleConfirm) confirmSentLow_ = wParam;
}

void PracticeGuide::OnConfirmSeen(std::uint32_t epochLow, std::int32_t pageClockMs) {
    std::lock_guard lock(mutex_);
    if (seenEpochLow_) return;
    seenEpochLow_ = epochLow;
    seenPageClockMs_ = pageClockMs;
}

void PracticeGuide::OnVerdict(int price, bool valid) {
    std::lock_guard lock(mutex_);
    verdictPrice_ = price;
    valid_ = valid;
}

void PracticeGuide::OnResult(int finalPrice, bool won) {
    std::lock_guard lock(mutex_);
    finalPrice_ = finalPrice;
    won_ = won;
}

void PracticeGuide::Reset() {
    std::lock_guard lock(mutex_);
    ++run_;
    applied_ = false;
    armed_ = false;
    rule_.clear();
    confirmedAtLow_ = 0;
    confirmSentLow_.reset();
    seenEpochLow_.reset();
    seenPageClockMs_ = 0;
    verdictPrice_.reset();
    valid_ = false;
    finalPrice_.reset();
    won_ = false;
    printed_ = false;
}

Guidance PracticeGuide::Decide(const GuideRun& run) const {
    std::lock_guard lock(mutex_);
    const Known known{applied_, armed_, !rule_.empty(), finalPrice_.has_value()};
    Guidance g;
    for (const StepRow& row : kSteps) {
        if (!row.holds(run, known)) continue;
        g.step = row.step;
        break;
    }
    g.text = g.step == GuideStep::Outcome ? OutcomeLocked() : StepText(g.step, run);
    g.serial = run_ * 16 + static_cast<std::uint32_t>(g.step);
    return g;
}

std::string PracticeGuide::Outcome() const {
    std::lock_guard lock(mutex_);
    return OutcomeLocked();
}

std::optional<std::string> PracticeGuide::TakeOutcomeToPrint() {
    std::lock_guard lock(mutex_);
    if (!finalPrice_ || printed_) return std::nullopt;
    printed_ = true;
    return OutcomeLocked();
}

std::string PracticeGuide::OutcomeLocked() const {
    if (!finalPrice_) return {};
    std::string text = "练习结果：";
    if (rule_.empty()) {
        text += "软件没有确认出价";
    } else {
        text += "由" + rule_ + "确认";
        if (seenEpochLow_) {
            // Both are the system clock; the difference of the low 32 bits is exact for ±24 days.
            const auto late = static_cast<std::int32_t>(*seenEpochLow_ - confirmedAtLow_);
            char lead[32];
            std::snprintf(lead, sizeof lead, "%.1f", (kPageEndMs - seenPageClockMs_) / 1000.0);
            text += "，页面于" + ClockText(seenPageClockMs_) + "（离结束" + lead + "秒）收到点击，比软件确认晚" +
                    std::to_string(late) + "毫秒";
        } else {
            text += "，页面没有收到确认点击";
        }
    }
    if (verdictPrice_) {
        text += "；出价" + std::to_string(*verdictPrice_) + (valid_ ? "有效" : "无效");
    } else {
        text += "；页面没有收到出价";
    }
    text += std::string("；") + (won_ ? "已成交" : "未成交") + "（最低成交价" + std::to_string(*finalPrice_) + "）";
    return text;
}

}  // namespace kestrava::console
