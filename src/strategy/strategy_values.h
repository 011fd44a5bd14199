// The active strategy: one field per key of section "RevEvudar" of the policy files, named after
// the key, with the value a missing key reads as. The timer threads of the bidding engine read
// these while the interface thread changes them (spins, imports, the engine's own remedies), so
// every field is an atomic.
//
// Switches (check1, radio1, …) are mirrors of console check boxes: the engine reads the box
// itself at the moment it decides, and the mirror is only refreshed by saving and importing.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrava::strategy {

inline constexpr char kStrategySection[] = "RevEvudar";

struct StrategyValues {
    // ---- Late-gap remedy ("倒数")
    std::atomic<int> bamiao_enforce1{58};   // mandatory_bid put in place by the remedy's first case
    std::atomic<int> bamiao_enforce2{55};   // … and by its second case
    std::atomic<int> bamiao_margin1{1000};  // gap at or above which the first case re-bids
    std::atomic<int> bamiao_margin2{800};   // gap at or below which the second case re-bids
    std::atomic<int> bamiao_plus1{400};     // amount of the first case's new application
    std::atomic<int> bamiao_plus2{600};     // amount of the second case's
    std::atomic<int> bamiao_time{8};        // seconds before the end at which the remedy looks

    // ---- Smart submission
    std::atomic<int> pricelimitStartTime{15};  // seconds before the end from which the gap rule is armed
    std::atomic<int> DelayBidTime{0};          // ms between reaching the gap and confirming
    std::atomic<int> ctrlXpricelimit{300};     // gap at or below which the submission is confirmed
    std::atomic<int> WarningPrice{0};

    // ---- Second and third bids
    std::atomic<int> SecondBidTime{0};      // seconds before the end of the second application
    std::atomic<int> SecondPlus{0};         // added to the lowest price for the second bid
    std::atomic<int> ThirdBidPricePlus{0};  // added to the lowest price for the third bid
    std::atomic<int> SecondDirectPrice{0};
    std::atomic<int> ThirdBidTime{0};       // seconds before the end of the third application
    std::atomic<int> ThirdPlus{0};
    std::atomic<int> ThirdDirectPrice{0};
    std::atomic<int> LastTime{0};
    std::atomic<int> LastPriceGap{0};
    std::atomic<int> LastPlus{0};
    std::atomic<int> DisconSecCode{0};
    std::atomic<int> DisconSecBid{0};  // gap at or below which box 1098 forces the submission
    std::atomic<int> DisconEndTime{0};
    std::atomic<int> AfterSecSuccess{0};

    // ---- Rise rules of page seconds 55 … 58 (gap limits of rise rule 2)
    std::atomic<int> SmartBidTime1{600};
    std::atomic<int> SmartBidTime2{600};
    std::atomic<int> SmartBidTime3{600};
    std::atomic<int> SmartBidTime4{900};
    std::atomic<int> SmartBidPlus1{0};
    std::atomic<int> SmartBidPlus2{0};
    std::atomic<int> SmartBidPlus3{0};
    std::atomic<int> SmartBidPlus4{0};
    std::atomic<int> SmartBidTime5{0};
    std::atomic<int> SmartBidPlus5{0};

    // ---- Switches (mirrors of the boxes named in kStrategyKeys)
    std::atomic<int> check_qrenlarge{0};
    std::atomic<int> check_qrqr4server{0};
    std::atomic<int> check_qr4server{0};
    std::atomic<int> check_bigdata{0};
    std::atomic<int> NoEnterSubmit{0};
    std::atomic<int> check1{0};
    std::atomic<int> check2{0};
    std::atomic<int> check3{0};
    std::atomic<int> check4{0};
    std::atomic<int> check5{0};
    std::atomic<int> check6{0};
    std::atomic<int> check7{0};
    std::atomic<int> check8{0};
    std::atomic<int> check9{0};
    std::atomic<int> radio10{0};
    std::atomic<int> radio1{0};
    std::atomic<int> radio2{0};
    std::atomic<int> radio3{0};
    std::atomic<int> radio4{0};
    std::atomic<int> radio5{0};
    std::atomic<int> radio6{0};
    std::atomic<int> radio9{0};
    std::atomic<int> check11{0};
    std::atomic<int> check12{0};
    std::atomic<int> check13{0};
    std::atomic<int> check14{0};
    std::atomic<int> check15{0};
    std::atomic<int> check16{0};
    std::atomic<int> check17{0};

    // ---- Time-based forced submission
    std::atomic<int> mandatory_bid{100};  // ms before the end

    // ---- Kept from delivered policy files; nothing decides by them
    std::atomic<int> ForecastBaseLine1{0}, ForecastBaseLine2{0}, ForecastBaseLine3{0}, ForecastBaseLine4{0},
        ForecastBaseLine5{0}, ForecastBaseLine6{0}, ForecastBaseLine7{0}, ForecastBaseLine8{0}, ForecastBaseLine9{0},
        ForecastBaseLine10{0}, ForecastBaseLine11{0};
    std::atomic<int> ForecastBidPrice1{0}, ForecastBidPrice2{0}, ForecastBidPrice3{0}, ForecastBidPrice4{0},
        ForecastBidPrice5{0}, ForecastBidPrice6{0}, ForecastBidPrice7{0}, ForecastBidPrice8{0}, ForecastBidPrice9{0},
        ForecastBidPrice10{0}, ForecastBidPrice11{0}, ForecastBidPrice12{0};

