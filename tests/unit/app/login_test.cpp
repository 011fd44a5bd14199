// The login dialog's start-up and login routine on the fake platform: what is started, stored and
// opened for each way in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/bid_num_dlg.h"
#include "config/settings.h"
#include "perception/image_files.h"
#include "platform/fake/fake_platform.h"
#include "platform/keys.h"
#include "shell/page_commands.h"
#include "unit/app/install_dir.h"

using namespace kestrava;
using kestrava::platform::fake::FakePlatform;
using kestrava::platform::fake::MakeLocal;
using kestrava::testing::InstallDir;
using kestrava::testing::PermissionBits;
using kestrava::testing::WriteFile;

namespace {

struct Harness {
    // Copies of the program that share `locks` see each other's single-instance lock.
    explicit Harness(platform::fake::FakeSingleInstance::LockTable locks = platform::fake::FakeSingleInstance::NewTable(),
                     platform::LocalTime start = MakeLocal(2026, 12, 10, 9, 0, 17))
        : fake(start), lock(std::move(locks)) {}

    app::CBidNumDlg& Dialog() {
        if (!dialog) {
            app::LoginHooks hooks;
            hooks.httpGet = [this](const std::string& url) {
                asked.push_back(url);
                return std::string("Error:Connect failed!\n");
            };
            hooks.startNetworkClock = [this] { ++clockThreads; };
            hooks.placeDialog = [this](bool topmost) { placements.push_back(topmost); };
            dialog = std::make_unique<app::CBidNumDlg>(platformRef, application, std::move(hooks));
        }
        return *dialog;
    }

    std::vector<std::string> Notices() {
        std::vector<std::string> texts;
        for (auto& [text, caption] : fake.notices.Shown()) texts.push_back(text);
        return texts;
    }

    FakePlatform fake;
    platform::fake::FakeSingleInstance lock;
    platform::Platform platformRef{fake.clock,    fake.clock,    fake.desktop, fake.screen,
                                   fake.keyboard, fake.registry, fake.programs, fake.sound,
                                   fake.notices,  fake.systemTime, fake.power,  lock};
    app::CKestravaApp application;
    std::unique_ptr<app::CBidNumDlg> dialog;
    std::vector<std::string> asked;
    std::vector<bool> placements;
    int clockThreads = 0;
};

}  // namespace

TEST(Login, SecondCopyEndsWithCodeZeroAndTouchesNothing) {
    InstallDir dir;
    auto locks = platform::fake::FakeSingleInstance::NewTable();
    Harness first(locks);
    ASSERT_TRUE(first.Dialog().OnInitDialog().keepRunning);
    std::filesystem::remove(".//bin//userconf.ini");

    Harness second(locks);
    const auto outcome = second.Dialog().OnInitDialog();
    EXPECT_FALSE(outcome.keepRunning);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(second.Notices(), std::vector<std::string>{app::kSecondCopyText});
    EXPECT_TRUE(second.fake.programs.Started().empty());
    EXPECT_TRUE(second.asked.empty());
    EXPECT_FALSE(std::filesystem::exists(".//bin//userconf.ini"));
}

TEST(Login, StartupRestartsTheShellAndStartsTheNotifierWhenAbsent) {
    InstallDir dir;
    Harness h;
    WriteFile(".//bin//userconf.ini", "[Configure]\nbidnumber=12345678\n");
    WriteFile(".//bin//coordinatebaseline.ini", "[Position]\nversion=8.41\n");
    const platform::WindowId oldPage = h.fake.desktop.AddWindow(shell::kPageWindowTitle, "", {0, 0, 800, 600});

    ASSERT_TRUE(h.Dialog().OnInitDialog().keepRunning);
    EXPECT_EQ(h.Dialog().storedBidNumber, "12345678");
    EXPECT_EQ(h.application.loginSecond, 17);
    EXPECT_EQ(h.Dialog().WindowTitle(), "Vonter沪牌抢拍助手 8.41.Ravedadi");
    EXPECT_EQ(h.Dialog().VersionCaption(), "版本号 8.41");
    ASSERT_EQ(h.fake.desktop.PostedTo(oldPage).size(), 1u);
    EXPECT_EQ(h.fake.desktop.PostedTo(oldPage)[0].message.msg, platform::wm::Close);
    std::vector<std::string> started;
    for (auto& call : h.fake.programs.Started()) started.push_back(call.path);
    EXPECT_EQ(started, (std::vector<std::string>{shell::kShellPath, app::kNotifyPath}));
    EXPECT_EQ(h.fake.registry.ReadDword("SecureProtocols"), 0xAA8u);  // firstuse 0
    EXPECT_EQ(h.placements, std::vector<bool>{true});
    EXPECT_EQ(h.clockThreads, 0);
    h.Dialog().FinishStartup();
    EXPECT_EQ(h.clockThreads, 1);
}

