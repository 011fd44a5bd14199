// The application object: what the process keeps from the login to the end of the console run.
#pragma once

#include <string>

namespace kestrava::app {

// The product's name: the single-instance lock, the console's title and the message captions.
inline constexpr char kProductName[] = "Vonter沪牌抢拍助手";

class CKestravaApp {
public:
    // The bid number as typed; set by the login routine and copied by the console at its start.
    std::string bidNumber;
    // `version` of section "Position" of the geometry file.
    std::string productVersion = "8.2";
    // Seconds field of the local time when the login dialog initialised (-1: not known).
    int loginSecond = -1;
    // 1: telecom line or not recognised; 0: one of the two other carriers.
    int ispClass = 1;
};

// `version` of section "Position" in ".//bin//coordinatebaseline.ini" (at most 9 characters).
std::string ReadProductVersion();

}  // namespace kestrava::app
