// The page shell's learning view driven through its window under the test's X display: a page
// with two bid buttons cannot be saved as learned; a click on the right button corrects the
// finding and the files are written from it. Learning at a display scale other than 1.0 writes
// nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/profile.h"
#include "component/sorrelpane/shell_process.h"

namespace {

namespace fs = std::filesystem;
using kestrava::testing::ReadFile;
using kestrava::testing::ShellProcess;
using kestrava::testing::WaitUntil;

// A page the learning has to be helped with: everything the program needs, and two buttons that
// both read "出价" (#b1 left, #b2 right).
constexpr char kPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><style>
body { margin: 0; font: 14px "WenQuanYi Micro Hei"; background: #ffffff; }
div, span, input, button, canvas { position: absolute; }
.dialog { left: 500px; top: 400px; width: 360px; height: 200px; border: 1px solid #333; }
.v { font: bold 20px "DejaVu Sans Mono"; }
</style></head><body>
<canvas id="net" width="24" height="24" style="left:20px;top:20px"></canvas>
<div style="left:52px;top:22px">网络状态：正常</div>
<div style="left:20px;top:100px">系统目前时间：</div><span id="clock" class="v" style="left:180px;top:96px">11:20:00</span>
<div style="left:20px;top:160px">目前最低可成交价：</div><span id="low" class="v" style="left:180px;top:156px">89300</span>
<div style="left:20px;top:222px">加价幅度：</div><input id="plus" style="left:120px;top:218px;width:100px">
<button id="add" style="left:240px;top:216px;width:60px;height:30px">加价</button>
<div style="left:20px;top:262px">您的出价：</div><input id="price" style="left:120px;top:258px;width:100px">
<button id="b1" style="left:100px;top:320px;width:120px;height:40px">出价</button>
<button id="b2" style="left:300px;top:320px;width:120px;height:40px">出价</button>
<div id="cd" class="dialog" hidden><div style="left:8px;top:8px">请输入图像校验码</div>
  <input id="ci" style="left:40px;top:60px"><button id="ok" style="left:40px;top:140px;width:80px;height:30px">确定</button>
  <button id="no" style="left:200px;top:140px;width:80px;height:30px">取消</button></div>
<div id="info" class="dialog" hidden><div style="left:8px;top:8px">信息提示</div>
  <button id="ik" style="left:140px;top:140px;width:80px;height:30px">确定</button></div>
<script>const c = document.getElementById('net').getContext('2d'); c.fillStyle = '#1a8f3a'; c.fillRect(0, 0, 24, 24);
c.fillStyle = '#40b560'; c.fillRect(8, 8, 8, 8);</script>
</body></html>)";

// A scratch installation of its own (the learned files replace its geometry and pictures).
class LearningInstallation {
public:
    LearningInstallation() {
        char tmpl[] = "/tmp/sorrelpane-learning-XXXXXX";
        dir_ = mkdtemp(tmpl);
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "ScreenShot");
        fs::copy_file(fs::path(INSTALL_DIR) / "bin" / "coordinatebaseline.ini", dir_ / "bin" / "coordinatebaseline.ini");
        std::ofstream(dir_ / "page.html") << kPage;
        std::ofstream(dir_ / "bin" / "sorrelpane.ini") << "[Sorrelpane]\nrealelements=bin/realelements.ini\n";
    }
    ~LearningInstallation() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const fs::path& Dir() const { return dir_; }
    std::string Out() const { return ReadFile(dir_ / "shell.out"); }
    bool WaitOut(const std::string& needle, int timeoutMs = 60000) const {
        const bool found = WaitUntil([&] { return Out().find(needle) != std::string::npos; }, timeoutMs);
        if (!found) ADD_FAILURE() << "no \"" << needle << "\" in the learning's output:\n" << Out();
        return found;
    }
    int Geometry(const char* key) const {
        return kestrava::config::ReadProfileInt("Position", key, -1, (dir_ / "bin" / "coordinatebaseline.ini").string());
    }

private:
    fs::path dir_;
};

// Real input to the learning view, as a person gives it.
int Xdotool(const std::string& args) { return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()); }

