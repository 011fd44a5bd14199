#include "net/oss_upload.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>

#include "config/profile.h"
#include "log/log_book.h"
#include "net/curl_transfer.h"
#include "platform/files.h"

namespace kestrava::net {

namespace {

constexpr std::size_t kSettingBufferSize = 256;
constexpr long kConnectTimeoutSeconds = 10;

std::string Lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

std::string TagText(std::string_view xml, std::string_view tag) {
    const std::string open = "<" + std::string(tag) + ">";
    const std::string close = "</" + std::string(tag) + ">";
    const std::size_t start = xml.find(open);
    if (start == std::string_view::npos) return {};
    const std::size_t from = start + open.size();
    const std::size_t end = xml.find(close, from);
    if (end == std::string_view::npos) return {};
    return std::string(xml.substr(from, end - from));
}

std::string Md5Base64(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) return {};
    return Base64(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string ContentTypeFor(std::string_view key) {
    const std::string lower = Lowercase(std::string(key));
    if (lower.ends_with(".jpg") || lower.ends_with(".jpeg")) return "image/jpeg";
    return "application/octet-stream";
}

bool IsLoopbackOrAddress(std::string_view host) {
    if (host == "localhost") return true;
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

struct Body {
    std::string_view data;
    std::size_t sent = 0;
};

size_t ReadBody(char* out, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t n = std::min(size * count, body->data.size() - body->sent);
    std::copy_n(body->data.data() + body->sent, n, out);
    body->sent += n;
    return n;
}

size_t KeepRequestId(char* data, size_t size, size_t count, void* user) {
    std::string_view line(data, size * count);
    constexpr std::string_view kName = "x-oss-request-id:";
    if (line.size() > kName.size() && Lowercase(std::string(line.substr(0, kName.size()))) == kName) {
        std::string value = Trim(line.substr(kName.size()));
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
        *static_cast<std::string*>(user) = value;
    }
    return size * count;
}

std::string EscapeKey(CURL* curl, std::string_view key) {
    std::string out;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = key.find('/', start);
        const std::string_view part = key.substr(start, slash == std::string_view::npos ? key.npos : slash - start);
        char* escaped = curl_easy_escape(curl, part.data(), static_cast<int>(part.size()));
        if (escaped != nullptr) out += escaped;
        curl_free(escaped);
        if (slash == std::string_view::npos) break;
        out += '/';
        start = slash + 1;
    }
    return out;
}

}  // namespace

std::optional<OssSettings> ReadOssSettings(const std::string& path) {
    OssSettings s;
    s.endpoint = config::ReadProfileString("OSS", "Endpoint", "", kSettingBufferSize, path);
    s.bucket = config::ReadProfileString("OSS", "Bucket", "", kSettingBufferSize, path);
    s.accessKeyId = config::ReadProfileString("OSS", "AccessKeyId", "", kSettingBufferSize, path);
    s.accessKeySecret = config::ReadProfileString("OSS", "AccessKeySecret", "", kSettingBufferSize, path);
    if (s.endpoint.empty() || s.bucket.empty() || s.accessKeyId.empty() || s.accessKeySecret.empty()) {
        return std::nullopt;
    }
    return s;
}

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

std::string OssStringToSign(std::string_view verb, std::string_view contentMd5, std::string_view contentType,
                            std::string_view date, std::vector<std::pair<std::string, std::string>> ossHeaders,
                            std::string_view canonicalizedResource) {
    for (auto& [name, value] : ossHeaders) {
        name = Lowercase(Trim(name));
        value = Trim(value);
    }
    std::sort(ossHeaders.begin(), ossHeaders.end());
    std::string s;
    s.append(verb).append("\n").append(contentMd5).append("\n").append(contentType).append("\n");
    s.append(date).append("\n");
    for (const auto& [name, value] : ossHeaders) s.append(name).append(":").append(value).append("\n");
    s.append(canonicalizedResource);
    return s;
}

std::string OssAuthorization(std::string_view accessKeyId, std::string_view accessKeySecret,
                             std::string_view stringToSign) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (HMAC(EVP_sha1(), accessKeySecret.data(), static_cast<int>(accessKeySecret.size()),
             reinterpret_cast<const unsigned char*>(stringToSign.data()), stringToSign.size(), mac, &length) == nullptr) {
        return {};
    }
    return "OSS " + std::string(accessKeyId) + ":" + Base64(std::string_view(reinterpret_cast<char*>(mac), length));
}

std::string HttpDate(std::int64_t epochSeconds) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    const std::tm tm = platform::UtcTime(t).value_or(std::tm{});
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday], tm.tm_mday,
                  kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

PutObjectOutcome ParseOssError(std::string_view xml) {
    PutObjectOutcome o;
    o.code = TagText(xml, "Code");
    o.message = TagText(xml, "Message");
    o.requestId = TagText(xml, "RequestId");
    return o;
}

OssClient::OssClient(platform::Clock& clock, OssSettings settings, TransferLimits limits)
    : clock_(clock), settings_(std::move(settings)), limits_(limits) {}

