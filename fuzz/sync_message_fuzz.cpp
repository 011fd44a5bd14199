// The sync server's texts: every text gets exactly one meaning, a report's fields are the digits
// the text carries at their fixed places, and nothing outside the 32-bit range gets through.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "net/sync_client.h"

namespace {

// The leading decimal digits of a field, as text.
std::string_view Digits(std::string_view field) {
    std::size_t n = 0;
    while (n < field.size() && field[n] >= '0' && field[n] <= '9') ++n;
    return field.substr(0, n);
}

// The value of a digit string without leading zeros, compared as text so that no arithmetic of
// the reference can overflow.
std::string Canonical(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    return std::string(digits);
}

bool FitsInt32(std::string_view digits) {
    const std::string c = Canonical(digits);
    return c.size() < 10 || (c.size() == 10 && c <= "2147483647");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrava::net::SyncMessage;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SyncMessage m = kestrava::net::ParseSyncMessage(text);
    const bool price = text.substr(0, 2) == "1_";
    const bool jam = text.substr(0, 2) == "6_";

    if (text == "hbeat") {
        FUZZ_CHECK(m.kind == SyncMessage::Kind::Heartbeat);
        return 0;
    }
    if (!price && !jam) {
        FUZZ_CHECK(m.kind == SyncMessage::Kind::Ignored);
        return 0;
    }
    FUZZ_CHECK(m.kind == (price ? SyncMessage::Kind::PriceReport : SyncMessage::Kind::JamSignal) ||
               m.kind == SyncMessage::Kind::Malformed);
    if (m.kind == SyncMessage::Kind::Malformed) {
        FUZZ_CHECK(!m.error.empty());
        return 0;
    }
    if (price) {
        // The time code is the ten characters from position 2, the price at most six from 13.
        FUZZ_CHECK(text.size() >= 14);
        const std::string_view t = Digits(text.substr(2, 10));
        const std::string_view p = Digits(text.substr(13, 6));
        FUZZ_CHECK(!t.empty() && !p.empty() && FitsInt32(t));
        FUZZ_CHECK(std::to_string(m.timeCode) == Canonical(t));
        FUZZ_CHECK(std::to_string(m.price) == Canonical(p));
        FUZZ_CHECK(m.timeCode >= 0 && m.price <= 999999);
    } else {
        const std::string_view n = Digits(text.substr(2));
        FUZZ_CHECK(!n.empty() && FitsInt32(n));
        FUZZ_CHECK(std::to_string(m.count) == Canonical(n));
    }
    return 0;
}
