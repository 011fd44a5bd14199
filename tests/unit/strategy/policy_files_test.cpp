// The policy files: what a save writes and in which order, what an import reads back and does to
// the console, the combo and the hidden buttons, the copy of delivered files, and the start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "config/settings.h"
#include "strategy_rig.h"

namespace kestrava::strategy::testing {
namespace {

namespace fs = std::filesystem;

// The keys of a saved policy file in file order, with the box each switch is read from (0 for
// numbers). ctrlXpricelimit is written twice by a save but stays one line.
struct FileKey {
    const char* name;
    int box;
};
constexpr FileKey kFileKeys[] = {
    {"bamiao_enforce1", 0}, {"bamiao_enforce2", 0}, {"bamiao_margin1", 0}, {"bamiao_margin2", 0},
    {"bamiao_plus1", 0}, {"bamiao_plus2", 0}, {"bamiao_time", 0}, {"pricelimitStartTime", 0},
    {"DelayBidTime", 0}, {"ctrlXpricelimit", 0}, {"WarningPrice", 0}, {"SecondBidTime", 0},
    {"SecondPlus", 0}, {"ThirdBidPricePlus", 0}, {"SecondDirectPrice", 0}, {"ThirdBidTime", 0},
    {"ThirdPlus", 0}, {"ThirdDirectPrice", 0}, {"LastTime", 0}, {"LastPriceGap", 0},
    {"LastPlus", 0}, {"DisconSecCode", 0}, {"DisconSecBid", 0}, {"DisconEndTime", 0},
    {"AfterSecSuccess", 0}, {"SmartBidTime1", 0}, {"SmartBidTime2", 0}, {"SmartBidTime3", 0},
    {"SmartBidTime4", 0}, {"SmartBidPlus1", 0}, {"SmartBidPlus2", 0}, {"SmartBidPlus3", 0},
    {"SmartBidPlus4", 0}, {"SmartBidTime5", 0}, {"SmartBidPlus5", 0}, {"check_qrenlarge", 1165},
    {"check_qrqr4server", 1193}, {"check_bigdata", 1196}, {"NoEnterSubmit", 1124}, {"check1", 1010},
    {"check2", 1016}, {"check3", 1021}, {"check4", 1061}, {"check5", 1065},
    {"check6", 1066}, {"check7", 1093}, {"check8", 1097}, {"check9", 1098},
    {"radio10", 1012}, {"radio1", 1094}, {"radio2", 1013}, {"radio3", 1118},
    {"radio4", 1017}, {"radio5", 1018}, {"radio6", 1073}, {"radio9", 1132},
    {"check11", 1125}, {"check12", 1142}, {"check13", 1150}, {"check14", 1203},
    {"check15", 1204}, {"check16", 1205}, {"check17", 1206}, {"mandatory_bid", 0},
};

bool NotImported(std::string_view key) {
    return key == "SmartBidTime1" || key == "SmartBidTime2" || key == "SmartBidTime3" || key == "SmartBidTime4" ||
           key == "check_qrqr4server" || key == "radio10";
}

// Boxes whose state after an import is decided by the rules rather than by their own key.
bool RuledBox(int box) { return box == 1010 || box == 1125 || box == 1066 || box == 1021 || box == 1193; }

// A distinct value for every key of every slot, so a value landing in the wrong key or file shows.
int NumberFor(int slot, int index) { return slot * 1000 + index; }
int SwitchFor(int slot, int index) { return (slot + index) % 2; }

TEST(PolicyFilesTest, PathsAndComboNames) {
    EXPECT_EQ(PolicyFilePath(1), ".//bin//policya.ini");
    EXPECT_EQ(PolicyFilePath(20), ".//bin//policyt.ini");
    EXPECT_EQ(PolicyFilePath(0), "");
    EXPECT_EQ(PolicyFilePath(21), "");
    EXPECT_EQ(DeliveredPolicyPath(12), ".//ScreenShot//del0//policyl.ini");
    EXPECT_EQ(DeliveredPolicyPath(13), "");
    EXPECT_EQ(SlotName(1), "策略01");
    EXPECT_EQ(SlotName(20), "策略20");
}

TEST(PolicyFilesTest, EverySlotSavesEveryKeyInOrderAndImportsItBack) {
    StrategyRig rig;
    for (int slot = 1; slot <= kSlots; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        rig.Select(slot - 1);
        for (int i = 0; i < static_cast<int>(std::size(kFileKeys)); ++i) {
            const FileKey& k = kFileKeys[i];
            if (k.box) {
                rig.ctl().SetCheck(k.box, SwitchFor(slot, i));
            } else {
                FieldOf(rig.v(), k.name) = NumberFor(slot, i);
            }
        }
        rig.c().OnCommand(1058);
        EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略" + std::to_string(slot) + "保存成功");
        EXPECT_EQ(config::Read(config::user::SelPolicy), slot - 1);

        const Lines lines = ReadKeyLines(PolicyFilePath(slot));
        ASSERT_EQ(lines.size(), std::size(kFileKeys));
        for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
            const FileKey& k = kFileKeys[i];
            EXPECT_EQ(lines[i].first, k.name);
            EXPECT_EQ(lines[i].second, std::to_string(k.box ? SwitchFor(slot, i) : NumberFor(slot, i))) << k.name;
        }

        // Scramble the console, then bring the slot back.
        for (const FileKey& k : kFileKeys) {
            FieldOf(rig.v(), k.name) = -1;
            if (k.box) rig.ctl().SetCheck(k.box, 0);
        }
        rig.rec().secondBidDone = 1;
        rig.rec().thirdBidDone = 1;
        rig.c().OnCommand(ctl::Combo);
        for (int i = 0; i < static_cast<int>(std::size(kFileKeys)); ++i) {
            const FileKey& k = kFileKeys[i];
            const int saved = k.box ? SwitchFor(slot, i) : NumberFor(slot, i);
            EXPECT_EQ(FieldOf(rig.v(), k.name).load(), NotImported(k.name) ? -1 : saved) << k.name;
            if (k.box && !RuledBox(k.box) && !NotImported(k.name)) {
                EXPECT_EQ(rig.ctl().Check(k.box), saved) << k.name;
            }
        }
        EXPECT_EQ(rig.rec().secondBidDone.load(), 0);
        EXPECT_EQ(rig.rec().thirdBidDone.load(), 0);
        EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略" + std::to_string(slot) + "被成功导入");
        EXPECT_TRUE(rig.Logged("鼠标点击_策略" + std::to_string(slot) + "导入"));
    }
    EXPECT_EQ(rig.LoggedCount("鼠标点击_保存配置"), kSlots);
}

TEST(PolicyFilesTest, ImportShowsTheValuesInTheEditsAndLabels) {
    StrategyRig rig;
    WritePolicy(PolicyFilePath(2), {{"SecondBidTime", "10"}, {"ThirdBidTime", "8"}, {"mandatory_bid", "1500"},
                                    {"DelayBidTime", "300"}, {"ctrlXpricelimit", "600"}, {"bamiao_time", "6"}});
    rig.Select(1);
    rig.c().OnCommand(ctl::Combo);
    EXPECT_EQ(rig.ctl().Text(1025), "10");
    EXPECT_EQ(rig.ctl().Text(1120), "8");
    EXPECT_EQ(rig.ctl().Text(1148), "600");
    EXPECT_EQ(rig.ctl().Text(1192), "6");
    EXPECT_EQ(rig.ctl().Text(1168), "1500");
    EXPECT_EQ(rig.ctl().Text(ctl::DelayEdit), "0.3");
    EXPECT_EQ(rig.ctl().Text(ctl::SecondBidClock), "11:29:50");
    EXPECT_EQ(rig.ctl().Text(ctl::ThirdBidClock), "11:29:52");
    EXPECT_EQ(rig.ctl().Text(ctl::ForcedClock), "11:29:58.5");
}

TEST(PolicyFilesTest, MissingOrUnreadableValuesImportTheirDefaults) {
    struct Case {
        const char* name;
        std::string content;  // nullopt-like: "-" for no file
        int SecondBidTime, bamiao_margin1, mandatory_bid, ctrlXpricelimit;
    };
    const Case cases[] = {
        {"no file", "-", 0, 1000, 100, 300},
        {"empty file", "", 0, 1000, 100, 300},
        {"binary junk", std::string("\x00\xff\x13[Rev\r\n=\x01\x02", 14), 0, 1000, 100, 300},
        {"other section", "[Configure]\r\nSecondBidTime=9\r\nbamiao_margin1=5\r\n", 0, 1000, 100, 300},
        {"leading digits count", "[RevEvudar]\r\nSecondBidTime=12abc\r\nbamiao_margin1=abc\r\nmandatory_bid= 700 \r\n",
         12, 0, 700, 300},
        {"empty value is missing", "[RevEvudar]\r\nSecondBidTime=\r\nctrlXpricelimit=\r\n", 0, 1000, 100, 300},
        {"keys without regard to case", "[revevudar]\r\nsecondbidtime=15\r\nCTRLXPRICELIMIT=500\r\n", 15, 1000, 100, 500},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        StrategyRig rig;
        rig.v().SecondBidTime = 77;
        rig.v().bamiao_margin1 = 77;
        rig.v().mandatory_bid = 77;
        rig.v().ctrlXpricelimit = 77;
        if (tc.content != "-") WriteFile(PolicyFilePath(5), tc.content);
        rig.Select(4);
        rig.c().OnCommand(ctl::Combo);
        EXPECT_EQ(rig.v().SecondBidTime.load(), tc.SecondBidTime);
        EXPECT_EQ(rig.v().bamiao_margin1.load(), tc.bamiao_margin1);
        EXPECT_EQ(rig.v().mandatory_bid.load(), tc.mandatory_bid);
        EXPECT_EQ(rig.v().ctrlXpricelimit.load(), tc.ctrlXpricelimit);
        EXPECT_EQ(rig.v().bamiao_enforce1.load(), 58);
        EXPECT_EQ(rig.v().bamiao_time.load(), 8);
        EXPECT_EQ(rig.v().pricelimitStartTime.load(), 15);
    }
}

TEST(PolicyFilesTest, ImportOnlyKeysAndKeysTheImportSkips) {
    StrategyRig rig;
    WritePolicy(PolicyFilePath(1), {{"check_qr4server", "1"},
                                    {"check_qrqr4server", "0"},
                                    {"ForecastBaseLine1", "91000"},
                                    {"ForecastBaseLine11", "93000"},
                                    {"ForecastBidPrice12", "94000"},
                                    {"SmartBidTime1", "100"},
                                    {"SmartBidTime4", "200"},
                                    {"radio10", "1"}});
    rig.v().SmartBidTime1 = 600;
    rig.v().SmartBidTime4 = 900;
    rig.Select(0);
    rig.c().OnCommand(ctl::Combo);
    EXPECT_TRUE(rig.ctl().IsChecked(1193));  // from check_qr4server, not from the name it is saved under
    EXPECT_FALSE(rig.ctl().IsChecked(1012));
    EXPECT_EQ(rig.v().ForecastBaseLine1.load(), 91000);
    EXPECT_EQ(rig.v().ForecastBaseLine11.load(), 93000);
    EXPECT_EQ(rig.v().ForecastBidPrice12.load(), 94000);
    EXPECT_EQ(rig.v().SmartBidTime1.load(), 600);
    EXPECT_EQ(rig.v().SmartBidTime4.load(), 900);

    // A save keeps the delivered keys it does not write itself.
    rig.c().OnCommand(1058);
    const Lines lines = ReadKeyLines(PolicyFilePath(1));
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::pair<std::string, std::string>{"ForecastBaseLine1", "91000"}),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), std::pair<std::string, std::string>{"check_qrqr4server", "1"}),
              lines.end());
}