    // The delay as edit 1171 shows it.
    float DelayBidSeconds() const { return static_cast<float>(DelayBidTime.load()) / 1000.0f; }
};

// How a key travels between the strategy and its files.
enum class KeyUse {
    SavedAndImported,
    SavedOnly,     // written by a save, skipped by an import
    ImportedOnly,  // read by an import (delivered files may carry it), never written
    ImportSetsOn,  // both; an import only ever ticks its box, never clears it
};

struct StrategyKey {
    std::string_view name;
    std::atomic<int> StrategyValues::*field;
    int defaultValue;
    int box;  // the check box or radio button the switch mirrors; 0 for numbers
    KeyUse use = KeyUse::SavedAndImported;
};

// Every key in the order a save writes them (a new file has this order), then the keys only an
// import reads. ctrlXpricelimit is written twice, as the files have always had it.
inline constexpr StrategyKey kStrategyKeys[] = {
    {"bamiao_enforce1", &StrategyValues::bamiao_enforce1, 58, 0},
    {"bamiao_enforce2", &StrategyValues::bamiao_enforce2, 55, 0},
    {"bamiao_margin1", &StrategyValues::bamiao_margin1, 1000, 0},
    {"bamiao_margin2", &StrategyValues::bamiao_margin2, 800, 0},
    {"bamiao_plus1", &StrategyValues::bamiao_plus1, 400, 0},
    {"bamiao_plus2", &StrategyValues::bamiao_plus2, 600, 0},
    {"bamiao_time", &StrategyValues::bamiao_time, 8, 0},
    {"pricelimitStartTime", &StrategyValues::pricelimitStartTime, 15, 0},
    {"DelayBidTime", &StrategyValues::DelayBidTime, 0, 0},
    {"ctrlXpricelimit", &StrategyValues::ctrlXpricelimit, 300, 0},
    {"WarningPrice", &StrategyValues::WarningPrice, 0, 0},
    {"SecondBidTime", &StrategyValues::SecondBidTime, 0, 0},
    {"SecondPlus", &StrategyValues::SecondPlus, 0, 0},
    {"ThirdBidPricePlus", &StrategyValues::ThirdBidPricePlus, 0, 0},
    {"SecondDirectPrice", &StrategyValues::SecondDirectPrice, 0, 0},
    {"ThirdBidTime", &StrategyValues::ThirdBidTime, 0, 0},
    {"ThirdPlus", &StrategyValues::ThirdPlus, 0, 0},
    {"ThirdDirectPrice", &StrategyValues::ThirdDirectPrice, 0, 0},
    {"LastTime", &StrategyValues::LastTime, 0, 0},
    {"LastPriceGap", &StrategyValues::LastPriceGap, 0, 0},
    {"LastPlus", &StrategyValues::LastPlus, 0, 0},
    {"DisconSecCode", &StrategyValues::DisconSecCode, 0, 0},
    {"DisconSecBid", &StrategyValues::DisconSecBid, 0, 0},
    {"DisconEndTime", &StrategyValues::DisconEndTime, 0, 0},
    {"AfterSecSuccess", &StrategyValues::AfterSecSuccess, 0, 0},
    // The auction-day reset, not the import, sets the four rise-rule limits.
    {"SmartBidTime1", &StrategyValues::SmartBidTime1, 600, 0, KeyUse::SavedOnly},
    {"SmartBidTime2", &StrategyValues::SmartBidTime2, 600, 0, KeyUse::SavedOnly},
    {"SmartBidTime3", &StrategyValues::SmartBidTime3, 600, 0, KeyUse::SavedOnly},
    {"SmartBidTime4", &StrategyValues::SmartBidTime4, 900, 0, KeyUse::SavedOnly},
    {"SmartBidPlus1", &StrategyValues::SmartBidPlus1, 0, 0},
    {"SmartBidPlus2", &StrategyValues::SmartBidPlus2, 0, 0},
    {"SmartBidPlus3", &StrategyValues::SmartBidPlus3, 0, 0},
    {"SmartBidPlus4", &StrategyValues::SmartBidPlus4, 0, 0},
    {"SmartBidTime5", &StrategyValues::SmartBidTime5, 0, 0},
    {"SmartBidPlus5", &StrategyValues::SmartBidPlus5, 0, 0},
    {"check_qrenlarge", &StrategyValues::check_qrenlarge, 0, 1165},
    // Box 1193 is saved under this name but imported from check_qr4server (below).
    {"check_qrqr4server", &StrategyValues::check_qrqr4server, 0, 1193, KeyUse::SavedOnly},
    {"check_bigdata", &StrategyValues::check_bigdata, 0, 1196},
    {"NoEnterSubmit", &StrategyValues::NoEnterSubmit, 0, 1124, KeyUse::ImportSetsOn},
    {"check1", &StrategyValues::check1, 0, 1010},
    {"check2", &StrategyValues::check2, 0, 1016},
    {"check3", &StrategyValues::check3, 0, 1021},
    {"check4", &StrategyValues::check4, 0, 1061},
    {"check5", &StrategyValues::check5, 0, 1065},
    {"check6", &StrategyValues::check6, 0, 1066},
    {"check7", &StrategyValues::check7, 0, 1093},
    {"check8", &StrategyValues::check8, 0, 1097},
    {"check9", &StrategyValues::check9, 0, 1098},
    {"radio10", &StrategyValues::radio10, 0, 1012, KeyUse::SavedOnly},
    {"radio1", &StrategyValues::radio1, 0, 1094},
    {"radio2", &StrategyValues::radio2, 0, 1013},
    {"radio3", &StrategyValues::radio3, 0, 1118},
    {"radio4", &StrategyValues::radio4, 0, 1017},
    {"radio5", &StrategyValues::radio5, 0, 1018},
    {"radio6", &StrategyValues::radio6, 0, 1073},
    {"radio9", &StrategyValues::radio9, 0, 1132},
    {"check11", &StrategyValues::check11, 0, 1125},
    {"check12", &StrategyValues::check12, 0, 1142},
    {"check13", &StrategyValues::check13, 0, 1150},
    {"check14", &StrategyValues::check14, 0, 1203},
    {"check15", &StrategyValues::check15, 0, 1204},
    {"check16", &StrategyValues::check16, 0, 1205},
    {"check17", &StrategyValues::check17, 0, 1206},
    {"ctrlXpricelimit", &StrategyValues::ctrlXpricelimit, 300, 0, KeyUse::SavedOnly},
    {"mandatory_bid", &StrategyValues::mandatory_bid, 100, 0},

    {"check_qr4server", &StrategyValues::check_qr4server, 0, 1193, KeyUse::ImportedOnly},
    {"ForecastBaseLine1", &StrategyValues::ForecastBaseLine1, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine2", &StrategyValues::ForecastBaseLine2, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine3", &StrategyValues::ForecastBaseLine3, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine4", &StrategyValues::ForecastBaseLine4, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine5", &StrategyValues::ForecastBaseLine5, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine6", &StrategyValues::ForecastBaseLine6, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine7", &StrategyValues::ForecastBaseLine7, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine8", &StrategyValues::ForecastBaseLine8, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine9", &StrategyValues::ForecastBaseLine9, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine10", &StrategyValues::ForecastBaseLine10, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBaseLine11", &StrategyValues::ForecastBaseLine11, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice1", &StrategyValues::ForecastBidPrice1, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice2", &StrategyValues::ForecastBidPrice2, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice3", &StrategyValues::ForecastBidPrice3, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice4", &StrategyValues::ForecastBidPrice4, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice5", &StrategyValues::ForecastBidPrice5, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice6", &StrategyValues::ForecastBidPrice6, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice7", &StrategyValues::ForecastBidPrice7, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice8", &StrategyValues::ForecastBidPrice8, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice9", &StrategyValues::ForecastBidPrice9, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice10", &StrategyValues::ForecastBidPrice10, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice11", &StrategyValues::ForecastBidPrice11, 0, 0, KeyUse::ImportedOnly},
    {"ForecastBidPrice12", &StrategyValues::ForecastBidPrice12, 0, 0, KeyUse::ImportedOnly},
};

// The strategy's moments are shown as clock times of a standard auction ending at 11:30:00.
inline constexpr int kReferenceEndHour = 11;
inline constexpr int kReferenceEndMinute = 30;

// 11:30:00 minus `seconds`, as "%d:%d:%02d" (labels 1161 and 1072): 10 → "11:29:50".
inline std::string ReferenceClockLabel(int seconds) {
    int t = kReferenceEndHour * 3600 + kReferenceEndMinute * 60 - seconds;
    t = ((t % 86400) + 86400) % 86400;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%d:%02d", t / 3600, t / 60 % 60, t % 60);
    return text;
}

// The forced-submission moment, mandatory_bid ms before 11:30:00, as label 1169 shows it: the
// whole seconds rounded up, then a tenths digit counted back from the next second
// (100 → "11:29:59.9", 1000 → "11:29:59.0", 1500 → "11:29:58.5").
inline std::string MandatoryBidLabel(int mandatoryBidMs) {
    const int wholeSeconds = mandatoryBidMs / 1000 + (mandatoryBidMs % 1000 > 0 ? 1 : 0);
    const int tenths = mandatoryBidMs % 1000 == 0 ? 0 : 10 - (mandatoryBidMs % 1000) / 100;
    return ReferenceClockLabel(wholeSeconds) + "." + std::to_string(tenths);
}

}  // namespace kestrava::strategy
