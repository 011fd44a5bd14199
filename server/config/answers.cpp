#include "answers.h"

#include <filesystem>

#include "config/profile.h"

namespace kestrava::config_server {
namespace {

constexpr std::size_t kValueBuffer = 4096;
// The console keeps nine digits at most (an int), and a host name of 99 characters.
constexpr std::size_t kMaxDigits = 9;
constexpr std::size_t kMaxHostLength = 99;
constexpr std::size_t kMaxNoticeBytes = 1024;

bool IsHostChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
           c == ':';
}

std::string Read(std::string_view key, const std::string& path) {
    return config::ReadProfileString("answers", key, "", kValueBuffer, path);
}

}  // namespace

std::string CheckNumber(std::string_view key, std::string_view value) {
    if (value.empty()) return {};
    if (value.size() > kMaxDigits || value.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::string(key) + " must be a whole number of at most 9 digits, not \"" + std::string(value) + "\"";
    }
    return {};
}

std::string CheckServerList(std::string_view value, std::vector<std::string>& servers) {
    servers.clear();
    if (value.empty()) return {};
    while (true) {
        const std::size_t comma = value.find(',');
        std::string_view item = value.substr(0, comma);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (item.empty() || item.size() > kMaxHostLength) {
            return "serverip: every item must be a host name or address of 1 to 99 characters";
        }
        for (char c : item) {
            if (!IsHostChar(c)) return "serverip: \"" + std::string(item) + "\" is not a plain host name or address";
        }
        servers.emplace_back(item);
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    if (servers.size() > kMaxSyncServers) {
        return "serverip: at most 10 servers (a console picks one by the second of its login)";
    }
    return {};
}

std::string CheckNotice(std::string_view value) {
    if (value.size() > kMaxNoticeBytes) return "notice: at most 1024 bytes";
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f) return "notice: one line of text, without control characters";
    }
    return {};
}

LoadedAnswers LoadAnswers(const std::string& settingsPath) {
    LoadedAnswers loaded;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(settingsPath, ec)) {
        loaded.error = settingsPath + ": no such settings file";
        return loaded;
    }
    Answers a;
    a.dwbase = Read("dwbase", settingsPath);
    a.hpbase = Read("hpbase", settingsPath);
    a.notice = Read("notice", settingsPath);
    for (std::string error : {CheckNumber("dwbase", a.dwbase), CheckNumber("hpbase", a.hpbase),
                              CheckServerList(Read("serverip", settingsPath), a.syncServers), CheckNotice(a.notice)}) {
        if (!error.empty()) {
            loaded.error = settingsPath + ": " + error;
            return loaded;
        }
    }
    loaded.answers = std::move(a);
    return loaded;
}

Reply ErrorReply(int status, std::string_view text) { return Reply{status, "Error:" + std::string(text) + "\n"}; }

Reply AnswerQuery(const Answers& answers, std::string_view query) {
    std::string value;
    if (query == "dwbase") {
        value = answers.dwbase;
    } else if (query == "hpbase") {
        value = answers.hpbase;
    } else if (query == "serverip") {
        for (const std::string& s : answers.syncServers) value += (value.empty() ? "" : ",") + s;
    } else if (query.empty()) {
        return ErrorReply(400, "no query (ask /?dwbase, /?hpbase or /?serverip)");
    } else {
        return ErrorReply(404, "unknown query");
    }
    if (value.empty()) return ErrorReply(404, "not served here");
    return Reply{200, value};
}

Reply AnswerNotice(const Answers& answers) {
    if (answers.notice.empty()) return ErrorReply(404, "no notice");
    return Reply{200, answers.notice};
}

}  // namespace kestrava::config_server
