// What the configuration host tells a console at login: the ladder base, the reference price,
// the list of sync servers it spreads its logins over, and the one-line notice.
//
// The values come from the host's settings file and are checked there, in the shapes the console
// stores, so a console never receives a value it would throw away; a query that names nothing
// gets an error status and a body starting with "Error:", which the console treats like an
// unreachable host (its stored value stays).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::config_server {

// The console spreads its logins over at most ten sync servers, one per six seconds of the clock.
inline constexpr std::size_t kMaxSyncServers = 10;

struct Answers {
    std::string dwbase;                   // digits, or empty: not served
    std::string hpbase;                   // digits, or empty: not served
    std::vector<std::string> syncServers;  // host names or addresses; empty: not served
    std::string notice;                   // UTF-8 text of one line, or empty: not served
};

struct LoadedAnswers {
    std::optional<Answers> answers;
    std::string error;  // what is wrong with the file, when `answers` is empty
};

// Section [answers] of the settings file: dwbase, hpbase, serverip (comma-separated), notice.
// A missing file, or a value of the wrong shape, is an error naming the key.
LoadedAnswers LoadAnswers(const std::string& settingsPath);

// The error text for a value of `key`, or empty when it has the shape the console stores.
std::string CheckNumber(std::string_view key, std::string_view value);
std::string CheckServerList(std::string_view value, std::vector<std::string>& servers);
std::string CheckNotice(std::string_view value);

struct Reply {
    int status = 200;
    std::string body;
};

// The answer to the query part of "/?<query>": exactly one of "dwbase", "hpbase", "serverip".
Reply AnswerQuery(const Answers& answers, std::string_view query);

// The answer to "/notice".
Reply AnswerNotice(const Answers& answers);

// An error reply the console reads as a failed request: "Error:<text>\n".
Reply ErrorReply(int status, std::string_view text);

}  // namespace kestrava::config_server
