#include "console_link.h"

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_desktop.h"

#include <functional>
#include <string>

namespace kestrava::sorrelpane {

namespace x11 = platform::x11;

struct ConsoleLink::State {
    std::unique_ptr<x11::X11Desktop> desktop;
    Display* display = nullptr;  // for searches the desktop does not offer
    x11::Atoms atoms;
    platform::WindowId console = 0;

    ~State() {
        if (display) XCloseDisplay(display);
    }
};

ConsoleLink::ConsoleLink(std::unique_ptr<State> state) : state_(std::move(state)) {}
ConsoleLink::~ConsoleLink() = default;

std::unique_ptr<ConsoleLink> ConsoleLink::Open() {
    auto state = std::make_unique<State>();
    state->desktop = x11::X11Desktop::Open();
    state->display = x11::OpenDisplay();
    if (!state->desktop || !state->display) return nullptr;
    state->atoms = x11::Atoms::Intern(state->display);
    return std::unique_ptr<ConsoleLink>(new ConsoleLink(std::move(state)));
}

bool ConsoleLink::PostToConsole(const platform::Message& m) {
    State& s = *state_;
    if (s.console != 0 && s.desktop->PostMessage(s.console, m)) return true;
    s.console = s.desktop->FindWindowByTitle(kConsoleTitle);
    return s.console != 0 && s.desktop->PostMessage(s.console, m);
}

bool ConsoleLink::PostToTitlePrefix(std::string_view prefix, const platform::Message& m) {
    State& s = *state_;
    x11::ErrorTrap trap;
    std::function<Window(Window)> find = [&](Window parent) -> Window {
        for (Window w : x11::Children(s.display, parent)) {
            std::optional<std::string> title = x11::ReadTitle(s.display, w, s.atoms);
            if (title && title->starts_with(prefix)) return w;
            if (Window below = find(w)) return below;
        }
        return 0;
    };
    Window target = find(DefaultRootWindow(s.display));
    return target != 0 && s.desktop->PostMessage(target, m);
}

}  // namespace kestrava::sorrelpane
