#include "net/oss_upload.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "log/log_book.h"
#include "platform/fake/fake_platform.h"
#include "tcp_test_server.h"

namespace kestrava::net {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKeyId = "LTAI5tTestKeyIdOnly4Tests";
constexpr const char* kSecret = "TestSecretThatIsThirtyCharsXyz";
constexpr const char* kBucket = "kestrava-evidence";

std::string B64(const unsigned char* data, unsigned int n) {
    std::string out(4 * ((n + 2) / 3) + 1, '\0');
    out.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(n)));
    return out;
}

// A put-object endpoint on loopback that checks each request's signature and body the way the
// service does, computed here from the request as received.
class FakeObjectStore {
public:
    struct Put {
        std::string key;
        std::string body;
        std::string date;
    };

    FakeObjectStore() {
        server_.Put(R"(/([^/]+)/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string bucket = req.matches[1];
            const std::string key = req.matches[2];
            const std::string toSign = "PUT\n" + req.get_header_value("Content-MD5") + "\n" +
                                       req.get_header_value("Content-Type") + "\n" + req.get_header_value("Date") +
                                       "\n/" + bucket + "/" + key;
            unsigned char mac[EVP_MAX_MD_SIZE];
            unsigned int macLength = 0;
            HMAC(EVP_sha1(), kSecret, static_cast<int>(std::strlen(kSecret)),
                 reinterpret_cast<const unsigned char*>(toSign.data()), toSign.size(), mac, &macLength);
            unsigned char md5[EVP_MAX_MD_SIZE];
            unsigned int md5Length = 0;
            EVP_Digest(req.body.data(), req.body.size(), md5, &md5Length, EVP_md5(), nullptr);

            std::lock_guard lock(mutex_);
            if (req.get_header_value("Authorization") != std::string("OSS ") + kKeyId + ":" + B64(mac, macLength)) {
                Refuse(res, "SignatureDoesNotMatch", "The request signature we calculated does not match.");
            } else if (req.get_header_value("Content-MD5") != B64(md5, md5Length)) {
                Refuse(res, "InvalidDigest", "The Content-MD5 you specified is not valid.");
            } else if (bucket != kBucket) {
                Refuse(res, "NoSuchBucket", "The specified bucket does not exist.");
            } else if (key == refusedKey_) {
                Refuse(res, "AccessDenied", "You have no right to access this object.");
            } else {
                res.set_header("x-oss-request-id", "REQ" + std::to_string(puts_.size()));
            }
            puts_.push_back({key, req.body, req.get_header_value("Date")});
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeObjectStore() {
        server_.stop();
        thread_.join();
    }
    int Port() const { return port_; }
    void RefuseKey(const std::string& key) {
        std::lock_guard lock(mutex_);
        refusedKey_ = key;
    }
    std::vector<Put> Puts() {
        std::lock_guard lock(mutex_);
        return puts_;
    }
    std::vector<std::string> Keys() {
        std::vector<std::string> keys;
        for (const Put& p : Puts()) keys.push_back(p.key);
        return keys;
    }

private:
    void Refuse(httplib::Response& res, const std::string& code, const std::string& message) {
        res.status = 403;
        res.set_header("x-oss-request-id", "5C3D9175B6FC201293AD4890");
        res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n  <Code>" + code + "</Code>\n  <Message>" +
                            message + "</Message>\n  <RequestId>5C3D9175B6FC201293AD4890</RequestId>\n"
                                      "  <HostId>127.0.0.1</HostId>\n</Error>\n",
                        "application/xml");
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::string refusedKey_;
    std::vector<Put> puts_;
};

class OssUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        log::SetDebugConsole(true);
        dir_ = fs::temp_directory_path() / ("kestrava_oss_" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "Log");
        fs::create_directories(dir_ / "ScreenShot" / "del1" / "samples");
        settings_ = (dir_ / "oss.ini").string();
        std::ofstream(settings_) << "[OSS]\nEndpoint=http://127.0.0.1:" << store_.Port() << "\nBucket=" << kBucket
                                 << "\nAccessKeyId=" << kKeyId << "\nAccessKeySecret=" << kSecret << "\n";
        dayLog_ = Write("Log/12345678_2026-12-10.log", "day log");
        logCopy_ = Write("Log/12345678_2026-12-10.log_2026-12-10_11-30-05", "[电脑11:30:05] 日志副本");
        shot1_ = Write("ScreenShot/del1/samples/12345678_1129.bmp", "BM picture one");
        shot2_ = Write("ScreenShot/del2/samples/12345678_1130.bmp", "BM picture two");
        ieLog_ = Write("Log/12345678_2026-12-10_ie.log", "shell log");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& relative, const std::string& text) {
        const fs::path p = dir_ / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    UploadContext Context() {
        UploadContext context{clock_, [this](const std::string& bmp, const std::string& jpg) {
                                  converted_.push_back(bmp);
                                  std::ifstream in(bmp, std::ios::binary);
                                  if (!in) return false;
                                  std::ofstream(jpg, std::ios::binary) << "JPEG of " << in.rdbuf();
                                  return true;
                              }};
        context.settingsPath = settings_;
        return context;
    }
    int UploadLogsCapturing(std::string* out) {
        testing::internal::CaptureStdout();
        const int stored = UploadLogs(Context(), {dayLog_, shot1_, shot2_}, logCopy_, ieLog_);
        *out = testing::internal::GetCapturedStdout();
        return stored;
    }

    platform::fake::FakeClock clock_{platform::fake::MakeLocal(2026, 12, 10, 11, 32, 0)};
    FakeObjectStore store_;
    fs::path dir_;
    std::string settings_, dayLog_, logCopy_, shot1_, shot2_, ieLog_;
    std::vector<std::string> converted_;
};

TEST_F(OssUploadTest, TheLogUploadSendsTheCopyTheScreenshotsAndTheShellLogInOrder) {
    std::string out;
    EXPECT_EQ(UploadLogsCapturing(&out), 4);
    EXPECT_EQ(out, "");
    EXPECT_EQ(converted_, (std::vector<std::string>{shot1_, shot2_}));
    const auto puts = store_.Puts();
    ASSERT_EQ(puts.size(), 4u);
    EXPECT_EQ(puts[0].key, "yourObjectName/12345678_2026-12-10.log_2026-12-10_11-30-05");
    EXPECT_EQ(puts[0].body, "[电脑11:30:05] 日志副本");
    EXPECT_EQ(puts[1].key, "yourObjectName/12345678_1129.jpg");
    EXPECT_EQ(puts[1].body, "JPEG of BM picture one");
    EXPECT_EQ(puts[2].key, "yourObjectName/12345678_1130.jpg");
    EXPECT_EQ(puts[3].key, "yourObjectName/12345678_2026-12-10_ie.log");
    EXPECT_EQ(puts[3].body, "shell log");
    EXPECT_EQ(puts[0].date, "Thu, 10 Dec 2026 03:32:00 GMT");  // the platform clock, in GMT
}

TEST_F(OssUploadTest, EachFailurePrintsOneLineAndTheSequenceGoesOn) {
    store_.RefuseKey("yourObjectName/12345678_1129.jpg");
    fs::remove(ieLog_);
    std::string out;
    EXPECT_EQ(UploadLogsCapturing(&out), 2);
    EXPECT_EQ(store_.Keys(), (std::vector<std::string>{"yourObjectName/12345678_2026-12-10.log_2026-12-10_11-30-05",
                                                       "yourObjectName/12345678_1129.jpg",
                                                       "yourObjectName/12345678_1130.jpg"}));
    EXPECT_EQ(out,
              "PutObject fail,code:AccessDenied,message:You have no right to access this object.,"
              "requestId:5C3D9175B6FC201293AD4890\n"
              "PutObject fail,code:ValidateError,message:cannot read " + ieLog_ + ",requestId:\n");
}

TEST_F(OssUploadTest, AWrongSecretIsRefusedByTheSignatureCheck) {
    std::ofstream(settings_) << "[OSS]\nEndpoint=http://127.0.0.1:" << store_.Port() << "\nBucket=" << kBucket
                             << "\nAccessKeyId=" << kKeyId << "\nAccessKeySecret=NotTheSecret\n";
    std::string out;
    EXPECT_EQ(UploadLogsCapturing(&out), 0);
    EXPECT_EQ(store_.Puts().size(), 4u);
    EXPECT_NE(out.find("PutObject fail,code:SignatureDoesNotMatch,"), std::string::npos) << out;
}

TEST_F(OssUploadTest, AFailedConversionLeavesNoJpegToSend) {
    fs::remove(shot2_);
    std::string out;
    EXPECT_EQ(UploadLogsCapturing(&out), 3);
    EXPECT_EQ(store_.Puts().size(), 3u);
    EXPECT_FALSE(fs::exists(dir_ / "ScreenShot/del2/samples/12345678_1130.jpg"));
    EXPECT_NE(out.find("PutObject fail,code:ValidateError,message:cannot read " + (dir_ / "ScreenShot/del2/samples/12345678_1130.jpg").string()),
              std::string::npos)
        << out;
}

TEST_F(OssUploadTest, WithoutSettingsNothingIsSentAndOneLineSaysSo) {
    for (const char* text : {"", "[OSS]\nEndpoint=http://127.0.0.1:1\nBucket=b\nAccessKeyId=k\n"}) {
        SCOPED_TRACE(text);
        std::ofstream(settings_) << text;
        std::string out;
        EXPECT_EQ(UploadLogsCapturing(&out), 0);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(UploadFinalResult(Context(), "12345678"));
        out += testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "upload skipped: no object-storage settings (Endpoint, Bucket, AccessKeyId, AccessKeySecret "
                       "in section OSS of " + settings_ + ")\n"
                       "upload skipped: no object-storage settings (Endpoint, Bucket, AccessKeyId, AccessKeySecret "
                       "in section OSS of " + settings_ + ")\n");
    }
    EXPECT_TRUE(store_.Puts().empty());
    EXPECT_TRUE(converted_.empty());
}