PutObjectOutcome OssClient::PutObject(const std::string& key, const std::string& localPath) {
    PutObjectOutcome outcome;
    std::ifstream in(localPath, std::ios::binary);
    if (!in) {
        outcome.code = "ValidateError";
        outcome.message = "cannot read " + localPath;
        return outcome;
    }
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    InitCurlOnce();
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        outcome.code = "ClientError";
        outcome.message = "no HTTP client";
        return outcome;
    }
    CURL* c = curl.get();

    std::string scheme = "https";
    std::string host = settings_.endpoint;
    if (const std::size_t sep = host.find("://"); sep != std::string::npos) {
        scheme = Lowercase(host.substr(0, sep));
        host = host.substr(sep + 3);
    }
    while (!host.empty() && host.back() == '/') host.pop_back();
    const std::string hostOnly = host.substr(0, host.find(':'));
    // Addresses cannot carry the bucket as a sub-domain; the service also takes it in the path.
    const std::string url = IsLoopbackOrAddress(hostOnly)
                                ? scheme + "://" + host + "/" + settings_.bucket + "/" + EscapeKey(c, key)
                                : scheme + "://" + settings_.bucket + "." + host + "/" + EscapeKey(c, key);

    const std::string date = HttpDate(clock_.EpochMillis() / 1000);
    const std::string md5 = Md5Base64(content);
    const std::string type = ContentTypeFor(key);
    const std::string resource = "/" + settings_.bucket + "/" + key;
    const std::string authorization = OssAuthorization(settings_.accessKeyId, settings_.accessKeySecret,
                                                       OssStringToSign("PUT", md5, type, date, {}, resource));

    curl_slist* headers = nullptr;
    for (const std::string& h : {"Date: " + date, "Content-Type: " + type, "Content-MD5: " + md5,
                                 "Authorization: " + authorization, std::string("Expect:")}) {
        headers = curl_slist_append(headers, h.c_str());
    }
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);

    Body body{content};
    CappedBody response(limits_.maxBodyBytes);
    std::string requestId;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &body);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(content.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, KeepRequestId);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &requestId);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    if (!ApplyTransferLimits(c, limits_, response)) {
        outcome.code = "ClientError";
        outcome.message = "HTTP client refused the transfer limits";
        return outcome;
    }

    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        outcome.code = "ClientError";
        outcome.message = response.overflowed || rc == CURLE_FILESIZE_EXCEEDED
                              ? "answer longer than " + std::to_string(response.cap) + " bytes"
                              : curl_easy_strerror(rc);
        return outcome;
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && status < 300) {
        outcome.ok = true;
        outcome.requestId = requestId;
        return outcome;
    }
    outcome = ParseOssError(response.text);
    if (outcome.code.empty()) outcome.code = "HTTP " + std::to_string(status);
    if (outcome.requestId.empty()) outcome.requestId = requestId;
    return outcome;
}

std::string ObjectKeyFor(std::string_view path, char separator) {
    const std::size_t cut = std::max(path.rfind(separator) + 1, path.rfind('/') + 1);  // npos + 1 == 0
    return std::string(kObjectKeyPrefix) + std::string(path.substr(cut));
}

bool UploadFile(OssClient& client, const std::string& path, char separator) {
    const PutObjectOutcome o = client.PutObject(ObjectKeyFor(path, separator), path);
    if (!o.ok) {
        log::DebugPrintf("PutObject fail,code:%s,message:%s,requestId:%s\n", o.code.c_str(), o.message.c_str(),
                         o.requestId.c_str());
    }
    return o.ok;
}

std::string JpegPathFor(const std::string& bmpPath) {
    if (bmpPath.size() >= 4 && Lowercase(bmpPath.substr(bmpPath.size() - 4)) == ".bmp") {
        return bmpPath.substr(0, bmpPath.size() - 4) + ".jpg";
    }
    return bmpPath;
}

namespace {

std::optional<OssClient> MakeClient(const UploadContext& context) {
    std::optional<OssSettings> settings = ReadOssSettings(context.settingsPath);
    if (!settings) {
        log::DebugPrintf("upload skipped: no object-storage settings (Endpoint, Bucket, AccessKeyId, "
                         "AccessKeySecret in section OSS of %s)\n",
                         context.settingsPath.c_str());
        return std::nullopt;
    }
    return std::optional<OssClient>(std::in_place, context.clock, std::move(*settings), context.limits);
}

bool UploadScreenshot(const UploadContext& context, OssClient& client, const std::string& bmpPath) {
    const std::string jpg = JpegPathFor(bmpPath);
    // A failed conversion leaves no .jpg; its put then fails like any missing file.
    if (jpg != bmpPath && context.toJpeg && !context.toJpeg(bmpPath, jpg)) std::remove(jpg.c_str());
    return UploadFile(client, jpg, '/');
}

}  // namespace

int UploadLogs(const UploadContext& context, const std::vector<std::string>& uploadQueue,
               const std::string& logCopyPath, const std::string& ieLogPath) {
    std::optional<OssClient> client = MakeClient(context);
    if (!client) return 0;
    int stored = 0;
    for (std::size_t i = 0; i < uploadQueue.size(); ++i) {
        const bool ok = i == 0 ? UploadFile(*client, logCopyPath, '\\') : UploadScreenshot(context, *client, uploadQueue[i]);
        stored += ok ? 1 : 0;
    }
    stored += UploadFile(*client, ieLogPath, '\\') ? 1 : 0;
    return stored;
}

bool UploadFinalResult(const UploadContext& context, const std::string& bidNumber) {
    std::optional<OssClient> client = MakeClient(context);
    if (!client) return false;
    return UploadScreenshot(context, *client, ".//ScreenShot//del1//samples//" + bidNumber + "_BidFinal.bmp");
}

std::string IeLogPath(const std::string& logDirectory, const std::string& bidNumber, const platform::LocalTime& day) {
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.year, day.month, day.day);
    return logDirectory + "/" + bidNumber + "_" + date + "_ie.log";
}

}  // namespace kestrava::net
