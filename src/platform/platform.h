// The operating-system layer the core talks to. Every interface here has a real backend on
// X11/POSIX (platform/x11) and a deterministic in-memory backend (platform/fake) used by unit
// tests and the replay tool. Nothing in the core knows which one it runs on.
//
// Virtual-key codes, message numbers and timer ids keep their Windows values so that the tables
// of behaviour read the same everywhere (see keys.h and docs/window-protocol.md).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::platform {

// ---------------------------------------------------------------------------------------------
// Plain data

// A window of the desktop; 0 means "no window". On X11 this is the X window id.
using WindowId = std::uint64_t;

// A rectangle in screen (or window) pixels; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

Rect Intersect(const Rect& a, const Rect& b);

// 32-bit pixels, rows top to bottom, each row exactly 4 * width bytes, bytes per pixel in the
// order blue, green, red, and a fourth byte that nothing reads.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;

    Image() = default;
    Image(int w, int h) : width(w), height(h), bgra(static_cast<std::size_t>(w) * h * 4, 0) {}
    bool Empty() const { return width <= 0 || height <= 0; }
    std::uint8_t* Pixel(int x, int y) { return bgra.data() + (static_cast<std::size_t>(y) * width + x) * 4; }
    const std::uint8_t* Pixel(int x, int y) const {
        return bgra.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    }
};

// A broken-down local date and time with milliseconds (month 1-12, weekday 0 = Sunday).
struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4;
};

// A message as posted between the programs of the installation. On the wire (an X11
// ClientMessage) wParam travels as an unsigned and lParam as a signed 32-bit value.
struct Message {
    std::uint32_t msg = 0;
    std::uint32_t wParam = 0;
    std::int32_t lParam = 0;
};

// ---------------------------------------------------------------------------------------------
// Interfaces

// Wall clock, tick count and sleep. Every "now" of the core goes through here.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() = 0;
    // Milliseconds since 1970-01-01 00:00:00 UTC.
    virtual std::int64_t EpochMillis() = 0;
    // Milliseconds since an arbitrary start, wrapping at 2^32: compare by unsigned difference.
    virtual std::uint32_t TickCount() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Conversions between local broken-down time and seconds since 1970 in this clock's zone
    // (the fake clock's zone is fixed, so tests do not depend on the machine's TZ).
    virtual std::int64_t LocalToEpochSeconds(const LocalTime& t) = 0;
    virtual LocalTime EpochMillisToLocal(std::int64_t epochMillis) = 0;
};

// A running periodic timer. Destroying it stops it.
class PeriodicTimer {
public:
    virtual ~PeriodicTimer() = default;
    // Stops the timer. When Stop returns no callback is running and none will run again, unless
    // Stop is called from the timer's own callback (then that callback finishes normally).
    virtual void Stop() = 0;
};

// How a periodic timer's thread is scheduled. Only a tick whose lateness costs a bid asks for
// real time (the submit tick); everything else, text recognition and whole-page searches above
// all, runs beside the page shell and the interface at the ordinary priority.
enum class TickPriority {
    Normal,    // the ordinary time-sharing policy, whatever the starting thread runs at
    RealTime,  // the lowest real-time priority, when the process may have it
};

// Periodic callbacks with 1 ms resolution. A tick never overlaps the previous one of the same
// timer: a tick that falls due while the previous one still runs is skipped, not queued.
class Timers {
public:
    virtual ~Timers() = default;
    virtual std::unique_ptr<PeriodicTimer> StartPeriodic(std::uint32_t periodMs, std::function<void()> tick,
                                                         TickPriority priority) = 0;
    // At the ordinary priority.
    std::unique_ptr<PeriodicTimer> StartPeriodic(std::uint32_t periodMs, std::function<void()> tick) {
        return StartPeriodic(periodMs, std::move(tick), TickPriority::Normal);
    }
};

// A window this process created to receive posted messages (headless runs, tools, tests). The
// handler runs on a thread of the backend; destroying the object destroys the window.
class MessageWindow {
public:
    virtual ~MessageWindow() = default;
    virtual WindowId Id() const = 0;
};
using MessageHandler = std::function<void(const Message&)>;

