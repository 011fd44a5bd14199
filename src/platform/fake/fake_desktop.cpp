#include <algorithm>
#include <deque>

#include "platform/fake/fake_platform.h"

namespace kestrava::platform::fake {

class FakeDesktop::FakeMessageWindow : public MessageWindow {
public:
    FakeMessageWindow(FakeDesktop& desktop, WindowId id) : desktop_(desktop), id_(id) {}
    ~FakeMessageWindow() override { desktop_.RemoveWindow(id_); }
    WindowId Id() const override { return id_; }

private:
    FakeDesktop& desktop_;
    WindowId id_;
};

FakeDesktop::FakeDesktop(Clock* clock, Rect screen) : clock_(clock), screen_(screen) {}

WindowId FakeDesktop::AddWindow(const std::string& title, const std::string& className, Rect rect, WindowId parent) {
    std::lock_guard lock(mutex_);
    const WindowId id = nextId_++;
    windows_[id] = Window{title, className, rect, parent, false, nullptr};
    return id;
}

void FakeDesktop::RemoveWindow(WindowId w) {
    std::lock_guard lock(mutex_);
    std::deque<WindowId> pending{w};
    while (!pending.empty()) {
        const WindowId id = pending.front();
        pending.pop_front();
        for (auto& [child, win] : windows_)
            if (win.parent == id) pending.push_back(child);
        windows_.erase(id);
        if (foreground_ == id) foreground_ = 0;
    }
}

void FakeDesktop::SetWindowRect(WindowId w, Rect rect) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(w); it != windows_.end()) it->second.rect = rect;
}

void FakeDesktop::SetWindowProcess(WindowId w, std::uint32_t process) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(w); it != windows_.end()) it->second.process = process;
}

void FakeDesktop::SetNextWindowId(WindowId id) {
    std::lock_guard lock(mutex_);
    nextId_ = id;
}

std::optional<std::uint32_t> FakeDesktop::WindowProcess(WindowId w) {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(w);
    return it == windows_.end() ? std::nullopt : it->second.process;
}

std::vector<PostedMessage> FakeDesktop::Posted() {
    std::lock_guard lock(mutex_);
    return posted_;
}

std::vector<PostedMessage> FakeDesktop::PostedTo(WindowId w) {
    std::lock_guard lock(mutex_);
    std::vector<PostedMessage> out;
    std::copy_if(posted_.begin(), posted_.end(), std::back_inserter(out),
                 [w](const PostedMessage& p) { return p.window == w; });
    return out;
}

void FakeDesktop::ClearPosted() {
    std::lock_guard lock(mutex_);
    posted_.clear();
}

WindowId FakeDesktop::Foreground() {
    std::lock_guard lock(mutex_);
    return foreground_;
}

bool FakeDesktop::IsTopmost(WindowId w) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(w);
    return it != windows_.end() && it->second.topmost;
}

void FakeDesktop::SetPostSucceeds(bool ok) {
    std::lock_guard lock(mutex_);
    postSucceeds_ = ok;
}

WindowId FakeDesktop::FindWindowByTitle(std::string_view title) {
    std::lock_guard lock(mutex_);
    for (auto& [id, win] : windows_)
        if (win.title == title) return id;
    return 0;
}

WindowId FakeDesktop::FindWindowByClass(std::string_view className) {
    std::lock_guard lock(mutex_);
    for (auto& [id, win] : windows_)
        if (win.className == className) return id;
    return 0;
}

WindowId FakeDesktop::FindChild(WindowId parent, std::string_view className) {
    std::lock_guard lock(mutex_);
    // Breadth first, so the nearest descendant of that class wins.
    std::deque<WindowId> pending{parent};
    while (!pending.empty()) {
        const WindowId id = pending.front();
        pending.pop_front();
        for (auto& [child, win] : windows_) {
            if (win.parent != id) continue;
            if (win.className == className) return child;
            pending.push_back(child);
        }
    }
    return 0;
}

bool FakeDesktop::IsWindow(WindowId w) {
    std::lock_guard lock(mutex_);
    return windows_.count(w) != 0;
}

std::string FakeDesktop::Title(WindowId w) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(w);
    return it == windows_.end() ? std::string() : it->second.title;
}

std::optional<Rect> FakeDesktop::WindowRect(WindowId w) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(w);
    if (it == windows_.end()) return std::nullopt;
    return it->second.rect;
}

std::optional<Rect> FakeDesktop::ClientRect(WindowId w) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(w);
    if (it == windows_.end()) return std::nullopt;
    return Rect{0, 0, it->second.rect.Width(), it->second.rect.Height()};
}

bool FakeDesktop::PostMessage(WindowId w, const Message& m) {
    std::shared_ptr<MessageHandler> handler;
    {
        std::lock_guard lock(mutex_);
        auto it = windows_.find(w);
        if (it == windows_.end() || !postSucceeds_) return false;
        posted_.push_back(PostedMessage{w, m, clock_ ? clock_->EpochMillis() : 0});
        handler = it->second.handler;
    }
    if (handler && *handler) (*handler)(m);
    return true;
}

bool FakeDesktop::SetForeground(WindowId w) {
    std::lock_guard lock(mutex_);
    if (!windows_.count(w)) return false;
    foreground_ = w;
    return true;
}

bool FakeDesktop::WaitUntilUncovered(WindowId w, std::uint32_t) {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(w);
    return it != windows_.end() && !it->second.covered;
}

void FakeDesktop::SetCovered(WindowId w, bool covered) {
    std::lock_guard lock(mutex_);
    if (const auto it = windows_.find(w); it != windows_.end()) it->second.covered = covered;
}

bool FakeDesktop::Place(WindowId w, int x, int y, bool topmost, bool activate) {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(w);
    if (it == windows_.end()) return false;
    Rect& r = it->second.rect;
    r = Rect{x, y, x + r.Width(), y + r.Height()};
    it->second.topmost = topmost;
    if (activate) foreground_ = w;
    return true;
}

Rect FakeDesktop::ScreenRect() {
    std::lock_guard lock(mutex_);
    return screen_;
}

std::unique_ptr<MessageWindow> FakeDesktop::CreateMessageWindow(std::string_view title, std::string_view className,
                                                                MessageHandler handler, bool /*mapped*/) {
    const WindowId id = AddWindow(std::string(title), std::string(className), Rect{0, 0, 1, 1});
    {
        std::lock_guard lock(mutex_);
        windows_[id].handler = std::make_shared<MessageHandler>(std::move(handler));
    }
    return std::make_unique<FakeMessageWindow>(*this, id);
}

}  // namespace kestrava::platform::fake