TEST(PolicyFilesTest, VoiceBoxIsOnlyEverSwitchedOnByAnImport) {
    struct Case {
        const char* value;
        int before;
        int after;
    };
    for (const Case& tc : {Case{"0", 1, 1}, Case{"0", 0, 0}, Case{"1", 0, 1}, Case{"1", 1, 1}}) {
        SCOPED_TRACE(std::string("NoEnterSubmit=") + tc.value + " before " + std::to_string(tc.before));
        StrategyRig rig;
        WritePolicy(PolicyFilePath(1), {{"NoEnterSubmit", tc.value}});
        rig.ctl().SetCheck(1124, tc.before);
        rig.Select(0);
        rig.c().OnCommand(ctl::Combo);
        EXPECT_EQ(rig.ctl().Check(1124), tc.after);
    }
}

TEST(PolicyFilesTest, HiddenButtonsImportSlotsThreeAndFourKeepingTheRiseRows) {
    struct Case {
        int button;
        int slot;
    };
    for (const Case& tc : {Case{ctl::ImportSlot3, 3}, Case{ctl::ImportSlot4, 4}}) {
        SCOPED_TRACE(tc.button);
        StrategyRig rig;
        WritePolicy(PolicyFilePath(tc.slot), {{"SecondBidTime", std::to_string(tc.slot * 10)},
                                              {"check7", "1"},
                                              {"check14", "1"},
                                              {"check15", "0"},
                                              {"check16", "1"},
                                              {"check17", "0"}});
        rig.ctl().SetText(ctl::Status, "before");
        rig.ctl().SetCheck(1203, 0);
        rig.ctl().SetCheck(1204, 1);
        rig.v().check14 = 5;
        rig.rec().secondBidDone = 1;
        rig.c().OnCommand(tc.button);
        EXPECT_EQ(rig.v().SecondBidTime.load(), tc.slot * 10);
        EXPECT_TRUE(rig.ctl().IsChecked(1093));
        EXPECT_EQ(rig.ctl().Check(1203), 0);
        EXPECT_EQ(rig.ctl().Check(1204), 1);
        EXPECT_EQ(rig.ctl().Check(1205), 0);
        EXPECT_EQ(rig.v().check14.load(), 5);
        EXPECT_EQ(rig.ctl().Text(ctl::Status), "before");
        EXPECT_EQ(rig.rec().secondBidDone.load(), 0);
        EXPECT_TRUE(rig.Logged("鼠标点击_策略" + std::to_string(tc.slot) + "导入"));
    }
}

