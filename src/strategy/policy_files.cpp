#include "strategy/policy_files.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "config/profile.h"
#include "config/settings.h"
#include "config/whole_file.h"
#include "platform/files.h"
#include "strategy/parameter_controls.h"
#include "strategy/strategy_values.h"

namespace kestrava::strategy {

namespace {

namespace fs = std::filesystem;
using console::CKestravaDlg;

bool Saved(const StrategyKey& k) { return k.use != KeyUse::ImportedOnly; }
bool Imported(const StrategyKey& k) { return k.use != KeyUse::SavedOnly; }

// check14 … check17, the boxes of the four rise rows.
bool IsRiseRow(const StrategyKey& k) { return k.box >= 1203 && k.box <= 1206; }

bool Skipped(const StrategyKey& k, RiseRows rise) { return !Imported(k) || (rise == RiseRows::Keep && IsRiseRow(k)); }

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(platform::PathFromUtf8(path), ec);
}

void Status(CKestravaDlg& c, const std::string& text) { c.controls.SetText(ctl::Status, text); }

}  // namespace

std::string PolicyFilePath(int slot) {
    if (slot < 1 || slot > kSlots) return {};
    return std::string(".//bin//policy") + static_cast<char>('a' + slot - 1) + ".ini";
}

std::string DeliveredPolicyPath(int slot) {
    if (slot < 1 || slot > kDeliveredSlots) return {};
    return std::string(kDeliveredFolder) + "policy" + static_cast<char>('a' + slot - 1) + ".ini";
}

std::string SlotName(int slot) {
    char name[16];
    std::snprintf(name, sizeof name, "策略%02d", slot);
    return name;
}

bool SaveStrategy(CKestravaDlg& c, engine::Engine& e) {
    c.WriteLogLine("鼠标点击_保存配置");
    const int selection = c.controls.Selection(ctl::Combo);
    c.state.SelPolicy = selection;
    const bool selectionSaved = config::Write(config::user::SelPolicy, selection);

    const bool inSlot = selection >= 0 && selection < kSlots;
    const std::string path = inSlot ? PolicyFilePath(selection + 1) : std::string(kDefaultStrategyFile);

    // The switches' mirrors take the boxes' state now; the engine may have changed a box since.
    StrategyValues& v = e.strategy;
    for (const StrategyKey& k : kStrategyKeys)
        if (Saved(k) && k.box != 0) v.*k.field = c.controls.IsChecked(k.box) ? 1 : 0;

    const bool written = config::ReplaceWhole(path, [&](const std::string& target, const std::string& work) {
        // Keys the save does not write (those of a delivered file) stay in the file.
        std::error_code ec;
        if (fs::exists(platform::PathFromUtf8(target), ec) && !platform::CopyOver(target, work)) return false;
        for (const StrategyKey& k : kStrategyKeys) {
            if (!Saved(k)) continue;
            if (!config::WriteProfileInt(kStrategySection, k.name, (v.*k.field).load(), work)) return false;
        }
        return true;
    });

    const bool ok = selectionSaved && written;
    if (ok) {
        if (inSlot) Status(c, "策略" + std::to_string(selection + 1) + "保存成功");
    } else {
        const std::string text = inSlot ? "策略" + std::to_string(selection + 1) + "保存失败" : "策略保存失败";
        Status(c, text);
        c.WriteLogLine(text);
    }
    return ok;
}

void ImportStrategy(CKestravaDlg& c, engine::Engine& e, int slot, RiseRows rise) {
    if (slot < 1 || slot > kSlots) return;
    c.WriteLogLine("鼠标点击_策略" + std::to_string(slot) + "导入");
    const std::string path = PolicyFilePath(slot);
    StrategyValues& v = e.strategy;

    for (const StrategyKey& k : kStrategyKeys)
        if (!Skipped(k, rise)) v.*k.field = config::ReadProfileInt(kStrategySection, k.name, k.defaultValue, path);

    for (const StrategyKey& k : kStrategyKeys) {
        if (Skipped(k, rise) || k.box == 0) continue;
        const bool on = (v.*k.field).load() == 1;
        // A strategy never silences the voice prompts the bidder switched on.
        if (k.use == KeyUse::ImportSetsOn && !on) continue;
        c.controls.SetCheck(k.box, on ? 1 : 0);
    }

    ApplyRemedyRule(c, e);
    ApplySmartAnalysisRule(c, e);
    RefreshStrategyLabels(c, e);
    // The new strategy may bid again in this run.
    e.records.secondBidDone = 0;
    e.records.thirdBidDone = 0;
    PushFieldsToControls(c, e);
}

void ApplyComboSelection(CKestravaDlg& c, engine::Engine& e) {
    const int selection = c.controls.Selection(ctl::Combo);
    if (selection < 0 || selection >= kSlots) return;
    ImportStrategy(c, e, selection + 1);
    Status(c, "策略" + std::to_string(selection + 1) + "被成功导入");
}

void StartStrategy(CKestravaDlg& c, engine::Engine& e, int index) {
    StrategyValues& v = e.strategy;
    // The auction-day reset owns the four rise-rule limits (SmartBidTime1 … 4, the only numbers
    // a save writes and an import skips).
    for (const StrategyKey& k : kStrategyKeys)
        if (!(k.use == KeyUse::SavedOnly && k.box == 0)) v.*k.field = 0;
    v.pricelimitStartTime = c.state.pricelimitStartTime.load();
    v.ctrlXpricelimit = c.state.ctrlXpricelimit.load();

    c.controls.Select(ctl::Combo, index);
    ApplyComboSelection(c, e);
    RefreshStrategyLabels(c, e);
    PushFieldsToControls(c, e);
}

bool UpdateStrategies(CKestravaDlg& c, engine::Engine& e) {
    c.WriteLogLine("鼠标点击_更新策略按钮");
    bool ok = true;
    for (int slot = 1; slot <= kDeliveredSlots; ++slot) {
        const std::string source = DeliveredPolicyPath(slot);
        if (!IsRegularFile(source)) continue;
        ok = config::ReplaceWhole(PolicyFilePath(slot),
                                  [&](const std::string&, const std::string& work) {
                                      return platform::CopyOver(source, work);
                                  }) &&
             ok;
    }
    ApplyComboSelection(c, e);
    const std::string text = ok ? "策略已更新" : "策略更新失败";
    Status(c, text);
    if (!ok) c.WriteLogLine(text);
    return ok;
}

}  // namespace kestrava::strategy
