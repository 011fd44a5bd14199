// The fixture of the page shell's component tests: the shell's windows found as the console finds
// them, messages posted to them, and the console's template search on the page view's pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "component/sorrelpane/shell_harness.h"
#include "perception/image_files.h"
#include "perception/template_search.h"
#include "platform/x11/x11_desktop.h"
#include "platform/x11/x11_screen.h"

namespace sorrelpane_harness {

class SorrelpaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/xvfb-env)";
        desktop_ = kestrava::platform::x11::X11Desktop::Open();
        ASSERT_TRUE(desktop_);
    }

    struct PageWindows {
        WindowId window = 0, frame = 0, view = 0;
    };
    // The console's lookup: the title, then the two classes in turn.
    PageWindows WaitForWindows() {
        PageWindows w;
        WaitUntil([&] {
            w.window = desktop_->FindWindowByTitle(kPageTitle);
            w.frame = desktop_->FindChild(w.window, "Chrome_WidgetWin_0");
            w.view = desktop_->FindChild(w.frame, "Chrome_WidgetWin_1");
            return w.view != 0;
        });
        return w;
    }

    // The shell's windows once they exist, with the practice page asked for (0 ids on failure).
    PageWindows OpenPracticePage() {
        PageWindows w = WaitForWindows();
        if (w.view == 0) {
            ADD_FAILURE() << "page window, frame or view not found";
        } else {
            Post(w.window, kOpenPractice);
        }
        return w;
    }
    // WM_CLOSE must end the shell in order, with exit code 0.
    void CloseShell(ShellProcess& shell, const PageWindows& w) {
        Post(w.window, wm::Close);
        ASSERT_TRUE(shell.WaitExit(20000));
        EXPECT_TRUE(shell.ExitedCleanly());
    }

    void Post(WindowId to, std::uint32_t msg, std::uint32_t wParam = 0, std::int32_t lParam = 0) {
        ASSERT_TRUE(desktop_->PostMessage(to, Message{msg, wParam, lParam})) << std::hex << msg;
    }
    void TypeDigits(WindowId view, const std::string& digits) { sorrelpane_harness::TypeDigits(*desktop_, view, digits); }
    // A page point as the console computes it: anchor + offset.
    void PostAt(const Installation& inst, WindowId to, std::uint32_t msg, const char* keyX, const char* keyY) {
        Post(to, msg, static_cast<std::uint32_t>(inst.Geometry("lvwf_x") + inst.Geometry(keyX)),
             inst.Geometry("lvwf_y") + inst.Geometry(keyY));
    }

    // Clicks the code box at its point and types 4321 into it, until the page has taken the code
    // `times` times in all. Now and then the page keeps the keys in the box that had the focus
    // before the dialog opened; the console's bidder would click the code box again, and so does
    // the test.
    void TypeCode(const Installation& inst, const PageWindows& w, std::size_t times) {
        const std::string typed = "page: input codeinput=4321 trusted=1";
        for (int attempt = 0; attempt < 3; ++attempt) {
            PostAt(inst, w.window, kCodeBoxPoint, "C_P2_IMGCODE_IN_X", "C_P2_IMGCODE_IN_Y");
            TypeDigits(w.view, "4321");
            if (WaitUntil([&] { return CountIn(inst.Log(), typed) >= times; }, 2000)) break;
        }
    }

    // Where the console's template search finds `picture` inside `area` of the page view
    // (page-view pixels).
    std::optional<kestrava::perception::Point> FindOnPage(WindowId view, const std::string& picture,
                                                          kestrava::platform::Rect area) {
        auto screen = kestrava::platform::x11::X11Screen::Open();
        std::optional<kestrava::platform::Rect> viewRect = desktop_->WindowRect(view);
        std::optional<kestrava::perception::Bgr24Image> templ =
            kestrava::perception::LoadReferenceImage(std::string(INSTALL_DIR) + "/ScreenShot/" + picture);
        if (!screen || !viewRect || !templ) return std::nullopt;
        kestrava::platform::Rect onScreen{viewRect->left + area.left, viewRect->top + area.top,
                                          viewRect->left + area.right, viewRect->top + area.bottom};
        kestrava::platform::Image capture;
        if (!screen->Capture(onScreen, capture)) return std::nullopt;
        kestrava::perception::Bgr24Image pixels = kestrava::perception::LockAs24(capture);
        auto at = kestrava::perception::FindTemplate(pixels.View(), templ->View());
        if (at) {
            at->x += area.left;
            at->y += area.top;
        }
        return at;
    }

    std::unique_ptr<kestrava::platform::x11::X11Desktop> desktop_;
};

}  // namespace sorrelpane_harness
