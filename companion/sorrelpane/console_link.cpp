#include "console_link.h"

#include "platform/x11/x11_desktop.h"

namespace kestrava::sorrelpane {

struct ConsoleLink::State {
    std::unique_ptr<platform::x11::X11Desktop> desktop;
    platform::WindowId console = 0;
};

ConsoleLink::ConsoleLink(std::unique_ptr<State> state) : state_(std::move(state)) {}
ConsoleLink::~ConsoleLink() = default;

std::unique_ptr<ConsoleLink> ConsoleLink::Open() {
    auto state = std::make_unique<State>();
    state->desktop = platform::x11::X11Desktop::Open();
    if (!state->desktop) return nullptr;
    return std::unique_ptr<ConsoleLink>(new ConsoleLink(std::move(state)));
}

bool ConsoleLink::PostToConsole(const platform::Message& m) {
    State& s = *state_;
    if (s.console != 0 && s.desktop->PostMessage(s.console, m)) return true;
    s.console = s.desktop->FindWindowByTitle(kConsoleTitle);
    return s.console != 0 && s.desktop->PostMessage(s.console, m);
}

bool ConsoleLink::PostTo(platform::WindowId window, const platform::Message& m) {
    return window != 0 && state_->desktop->PostMessage(window, m);
}

}  // namespace kestrava::sorrelpane
