// The deterministic in-memory platform: a virtual clock whose sleeps advance time and fire the
// periodic timers that fall due, a table of windows with a log of posted messages, a
// framebuffer, key states, and recorders for everything that would leave the process. Unit tests
// and the replay tool run the real core on it and step a whole auction minute in milliseconds.
//
// The virtual clock is driven from one thread at a time (the test's, or a timer callback running
// inside Advance). The other fakes are thread-safe, so core code that reads them from several
// threads still works.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace kestrava::platform::fake {

// Builds a LocalTime from its parts (weekday is derived when converted through a clock).
LocalTime MakeLocal(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

class FakeClock : public Clock, public Timers {
public:
    // The clock starts at `start` (local time of a zone `utcOffsetMinutes` east of UTC; 480 is
    // Beijing time). `tickStart` lets a test put the 32-bit tick count near its wrap.
    explicit FakeClock(LocalTime start = MakeLocal(2026, 12, 10, 11, 0, 0), int utcOffsetMinutes = 480,
                       std::uint32_t tickStart = 1000000);
    ~FakeClock() override;

    // Clock
    LocalTime Now() override;
    std::int64_t EpochMillis() override;
    std::uint32_t TickCount() override;
    void SleepMs(std::uint32_t ms) override;  // advances virtual time, firing due timers
    std::int64_t LocalToEpochSeconds(const LocalTime& t) override;
    LocalTime EpochMillisToLocal(std::int64_t epochMillis) override;

    // Timers
    using Timers::StartPeriodic;
    std::unique_ptr<PeriodicTimer> StartPeriodic(std::uint32_t periodMs, std::function<void()> tick,
                                                 TickPriority priority) override;

    // Moves time forward by `ms`, firing every periodic timer as it falls due, in deadline order
    // (timers due at the same moment fire in the order they were started). A callback that
    // sleeps advances time inside this call; its own ticks falling due meanwhile are skipped.
    void Advance(std::uint32_t ms);
    // Advances until `t` (local time); does nothing when `t` is not later than now.
    void AdvanceTo(const LocalTime& t);
    // Jumps to `t` without firing timers (deadlines move with the jump), as when the system clock
    // is set.
    void SetNow(const LocalTime& t);
    // Number of periodic timers currently running (started and not stopped).
    int ActiveTimers();
    // The periods of the running timers, in the order they were started.
    std::vector<std::uint32_t> ActivePeriods();
    // The priorities they asked for, in the same order.
    std::vector<TickPriority> ActivePriorities();

private:
    struct TimerState;
    class Handle;
    void AdvanceUntil(std::int64_t targetMs);

    std::recursive_mutex mutex_;
    std::int64_t nowMs_;
    std::int64_t startMs_;
    int utcOffsetMinutes_;
    std::uint32_t tickStart_;
    std::uint64_t nextTimerSeq_ = 0;
    std::vector<std::shared_ptr<TimerState>> timers_;
};

struct PostedMessage {
    WindowId window = 0;
    Message message;
    std::int64_t atMillis = 0;  // virtual epoch milliseconds when posted (0 without a clock)
};

class FakeDesktop : public Desktop {
public:
    explicit FakeDesktop(Clock* clock = nullptr, Rect screen = Rect{0, 0, 1920, 1080});

    // Adds a window (screen rectangle `rect`) as a child of `parent` (0 for a top-level window).
    WindowId AddWindow(const std::string& title, const std::string& className, Rect rect, WindowId parent = 0);
    // Removes the window and all its descendants.
    void RemoveWindow(WindowId w);
    void SetWindowRect(WindowId w, Rect rect);
    // The process a window says made it (WindowProcess); none until set.
    void SetWindowProcess(WindowId w, std::uint32_t process);
    // The id the next window gets (ids count up from there), as a display server hands a
    // program started again the ids its killed predecessor had.
    void SetNextWindowId(WindowId id);
    // A snapshot of every message posted so far; ClearPosted forgets them.
    std::vector<PostedMessage> Posted();
    std::vector<PostedMessage> PostedTo(WindowId w);
    void ClearPosted();
    WindowId Foreground();
    bool IsTopmost(WindowId w);
    // When false, PostMessage fails as if the message queue were full.
    void SetPostSucceeds(bool ok);
    // A covered window stays covered whatever raising does (a window kept above all others lies
    // over it), until this is called again with false.
    void SetCovered(WindowId w, bool covered);

    // Desktop
    WindowId FindWindowByTitle(std::string_view title) override;
    WindowId FindWindowByClass(std::string_view className) override;
    WindowId FindChild(WindowId parent, std::string_view className) override;
    bool IsWindow(WindowId w) override;
    std::string Title(WindowId w) override;
    std::optional<std::uint32_t> WindowProcess(WindowId w) override;
    std::optional<Rect> WindowRect(WindowId w) override;
    std::optional<Rect> ClientRect(WindowId w) override;
    // Records the message; a window made by CreateMessageWindow also gets it delivered to its
    // handler at once, on the posting thread.
    bool PostMessage(WindowId w, const Message& m) override;
    bool SetForeground(WindowId w) override;
    // At once: true for an existing window that is not covered (SetCovered).
    bool WaitUntilUncovered(WindowId w, std::uint32_t timeoutMs) override;
    bool Place(WindowId w, int x, int y, bool topmost, bool activate) override;
    Rect ScreenRect() override;
    std::unique_ptr<MessageWindow> CreateMessageWindow(std::string_view title, std::string_view className,
                                                       MessageHandler handler, bool mapped = false) override;

private:
    struct Window {
        std::string title;
        std::string className;
        Rect rect;
        WindowId parent = 0;
        bool topmost = false;
        std::shared_ptr<MessageHandler> handler;
        bool covered = false;
        std::optional<std::uint32_t> process;
    };
    class FakeMessageWindow;

    std::mutex mutex_;
    Clock* clock_;
    Rect screen_;
    WindowId nextId_ = 0x1000;
    std::map<WindowId, Window> windows_;  // ordered by creation
    std::vector<PostedMessage> posted_;
    WindowId foreground_ = 0;
    bool postSucceeds_ = true;
};

class FakeScreen : public Screen {
public:
    explicit FakeScreen(int width = 1920, int height = 1080);
    // The framebuffer that captures read; tests (or a fake page) draw into it.
    Image& Framebuffer() { return framebuffer_; }
    void Fill(const Rect& r, std::uint8_t blue, std::uint8_t green, std::uint8_t red);
    // Copies `img` with its top-left corner at (x, y), clipped to the framebuffer.
    void Blit(const Image& img, int x, int y);
    // Called at the start of every capture (a fake page paints itself here).
    void SetPainter(std::function<void(FakeScreen&)> painter);
    int Captures();

    Rect Bounds() override;
    bool Capture(const Rect& r, Image& out, Rect* clipped = nullptr) override;

private:
    std::mutex mutex_;
    Image framebuffer_;
    std::function<void(FakeScreen&)> painter_;
    int captures_ = 0;
};

class FakeKeyboard : public Keyboard {
public:
    // A press and release between two queries: the next query reports pressedSince only.
    void Tap(int vk);
    void SetDown(int vk, bool down);
    KeyState Query(int vk) override;

private:
    std::mutex mutex_;
    std::set<int> down_;
    std::set<int> latched_;
};

class FakeRegistry : public Registry {
public:
    std::optional<std::uint32_t> ReadDword(std::string_view name) override;
    bool WriteDword(std::string_view name, std::uint32_t value) override;
    std::optional<std::string> ReadString(std::string_view name) override;
    void SetString(const std::string& name, const std::string& value);
    void Remove(const std::string& name);

private:
    std::mutex mutex_;
    std::map<std::string, std::uint32_t, std::less<>> dwords_;
    std::map<std::string, std::string, std::less<>> strings_;
};

class FakePrograms : public Programs {
public:
    struct Call {
        std::string path;
        std::vector<std::string> args;
    };
    bool Start(const std::string& path, const std::vector<std::string>& args) override;
    bool Open(const std::string& documentOrUrl) override;
    bool FileExists(const std::string& path) override;
    // Paths FileExists and Start accept; Start of any other path fails.
    void AddFile(const std::string& path);
    void RemoveFile(const std::string& path);
    std::vector<Call> Started();
    std::vector<std::string> Opened();

private:
    std::mutex mutex_;
    std::set<std::string> files_;
    std::vector<Call> started_;
    std::vector<std::string> opened_;
};

class FakeSound : public Sound {
public:
    void Play(int promptId) override;
    std::vector<int> Played();

private:
    std::mutex mutex_;
    std::vector<int> played_;
};

class FakeNotices : public Notices {
public:
    void Show(std::string_view text, std::string_view caption) override;
    std::vector<std::pair<std::string, std::string>> Shown();

private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> shown_;
};

class FakeSystemTime : public SystemTime {
public:
    bool SetUtc(std::int64_t epochSeconds) override;
    std::vector<std::int64_t> Sets();
    void SetResult(bool ok);

private:
    std::mutex mutex_;
    std::vector<std::int64_t> sets_;
    bool result_ = true;
};

class FakePower : public Power {
public:
    void KeepAwake(bool on) override;
    bool Awake();

private:
    std::mutex mutex_;
    bool awake_ = false;
};

// Locks live in a table shared by all instances made with the same table, so a test can play
// two processes.
class FakeSingleInstance : public SingleInstance {
public:
    using LockTable = std::shared_ptr<std::pair<std::mutex, std::set<std::string>>>;
    static LockTable NewTable();
    explicit FakeSingleInstance(LockTable table = NewTable());
    ~FakeSingleInstance() override;
    bool TryAcquire(std::string_view name) override;

private:
    LockTable table_;
    std::vector<std::string> held_;
};

// One of each fake, wired together (the desktop stamps posts with the clock).
struct FakePlatform {
    explicit FakePlatform(LocalTime start = MakeLocal(2026, 12, 10, 11, 0, 0));

    FakeClock clock;
    FakeDesktop desktop;
    FakeScreen screen;
    FakeKeyboard keyboard;
    FakeRegistry registry;
    FakePrograms programs;
    FakeSound sound;
    FakeNotices notices;
    FakeSystemTime systemTime;
    FakePower power;
    FakeSingleInstance singleInstance;

    Platform Get();
};

}  // namespace kestrava::platform::fake