TEST(PolicyFilesTest, SavingWithNothingSelectedGoesToTheDefaultFile) {
    StrategyRig rig;
    rig.Select(-1);
    rig.ctl().SetText(ctl::Status, "unchanged");
    rig.v().ctrlXpricelimit = 500;
    rig.c().OnCommand(1058);
    EXPECT_EQ(config::ReadProfileString("Configure", "SelPolicy", "", 16, ".//bin//userconf.ini"), "-1");
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "ctrlXpricelimit", 0, kDefaultStrategyFile), 500);
    EXPECT_EQ(ReadKeyLines(kDefaultStrategyFile).size(), std::size(kFileKeys));
    EXPECT_EQ(rig.ctl().Text(ctl::Status), "unchanged");
    for (int slot = 1; slot <= kSlots; ++slot) EXPECT_FALSE(fs::exists(PolicyFilePath(slot)));
}

TEST(PolicyFilesTest, AFailedSaveSaysSoAndLeavesNoScratchFile) {
    StrategyRig rig;
    // A folder where the file should be: nothing can replace it.
    fs::create_directories(PolicyFilePath(2));
    rig.Select(1);
    rig.c().OnCommand(1058);
    EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略2保存失败");
    EXPECT_TRUE(rig.Logged("策略2保存失败"));
    for (const auto& entry : fs::directory_iterator("bin"))
        EXPECT_EQ(entry.path().filename().string().find(".saving"), std::string::npos) << entry.path();
    // A working save afterwards reports success again.
    rig.Select(2);
    rig.c().OnCommand(1058);
    EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略3保存成功");
}

