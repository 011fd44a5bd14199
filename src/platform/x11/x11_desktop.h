// Windows of the X11 desktop: search through the whole tree (x11_window_tree.h), geometry, EWMH
// placement, and the window protocol's messages (window_protocol.h).
#pragma once

#include "platform/platform.h"

#include <memory>
#include <mutex>

struct _XDisplay;

namespace kestrava::platform::x11 {

struct Atoms;
class WindowTree;

class X11Desktop final : public Desktop {
public:
    // Null when the display cannot be opened (`displayName` null means $DISPLAY).
    static std::unique_ptr<X11Desktop> Open(const char* displayName = nullptr);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    WindowId FindWindowByTitle(std::string_view title) override;
    WindowId FindWindowByClass(std::string_view className) override;
    WindowId FindChild(WindowId parent, std::string_view className) override;
    bool IsWindow(WindowId w) override;
    std::string Title(WindowId w) override;
    // _NET_WM_PID, which toolkits such as Qt set on their top-level windows.
    std::optional<std::uint32_t> WindowProcess(WindowId w) override;
    std::optional<Rect> WindowRect(WindowId w) override;
    std::optional<Rect> ClientRect(WindowId w) override;
    bool PostMessage(WindowId w, const Message& m) override;
    bool SetForeground(WindowId w) override;
    bool WaitUntilUncovered(WindowId w, std::uint32_t timeoutMs) override;
    bool Place(WindowId w, int x, int y, bool topmost, bool activate) override;
    Rect ScreenRect() override;
    std::unique_ptr<MessageWindow> CreateMessageWindow(std::string_view title, std::string_view className,
                                                       MessageHandler handler, bool mapped = false) override;

private:
    X11Desktop(_XDisplay* display, std::string displayName, std::unique_ptr<WindowTree> tree);
    bool ExistsLocked(WindowId w);
    void ActivateLocked(WindowId w);
    // Nothing when `w` is gone; otherwise whether it is viewable and uncovered (see
    // WaitUntilUncovered) at this moment.
    std::optional<bool> UncoveredLocked(WindowId w);
    // True when `w`, or the client window a window manager's frame `w` holds, is kept above.
    bool KeptAboveLocked(WindowId w, int depth);

    std::mutex mutex_;  // one request sequence at a time on display_
    _XDisplay* display_;
    std::string displayName_;
    std::unique_ptr<Atoms> atoms_;
    std::unique_ptr<WindowTree> tree_;  // searches, on a connection of their own
};

}  // namespace kestrava::platform::x11
