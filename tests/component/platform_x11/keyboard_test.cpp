// The key state against a real server, with keys typed by xdotool (XTEST) as a person would.

#include "platform/keys.h"
#include "platform/x11/x11_keyboard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kestrava::platform::x11 {
namespace {

void Xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << "xdotool " << args;
}

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard = X11Keyboard::Open();
        ASSERT_NE(keyboard, nullptr) << "no X display with XInput 2; run under scripts/xvfb-env";
    }
    std::unique_ptr<X11Keyboard> keyboard;
};

// A tap of about 10 ms between two polls 100 ms apart: the poll after it must report the press
// (the key is already up again), and the poll after that must not report it a second time.
TEST_F(KeyboardTest, AQuickTapBetweenPollsIsReportedOnceByTheNextPoll) {
    struct Case {
        int vk;
        const char* keysym;
    };
    const Case cases[] = {
        {vk::Return, "Return"},     {vk::Return, "KP_Enter"},  {vk::Escape, "Escape"}, {vk::F3, "F3"},
        {vk::F10, "F10"},           {vk::F1 + 11, "F12"},      {vk::Digit0 + 7, "7"},  {vk::KeyA + 10, "k"},
        {vk::Delete, "Delete"},     {vk::Back, "BackSpace"},   {vk::Space, "space"},   {vk::Control, "Control_L"},
        {vk::Control, "Control_R"}, {vk::Shift, "Shift_L"},    {vk::Menu, "Alt_L"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keysym);
        keyboard->Query(c.vk);  // forget anything earlier
        Xdotool(std::string("key --delay 10 ") + c.keysym);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const KeyState next = keyboard->Query(c.vk);
        EXPECT_TRUE(next.pressedSince);
        EXPECT_FALSE(next.down);
        EXPECT_FALSE(keyboard->Query(c.vk).pressedSince);
    }
}

TEST_F(KeyboardTest, OnlyThePressedKeyIsReported) {
    keyboard->Query(vk::Return);
    keyboard->Query(vk::Escape);
    Xdotool("key --delay 10 Escape");
    EXPECT_FALSE(keyboard->Query(vk::Return).pressedSince);
    EXPECT_TRUE(keyboard->Query(vk::Escape).pressedSince);
    EXPECT_FALSE(keyboard->Query(0x07).pressedSince);  // no key has this code
}

TEST_F(KeyboardTest, AHeldKeyIsDownUntilReleased) {
    keyboard->Query(vk::Control);
    Xdotool("keydown Control_L");
    const KeyState held = keyboard->Query(vk::Control);
    Xdotool("keyup Control_L");
    EXPECT_TRUE(held.down);
    EXPECT_TRUE(held.pressedSince);
    const KeyState released = keyboard->Query(vk::Control);
    EXPECT_FALSE(released.down);
    EXPECT_FALSE(released.pressedSince);
}

}  // namespace
}  // namespace kestrava::platform::x11
