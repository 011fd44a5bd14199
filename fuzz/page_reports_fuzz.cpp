// The page reports (0x46e from the page shell, 0x46f relayed by the sync server) in any order and
// with any values: the fed lowest price only rises and stays an auction price, the newest time
// code only rises and is always a real moment, the page clock's fraction stays four digits.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>

#include "console_fuzz_rig.h"
#include "perception/page_time.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava;
    static fuzz::ConsoleFuzzRig rig;
    FuzzedDataProvider in(data, size);
    auto& c = rig.c();
    auto& e = rig.e();
    e.ClearRunRecords(c);
    e.records.feedLowestPrice = 0;
    e.records.lastFeedCode = 0;
    c.state.moniornot = in.ConsumeBool() ? 1 : 0;
    c.state.swbidmode = in.ConsumeIntegralInRange(0, 2);
    c.state.remainingSeconds = in.ConsumeIntegralInRange(-5, 60);

    int lowest = e.records.feedLowestPrice.load();
    std::int64_t newest = e.records.lastFeedCode.load();
    for (int i = 0; i < 64 && in.remaining_bytes() > 0; ++i) {
        const bool server = in.ConsumeBool();
        // Codes near the real ones most of the time, anything now and then.
        std::int32_t code;
        switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: code = in.ConsumeIntegralInRange<std::int32_t>(1100000000, 1200005959); break;
            case 1: code = in.ConsumeIntegralInRange<std::int32_t>(80000, 120000); break;
            default: code = in.ConsumeIntegral<std::int32_t>(); break;
        }
        const std::uint32_t price = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(60000, 120000)
                                                     : in.ConsumeIntegral<std::uint32_t>();
        if (server) {
            e.OnServerPriceReport(c, price, code);
        } else {
            e.OnPageReport(c, price, code);
        }
        const int nowLowest = e.records.feedLowestPrice.load();
        FUZZ_CHECK(nowLowest >= lowest);
        FUZZ_CHECK(nowLowest == 0 || (nowLowest >= 70001 && nowLowest <= 109999));
        lowest = nowLowest;
        const std::int64_t nowNewest = e.records.lastFeedCode.load();
        FUZZ_CHECK(nowNewest >= newest);
        if (nowNewest != newest) FUZZ_CHECK(perception::DecodePageTime(nowNewest, false).has_value());
        newest = nowNewest;
        const int fraction = e.records.pageClockFraction.load();
        FUZZ_CHECK(fraction >= 0 && fraction <= 9999);
    }
    rig.book.FlushLog("fuzz");
    std::error_code ec;
    std::filesystem::remove_all("Log", ec);
    return 0;
}
