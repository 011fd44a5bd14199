// The RFC 868 answer: a time server on 127.0.0.1 answers with the input's bytes. An answer of
// fewer than four bytes is no time; otherwise its first four bytes are, read big-endian; the decoded time is never before the floor,
// lies within one 32-bit era after it and is the same count of seconds modulo 2^32.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/network_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrava::net;
    static kestrava::fuzz::OneShotServer server(false);
    FuzzedDataProvider in(data, size);
    const std::int64_t notBefore = in.ConsumeIntegralInRange<std::int64_t>(-(1LL << 40), 1LL << 40);
    const std::string answer = in.ConsumeRemainingBytesAsString();
    server.Answer(answer);

    TimeQueryOptions options;
    options.connectTimeoutMs = 2000;
    options.answerTimeoutMs = 2000;
    const auto seconds = QueryTimeServer("127.0.0.1:" + std::to_string(server.Port()), options);
    FUZZ_CHECK(seconds.has_value() == (answer.size() >= 4));
    if (!seconds) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(answer.data());
    FUZZ_CHECK(*seconds == (std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3]));

    const auto decoded = DecodeTimeProtocol(*seconds, notBefore);
    if (!decoded) return 0;
    FUZZ_CHECK(*decoded >= notBefore);
    FUZZ_CHECK(((*decoded + kSecondsFrom1900To1970) & 0xFFFFFFFFLL) == *seconds);
    // 1968-01-20 (the start of the era read) … 2104-02-26 (the end of the next one).
    FUZZ_CHECK(*decoded >= (1LL << 31) - kSecondsFrom1900To1970 &&
               *decoded < (1LL << 32) + (1LL << 31) - kSecondsFrom1900To1970);
    return 0;
}