// Windows of the desktop: search, geometry, placement, and posting messages.
class Desktop {
public:
    virtual ~Desktop() = default;
    // A window whose title is exactly `title` (UTF-8), searched through the whole tree so that
    // window-manager frames do not hide it. 0 when none.
    virtual WindowId FindWindowByTitle(std::string_view title) = 0;
    // A window whose WM_CLASS class is `className` (searched like the title). 0 when none.
    virtual WindowId FindWindowByClass(std::string_view className) = 0;
    // A descendant of `parent` whose WM_CLASS class is `className`, nearest first. 0 when none.
    virtual WindowId FindChild(WindowId parent, std::string_view className) = 0;
    virtual bool IsWindow(WindowId w) = 0;
    virtual std::string Title(WindowId w) = 0;
    // The process that made a top-level window, as the window says (none when it does not, or is
    // gone). A program killed and started again may get its window ids back from the display
    // server, never its process id.
    virtual std::optional<std::uint32_t> WindowProcess(WindowId w) {
        (void)w;
        return std::nullopt;
    }
    // The window's rectangle in screen coordinates (the window itself, without a frame).
    virtual std::optional<Rect> WindowRect(WindowId w) = 0;
    // The client area: (0, 0, width, height).
    virtual std::optional<Rect> ClientRect(WindowId w) = 0;
    // Posts a message; never waits for it to be handled. False when the window is gone.
    virtual bool PostMessage(WindowId w, const Message& m) = 0;
    virtual bool SetForeground(WindowId w) = 0;
    // Waits, at most `timeoutMs`, until `w` is shown and no window that raising could go above
    // covers any of it (windows kept above all others, menus and balloons do not count: raising
    // never passes them). Raising is asynchronous: the window manager restacks, and the owner
    // repaints what was uncovered, a moment after SetForeground returns. True when uncovered;
    // false when it stayed covered or hidden, or is gone.
    virtual bool WaitUntilUncovered(WindowId w, std::uint32_t timeoutMs) = 0;
    // Moves the window's top-left corner to (x, y) and sets or clears "always on top".
    virtual bool Place(WindowId w, int x, int y, bool topmost, bool activate) = 0;
    // The primary screen in screen coordinates.
    virtual Rect ScreenRect() = 0;
    // Creates a (by default unmapped) window with this title and class that receives posted
    // messages. Null when the window cannot be created.
    virtual std::unique_ptr<MessageWindow> CreateMessageWindow(std::string_view title, std::string_view className,
                                                               MessageHandler handler, bool mapped = false) = 0;
};

// Pixels of the screen.
class Screen {
public:
    virtual ~Screen() = default;
    // The primary screen in screen coordinates.
    virtual Rect Bounds() = 0;
    // Captures `r` (screen coordinates) clipped to the display. The image has the clipped size;
    // `clipped` (when given) receives the rectangle actually captured. False when nothing of
    // `r` lies on the display or the capture failed.
    virtual bool Capture(const Rect& r, Image& out, Rect* clipped = nullptr) = 0;
};

// The state of a key, as an asynchronous key-state query reports it.
struct KeyState {
    bool down = false;          // down at the moment of the query
    bool pressedSince = false;  // pressed at least once since the previous query of this key
};

class Keyboard {
public:
    virtual ~Keyboard() = default;
    // `vk` is a Windows virtual-key code (keys.h). Each call resets "pressed since" for that key.
    virtual KeyState Query(int vk) = 0;
};

// The few system values the program reads and writes ("AppliedDPI", "SecureProtocols",
// "svcVersion", the browser-emulation value named after the shell executable).
class Registry {
public:
    virtual ~Registry() = default;
    virtual std::optional<std::uint32_t> ReadDword(std::string_view name) = 0;
    virtual bool WriteDword(std::string_view name, std::uint32_t value) = 0;
    virtual std::optional<std::string> ReadString(std::string_view name) = 0;
};

// Starting other programs and opening documents.
class Programs {
public:
    virtual ~Programs() = default;
    // Starts `path` with `args` in the working directory; true when the program was started.
    virtual bool Start(const std::string& path, const std::vector<std::string>& args) = 0;
    // Opens a document or address with the desktop's default application.
    virtual bool Open(const std::string& documentOrUrl) = 0;
    virtual bool FileExists(const std::string& path) = 0;
};

// Numbered voice prompts, played asynchronously. A machine without sound plays nothing.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void Play(int promptId) = 0;
};

// Message boxes. Blocks only the calling thread.
class Notices {
public:
    virtual ~Notices() = default;
    virtual void Show(std::string_view text, std::string_view caption) = 0;
};

// Setting the system clock (needs the privilege to do so). Tests inject a recorder.
class SystemTime {
public:
    virtual ~SystemTime() = default;
    virtual bool SetUtc(std::int64_t epochSeconds) = 0;
};

// Keeping the machine and the display awake during a run.
class Power {
public:
    virtual ~Power() = default;
    virtual void KeepAwake(bool on) = 0;
};

// A named lock held for the life of the process (or of this object).
class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // True when this process now holds the lock `name`; false when another process holds it.
    virtual bool TryAcquire(std::string_view name) = 0;
};

// The set of interfaces handed to the core.
struct Platform {
    Clock& clock;
    Timers& timers;
    Desktop& desktop;
    Screen& screen;
    Keyboard& keyboard;
    Registry& registry;
    Programs& programs;
    Sound& sound;
    Notices& notices;
    SystemTime& systemTime;
    Power& power;
    SingleInstance& singleInstance;
};

}  // namespace kestrava::platform
