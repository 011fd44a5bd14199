#include "perception/calibration.h"

#include <cstdio>

#include "config/profile.h"
#include "log/log_book.h"
#include "perception/capture.h"
#include "perception/image_files.h"
#include "perception/template_search.h"
#include "shell/page_commands.h"

namespace kestrava::perception {

namespace {

struct TemplateRow {
    float scale;
    const char* name;
};
constexpr TemplateRow kGreenTemplates[] = {
    {1.25f, "wifi_green2.bmp"}, {1.5f, "wifi_green3.bmp"},  {2.0f, "wifi_green4.bmp"},
    {1.75f, "wifi_green5.bmp"}, {2.25f, "wifi_green6.bmp"}, {2.5f, "wifi_green7.bmp"},
};

std::optional<Point> Search(const Bgr24Image& page, const std::string& templatePath) {
    const std::optional<Bgr24Image> templ = LoadReferenceImage(templatePath);
    if (!templ) return std::nullopt;
    return FindTemplate(page.View(), templ->View());
}

}  // namespace

std::string GreenTemplateName(float scale) {
    for (const TemplateRow& row : kGreenTemplates)
        if (row.scale == scale) return row.name;
    return "wifi_green.bmp";
}

CalibrationResult CalibrateGeometry(const std::optional<platform::Image>& pageCapture, float scale,
                                    const CalibrationFiles& files) {
    CalibrationResult result;
    result.geometry = ScalePageGeometry(ReadPageGeometry(files.geometry), scale);
    result.systime_screentime = config::ReadProfileInt("Configure", "systime_screentime", 0, files.conf);
    result.swbidmode = config::ReadProfileInt("Configure", "swbidmode", 0, files.conf);
    result.wifidivmode = config::ReadProfileInt("Configure", "wifidivmode", 0, files.conf);

    if (pageCapture && !pageCapture->Empty()) {
        const Bgr24Image page = LockAs24(*pageCapture);
        result.iconAt = Search(page, files.pictureDir + GreenTemplateName(scale));
        if (!result.iconAt) result.iconAt = Search(page, files.pictureDir + kRedTemplateName);
    }

    if (result.iconAt) {
        result.geometry.lvwf_x = result.iconAt->x;
        result.geometry.lvwf_y = result.iconAt->y;
        log::DebugPrintf("wifi  %d,%d\n", result.geometry.lvwf_x, result.geometry.lvwf_y);
        log::DebugPrintf("flg_wifidivmode  %d  \n", result.wifidivmode);
        if (result.wifidivmode == 0) {
            result.divmode = kCoordinateMode;
            result.modeLabel = "OK A";
        } else if (result.wifidivmode == 1) {
            result.divmode = kElementMode;
            result.modeLabel = "OK B";
        }
    } else {
        log::DebugPrintf("读格子模式\n");
        result.divmode = kElementMode;
        result.modeLabel = "OK B";
    }
    return result;
}

CalibrationResult SmartCalibrate(CalibrationHost& host, float scale, const CalibrationFiles& files) {
    const platform::WindowId page = FindPageWindow(host.desktop);
    const bool onTop = RaisePage(host.desktop, page);
    if (host.logLine) host.logLine("鼠标点击_智能校正");
    // A covered page would be calibrated on the pixels of whatever covers it: no capture then,
    // as without a page.
    if (page != 0 && !onTop && host.logLine) host.logLine(kPageCoveredText);

    const platform::Rect client =
        onTop ? host.desktop.ClientRect(page).value_or(platform::Rect{}) : platform::Rect{};
    const std::optional<platform::Image> capture = CapturePage(host.desktop, host.screen, client);
    CalibrationResult result = CalibrateGeometry(capture, scale, files);
    if (host.adjust) host.adjust(result.geometry);
    host.geometry.Publish(result.geometry);

    if (page != 0) host.desktop.PostMessage(page, platform::Message{shell::cmd::CalibrationDone, 0, 0});
    if (host.logLine) {
        char line[64];
        std::snprintf(line, sizeof line, "xishu %f", static_cast<double>(scale));
        host.logLine(line);
    }
    return result;
}

}  // namespace kestrava::perception
