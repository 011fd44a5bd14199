// Uploading the day's evidence (log copy, end screenshots, the page shell's log, the final
// result) to an Alibaba Cloud OSS bucket with the service's put-object operation, signed with
// the V1 header signature. Endpoint, bucket and keys come from the installation's settings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/transfer_limits.h"
#include "platform/platform.h"

namespace kestrava::net {

inline constexpr std::string_view kOssSettingsPath = ".//bin//oss.ini";
inline constexpr std::string_view kObjectKeyPrefix = "yourObjectName/";

// Section "OSS" of the settings file: Endpoint (a host name, optionally with "http://" or
// "https://" and a port; https when no scheme is given), Bucket, AccessKeyId, AccessKeySecret.
struct OssSettings {
    std::string endpoint;
    std::string bucket;
    std::string accessKeyId;
    std::string accessKeySecret;
};
// Nothing when the file or any of the four values is missing.
std::optional<OssSettings> ReadOssSettings(const std::string& path = std::string(kOssSettingsPath));

// VERB "\n" Content-MD5 "\n" Content-Type "\n" Date "\n" CanonicalizedOSSHeaders
// CanonicalizedResource. `ossHeaders` are the x-oss-* headers as (name, value) in any order and
// case.
std::string OssStringToSign(std::string_view verb, std::string_view contentMd5, std::string_view contentType,
                            std::string_view date, std::vector<std::pair<std::string, std::string>> ossHeaders,
                            std::string_view canonicalizedResource);
// "OSS " + AccessKeyId + ":" + base64(HMAC-SHA1(secret, stringToSign)).
std::string OssAuthorization(std::string_view accessKeyId, std::string_view accessKeySecret,
                             std::string_view stringToSign);
// An RFC 1123 date in GMT, e.g. "Thu, 17 Nov 2005 18:49:58 GMT".
std::string HttpDate(std::int64_t epochSeconds);
std::string Base64(std::string_view bytes);

struct PutObjectOutcome {
    bool ok = false;
    std::string code;
    std::string message;
    std::string requestId;
};

// The Code, Message and RequestId of the service's XML error document (empty when absent).
PutObjectOutcome ParseOssError(std::string_view xml);

// One put: a screenshot of a few hundred kilobytes on a slow line, and an answer that is at most
// a short error document. The uploads run inside the scan tick, which they hold meanwhile.
inline constexpr TransferLimits kOssPutLimits{std::chrono::seconds(60), 64 * 1024};

class OssClient {
public:
    OssClient(platform::Clock& clock, OssSettings settings, TransferLimits limits = kOssPutLimits);
    // A put that misses the deadline or whose answer exceeds the cap fails with code
    // "ClientError" and libcurl's reason as the message.
    PutObjectOutcome PutObject(const std::string& key, const std::string& localPath);

private:
    platform::Clock& clock_;
    OssSettings settings_;
    TransferLimits limits_;
};

// kObjectKeyPrefix + the file name: the part after the last `separator`. On this platform '/'
// always separates folders too, so a log path written with '/' still gives its bare name.
std::string ObjectKeyFor(std::string_view path, char separator);

// Puts one file; a failure prints "PutObject fail,code:…,message:…,requestId:…" and nothing more.
bool UploadFile(OssClient& client, const std::string& path, char separator);

// Converts a screenshot to JPEG (quality 20) at `jpgPath`; false when it could not.
using JpegConverter = std::function<bool(const std::string& bmpPath, const std::string& jpgPath)>;

// The ".jpg" beside a ".bmp" screenshot (other paths unchanged).
std::string JpegPathFor(const std::string& bmpPath);

struct UploadContext {
    platform::Clock& clock;
    JpegConverter toJpeg;
    std::string settingsPath = std::string(kOssSettingsPath);
    TransferLimits limits = kOssPutLimits;  // of each put
};

// The log upload after a real auction (the console logs "upload rizhi" first): the log copy in
// place of the queue's first entry (the day's log), each further entry as its ".jpg", then the
// page shell's log of the day. Returns how many files were stored; without settings nothing is
// attempted and one line says so.
int UploadLogs(const UploadContext& context, const std::vector<std::string>& uploadQueue,
               const std::string& logCopyPath, const std::string& ieLogPath);

// The final-result screenshot ".//ScreenShot//del1//samples//" + bid number + "_BidFinal.bmp",
// as its ".jpg".
bool UploadFinalResult(const UploadContext& context, const std::string& bidNumber);

// logDirectory + "/" + bid number + "_" + date ("%Y-%m-%d" of `day`) + "_ie.log".
std::string IeLogPath(const std::string& logDirectory, const std::string& bidNumber, const platform::LocalTime& day);

}  // namespace kestrava::net
