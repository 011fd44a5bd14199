// Learning a page from its snapshot: the elements found on two fixed snapshots (the practice page
// and its variant b, taken by the shell's snapshot script), the faults a page can have, the
// geometry derived from the places, the figure regions' margins and the all-or-nothing writing.
#include "shell/page_learning.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kestrava::shell::learning {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

PageSnapshot Snapshot(const char* name) {
    std::string error;
    std::optional<PageSnapshot> snap = ParseSnapshot(Slurp(fs::path(LEARNING_PAGES) / name), &error);
    EXPECT_TRUE(snap) << name << ": " << error;
    return snap.value_or(PageSnapshot{});
}

PageItem* BySelector(PageSnapshot& s, const std::string& selector) {
    for (PageItem& i : s.items)
        if (i.selector == selector) return &i;
    ADD_FAILURE() << "no item " << selector;
    static PageItem none;
    return &none;
}

std::map<std::string, std::string> Keys(const std::vector<std::pair<std::string, std::string>>& kv) {
    return {kv.begin(), kv.end()};
}

// ---- finding on the fixed snapshots

struct PageCase {
    const char* file;
    std::map<Target, std::string> selectors;
};

TEST(PageLearning, FindsEveryElementOnBothPracticePages) {
    const PageCase cases[] = {
        {"practice.tsv",
         {{Target::Anchor, "#netgreen"}, {Target::Lowest, "#lowest"}, {Target::Clock, "#clock"},
          {Target::PlusBox, "#plusamount"}, {Target::AddButton, "#addbtn"}, {Target::BidPrice, "#bidprice"},
          {Target::BidButton, "#bidbtn"}, {Target::CodeBox, "#codeinput"}, {Target::Confirm, "#codeok"},
          {Target::Cancel, "#codecancel"}, {Target::InfoClose, "#infook"}}},
        // Other names, places, texts ("＋ 加价", "出 价", "确认", "返回", "关闭"), labels wrapped
        // over two lines, another icon.
        {"practice_variant_b.tsv",
         {{Target::Anchor, "#sig-ok"}, {Target::Lowest, "#floorprice"}, {Target::Clock, "#nowtime"},
          {Target::PlusBox, "#stepinput"}, {Target::AddButton, "#stepapply"}, {Target::BidPrice, "#offerinput"},
          {Target::BidButton, "#offersubmit"}, {Target::CodeBox, "#vcode"}, {Target::Confirm, "#vcodeyes"},
          {Target::Cancel, "#vcodeback"}, {Target::InfoClose, "#msgclose"}}},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.file);
        const Learning l = FindElements(Snapshot(c.file));
        EXPECT_TRUE(l.Complete());
        for (const std::string& p : l.Problems()) ADD_FAILURE() << p;
        for (const auto& [target, selector] : c.selectors) {
            ASSERT_TRUE(l[target].Usable()) << l[target].Message();
            EXPECT_EQ(l[target].item->selector, selector) << Info(target).name;
        }
    }
}

// What the page lacks or holds twice, and whether files may then be written.
struct FaultCase {
    const char* what;
    void (*change)(PageSnapshot&);
    bool complete;
    std::string expected;  // in the problems, or (when complete) in the summary
};

