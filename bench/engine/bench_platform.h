// The part of the platform a tick of the engine never reaches in the benchmarks: every call
// does nothing, so only the engine's own work is measured.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace kestrava::bench {

class InertPlatform : public platform::Timers,
                  public platform::Desktop,
                  public platform::Screen,
                  public platform::Keyboard,
                  public platform::Registry,
                  public platform::Programs,
                  public platform::Sound,
                  public platform::Notices,
                  public platform::SystemTime,
                  public platform::Power,
                  public platform::SingleInstance {
public:
    using platform::Timers::StartPeriodic;
    std::unique_ptr<platform::PeriodicTimer> StartPeriodic(std::uint32_t, std::function<void()>,
                                                           platform::TickPriority) override {
        return nullptr;
    }
    platform::WindowId FindWindowByTitle(std::string_view) override { return 0; }
    platform::WindowId FindWindowByClass(std::string_view) override { return 0; }
    platform::WindowId FindChild(platform::WindowId, std::string_view) override { return 0; }
    bool IsWindow(platform::WindowId) override { return false; }
    std::string Title(platform::WindowId) override { return {}; }
    std::optional<platform::Rect> WindowRect(platform::WindowId) override { return {}; }
    std::optional<platform::Rect> ClientRect(platform::WindowId) override { return {}; }
    bool PostMessage(platform::WindowId, const platform::Message&) override { return true; }
    bool SetForeground(platform::WindowId) override { return false; }
    bool WaitUntilUncovered(platform::WindowId, std::uint32_t) override { return false; }
    bool Place(platform::WindowId, int, int, bool, bool) override { return false; }
    platform::Rect ScreenRect() override { return {}; }
    std::unique_ptr<platform::MessageWindow> CreateMessageWindow(std::string_view, std::string_view,
                                                                 platform::MessageHandler, bool) override {
        return nullptr;
    }
    platform::Rect Bounds() override { return {}; }
    bool Capture(const platform::Rect&, platform::Image&, platform::Rect*) override { return false; }
    platform::KeyState Query(int) override { return {}; }
    std::optional<std::uint32_t> ReadDword(std::string_view) override { return {}; }
    bool WriteDword(std::string_view, std::uint32_t) override { return false; }
    std::optional<std::string> ReadString(std::string_view) override { return {}; }
    bool Start(const std::string&, const std::vector<std::string>&) override { return false; }
    bool Open(const std::string&) override { return false; }
    bool FileExists(const std::string&) override { return false; }
    void Play(int) override {}
    void Show(std::string_view, std::string_view) override {}
    bool SetUtc(std::int64_t) override { return false; }
    void KeepAwake(bool) override {}
    bool TryAcquire(std::string_view) override { return true; }
};

}  // namespace kestrava::bench
