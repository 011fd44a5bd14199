// The settings files the console reads besides conf.ini and userconf.ini (config/settings.h),
// relative to the installation folder (the working directory), with their sections.
#pragma once

namespace kestrava::console {

inline constexpr char kStrategyIni[] = ".//bin//strategy.ini";
inline constexpr char kStrategySection[] = "RevEvudar";
inline constexpr char kGeometryIni[] = ".//bin//coordinatebaseline.ini";
inline constexpr char kGeometrySection[] = "Position";

}  // namespace kestrava::console
