// A console on the fake platform in a scratch installation folder: settings files written by
// the test, the page shell's windows on the fake desktop, hooks that record what they were asked.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "log/log_book.h"
#include "platform/fake/fake_platform.h"

namespace kestrava::console::testing {

using platform::LocalTime;
using platform::fake::MakeLocal;

// Runs the test inside a fresh folder that plays the installation folder.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/kestrava-console-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        EXPECT_NE(dir, nullptr);
        path_ = dir ? dir : "/tmp";
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directories(path_ / "bin");
        std::filesystem::current_path(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

using Settings = std::map<std::string, std::string>;

inline void WriteIni(const std::string& path, const std::string& section, const Settings& values) {
    std::ofstream out(path, std::ios::trunc);
    out << "[" << section << "]\r\n";
    for (const auto& [k, v] : values) out << k << "=" << v << "\r\n";
}

// The messages of a log book's lines not yet flushed, without their stamps.
inline std::vector<std::string> PendingLogMessages(const log::LogBook& book) {
    std::vector<std::string> out;
    const std::string text = book.Pending();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        const std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        const std::size_t body = line.find("] ");
        out.push_back(body == std::string::npos ? line : line.substr(body + 2));
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return out;
}

struct ConsoleRig {
    explicit ConsoleRig(LocalTime start = MakeLocal(2026, 12, 10, 11, 20, 0)) : fp(start), book(fp.clock, "./Log") {
        fp.programs.AddFile(shell::kShellPath);
    }

    void UserConf(const Settings& values) { WriteIni("bin/userconf.ini", "Configure", values); }
    void Conf(const Settings& values) { WriteIni("bin/conf.ini", "Configure", values); }

    void AddPage() {
        page = fp.desktop.AddWindow(shell::kPageWindowTitle, "Sorrelpane", platform::Rect{0, 0, 1200, 900});
        const auto frame = fp.desktop.AddWindow("", shell::kPageFrameClass, platform::Rect{0, 30, 1200, 900}, page);
        view = fp.desktop.AddWindow("", shell::kPageViewClass, platform::Rect{0, 30, 1200, 900}, frame);
    }
    void RemovePage() {
        fp.desktop.RemoveWindow(page);
        page = view = 0;
    }

    CKestravaDlg& Make(LoginInfo login = {"12345678", "8.2", 1, 17}) {
        console = std::make_unique<CKestravaDlg>(fp.Get(), book, std::move(login), hooks);
        return *console;
    }
    CKestravaDlg& Start(LoginInfo login = {"12345678", "8.2", 1, 17}) {
        Make(std::move(login));
        const InitResult r = console->OnInitDialog();
        EXPECT_TRUE(r.ok);
        return *console;
    }

    // The messages of the log lines not yet flushed, without their stamps.
    std::vector<std::string> LogMessages() const { return PendingLogMessages(book); }

    ScratchFolder folder;
    platform::fake::FakePlatform fp;
    log::LogBook book;
    ConsoleHooks hooks;
    platform::WindowId page = 0;
    platform::WindowId view = 0;
    std::unique_ptr<CKestravaDlg> console;
};

}  // namespace kestrava::console::testing
