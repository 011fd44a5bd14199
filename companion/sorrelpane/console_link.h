// The shell's side of the window protocol towards the other programs of the installation: the
// console's page reports and the compatibility-test timer for the login dialog. Kept free of Qt.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace kestrava::sorrelpane {

// The console's window title, and how the login dialog's title begins.
inline constexpr char kConsoleTitle[] = "Vonter沪牌抢拍助手";
inline constexpr char kLoginDialogTitlePrefix[] = "Vonter沪牌抢拍助手 ";

class ConsoleLink {
public:
    // Null when the display cannot be opened.
    static std::unique_ptr<ConsoleLink> Open();
    ~ConsoleLink();
    ConsoleLink(const ConsoleLink&) = delete;
    ConsoleLink& operator=(const ConsoleLink&) = delete;

    // Posts to the console, found by title; false when there is no console (nothing is sent).
    // The window found last is tried first, so a report costs one request, not a tree walk.
    bool PostToConsole(const platform::Message& m);

    // False when the window is gone.
    bool PostTo(platform::WindowId window, const platform::Message& m);

private:
    struct State;
    explicit ConsoleLink(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace kestrava::sorrelpane
