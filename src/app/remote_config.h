// The few values the program pulls from the network at login: the notice line, the ladder base,
// the reference price, the sync server of this login, and the class of the network line.
//
// Every answer is untrusted text. Only what has the shape of the value is stored; anything else
// (an error text, a number with more lines after it, a host with blanks) leaves the stored value
// as it was, exactly as a failed request does.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace kestrava::app {

// Fetches a short text resource: the body of the answer, or a text starting with "Error:".
using HttpGetFunction = std::function<std::string(const std::string& url)>;

// Where the values come from, in ".//bin//conf.ini". All empty by default: an empty address fails
// like an unreachable one, so a fresh installation works offline on its stored values.
namespace remote {
// Root of the configuration host, e.g. "http://config.example:8080"; asked "/?dwbase" and so on.
inline constexpr config::StringKey confighost{config::kConfFile, "confighost", "", 256};
// Full address of the one-line notice.
inline constexpr config::StringKey noticeurl{config::kConfFile, "noticeurl", "", 256};
// Root of the IP-location service; asked "/ip.jsp".
inline constexpr config::StringKey iplocator{config::kConfFile, "iplocator", "", 256};
// The product's download page, opened by the notice line and the patch notice.
inline constexpr config::StringKey downloadpage{config::kConfFile, "downloadpage", "", 256};
}  // namespace remote

// The text an unusable address is answered with, as if the host could not be reached.
inline constexpr char kNoAddressAnswer[] = "Error:Connect failed!\n";

// GET through `httpGet`, or kNoAddressAnswer without asking when `url` is empty.
std::string GetOrFail(const HttpGetFunction& httpGet, const std::string& url);

// "Error:" at the start, or the whole body "Connect error".
bool IsErrorAnswer(std::string_view body);

// The digits of an answer that is a plain non-negative number (trailing blanks and line ends
// allowed); empty when the answer is anything else.
std::string NumberAnswer(std::string_view body);

// A host name or address as the sync URL may carry it: letters, digits, dots, hyphens and colons,
// at most 99 characters, not empty.
bool IsPlainHost(std::string_view item);

// The item of a comma-separated list at `index` (empty items count); false when the list is
// shorter. Trailing blanks and line ends of the whole list are ignored.
bool ListItem(std::string_view list, int index, std::string& item);

// The index into the server list for the login second: second / 6, and 0 outside 0..59.
int ServerIndexForSecond(int loginSecond);

struct RemoteConfigResult {
    std::string noticeText;  // the notice body as received
    bool dwbaseStored = false;
    bool hpbaseStored = false;
    bool synchostStored = false;
};

// The notice, then "?dwbase", "?hpbase" and "?serverip" in this order, storing what is usable into
// userconf.ini.
RemoteConfigResult FetchRemoteConfig(const HttpGetFunction& httpGet, int loginSecond);

// The network line class: 1 for the telecom line or an unrecognised one, 0 for the two other
// carriers. Looked up once per installation; the answer is kept in `telecom`.
int DetectIspClass(const HttpGetFunction& httpGet);

}  // namespace kestrava::app
