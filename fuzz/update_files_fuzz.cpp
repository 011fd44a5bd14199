// The update check's files and download: Update.ini as found in the installation, and the
// answer of an update server on 127.0.0.1 (response header, Content-Length, Updater.ini as its
// body). Whatever they hold, the check ends in one of its outcomes; a download that is not whole
// leaves no Updater.ini; a newer version is reported exactly when the body's version is greater
// than the installed one, and the version order is a true order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "config/profile.h"
#include "fuzz_support.h"
#include "net/http_socket.h"
#include "net/update_check.h"
#include "platform/fake/fake_platform.h"

namespace {

using namespace kestrava;

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchInstallation();
    static fuzz::OneShotServer server(true);
    static platform::fake::FakePlatform fp;
    FuzzedDataProvider in(data, size);
    const std::string installed = in.ConsumeRandomLengthString(16);
    const bool restart = in.ConsumeBool();
    const std::string body = in.ConsumeRandomLengthString(300);
    // A well-formed header with the body's length most of the time, any header now and then.
    std::string header;
    if (in.ConsumeBool()) {
        header = in.ConsumeRandomLengthString(300);
    } else {
        header = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    }
    const std::string updateIni = in.ConsumeRemainingBytesAsString();
    // The installation's Update.ini: the fuzzed text, or a sound one with the fuzzed version.
    if (updateIni.size() > 1 && updateIni[0] == '!') {
        fuzz::WriteFile("Update.ini", updateIni.substr(1));
    } else {
        fuzz::WriteFile("Update.ini", "[MAINVER]\r\nmainver=" + installed + "\r\n[URL]\r\niniurl0=http://127.0.0.1/" +
                                          updateIni.substr(0, 40) + "\r\n");
    }
    const std::string answerBody = restart ? "[MAINVER]\r\nupdaterestart=1\r\n" + body : body;
    server.Answer(header + answerBody);

    net::UpdateCheckOptions options;
    options.updateIniPath = "./Update.ini";
    options.pickUrl = [] { return 0; };
    options.download.port = server.Port();
    options.download.connectTimeoutMs = 2000;
    options.download.receiveTimeoutMs = 2000;
    const std::string updater = net::UpdaterIniPath(options.updateIniPath);
    std::remove(updater.c_str());
    const net::UpdateCheckResult r = net::CheckForUpdate(fp.clock, fp.desktop, fp.notices, options);

    const std::string url = config::ReadProfileString("URL", "iniurl0", "", 260, "./Update.ini");
    std::string host, object;
    switch (r) {
        case net::UpdateCheckResult::UpdateIniBroken:
            FUZZ_CHECK(url.empty());
            FUZZ_CHECK(!std::filesystem::exists(updater));
            break;
        case net::UpdateCheckResult::DownloadFailed:
            FUZZ_CHECK(!std::filesystem::exists(updater));
            break;
        case net::UpdateCheckResult::UpToDate:
            FUZZ_CHECK(!std::filesystem::exists(updater));
            break;
        case net::UpdateCheckResult::NewerRestart:
        case net::UpdateCheckResult::NewerQuiet: {
            // The file kept is the one the server sent, whole, and it is newer.
            const std::string kept = fuzz::ReadFile(updater);
            const std::string response = header + answerBody;
            const std::size_t end = response.find("\r\n\r\n");
            FUZZ_CHECK(end != std::string::npos && end + 4 <= 1024);
            const auto length = net::ParseContentLength(response.substr(0, end + 4));
            FUZZ_CHECK(length && kept == response.substr(end + 4, *length) && kept.size() == *length);
            const std::string offered = config::ReadProfileString("MAINVER", "mainver", "", 64, updater);
            const std::string have = config::ReadProfileString("MAINVER", "mainver", "", 64, "./Update.ini");
            FUZZ_CHECK(net::CompareVersions(offered, have) > 0);
            FUZZ_CHECK((r == net::UpdateCheckResult::NewerRestart) ==
                       (config::ReadProfileInt("MAINVER", "updaterestart", 0, updater) == 1));
            break;
        }
    }

    // The version order: antisymmetric and reflexive on any two texts.
    const std::string other = body.substr(0, 12);
    FUZZ_CHECK(net::CompareVersions(installed, installed) == 0);
    FUZZ_CHECK(Sign(net::CompareVersions(installed, other)) == -Sign(net::CompareVersions(other, installed)));
    return 0;
}