TEST(PolicyFilesTest, AReaderNeverSeesHalfASave) {
    StrategyRig rig;
    WritePolicy(PolicyFilePath(1), {{"SecondBidTime", "5"}, {"ThirdBidTime", "3"}});
    rig.Select(0);
    rig.v().SecondBidTime = 40;
    rig.v().ThirdBidTime = 30;
    // SecondBidTime and ThirdBidTime are keys 12 and 16 of a save: a file written key by key
    // would show the new second bid beside the old third bid for a while.
    std::atomic<bool> saving{true};
    std::atomic<int> mixed{0}, reads{0};
    std::thread reader([&] {
        while (saving.load()) {
            const Lines now = ReadKeyLines(PolicyFilePath(1));  // one open: one version of the file
            const std::string second = ValueOf(now, "SecondBidTime"), third = ValueOf(now, "ThirdBidTime");
            if (!((second == "5" && third == "3") || (second == "40" && third == "30"))) ++mixed;
            ++reads;
        }
    });
    rig.c().OnCommand(1058);
    saving = false;
    reader.join();
    EXPECT_EQ(mixed.load(), 0) << "in " << reads.load() << " reads";
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "SecondBidTime", 0, PolicyFilePath(1)), 40);
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "ThirdBidTime", 0, PolicyFilePath(1)), 30);
}

