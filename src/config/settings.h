// Every key of the two settings files, named once with its file, type, default and buffer size.
// Callers read a key at the moment they need it (nothing is cached), e.g.
//     const int base = config::Read(config::user::dwbase);
//     config::Write(config::conf::auto_update, 0);
// Paths are relative to the working directory, which is the installation folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/profile.h"

namespace kestrava::config {

inline constexpr std::string_view kSection = "Configure";
inline constexpr std::string_view kConfFile = ".//bin//conf.ini";
inline constexpr std::string_view kUserConfFile = ".//bin//userconf.ini";

struct IntKey {
    std::string_view file;
    std::string_view key;
    int def;
};

// `bufferSize` counts the terminating byte of the original buffers: a key documented as "up to
// 99 characters" has a buffer of 100.
struct StringKey {
    std::string_view file;
    std::string_view key;
    std::string_view def;
    std::size_t bufferSize;
};

// The installation's settings, changed by hand or by the maintainers.
namespace conf {
inline constexpr IntKey auto_update{kConfFile, "auto_update", 0};
inline constexpr IntKey starttimehour{kConfFile, "starttimehour", 10};
inline constexpr IntKey endtimehour{kConfFile, "endtimehour", 11};
inline constexpr StringKey OCRfont{kConfFile, "OCRfont", "", 100};
inline constexpr IntKey swbidmode{kConfFile, "swbidmode", 0};
inline constexpr IntKey launchp{kConfFile, "launchp", 0};
inline constexpr IntKey wifidivmode{kConfFile, "wifidivmode", 0};
inline constexpr IntKey systime_screentime{kConfFile, "systime_screentime", 0};
}  // namespace conf

// What the program learns or the bidder chooses. Written with owner-only access, because the
// file holds the page password and the identity-card number.
namespace user {
inline constexpr StringKey bidnumber{kUserConfFile, "bidnumber", "", 10};
inline constexpr IntKey firstuse{kUserConfFile, "firstuse", 0};
inline constexpr IntKey SelPolicy{kUserConfFile, "SelPolicy", 0};
inline constexpr IntKey moniornot{kUserConfFile, "moniornot", 0};
// Read through ReadTelecom(): its two-step read tells "never looked up" apart.
inline constexpr IntKey telecom{kUserConfFile, "telecom", 2};
inline constexpr IntKey dwbase{kUserConfFile, "dwbase", 90800};
inline constexpr IntKey hpbase{kUserConfFile, "hpbase", 92900};
inline constexpr StringKey synchostip{kUserConfFile, "synchostip", "", 100};
inline constexpr IntKey divmode{kUserConfFile, "divmode", 0};
inline constexpr IntKey zhangfu300{kUserConfFile, "zhangfu300", 5000};
inline constexpr IntKey zhangfu200{kUserConfFile, "zhangfu200", 3900};
inline constexpr IntKey zhangfu100{kUserConfFile, "zhangfu100", 2800};
inline constexpr IntKey zhangfu000{kUserConfFile, "zhangfu000", 2000};
inline constexpr IntKey scanInterval{kUserConfFile, "scanInterval", 100};
inline constexpr IntKey jamInterval{kUserConfFile, "jamInterval", 10};
inline constexpr IntKey firstbid{kUserConfFile, "firstbid", 0};
inline constexpr IntKey debg{kUserConfFile, "debg", 0};
inline constexpr StringKey bidpassword{kUserConfFile, "bidpassword", "", 10};
inline constexpr StringKey idcard{kUserConfFile, "idcard", "", 20};
}  // namespace user

// The value of `debg` that switches the debug console and the debug extras on.
inline constexpr int kDebugModeValue = 99;

int Read(const IntKey& key);
std::string Read(const StringKey& key);
// Writes to userconf.ini leave it readable by its owner only.
bool Write(const IntKey& key, int value);
bool Write(const StringKey& key, std::string_view value);
// Stores text under an integer key as it came (e.g. a price as the configuration host sent
// it); readers take its leading digits.
bool WriteText(const IntKey& key, std::string_view text);

// Network line class: 2 when never looked up (no writer stores 2), otherwise the stored value
// read again with the default 1.
int ReadTelecom();

// Makes an existing userconf.ini readable by its owner only (a file carried over from an older
// installation may be world-readable). True when the file is missing or now 0600.
bool ProtectUserConf();

}  // namespace kestrava::config
