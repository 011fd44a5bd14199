#include "app/remote_config.h"

#include <exception>

namespace kestrava::app {
namespace {

constexpr std::size_t kMaxHostLength = 99;  // synchostip holds 99 characters

std::string_view TrimTrailing(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string JoinUrl(std::string_view root, std::string_view pathAndQuery) {
    if (root.empty()) return {};
    std::string url(root);
    while (!url.empty() && url.back() == '/') url.pop_back();
    url += pathAndQuery;
    return url;
}

// The carriers' names as a page may spell them: UTF-8 and GBK.
constexpr std::string_view kUnicom[] = {"联通", "\xC1\xAA\xCD\xA8"};
constexpr std::string_view kMobile[] = {"移动", "\xD2\xC6\xB6\xAF"};

// Found somewhere after the first byte of the body (a name right at the start does not count).
bool NamedAfterFirstByte(std::string_view body, const std::string_view (&spellings)[2]) {
    for (std::string_view name : spellings) {
        const std::size_t at = body.find(name);
        if (at != std::string_view::npos && at > 0) return true;
    }
    return false;
}

}  // namespace

std::string GetOrFail(const HttpGetFunction& httpGet, const std::string& url) {
    if (url.empty() || !httpGet) return kNoAddressAnswer;
    try {
        return httpGet(url);
    } catch (const std::exception&) {
        return kNoAddressAnswer;
    }
}

bool IsErrorAnswer(std::string_view body) {
    return body.substr(0, 6) == "Error:" || body == "Connect error";
}

std::string NumberAnswer(std::string_view body) {
    const std::string_view digits = TrimTrailing(body);
    // Nine digits keep the value inside an int; a ladder base is five or six.
    if (digits.empty() || digits.size() > 9) return {};
    for (char c : digits) {
        if (!IsDigit(c)) return {};
    }
    return std::string(digits);
}

bool IsPlainHost(std::string_view item) {
    if (item.empty() || item.size() > kMaxHostLength) return false;
    for (char c : item) {
        const bool ok = IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
                        c == ':';
        if (!ok) return false;
    }
    return true;
}

bool ListItem(std::string_view list, int index, std::string& item) {
    if (index < 0) return false;
    list = TrimTrailing(list);
    for (int i = 0;; ++i) {
        const std::size_t comma = list.find(',');
        if (i == index) {
            item = std::string(list.substr(0, comma));
            return true;
        }
        if (comma == std::string_view::npos) return false;
        list.remove_prefix(comma + 1);
    }
}

int ServerIndexForSecond(int loginSecond) {
    if (loginSecond < 0 || loginSecond > 59) return 0;
    return loginSecond / 6;
}

RemoteConfigResult FetchRemoteConfig(const HttpGetFunction& httpGet, int loginSecond) {
    RemoteConfigResult result;
    result.noticeText = GetOrFail(httpGet, config::Read(remote::noticeurl));

    const std::string host = config::Read(remote::confighost);
    auto ask = [&](std::string_view query) { return GetOrFail(httpGet, JoinUrl(host, query)); };

    const std::string dwbase = ask("/?dwbase");
    if (!IsErrorAnswer(dwbase)) {
        const std::string value = NumberAnswer(dwbase);
        if (!value.empty()) result.dwbaseStored = config::WriteText(config::user::dwbase, value);
    }
    const std::string hpbase = ask("/?hpbase");
    if (!IsErrorAnswer(hpbase)) {
        const std::string value = NumberAnswer(hpbase);
        if (!value.empty()) result.hpbaseStored = config::WriteText(config::user::hpbase, value);
    }
    const std::string servers = ask("/?serverip");
    if (!IsErrorAnswer(servers)) {
        std::string item;
        if (ListItem(servers, ServerIndexForSecond(loginSecond), item) && IsPlainHost(item)) {
            result.synchostStored = config::Write(config::user::synchostip, item);
        }
    }
    return result;
}

int DetectIspClass(const HttpGetFunction& httpGet) {
    const int stored = config::ReadTelecom();
    if (stored != 2) return stored;

    const std::string body = GetOrFail(httpGet, JoinUrl(config::Read(remote::iplocator), "/ip.jsp"));
    int ispClass = 1;
    if (!IsErrorAnswer(body) && (NamedAfterFirstByte(body, kUnicom) || NamedAfterFirstByte(body, kMobile))) {
        ispClass = 0;
    }
    config::Write(config::user::telecom, ispClass);
    return ispClass;
}

}  // namespace kestrava::app
