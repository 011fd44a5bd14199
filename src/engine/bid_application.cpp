// A bid application ("申请加价"): types an amount into the page's plus-amount box, presses the
// add and bid buttons and points the page at the verification-code box; the bidder then types
// the code and presses Enter. The four variants share the sequence and differ in their waits and
// in the gear fill ("补档"), which rounds the offered price up onto the next gear.
//
// The waits are plain sleeps on the caller's thread (the scan tick's) and hold no lock, so the
// submit tick keeps its rhythm meanwhile.
#include "engine/engine.h"
#include "log/log_book.h"

namespace kestrava::engine {

namespace {

enum class GearFill { None, ScheduledWindows, AnalysisWindow };

struct Variant {
    Application kind;
    std::uint32_t focusWait, typeWait, addWait, bidWait;  // A, B, C, D in ms
    GearFill fill;
    bool strategySummary;
};

constexpr Variant kVariants[] = {
    {Application::Bid, 100, 200, 400, 200, GearFill::None, true},
    {Application::Rebid, 100, 250, 100, 200, GearFill::None, true},
    {Application::Scheduled, 60, 100, 60, 700, GearFill::ScheduledWindows, true},
    {Application::Analysis, 60, 100, 60, 700, GearFill::AnalysisWindow, false},
};

// Gears are prices 300 apart that the page's crowd tends to bid on.
struct GearTable {
    int first;
    int count;
};
constexpr int kGearStep = 300;
constexpr GearTable kScheduledGears{92900, 15};  // 92900 … 97100
constexpr GearTable kAnalysisGears{92400, 8};    // 92400 … 94500

// How much to add so that a price p lying just below a gear (G − 299 … G − 1) lands on it.
int GearCorrection(const GearTable& table, int p) {
    for (int k = 0; k < table.count; ++k) {
        const int gear = table.first + kGearStep * k;
        if (p >= gear - (kGearStep - 1) && p <= gear - 1) return gear - p;
    }
    return 0;
}

// Once the lowest price has stood five seconds or more inside one gear, the crowd has moved on
// and filling up to the gear no longer pays.
constexpr int kGearSecondsWithoutFill = 5;
// The analysis bid near 35 s is a second bid; its fill follows the second group's box.
constexpr int kAnalysisFillFrom = 30;
constexpr int kAnalysisFillTo = 35;

const Variant& VariantOf(Application kind) {
    for (const Variant& v : kVariants)
        if (v.kind == kind) return v;
    return kVariants[0];
}

}  // namespace

int Engine::GearFilledAmount(console::CKestravaDlg& c, Application kind, int lowest, int amount) {
    const int r = c.state.remainingSeconds.load();
    const int p = lowest + amount;
    switch (VariantOf(kind).fill) {
        case GearFill::None:
            return amount;
        case GearFill::AnalysisWindow:
            if (Ticked(c, box::SecondGearFill) && r >= kAnalysisFillFrom && r <= kAnalysisFillTo)
                return amount + GearCorrection(kAnalysisGears, p);
            return amount;
        case GearFill::ScheduledWindows:
            break;
    }
    const auto inWindow = [r](int bidTime) { return r >= bidTime - 4 && r <= bidTime; };
    const bool second = inWindow(strategy.SecondBidTime.load());
    const bool third = inWindow(strategy.ThirdBidTime.load());
    const int gearSeconds = records.gearSeconds.load();
    if (gearSeconds >= kGearSecondsWithoutFill) {
        if (second) {
            c.controls.SetCheck(box::SecondGearFill, 0);
            log::DebugPrintf("第二次出价时 档位计时 %d 大于=5 不触发补档    \n", gearSeconds);
        }
        if (third) {
            c.controls.SetCheck(box::ThirdGearFill, 0);
            log::DebugPrintf("第三次出价时 档位计时 %d 大于=5 不触发补档    \n", gearSeconds);
        }
    }
    // Where the two windows overlap and both boxes ask for it, the price is still put on the
    // gear once: both corrections are the same step from the same price.
    const bool fill = (second && Ticked(c, box::SecondGearFill)) || (third && Ticked(c, box::ThirdGearFill));
    return fill ? amount + GearCorrection(kScheduledGears, p) : amount;
}

std::string Engine::StrategySummary(console::CKestravaDlg& c) {
    const auto& v = strategy;
    const auto n = [](const std::atomic<int>& value) { return std::to_string(value.load()); };
    const std::string limit = n(v.ctrlXpricelimit);
    std::string line = "当时策略参数。\n";
    line += std::string(Ticked(c, box::SecondBid) ? "√" : " ") + "第二次申请价格倒计时：" + n(v.SecondBidTime) +
            "  加价：" + n(v.SecondPlus) + "  \n";
    line += std::string(Ticked(c, box::ThirdBid) ? "√" : " ") + "第三次申请价格倒计时：" + n(v.ThirdBidTime) +
            "  加价：" + n(v.ThirdBidPricePlus) + "  \n";
    line += "申请价格与最低价差额" + limit + "时提交， 倒数" + n(v.pricelimitStartTime) + "秒开启， 到达" + limit +
            "差额后，延迟" + n(v.DelayBidTime) + "毫秒 ";
    if (Ticked(c, box::ForcedByTime))
        line += "软件强制提交开启" + c.controls.Text(box::ForcedTimeLabel);
    else if (c.controls.Exists(box::ForcedByTime))
        line += "没有勾选自动强制提交";
    if (Ticked(c, box::CloudSubmit))
        line += " ,勾选了智能分析提交";
    else if (c.controls.Exists(box::CloudSubmit))
        line += " ,没有勾选智能分析提交";
    return line;
}

void Engine::Apply(console::CKestravaDlg& c, int amount, Application kind) {
    const Variant& variant = VariantOf(kind);
    auto& s = c.state;
    auto& clock = c.platform.clock;

    if (const platform::WindowId page = c.shell.RefreshPageWindow()) c.platform.desktop.SetForeground(page);
    Log(c, "操作执行申请加价");
    const std::string lowestText = s.lowestText.Get();
    const int lowest = LeadingNumber(lowestText);
    amount = GearFilledAmount(c, kind, lowest, amount);
    Log(c, "国拍最低价：" + lowestText + "，用户申请价格：" + std::to_string(lowest + amount));
    if (variant.strategySummary) Log(c, StrategySummary(c));

    const std::string typed = std::to_string(amount);
    c.shell.CloseInfoDialog();
    c.shell.FocusPlusBox();
    clock.SleepMs(variant.focusWait);
    c.shell.TypeDigits(typed);
    clock.SleepMs(variant.typeWait);
    c.shell.PressAddButton();
    clock.SleepMs(variant.addWait);
    // From the bid button on the page's dialog holds this price (the page's own report, where
    // the shell gives one, follows and names it too).
    Fire(c, SubmissionInput::Apply, lowest + amount);
    c.shell.PressBidButton();
    clock.SleepMs(variant.bidWait);
    const shell::PageGeometry g = s.Geometry();
    c.shell.PointCodeBox(g.At(g.C_P2_IMGCODE_IN_X, g.C_P2_IMGCODE_IN_Y));
    c.SetInfoBody(" 加价" + typed + "，请输入验证码，然后按一次回车");
}

}  // namespace kestrava::engine
