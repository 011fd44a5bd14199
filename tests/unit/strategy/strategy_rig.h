// The engine's rig (a console on the fake platform in a scratch installation folder, 11:29:00 of
// an auction day, 60 seconds left) with the strategy controls plugged into the console's hooks,
// and helpers to write and read policy files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "strategy/parameter_controls.h"
#include "strategy/policy_files.h"
#include "strategy/strategy_values.h"
#include "unit/engine/engine_rig.h"

namespace kestrava::strategy::testing {

using Lines = std::vector<std::pair<std::string, std::string>>;

inline void WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A policy file as the Windows tools wrote them: CRLF lines under [RevEvudar].
inline void WritePolicy(const std::string& path, const Lines& keys) {
    std::string text = "[RevEvudar]\r\n";
    for (const auto& [k, v] : keys) text += k + "=" + v + "\r\n";
    WriteFile(path, text);
}

// The key lines of a file's text, in file order (section headers left out).
inline Lines ParseKeyLines(const std::string& text) {
    Lines out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (line.empty() || line.front() == '[' || eq == std::string::npos) continue;
        out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

inline Lines ReadKeyLines(const std::string& path) { return ParseKeyLines(ReadFile(path)); }

// The value of a key in parsed lines, "" when missing.
inline std::string ValueOf(const Lines& lines, const std::string& key) {
    for (const auto& [k, v] : lines)
        if (k == key) return v;
    return "";
}

// The field a key is kept in.
inline std::atomic<int>& FieldOf(StrategyValues& v, std::string_view key) {
    for (const StrategyKey& k : kStrategyKeys)
        if (k.name == key) return v.*k.field;
    ADD_FAILURE() << "no field for " << key;
    static std::atomic<int> none{0};
    return none;
}

struct StrategyRig : engine::testing::EngineRig {
    StrategyRig() {
        AttachStrategy(engine, console->hooks());
        // The combo as the console's start fills it.
        std::vector<std::string> items;
        for (int slot = 1; slot <= kSlots; ++slot) items.push_back(SlotName(slot));
        console->controls.SetItems(ctl::Combo, items);
        // The balloons are the views' business; here it is enough to know which one was asked for.
        console->hooks().showHint = [this](console::CKestravaDlg&, int n) { hints.push_back(n); };
    }

    StrategyValues& v() { return engine->strategy; }
    console::ConsoleControls& ctl() { return console->controls; }

    void Select(int index) { ctl().Select(ctl::Combo, index); }
    void Spin(int id, console::SpinArrow arrow) { console->OnSpin(id, arrow); }
    // A click on a box as the view reports it: the new state first, then the command.
    void Click(int id) {
        ctl().SetCheck(id, ctl().IsChecked(id) ? 0 : 1);
        console->OnCommand(id);
    }

    std::vector<int> hints;
};

}  // namespace kestrava::strategy::testing