std::string LearningWindow() {
    std::string id;
    WaitUntil([&] {
        FILE* p = popen("xdotool search --name '^Sorrelpane 页面学习$' 2>/dev/null | head -1", "r");
        if (!p) return false;
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, p)) id = buf;
        pclose(p);
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        return !id.empty();
    }, 30000);
    return id;
}

class LearningViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/xvfb-env)";
    }
};

TEST_F(LearningViewTest, AClickOnTheRightElementCorrectsAnAmbiguousFinding) {
    LearningInstallation inst;
    const std::string before = ReadFile(inst.Dir() / "bin" / "coordinatebaseline.ini");
    ShellProcess learner(inst.Dir(), {"--learn", "page.html"});
    ASSERT_TRUE(inst.WaitOut("bid button: two candidates, click the right one: #b1"));
    const std::string window = LearningWindow();
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(Xdotool("windowmove --sync " + window + " 0 0"), 0);
    ASSERT_EQ(Xdotool("windowactivate --sync " + window), 0);

    // Saving as found is refused, and nothing is written.
    Xdotool("key --window " + window + " alt+w");
    ASSERT_TRUE(inst.WaitOut("problem: bid button: two candidates"));
    EXPECT_FALSE(fs::exists(inst.Dir() / "bin" / "realelements.ini"));
    EXPECT_EQ(ReadFile(inst.Dir() / "bin" / "coordinatebaseline.ini"), before);

    // The bid button's row (the seventh), 改正, then a click on the right-hand button.
    for (int i = 0; i < 6; ++i) Xdotool("key --window " + window + " Down");
    Xdotool("key --window " + window + " alt+c");
    ASSERT_TRUE(inst.WaitOut("click the bid button on the page"));
    // The page view fills the window's left side from its top-left corner.
    Xdotool("mousemove --window " + window + " 360 340 click 1");
    ASSERT_TRUE(inst.WaitOut("bid button: corrected #b2"));

    Xdotool("key --window " + window + " alt+w");
    ASSERT_TRUE(inst.WaitOut("CHECK "));
    const std::string elements = ReadFile(inst.Dir() / "bin" / "realelements.ini");
    EXPECT_NE(elements.find("bidbutton=#b2\n"), std::string::npos) << elements;
    EXPECT_NE(elements.find("cancel=#no\n"), std::string::npos) << elements;
    // Offsets from the icon at 20,20: the right-hand button's centre is 360,340.
    EXPECT_EQ(inst.Geometry("lvwf_x"), 20);
    EXPECT_EQ(inst.Geometry("bidbutton_picPot_x"), 340);
    EXPECT_EQ(inst.Geometry("bidbutton_picPot_y"), 320);
    EXPECT_TRUE(fs::exists(inst.Dir() / "ScreenShot" / "wifi_green7.bmp"));
    EXPECT_NE(inst.Out().find("check passed: anchor found by the template search at 20,20"), std::string::npos)
        << inst.Out();
    EXPECT_NE(inst.Out().find("check passed: element bidbutton answered (1 element match)"), std::string::npos);
}

TEST_F(LearningViewTest, ADisplayScaleOtherThanOneWritesNothing) {
    LearningInstallation inst;
    const std::string before = ReadFile(inst.Dir() / "bin" / "coordinatebaseline.ini");
    ShellProcess learner(inst.Dir(), {"--learn", "page.html", "--auto"}, "1.25");
    ASSERT_TRUE(learner.WaitExit(60000));
    EXPECT_EQ(learner.ExitCode(), 1);
    EXPECT_NE(inst.Out().find("the display scale is 1.25: learn the page at display scale 1.0"), std::string::npos)
        << inst.Out();
    EXPECT_EQ(ReadFile(inst.Dir() / "bin" / "coordinatebaseline.ini"), before);
    EXPECT_FALSE(fs::exists(inst.Dir() / "bin" / "realelements.ini"));
    EXPECT_FALSE(fs::exists(inst.Dir() / "ScreenShot" / "wifi_green.bmp"));
}

}  // namespace
