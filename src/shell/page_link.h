// The console's link to the page shell: the window references it keeps, the action mode and the
// calibrated geometry. This is the slice of the console's state that the shell primitives work
// on; the console's timers and the interface thread share it, hence atomics and a small lock.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/platform.h"
#include "shell/page_geometry.h"

namespace kestrava::shell {

struct PageWindows {
    platform::WindowId window = 0;  // titled "客车额度拍卖InternetExplorer"
    platform::WindowId frame = 0;   // its child of class "Chrome_WidgetWin_0"
    platform::WindowId view = 0;    // the frame's child of class "Chrome_WidgetWin_1"
};

class PageLink {
public:
    // As last looked up; 0 when not found.
    std::atomic<platform::WindowId> pageWindow{0};
    std::atomic<platform::WindowId> pageFrame{0};
    std::atomic<platform::WindowId> pageView{0};
    // The page window last sent the command to open the auction page (real or practice).
    std::atomic<platform::WindowId> openedWindow{0};
    // 0: coordinate mode (clicks at calibrated points); any other value: element mode (the shell
    // acts on page elements).
    std::atomic<int> divmode{0};

    PageGeometry Geometry() const {
        std::lock_guard lock(geometryMutex_);
        return geometry_;
    }
    void SetGeometry(const PageGeometry& g) {
        std::lock_guard lock(geometryMutex_);
        geometry_ = g;
    }
    // Changes part of the geometry in one step, so a reader never sees half an update.
    template <class F>
    void UpdateGeometry(F&& change) {
        std::lock_guard lock(geometryMutex_);
        change(geometry_);
    }

private:
    mutable std::mutex geometryMutex_;
    PageGeometry geometry_;
};

}  // namespace kestrava::shell
