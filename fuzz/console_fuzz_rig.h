// A console with its engine and strategy controls on the fake platform, in the scratch
// installation folder, 11:29:00 of an auction day in the revision phase: what the policy-file
// import and the page reports act on. Built once per process; each input resets what it reads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "engine/engine.h"
#include "fuzz_support.h"
#include "log/log_book.h"
#include "platform/fake/fake_platform.h"
#include "shell/page_commands.h"
#include "strategy/parameter_controls.h"
#include "strategy/policy_files.h"

namespace kestrava::fuzz {

struct ConsoleFuzzRig {
    ConsoleFuzzRig()
        : folder((ScratchInstallation(), 0)),
          fp(platform::fake::MakeLocal(2026, 12, 10, 11, 29, 0)),
          book(fp.clock, "./Log") {
        fp.programs.AddFile(shell::kShellPath);
        engine = std::make_shared<engine::Engine>();
        engine::Engine::Attach(engine, hooks);
        page = fp.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", platform::Rect{0, 0, 1200, 900});
        const auto frame = fp.desktop.AddWindow("", shell::kPageFrameClass, platform::Rect{0, 30, 1200, 900}, page);
        view = fp.desktop.AddWindow("", shell::kPageViewClass, platform::Rect{0, 30, 1200, 900}, frame);
        console = std::make_unique<console::CKestravaDlg>(fp.Get(), book, console::LoginInfo{"12345678", "8.2", 1, 17},
                                                          hooks);
        strategy::AttachStrategy(engine, console->hooks());
        std::vector<std::string> items;
        for (int slot = 1; slot <= strategy::kSlots; ++slot) items.push_back(strategy::SlotName(slot));
        console->controls.SetItems(strategy::ctl::Combo, items);
        auto& s = console->state;
        s.pageWindow = page;
        s.pageView = view;
        s.auctionStart = fp.clock.LocalToEpochSeconds(platform::fake::MakeLocal(2026, 12, 10, 10, 30, 0));
        s.auctionEnd = fp.clock.LocalToEpochSeconds(platform::fake::MakeLocal(2026, 12, 10, 11, 30, 0));
        s.auctionPhase = 3;
        console->BuildPriceLadder(90800);
        engine->ClearRunRecords(*console);
    }

    console::CKestravaDlg& c() { return *console; }
    engine::Engine& e() { return *engine; }

    int folder;
    platform::fake::FakePlatform fp;
    log::LogBook book;
    console::ConsoleHooks hooks;
    std::shared_ptr<engine::Engine> engine;
    platform::WindowId page = 0;
    platform::WindowId view = 0;
    std::unique_ptr<console::CKestravaDlg> console;
};

}  // namespace kestrava::fuzz
