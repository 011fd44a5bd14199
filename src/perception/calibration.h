// The part of smart calibration that stands on its own: reload and scale the geometry, look for
// the page's network-status icon in a capture of the page view, and decide the anchor and the
// action mode. The caller brings the page to the front, captures it, publishes the result, posts
// the page command and writes the log lines.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "perception/page_geometry.h"
#include "platform/platform.h"

namespace kestrava::perception {

inline constexpr char kConfFile[] = ".//bin//conf.ini";
inline constexpr char kPictureDir[] = ".//ScreenShot//";

// The green icon's picture for a display scale ("wifi_green.bmp" for 1.0 and any unknown scale).
std::string GreenTemplateName(float scale);
inline constexpr char kRedTemplateName[] = "wifi_red.bmp";

struct CalibrationFiles {
    std::string geometry = kGeometryFile;
    std::string conf = kConfFile;
    std::string pictureDir = kPictureDir;  // ends with the separator
};

// Logged when the page stays covered after being raised, so nothing of it could be captured.
inline constexpr char kPageCoveredText[] = "国拍页面被其他窗口遮挡，未能截取页面";
// The scan's lines when another window comes over the page view and when it has gone.
inline constexpr char kScanCoveredText[] = "page covered by another window: the screen price is not read until it is uncovered";
inline constexpr char kScanUncoveredText[] = "page uncovered: the screen price is read again";

inline constexpr int kCoordinateMode = 0;  // "OK A": the console clicks calibrated points
inline constexpr int kElementMode = 1;     // "OK B": the page shell acts on page elements

struct CalibrationResult {
    // The file geometry scaled to the display; the anchor is the icon's position when found.
    PageGeometry geometry;
    std::optional<Point> iconAt;
    // The new action mode and its label; none leaves the console's as they are.
    std::optional<int> divmode;
    std::string modeLabel;
    // Re-read from the configuration file by every calibration.
    int systime_screentime = 0;
    int swbidmode = 0;
    int wifidivmode = 0;
};

// `pageCapture` is the page view as CapturePage returned it (none without a page). The geometry
// file is re-read every time, so calibrating twice gives the same result as calibrating once.
CalibrationResult CalibrateGeometry(const std::optional<platform::Image>& pageCapture, float scale,
                                    const CalibrationFiles& files = {});

// What smart calibration acts on besides the files.
struct CalibrationHost {
    platform::Desktop& desktop;
    platform::Screen& screen;
    GeometryStore& geometry;
    // Writes a business log line (the console stamps it with its clocks).
    std::function<void(std::string_view)> logLine;
    // The caller's own changes to the calibrated geometry, made before it is published (none: the
    // geometry as calibrated).
    std::function<void(PageGeometry&)> adjust;
};

// The whole of smart calibration except applying the action mode: brings the page window to the
// front, logs "鼠标点击_智能校正", captures the page view once it is on top (nothing, with
// kPageCoveredText in the log, when it stays covered), calibrates, publishes the geometry,
// tells the page shell it is done (0x4AA) and logs "xishu <scale>". The caller applies
// `divmode` and the mode label, and hands the shell link its slice of the geometry.
CalibrationResult SmartCalibrate(CalibrationHost& host, float scale, const CalibrationFiles& files = {});

}  // namespace kestrava::perception
