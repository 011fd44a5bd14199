// Window messages the network services post to the console, and the titles they look for.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrava::net {

// wParam: price, lParam: ten-digit page time code of a server "1_" report.
inline constexpr std::uint32_t kMsgServerPriceReport = 0x46f;
// wParam: N of a server "6_N" jam signal.
inline constexpr std::uint32_t kMsgJamSignal = 0x49c;
// A newer version is on the server; the updater is to run with "-p" and this program ends.
inline constexpr std::uint32_t kMsgUpdateAndRestart = 0x464;
// A newer version is on the server; the updater is to run with "-pmute" beside this program.
inline constexpr std::uint32_t kMsgUpdateQuietly = 0x493;

inline constexpr std::string_view kConsoleTitle = "Vonter沪牌抢拍助手";
inline constexpr std::string_view kUpdaterTitle = "自动更新";
inline constexpr std::string_view kPageWindowTitle = "客车额度拍卖InternetExplorer";

}  // namespace kestrava::net
