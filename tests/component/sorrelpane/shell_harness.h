// What a test or a measurement of the page shell needs: an installation folder made for one shell,
// the shell as a child process under the test's X display, and a stand-in console window that keeps
// what the shell posts to it. SORRELPANE_PATH and INSTALL_DIR (the build folder) come from the
// build.
#pragma once

#include <gtest/gtest.h>


#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "component/sorrelpane/shell_process.h"
#include "config/profile.h"
#include "platform/keys.h"
#include "platform/platform.h"

namespace sorrelpane_harness {

namespace fs = std::filesystem;
using kestrava::platform::Message;
using kestrava::platform::WindowId;
namespace wm = kestrava::platform::wm;
namespace vk = kestrava::platform::vk;

constexpr char kPageTitle[] = "客车额度拍卖InternetExplorer";
constexpr char kConsoleTitle[] = "Vonter沪牌抢拍助手";
constexpr std::uint32_t kOpenPractice = 0x468;
constexpr std::uint32_t kClickAt = 0x46a;
constexpr std::uint32_t kClickPlusBoxAt = 0x46c;
constexpr std::uint32_t kCodeBoxPoint = 0x4a2;
constexpr std::uint32_t kConfirmElement = 0x4a3;
constexpr std::uint32_t kCloseInfoElement = 0x4a5;
constexpr std::uint32_t kAddElement = 0x4a7;
constexpr std::uint32_t kPageLoggedIn = 0x465;
constexpr std::uint32_t kPageReport = 0x46e;
constexpr std::uint32_t kPracticeStarted = 0x49d;

using kestrava::testing::ReadFile;
using kestrava::testing::ShellProcess;
using kestrava::testing::WaitUntil;

// How many times `needle` stands in `text` (a page line repeated across rounds).
inline std::size_t CountIn(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// Types digits into the page view as the console does: Delete, a pause, the digits. A box that
// selects its text when it takes the focus does so a moment later; digits typed before that would
// be replaced.
inline void TypeDigits(kestrava::platform::Desktop& desktop, WindowId view, const std::string& digits) {
    desktop.PostMessage(view, Message{wm::KeyDown, vk::Delete, 1});
    desktop.PostMessage(view, Message{wm::KeyUp, vk::Delete, 1});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (char c : digits) desktop.PostMessage(view, Message{wm::Char, static_cast<std::uint32_t>(c), 0});
}

// An installation folder for one shell: its settings in bin/, the build's practice page and
// reference pictures, and Log/ for the shell's day log.
class Installation {
public:
    explicit Installation(const std::string& practiceParams, int firstBid = 0) {
        char tmpl[] = "/tmp/sorrelpane-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
        const fs::path build = INSTALL_DIR;
        fs::create_directories(dir_ / "bin");
        fs::create_symlink(build / "practice", dir_ / "practice");
        fs::create_symlink(build / "ScreenShot", dir_ / "ScreenShot");
        fs::copy_file(build / "bin" / "coordinatebaseline.ini", dir_ / "bin" / "coordinatebaseline.ini");
        std::ofstream(dir_ / "bin" / "sorrelpane.ini") << "[Sorrelpane]\npracticeparams=" << practiceParams << "\n";
        std::ofstream(dir_ / "bin" / "userconf.ini")
            << "[Configure]\nbidnumber=12345678\nbidpassword=1234\nidcard=310101199001011234\nfirstbid=" << firstBid
            << "\n";
    }
    ~Installation() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    const fs::path& Dir() const { return dir_; }

    int Geometry(const char* key) const {
        return kestrava::config::ReadProfileInt("Position", key, -1, (dir_ / "bin" / "coordinatebaseline.ini").string());
    }

    std::string Log() const {
        std::string all;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir_ / "Log", ec)) {
            if (e.path().string().ends_with("_ie.log")) all += ReadFile(e.path());
        }
        return all;
    }

    bool WaitLog(const std::string& needle, int timeoutMs = 30000) const {
        const bool found = WaitUntil([&] { return Log().find(needle) != std::string::npos; }, timeoutMs);
        if (!found) ADD_FAILURE() << "no \"" << needle << "\" in the shell's log:\n" << Log();
        return found;
    }

private:
    fs::path dir_;
};

// A window with the console's title that keeps what the shell posts to it.
class FakeConsole {
public:
    explicit FakeConsole(kestrava::platform::Desktop& desktop)
        : window_(desktop.CreateMessageWindow(kConsoleTitle, "KestravaConsole", [this](const Message& m) {
              std::lock_guard lock(mutex_);
              messages_.push_back(m);
              arrivals_.push_back(std::chrono::steady_clock::now());
          })) {}

    // When the first message `msg` arrived, if one did.
    std::optional<std::chrono::steady_clock::time_point> FirstArrival(std::uint32_t msg) const {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < messages_.size(); ++i) {
            if (messages_[i].msg == msg) return arrivals_[i];
        }
        return std::nullopt;
    }

    std::vector<Message> Received(std::uint32_t msg) const {
        std::lock_guard lock(mutex_);
        std::vector<Message> out;
        for (const Message& m : messages_) {
            if (m.msg == msg) out.push_back(m);
        }
        return out;
    }
    // The messages of any of `msgs`, in the order they arrived.
    std::vector<Message> ReceivedAmong(std::initializer_list<std::uint32_t> msgs) const {
        std::lock_guard lock(mutex_);
        std::vector<Message> out;
        for (const Message& m : messages_) {
            if (std::find(msgs.begin(), msgs.end(), m.msg) != msgs.end()) out.push_back(m);
        }
        return out;
    }
    bool WaitFor(std::uint32_t msg, std::size_t count = 1) const {
        return WaitUntil([&] { return Received(msg).size() >= count; });
    }

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<std::chrono::steady_clock::time_point> arrivals_;
    std::unique_ptr<kestrava::platform::MessageWindow> window_;
};

// The scheduled confirmation's messages and the shell's answers to them.
constexpr std::uint32_t kSchedule = 0x4ab;
constexpr std::uint32_t kCancel = 0x4ac;
constexpr std::uint32_t kAnswer = 0x4ad;
enum Answer : std::int32_t { Accepted = 1, Fired = 2, Cancelled = 3, TooLate = 4, NotShown = 5 };

inline std::int64_t EpochMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The shell's answers about `token`, in the order they came.
inline std::vector<std::int32_t> AnswersAbout(const FakeConsole& c, std::int32_t token) {
    std::vector<std::int32_t> out;
    for (const Message& m : c.Received(kAnswer))
        if (m.wParam == static_cast<std::uint32_t>(token)) out.push_back(m.lParam);
    return out;
}

}  // namespace sorrelpane_harness
