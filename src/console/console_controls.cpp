#include "console/console_controls.h"

namespace kestrava::console {

ConsoleControls::ConsoleControls() : ConsoleControls(ConsoleLayout()) {}

ConsoleControls::ConsoleControls(std::span<const ControlPlace> layout) {
    for (const ControlPlace& entry : layout) {
        if (entry.id == kNoId) continue;
        ControlSnapshot& c = controls_[entry.id];
        c.exists = true;
        c.enabled = entry.enabled;
        c.visible = entry.visible;
        // Edits, spins, pictures and combo boxes carry no caption.
        if (entry.kind != ControlKind::Edit && entry.kind != ControlKind::ComboBox && entry.kind != ControlKind::Spin &&
            entry.kind != ControlKind::SidewaysSpin && entry.kind != ControlKind::Picture)
            c.text = std::string(entry.caption);
    }
}

template <class F>
void ConsoleControls::Change(int id, F&& f) {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    if (it == controls_.end()) return;
    if (!f(it->second)) return;
    ++it->second.changes;
    ++changes_;
}

bool ConsoleControls::Exists(int id) const {
    std::lock_guard lock(mutex_);
    return controls_.count(id) != 0;
}

std::vector<int> ConsoleControls::Ids() const {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    ids.reserve(controls_.size());
    for (const auto& [id, c] : controls_) ids.push_back(id);
    return ids;
}

ControlSnapshot ConsoleControls::Snapshot(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? ControlSnapshot{} : it->second;
}

std::string ConsoleControls::Text(int id) const { return Snapshot(id).text; }

void ConsoleControls::SetText(int id, std::string_view text) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.text == text) return false;
        c.text = std::string(text);
        return true;
    });
}

void ConsoleControls::AppendText(int id, std::string_view text) {
    Change(id, [&](ControlSnapshot& c) {
        if (text.empty()) return false;
        c.text += text;
        return true;
    });
}

int ConsoleControls::Check(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? 0 : it->second.check;
}

void ConsoleControls::SetCheck(int id, int state) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.check == state) return false;
        c.check = state;
        return true;
    });
}

bool ConsoleControls::Enabled(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.enabled;
}

void ConsoleControls::Enable(int id, bool on) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.enabled == on) return false;
        c.enabled = on;
        return true;
    });
}

bool ConsoleControls::Visible(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.visible;
}

void ConsoleControls::Show(int id, bool on) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.visible == on) return false;
        c.visible = on;
        return true;
    });
}

void ConsoleControls::SetItems(int id, std::vector<std::string> items) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.items == items) return false;
        c.items = std::move(items);
        if (c.selection >= static_cast<int>(c.items.size())) c.selection = -1;
        return true;
    });
}

int ConsoleControls::Selection(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? -1 : it->second.selection;
}

void ConsoleControls::Select(int id, int index) {
    Change(id, [&](ControlSnapshot& c) {
        // Like a combo box: an index outside the list selects nothing.
        const int sel = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
        if (c.selection == sel) return false;
        c.selection = sel;
        return true;
    });
}

std::shared_ptr<const platform::Image> ConsoleControls::Picture(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.picture;
}

void ConsoleControls::SetPicture(int id, std::shared_ptr<const platform::Image> picture) {
    Change(id, [&](ControlSnapshot& c) {
        if (c.picture == picture) return false;
        c.picture = std::move(picture);
        return true;
    });
}

std::uint64_t ConsoleControls::Changes(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? 0 : it->second.changes;
}

std::uint64_t ConsoleControls::Changes() const {
    std::lock_guard lock(mutex_);
    return changes_;
}

}  // namespace kestrava::console
