// Conversion between the program's UTF-8 and the GBK bytes that the day's log and older
// Windows tools use. Never fails: what the other side cannot hold becomes '?'.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::log {

// GBK (code page 936) bytes of `utf8`. A character GBK has no code for, and every byte that is
// not valid UTF-8, becomes '?'.
std::string Utf8ToGbk(std::string_view utf8);

// UTF-8 of the GBK bytes `gbk`. A byte sequence that is not GBK becomes '?'.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace kestrava::log