TEST(PolicyFilesTest, UpdateCopiesDeliveredFilesOverTheFirstTwelveSlots) {
    StrategyRig rig;
    WritePolicy(DeliveredPolicyPath(1), {{"SecondBidTime", "21"}, {"ForecastBaseLine2", "5"}});
    WritePolicy(DeliveredPolicyPath(12), {{"SecondBidTime", "32"}});
    WritePolicy(".//ScreenShot//del0//policym.ini", {{"SecondBidTime", "43"}});
    fs::create_directories(DeliveredPolicyPath(3));  // a folder is no delivered file
    WritePolicy(PolicyFilePath(2), {{"SecondBidTime", "2"}});
    WritePolicy(PolicyFilePath(3), {{"SecondBidTime", "3"}});
    WritePolicy(PolicyFilePath(13), {{"SecondBidTime", "13"}});
    const std::string delivered = ReadFile(DeliveredPolicyPath(1));
    rig.Select(0);

    rig.c().OnCommand(ctl::Update);

    EXPECT_EQ(ReadFile(PolicyFilePath(1)), delivered);
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "SecondBidTime", 0, PolicyFilePath(12)), 32);
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "SecondBidTime", 0, PolicyFilePath(2)), 2);
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "SecondBidTime", 0, PolicyFilePath(3)), 3);
    EXPECT_EQ(config::ReadProfileInt("RevEvudar", "SecondBidTime", 0, PolicyFilePath(13)), 13);
    EXPECT_FALSE(fs::exists(PolicyFilePath(4)));
    // The selected slot is imported again from its new file.
    EXPECT_EQ(rig.v().SecondBidTime.load(), 21);
    EXPECT_EQ(rig.v().ForecastBaseLine2.load(), 5);
    EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略已更新");
    const auto log = rig.LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "鼠标点击_更新策略按钮");
    EXPECT_EQ(log.back(), "鼠标点击_策略1导入");
}