TEST(Login, AutoUpdateDecidesWhatTheLoginOpens) {
    struct Case {
        const char* autoUpdate;
        app::NextWindow atStart;     // before any click
        app::NextWindow afterClick;  // the simulation button with a good number
    };
    const Case cases[] = {
        {"0", app::NextWindow::None, app::NextWindow::HelpPages},
        {"1", app::NextWindow::Console, app::NextWindow::Console},
        {"2", app::NextWindow::None, app::NextWindow::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoUpdate);
        InstallDir dir;
        Harness h;
        WriteFile(".//bin//conf.ini", std::string("[Configure]\nauto_update=") + c.autoUpdate + "\n");
        WriteFile(".//bin//userconf.ini", "[Configure]\nbidnumber=87654321\nmoniornot=0\n");
        ASSERT_TRUE(h.Dialog().OnInitDialog().keepRunning);
        EXPECT_EQ(h.Dialog().AutoLoginIfAsked(), c.atStart);
        if (c.atStart == app::NextWindow::Console) {
            EXPECT_EQ(h.application.bidNumber, "87654321");  // the stored number and mode
            EXPECT_EQ(config::Read(config::user::moniornot), 0);
        }
        EXPECT_EQ(h.Dialog().OnSimulationLogin("11223344"), c.afterClick);
        EXPECT_EQ(config::Read(config::user::bidnumber), "11223344");
        EXPECT_EQ(config::Read(config::user::moniornot), 1);
        EXPECT_EQ(h.application.bidNumber, "11223344");
        EXPECT_EQ(PermissionBits(".//bin//userconf.ini"), 0600u);
    }
}

TEST(Login, ShortNumberStaysAndDrawsThePolicyOnce) {
    InstallDir dir;
    Harness h;
    ASSERT_TRUE(h.Dialog().OnInitDialog().keepRunning);
    EXPECT_EQ(h.Dialog().OnRealLogin("1234567"), app::NextWindow::None);
    EXPECT_EQ(h.Notices(), std::vector<std::string>{app::kShortBidNumberText});
    EXPECT_EQ(config::Read(config::user::firstuse), 1);
    const int policy = config::Read(config::user::SelPolicy);
    EXPECT_GE(policy, 1);
    EXPECT_EQ(config::Read(config::user::moniornot), 0);  // not written: key absent reads 0
    EXPECT_EQ(config::ReadProfileString("Configure", "moniornot", "absent", 10, ".//bin//userconf.ini"), "absent");

    config::Write(config::user::SelPolicy, 7);
    EXPECT_EQ(h.Dialog().OnRealLogin("12345678"), app::NextWindow::HelpPages);
    EXPECT_EQ(config::Read(config::user::SelPolicy), 7);  // second click leaves it alone
    EXPECT_EQ(config::Read(config::user::moniornot), 0);
    // The hidden login button with a short number stores it but empties the application's.
    EXPECT_EQ(h.Dialog().DoLogin("123"), app::NextWindow::None);
    EXPECT_EQ(config::Read(config::user::bidnumber), "123");
    EXPECT_TRUE(h.application.bidNumber.empty());
}

TEST(Login, CompatibilityCheckLooksForTheStatusIcon) {
    struct Case {
        const char* name;
        bool drawIcon;
        std::size_t wantTestCommands;  // 0x469 posts to the page window
        bool wantNotice;
    };
    const Case cases[] = {
        {"icon on the page", true, 2, false},
        {"icon missing", false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallDir dir;
        Harness h;
        // A 4x3 icon of a distinctive colour as the reference picture.
        platform::Image icon(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                std::uint8_t* p = icon.Pixel(x, y);
                p[0] = 10, p[1] = 200, p[2] = static_cast<std::uint8_t>(30 + 10 * x);
            }
        ASSERT_TRUE(perception::SaveBitmapFile(icon, ".//ScreenShot//wifi_green.bmp"));
        const auto page = h.fake.desktop.AddWindow(shell::kPageWindowTitle, "", {100, 100, 500, 400});
        const auto frame = h.fake.desktop.AddWindow("", shell::kPageFrameClass, {100, 100, 500, 400}, page);
        h.fake.desktop.AddWindow("", shell::kPageViewClass, {100, 120, 500, 400}, frame);
        if (c.drawIcon) h.fake.screen.Blit(icon, 250, 200);

        h.Dialog().OnCompatibilityTest("");
        EXPECT_EQ(h.fake.desktop.Foreground(), page);
        h.Dialog().OnTimer(2);  // other timers are not ours
        h.Dialog().OnTimer(app::kCompatibilityTimerId);
        std::size_t commands = 0;
        for (auto& posted : h.fake.desktop.PostedTo(page)) {
            if (posted.message.msg == shell::cmd::CompatibilityTest) ++commands;
        }
        EXPECT_EQ(commands, c.wantTestCommands);
        EXPECT_EQ(h.Notices().size(), c.wantNotice ? 1u : 0u);
        EXPECT_EQ(h.placements, (std::vector<bool>{false, true}));
        EXPECT_EQ(config::Read(config::user::firstuse), 1);
    }
}

TEST(Login, CompatibilityTestWithoutPageDoesNothingButRemember) {
    InstallDir dir;
    Harness h;
    h.Dialog().OnCompatibilityTest("99887766");
    EXPECT_EQ(config::Read(config::user::bidnumber), "99887766");
    EXPECT_TRUE(h.fake.desktop.Posted().empty());
    EXPECT_TRUE(h.Notices().empty());
}