TEST_F(OssUploadTest, TheFinalResultGoesUpAsItsJpeg) {
    // The final-result picture lives at a fixed path below the working directory.
    const fs::path bmp = fs::path("ScreenShot") / "del1" / "samples" / "99990001_BidFinal.bmp";
    fs::create_directories(bmp.parent_path());
    std::ofstream(bmp, std::ios::binary) << "BM final";
    EXPECT_TRUE(UploadFinalResult(Context(), "99990001"));
    fs::remove(bmp);
    fs::remove(fs::path(bmp).replace_extension(".jpg"));
    std::error_code keepIfUsed;  // folders other tests use stay
    for (fs::path p = bmp.parent_path(); !p.empty(); p = p.parent_path()) fs::remove(p, keepIfUsed);
    const auto puts = store_.Puts();
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_EQ(puts[0].key, "yourObjectName/99990001_BidFinal.jpg");
    EXPECT_EQ(puts[0].body, "JPEG of BM final");
}

// A store that never quite stalls, or whose answer has no end, costs a put no more than its
// deadline and gives its one failure line.
TEST_F(OssUploadTest, APutEndsAtItsDeadlineAndItsAnswerAtItsCap) {
    struct Case {
        const char* name;
        test::TcpTestServer::Script script;
        std::string message;
    };
    const std::string headers = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\n\r\n<Error><Code>";
    const Case cases[] = {
        {"answer trickles",
         [&](int fd) {
             test::TcpTestServer::ReadRequest(fd);
             test::TcpTestServer::Trickle(fd, headers, 100, 8000);
         },
         "Timeout was reached"},
        {"answer without end",
         [&](int fd) {
             test::TcpTestServer::ReadRequest(fd);
             test::TcpTestServer::SendAll(fd, headers);
             for (int i = 0; i < 1000; ++i) test::TcpTestServer::SendAll(fd, std::string(4096, 'x'));
         },
         "answer longer than 1000 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TcpTestServer server(c.script);
        std::ofstream(settings_) << "[OSS]\nEndpoint=http://127.0.0.1:" << server.Port() << "\nBucket=" << kBucket
                                 << "\nAccessKeyId=" << kKeyId << "\nAccessKeySecret=" << kSecret << "\n";
        const std::optional<OssSettings> settings = ReadOssSettings(settings_);
        ASSERT_TRUE(settings.has_value());
        OssClient client(clock_, *settings, TransferLimits{std::chrono::milliseconds(600), 1000});
        testing::internal::CaptureStdout();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(UploadFile(client, logCopy_, '\\'));
        // Not a speed goal: without a deadline the trickle would hold the put for the server's 8 s.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("PutObject fail,code:ClientError,message:" + c.message + ","), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace kestrava::net