TEST(PolicyFilesTest, AFailedUpdateSaysSo) {
    StrategyRig rig;
    WritePolicy(DeliveredPolicyPath(2), {{"SecondBidTime", "21"}});
    fs::create_directories(PolicyFilePath(2));
    rig.Select(-1);
    rig.c().OnCommand(ctl::Update);
    EXPECT_EQ(rig.ctl().Text(ctl::Status), "策略更新失败");
    EXPECT_EQ(rig.v().SecondBidTime.load(), 0);  // nothing selected: nothing imported
}

// The console's own start-up with the engine and the strategy attached.
struct StartRig : console::testing::ConsoleRig {
    StartRig() {
        engine::Engine::Attach(engine, hooks);
        AttachStrategy(engine, hooks);
        AddPage();
    }
    std::shared_ptr<engine::Engine> engine = std::make_shared<engine::Engine>();
};

TEST(PolicyFilesTest, StartImportsTheSavedSelection) {
    StartRig rig;
    rig.UserConf({{"SelPolicy", "2"}});
    console::testing::WriteIni("bin/strategy.ini", "RevEvudar", {{"pricelimitStartTime", "12"}, {"ctrlXpricelimit", "500"}});
    WritePolicy(PolicyFilePath(3), {{"SecondBidTime", "33"}, {"check7", "1"}});
    auto& con = rig.Start();
    const StrategyValues& v = rig.engine->strategy;
    EXPECT_EQ(v.SecondBidTime.load(), 33);
    // The slot's file decides: its missing keys read as their defaults.
    EXPECT_EQ(v.pricelimitStartTime.load(), 15);
    EXPECT_EQ(v.ctrlXpricelimit.load(), 300);
    EXPECT_TRUE(con.controls.IsChecked(1093));
    EXPECT_EQ(con.controls.Text(ctl::Status), "策略3被成功导入");
    EXPECT_EQ(con.controls.Text(1025), "33");
    // The day's reset gave the rise limits their start values; the import left them so.
    EXPECT_EQ(v.SmartBidTime1.load(), 600);
    EXPECT_EQ(v.SmartBidTime4.load(), 900);
    EXPECT_EQ(con.controls.Text(1202), "900");
    con.OnClose();
}

TEST(PolicyFilesTest, StartWithNoValidSelectionImportsNothing) {
    for (const char* selPolicy : {"-1", "20", "junk"}) {
        SCOPED_TRACE(selPolicy);
        StartRig rig;
        rig.UserConf({{"SelPolicy", selPolicy}, {"moniornot", "1"}});
        console::testing::WriteIni("bin/strategy.ini", "RevEvudar",
                                   {{"pricelimitStartTime", "12"}, {"ctrlXpricelimit", "500"}, {"SecondBidTime", "9"}});
        WritePolicy(PolicyFilePath(1), {{"SecondBidTime", "33"}});
        auto& con = rig.Start();
        const StrategyValues& v = rig.engine->strategy;
        const bool junk = std::string(selPolicy) == "junk";  // reads as 0: slot 1
        EXPECT_EQ(v.SecondBidTime.load(), junk ? 33 : 0);
        if (!junk) {
            EXPECT_EQ(v.pricelimitStartTime.load(), 12);
            EXPECT_EQ(v.ctrlXpricelimit.load(), 500);
            EXPECT_EQ(v.mandatory_bid.load(), 0);
            EXPECT_EQ(v.bamiao_margin1.load(), 0);
            EXPECT_EQ(con.controls.Selection(ctl::Combo), -1);
            EXPECT_EQ(con.controls.Text(ctl::Status), "");
            for (const std::string& line : rig.LogMessages()) EXPECT_NE(line, "鼠标点击_策略1导入");
        }
        EXPECT_EQ(v.WarningPrice.load(), 100);  // a simulation run
        con.OnClose();
    }
}

}  // namespace
}  // namespace kestrava::strategy::testing
