// Searching the whole window tree by title or class. Runs on an XCB connection of its own so
// that the requests for a whole level of the tree go out together and cost one round trip, not
// one per window (a desktop has hundreds of windows once frames and toolkit children count, and
// the console looks the page up every scan tick).
#pragma once

#include "platform/platform.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct xcb_connection_t;

namespace kestrava::platform::x11 {

class WindowTree {
public:
    // Null when the display cannot be reached.
    static std::unique_ptr<WindowTree> Open(const char* displayName);
    ~WindowTree();
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;

    // Breadth first below `start` (0: the root), `start` itself excluded, so the shallowest match
    // wins and a client inside a window-manager frame is found one level below the frame.
    WindowId FindByTitle(std::string_view title, WindowId start = 0);
    WindowId FindByClass(std::string_view className, WindowId start = 0);

    // The title in UTF-8: _NET_WM_NAME, or WM_NAME when that is absent.
    std::optional<std::string> Title(WindowId w);

private:
    enum class Key { Title, Class };
    WindowTree(xcb_connection_t* c, std::uint32_t root, std::uint32_t netWmName, std::uint32_t utf8);
    WindowId Find(Key key, std::string_view value, WindowId start);

    std::mutex mutex_;
    xcb_connection_t* c_;
    std::uint32_t root_;
    std::uint32_t netWmName_;
    std::uint32_t utf8String_;
};

}  // namespace kestrava::platform::x11
