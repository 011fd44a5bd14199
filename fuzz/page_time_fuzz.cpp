// The page's time codes: a decoded code is a clock time inside the accepted windows and encodes
// back to the very code; the report text a code makes for the sync server parses back to the
// same code and price.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "fuzz_support.h"
#include "net/sync_client.h"
#include "perception/page_time.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava;
    FuzzedDataProvider in(data, size);
    const bool simulation = in.ConsumeBool();
    const std::int64_t code = in.ConsumeIntegral<std::int64_t>();

    if (const auto t = perception::DecodePageTime(code, simulation)) {
        FUZZ_CHECK(t->hour >= 0 && t->hour <= 23 && t->minute >= 0 && t->minute <= 59 && t->second >= 0 &&
                   t->second <= 59);
        const std::int64_t hms = t->hour * 10000LL + t->minute * 100 + t->second;
        if (t->fraction) {
            FUZZ_CHECK(*t->fraction >= 0 && *t->fraction <= 9999);
            FUZZ_CHECK(hms * 10000 + *t->fraction == code);
            FUZZ_CHECK(code >= 1100000000 && code <= 1200005959);
        } else {
            FUZZ_CHECK(hms == code);
            FUZZ_CHECK((code >= 80000 && code <= 105959) || (simulation && code >= 110000 && code <= 120000));
        }
    }

    // The page report as the console would send it, and the server's reading of it.
    const std::uint32_t pagePrice = in.ConsumeIntegral<std::uint32_t>();
    const int swbidmode = in.ConsumeIntegralInRange(0, 3);
    const int remaining = in.ConsumeIntegralInRange(-100, 100);
    const std::int32_t feedPrice = in.ConsumeIntegralInRange<std::int32_t>(0, 99999);
    std::int64_t newest = in.ConsumeIntegral<std::int64_t>();
    const std::int64_t before = newest;
    const auto text = net::PageReportText(pagePrice, code, simulation, swbidmode, remaining, feedPrice, newest);
    FUZZ_CHECK(newest == before || (newest == code && code > before));
    // Only a real moment may become the newest: a code that is no clock time would hold back
    // every true report after it.
    if (newest != before) FUZZ_CHECK(perception::DecodePageTime(code, false).has_value());
    if (text) {
        FUZZ_CHECK(remaining <= 10 && !simulation && swbidmode != 2 && pagePrice >= 301);
        const net::SyncMessage m = net::ParseSyncMessage(*text);
        FUZZ_CHECK(m.kind == net::SyncMessage::Kind::PriceReport);
        FUZZ_CHECK(m.timeCode == code && static_cast<std::int32_t>(m.price) == feedPrice);
    }
    return 0;
}
