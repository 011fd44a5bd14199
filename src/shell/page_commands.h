// The window contract with the page shell: its program, its windows, and the command messages
// the console posts to its top-level window. Numbers keep the values the shell understands.
#pragma once

#include <cstdint>

namespace kestrava::shell {

// The shell program, started from the working directory.
inline constexpr char kShellPath[] = "./Sorrelpane";

// The shell's top-level window and the two nested children that show the page.
inline constexpr char kPageWindowTitle[] = "客车额度拍卖InternetExplorer";
inline constexpr char kPageFrameClass[] = "Chrome_WidgetWin_0";
inline constexpr char kPageViewClass[] = "Chrome_WidgetWin_1";

// Command messages to the page window. Points travel as wParam = x, lParam = y in page-view
// coordinates; every other command carries zeros.
namespace cmd {
inline constexpr std::uint32_t OpenRealPage = 0x467;
inline constexpr std::uint32_t OpenSimulationPage = 0x468;
inline constexpr std::uint32_t CompatibilityTest = 0x469;
inline constexpr std::uint32_t ClickAt = 0x46a;
inline constexpr std::uint32_t ClickPlusBoxAt = 0x46c;
inline constexpr std::uint32_t PressBidElement = 0x4a1;
inline constexpr std::uint32_t CodeBoxPoint = 0x4a2;
inline constexpr std::uint32_t ConfirmCodeElement = 0x4a3;
inline constexpr std::uint32_t CancelCodeElement = 0x4a4;
inline constexpr std::uint32_t CloseInfoElement = 0x4a5;
inline constexpr std::uint32_t FocusPlusBoxElement = 0x4a6;
inline constexpr std::uint32_t PressAddElement = 0x4a7;
inline constexpr std::uint32_t StatusIconRecoverySecond = 0x4a8;
inline constexpr std::uint32_t StatusIconRecoveryFirst = 0x4a9;
inline constexpr std::uint32_t CalibrationDone = 0x4aa;
}  // namespace cmd

// The texts shown when the shell cannot be started.
inline constexpr char kShellMissingText[] =
    "请查看目录下是否缺少 Sorrelpane.exe 文件,如果没有则需要重新解压。文件可能被杀毒软件误删，请先关闭杀毒、安全软件！";
inline constexpr char kShellNotStartingText[] =
    "提示，软件文件夹下，有一个文件叫做 “”启动补丁“” ，请安装后再尝试启动软件";

}  // namespace kestrava::shell
