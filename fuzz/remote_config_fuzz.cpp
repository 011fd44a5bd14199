// The remote-configuration answers (notice, ladder bases, sync servers, the network line's page):
// whatever the servers answer, only a plain number is stored as a base and only a plain host as
// the sync server, stored values read back as they were answered, and the line class is 0 or 1,
// looked up once.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/remote_config.h"
#include "config/profile.h"
#include "config/settings.h"
#include "fuzz_support.h"

namespace {

using namespace kestrava;

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string Stored(std::string_view key) {
    return config::ReadProfileString("Configure", key, "<none>", 256, std::string(config::kUserConfFile));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchInstallation();
    static const bool configured = [] {
        fuzz::WriteFile(std::string(config::kConfFile),
                        "[Configure]\r\nconfighost=http://config.test:8080/\r\nnoticeurl=http://config.test/notice\r\n"
                        "iplocator=http://ip.test\r\n");
        return true;
    }();
    (void)configured;
    std::remove(std::string(config::kUserConfFile).c_str());

    FuzzedDataProvider in(data, size);
    const int loginSecond = in.ConsumeIntegralInRange(-2, 61);
    const std::string notice = in.ConsumeRandomLengthString(64);
    const std::string dwbase = in.ConsumeRandomLengthString(32);
    const std::string hpbase = in.ConsumeRandomLengthString(32);
    const std::string servers = in.ConsumeRandomLengthString(400);
    const std::string ipPage = in.ConsumeRemainingBytesAsString();

    int asked = 0;
    const app::HttpGetFunction get = [&](const std::string& url) -> std::string {
        ++asked;
        if (url == "http://config.test/notice") return notice;
        if (url == "http://config.test:8080/?dwbase") return dwbase;
        if (url == "http://config.test:8080/?hpbase") return hpbase;
        if (url == "http://config.test:8080/?serverip") return servers;
        if (url == "http://ip.test/ip.jsp") return ipPage;
        FUZZ_CHECK(!"asked for an address nobody configured");
        return {};
    };

    const app::RemoteConfigResult r = app::FetchRemoteConfig(get, loginSecond);
    FUZZ_CHECK(r.noticeText == notice);
    auto checkBase = [](bool stored, const std::string& answer, std::string_view key) {
        if (!stored) {
            FUZZ_CHECK(Stored(key) == "<none>");
            return;
        }
        FUZZ_CHECK(!app::IsErrorAnswer(answer));
        const std::string value = Stored(key);
        FUZZ_CHECK(AllDigits(value) && answer.compare(0, value.size(), value) == 0);
        FUZZ_CHECK(config::ReadProfileInt("Configure", key, -1, std::string(config::kUserConfFile)) == std::stoi(value));
    };
    checkBase(r.dwbaseStored, dwbase, "dwbase");
    checkBase(r.hpbaseStored, hpbase, "hpbase");
    if (r.synchostStored) {
        const std::string host = Stored("synchostip");
        FUZZ_CHECK(app::IsPlainHost(host) && servers.find(host) != std::string::npos);
    } else {
        FUZZ_CHECK(Stored("synchostip") == "<none>");
    }

    const int line = app::DetectIspClass(get);
    FUZZ_CHECK(line == 0 || line == 1);
    FUZZ_CHECK(config::ReadTelecom() == line);
    const int askedBefore = asked;
    FUZZ_CHECK(app::DetectIspClass(get) == line && asked == askedBefore);
    return 0;
}