TEST(PageLearning, NamesTheElementAndTheReasonOfEveryFault) {
    const FaultCase cases[] = {
        {"no cancel button",
         [](PageSnapshot& s) { std::erase_if(s.items, [](const PageItem& i) { return i.selector == "#codecancel"; }); },
         true, "cancel button: not found on the page (no cancel button: the clearing before a bid is skipped)"},
        {"no bid button",
         [](PageSnapshot& s) { std::erase_if(s.items, [](const PageItem& i) { return i.selector == "#bidbtn"; }); },
         false, "bid button: not found on the page: the program needs it"},
        {"two bid buttons",
         [](PageSnapshot& s) {
             PageItem copy = *BySelector(s, "#bidbtn");
             copy.selector = "#bidbtn2";
             copy.box.y += 60;
             s.items.push_back(copy);
         },
         false, "bid button: two candidates, click the right one: #bidbtn \"出价\" at 601,401 120x40; #bidbtn2"},
        {"confirm button inside a frame", [](PageSnapshot& s) { BySelector(s, "#codeok")->inFrame = true; }, false,
         "confirm button: inside a frame (#codeok), where the shell cannot act on it"},
        {"no price figure", [](PageSnapshot& s) { BySelector(s, "#lowest")->text = "-----"; }, false,
         "lowest-price figure: not found on the page: the program needs it"},
        {"still loading", [](PageSnapshot& s) { s.state = "loading"; }, false, "the page is still loading"},
        {"login form", [](PageSnapshot& s) { s.state = "login"; }, false, "the page shows a login form: log in first"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        PageSnapshot snap = Snapshot("practice.tsv");
        c.change(snap);
        const Learning l = FindElements(snap);
        EXPECT_EQ(l.Complete(), c.complete);
        std::string all;
        for (const std::string& line : c.complete ? l.Summary() : l.Problems()) all += line + "\n";
        EXPECT_NE(all.find(c.expected), std::string::npos) << all;
    }
}

TEST(PageLearning, CorrectionsAndSkipsFollowWhatTheProgramCanDoWithout) {
    PageSnapshot snap = Snapshot("practice.tsv");
    PageItem copy = *BySelector(snap, "#bidbtn");
    copy.selector = "#bidbtn2";
    copy.box.y += 60;
    snap.items.push_back(copy);
    Learning l = FindElements(snap);
    ASSERT_EQ(l[Target::BidButton].status, Status::Ambiguous);

    // A click on the second button's middle names it (the smallest item under the point).
    const std::optional<PageItem> clicked = ItemAt(l.items, copy.box.CentreX(), copy.box.CentreY());
    ASSERT_TRUE(clicked);
    EXPECT_EQ(Correct(l, Target::BidButton, *clicked), std::nullopt);
    EXPECT_EQ(l[Target::BidButton].status, Status::Corrected);
    EXPECT_EQ(l[Target::BidButton].item->selector, "#bidbtn2");
    EXPECT_TRUE(l.Complete());

    PageItem framed = copy;
    framed.inFrame = true;
    EXPECT_NE(Correct(l, Target::BidButton, framed), std::nullopt);
    EXPECT_EQ(l[Target::BidButton].item->selector, "#bidbtn2");

    EXPECT_NE(Skip(l, Target::Confirm), std::nullopt);  // the program needs it
    EXPECT_TRUE(l[Target::Confirm].Usable());
    EXPECT_EQ(Skip(l, Target::Cancel), std::nullopt);
    EXPECT_EQ(l[Target::Cancel].status, Status::Skipped);
    EXPECT_TRUE(l.Complete());
    EXPECT_EQ(ElementsFileText(l, {}).find("cancel="), std::string::npos);
}

TEST(PageLearning, RefusesMalformedSnapshots) {
    const char* cases[] = {
        "",
        "state\tbusy\n",
        "item\t#a\ttext\t1\t2\t3\t4\ts\tleft\t\tx\n",
        "state\tready\nitem\t#a\ttext\t1\t2\t3\n",
        "state\tready\nitem\t#a\twidget\t1\t2\t3\t4\ts\tleft\t\tx\n",
        "state\tready\nitem\t#a\ttext\t1\tnan\t3\t4\ts\tleft\t\tx\n",
        "state\tready\nitem\t#a\ttext\t1\t2x\t3\t4\ts\tleft\t\tx\n",
        "state\tready\nitem\t\ttext\t1\t2\t3\t4\ts\tleft\t\tx\n",
    };
    for (const char* text : cases) {
        std::string error;
        EXPECT_FALSE(ParseSnapshot(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

// ---- geometry

TEST(PageLearning, GeometryIsMeasuredFromTheAnchorAtScaleOne) {
    GeometryBoxes b;
    b.anchor = {100, 50, 24, 24};
    b.bidButton = {300, 250, 120, 40};
    b.plusBox = {300.4, 150.6, 120, 28};
    b.confirm = {500, 400, 100, 36};
    b.cancel = {640, 400, 100, 36};
    b.codeDialog = {480, 300, 400, 200};
    b.infoDialog = {500, 320, 300, 150};
    b.lowest = {80, 200, 90, 32};
    const auto k = Keys(GeometryKeyValues(b));
    EXPECT_EQ(k.at("lvwf_x"), "100");
    EXPECT_EQ(k.at("lvwf_y"), "50");
    EXPECT_EQ(k.at("bidbutton_picPot_x"), "260");  // 300 - 100 + 120 / 2
    EXPECT_EQ(k.at("bidbutton_picPot_y"), "220");  // 250 - 50 + 40 / 2
    EXPECT_EQ(k.at("plusinput_picPot_x"), "260");  // 300.4 rounds to 300
    EXPECT_EQ(k.at("plusinput_picPot_y"), "115");  // 150.6 rounds to 151
    EXPECT_EQ(k.at("C_P2_LEFTPRICE_X"), "-20");    // left of the anchor
    EXPECT_EQ(k.at("C_P2_LEFTPRICE_W"), "90");
    // The first confirm point is on the middle row, a tenth into the button.
    EXPECT_EQ(k.at("vk_ret_code_enterx_1"), "410");
    EXPECT_EQ(k.at("vk_ret_code_entery_1"), "368");
    EXPECT_EQ(k.at("vk_esc_x"), "590");
    // Both dialogs with eight pixels around them.
    EXPECT_EQ(k.at("youdoufugan_left"), "372");
    EXPECT_EQ(k.at("youdoufugan_width"), "416");
    EXPECT_EQ(k.at("youdoufugan_height"), "216");
    // Tooltips are page-view positions, not offsets.
    EXPECT_EQ(k.at("tooltip2_x"), "444");
}

// The click points learned from the practice page are the ones the shipped file was measured
// with (the regions differ: learning gives them margins).
TEST(PageLearning, LearnedPointsOfThePracticePageMatchTheShippedGeometry) {
    const Learning l = FindElements(Snapshot("practice.tsv"));
    ASSERT_TRUE(l.Complete());
    std::map<std::string, int> shipped;
    std::istringstream lines(Slurp(SHIPPED_GEOMETRY));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && line[0] != ';') shipped[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    const auto learned = Keys(GeometryKeyValues(BoxesFromLearning(l, shipped)));
    int compared = 0;
    for (const auto& [key, value] : learned) {
        if (key.starts_with("C_P2_LEFTPRICE") || key.starts_with("zise") || key.starts_with("ocr_systime") ||
            key.starts_with("tooltip1") || key == "cr_que" || key == "cr_chu" || key == "version")
            continue;
        EXPECT_EQ(value, std::to_string(shipped.at(key))) << key;
        ++compared;
    }
    EXPECT_GT(compared, 90);
}

// On the variant the bid controls stand left of the price: a balloon right of the bid button (as
// on the practice page) would cover the price figure the console reads, so it goes elsewhere.
TEST(PageLearning, HintBalloonsKeepClearOfTheFiguresReadFromTheScreen) {
    const Learning l = FindElements(Snapshot("practice_variant_b.tsv"));
    ASSERT_TRUE(l.Complete());
    const GeometryBoxes b = BoxesFromLearning(l, {});
    const auto k = Keys(GeometryKeyValues(b));
    for (const char* n : {"1", "2", "4"}) {
        SCOPED_TRACE(std::string("tooltip") + n);
        const int x = std::stoi(k.at(std::string("tooltip") + n + "_x"));
        const int y = std::stoi(k.at(std::string("tooltip") + n + "_y"));
        const Box balloon{x - 18.0, double(y), kBalloonWidth, kBalloonHeight};
        for (const Box& figure : {b.lowest, b.clock}) {
            const bool apart = balloon.Right() <= figure.x || figure.Right() <= balloon.x ||
                               balloon.Bottom() <= figure.y || figure.Bottom() <= balloon.y;
            EXPECT_TRUE(apart) << "balloon at " << x << "," << y << " covers the figure at " << figure.x << "," << figure.y;
        }
    }
    // Below the bid button (137,409 160x44), not right of it.
    EXPECT_EQ(k.at("tooltip2_x"), "137");
    EXPECT_EQ(k.at("tooltip2_y"), "461");
}

struct RegionCase {
    const char* what;
    Box figure;
    int digits;
    const char* align;
    std::vector<Box> neighbours;
    Box expected;
};

TEST(PageLearning, FigureRegionsKeepWholeDigitsInsideAndNeighboursOut) {
    const RegionCase cases[] = {
        // margin max(3, 15 % of 24) = 4; a sixth digit of 12 px fits on the right.
        {"left-aligned, alone", {100, 100, 60, 24}, 5, "left", {}, {96, 96, 80, 32}},
        {"right-aligned grows left", {100, 100, 60, 24}, 5, "right", {}, {84, 96, 80, 32}},
        {"small text keeps 3 px", {100, 100, 40, 10}, 4, "left", {}, {97, 97, 56, 16}},
        // A label ending 2 px left of the figure and a word starting 6 px after it.
        {"between neighbours", {100, 100, 60, 24}, 5, "left", {{40, 100, 58, 24}, {166, 100, 30, 24}}, {99, 96, 66, 32}},
        {"label just above", {100, 100, 60, 24}, 5, "left", {{90, 80, 100, 18}}, {96, 99, 80, 29}},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<PageItem> others;
        for (const Box& n : c.neighbours) others.push_back(PageItem{"#n", ItemKind::Text, "x", "", n});
        others.push_back(PageItem{"#figure", ItemKind::Text, "89000", "", c.figure});
        const Box r = FigureRegion(c.figure, c.digits, c.align, others);
        EXPECT_EQ(r.x, c.expected.x);
        EXPECT_EQ(r.y, c.expected.y);
        EXPECT_EQ(r.w, c.expected.w);
        EXPECT_EQ(r.h, c.expected.h);
        // Whatever the neighbours, the figure lies inside with a pixel to spare.
        EXPECT_LT(r.x, c.figure.x);
        EXPECT_LT(r.y, c.figure.y);
        EXPECT_GT(r.Right(), c.figure.Right());
        EXPECT_GT(r.Bottom(), c.figure.Bottom());
    }
}

// ---- writing

class ReplaceFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/learning-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(ReplaceFilesTest, ReplacesAllAndKeepsDatedBackups) {
    std::ofstream(dir_ / "a.ini") << "old a";
    ASSERT_EQ(ReplaceFiles({{(dir_ / "a.ini").string(), "new a"}, {(dir_ / "sub" / "b.bmp").string(), "new b"}},
                           "20260101-120000"),
              std::nullopt);
    EXPECT_EQ(Slurp(dir_ / "a.ini"), "new a");
    EXPECT_EQ(Slurp(dir_ / "a.ini.20260101-120000.bak"), "old a");
    EXPECT_EQ(Slurp(dir_ / "sub" / "b.bmp"), "new b");
    EXPECT_FALSE(fs::exists(dir_ / "sub" / "b.bmp.20260101-120000.bak"));
}

// Learning again within the second keeps the backup of the files just replaced, over the
// backup the first run made (the C++ library's copy_file refuses that on Windows).
TEST_F(ReplaceFilesTest, LearningTwiceUnderOneStampBacksUpTheLatestFiles) {
    std::ofstream(dir_ / "a.ini") << "old a";
    ASSERT_EQ(ReplaceFiles({{(dir_ / "a.ini").string(), "new a"}}, "s"), std::nullopt);
    const std::optional<std::string> error = ReplaceFiles({{(dir_ / "a.ini").string(), "newer a"}}, "s");
    EXPECT_EQ(error, std::nullopt) << *error;
    EXPECT_EQ(Slurp(dir_ / "a.ini"), "newer a");
    EXPECT_EQ(Slurp(dir_ / "a.ini.s.bak"), "new a");
}

TEST_F(ReplaceFilesTest, AFileThatCannotBeWrittenLeavesEveryTargetAsItWas) {
    std::ofstream(dir_ / "a.ini") << "old a";
    fs::create_directories(dir_ / "b.ini.learning");  // the second file's place is taken
    const std::optional<std::string> error =
        ReplaceFiles({{(dir_ / "a.ini").string(), "new a"}, {(dir_ / "b.ini").string(), "new b"}}, "s");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("b.ini"), std::string::npos) << *error;
    EXPECT_EQ(Slurp(dir_ / "a.ini"), "old a");
    EXPECT_FALSE(fs::exists(dir_ / "a.ini.learning"));
    EXPECT_FALSE(fs::exists(dir_ / "a.ini.s.bak"));
    EXPECT_FALSE(fs::exists(dir_ / "b.ini"));
}

TEST_F(ReplaceFilesTest, AFolderInAFilesPlaceLeavesEveryTargetAsItWas) {
    std::ofstream(dir_ / "a.ini") << "old a";
    fs::create_directories(dir_ / "b.ini" / "occupied");  // neither kept as a backup nor replaced
    const std::optional<std::string> error =
        ReplaceFiles({{(dir_ / "a.ini").string(), "new a"}, {(dir_ / "b.ini").string(), "new b"},
                      {(dir_ / "c.ini").string(), "new c"}},
                     "s");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("b.ini"), std::string::npos) << *error;
    EXPECT_EQ(Slurp(dir_ / "a.ini"), "old a");
    EXPECT_FALSE(fs::exists(dir_ / "c.ini"));
    EXPECT_FALSE(fs::exists(dir_ / "a.ini.learning"));
    EXPECT_FALSE(fs::exists(dir_ / "c.ini.learning"));
}

TEST_F(ReplaceFilesTest, ARenameThatFailsAfterOthersPutsTheReplacedFilesBack) {
    std::ofstream(dir_ / "a.ini") << "old a";
    // The third entry names the first file again: its new text has been renamed into place
    // already, so the third rename finds nothing to move, after a.ini and the new b.bmp were
    // replaced and made.
    const std::optional<std::string> error =
        ReplaceFiles({{(dir_ / "a.ini").string(), "new a"}, {(dir_ / "b.bmp").string(), "new b"},
                      {(dir_ / "a.ini").string(), "newer a"}},
                     "s");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("cannot replace"), std::string::npos) << *error;
    EXPECT_EQ(Slurp(dir_ / "a.ini"), "old a");   // restored from its backup
    EXPECT_FALSE(fs::exists(dir_ / "b.bmp"));    // had none: removed
    EXPECT_FALSE(fs::exists(dir_ / "a.ini.learning"));
    EXPECT_FALSE(fs::exists(dir_ / "b.bmp.learning"));
}

TEST(PageLearning, ReferencePicturesScaleByNearestPixel) {
    // Two columns, two rows: each source pixel becomes a block.
    const std::vector<std::uint32_t> px{1, 2, 3, 4};
    EXPECT_EQ(ScaleNearest(px, 2, 2, 4, 4), (std::vector<std::uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    EXPECT_EQ(ScaleNearest(px, 2, 2, 3, 3).size(), 9u);
    const std::string bmp = Bmp24({0x00112233}, 1, 1);
    ASSERT_EQ(bmp.size(), 58u);  // 54 + one row of 3 bytes padded to 4
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bmp[54]), 0x33);  // blue first
    EXPECT_EQ(static_cast<unsigned char>(bmp[56]), 0x11);
}

}  // namespace
}  // namespace kestrava::shell::learning
