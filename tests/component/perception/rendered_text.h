// Text rendered in a real font by ImageMagick's convert, read back as a picture: the digits the
// text-recognition tests and benchmarks read.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "perception/image_files.h"
#include "platform/platform.h"

namespace kestrava::perception::testing {

struct TextStyle {
    std::string font = "DejaVu-Sans";
    int pointSize = 22;
    int width = 200;
    int height = 60;
    std::string ink = "black";
    std::string paper = "white";
    std::string gravity = "center";  // where the text sits in the picture (ImageMagick's names)
};

// The practice page's lowest-price figure at display scale 1.0: DejaVu Sans Mono Bold, 20 pixels,
// red on white, at the left of its 72 x 30 box.
inline TextStyle PracticePriceStyle() {
    TextStyle style;
    style.font = "DejaVu-Sans-Mono-Bold";
    style.pointSize = 20;
    style.width = 72;
    style.height = 30;
    style.ink = "#c00000";
    style.gravity = "West";
    return style;
}

// None when convert is missing or fails. `text` must be plain digits or letters.
inline std::optional<platform::Image> RenderText(const std::string& text, const TextStyle& s) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("kestrava_text_" + std::to_string(::getpid()) + "_" + text + "_" + std::to_string(s.pointSize) + ".png");
    const std::string cmd = "convert -size " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                            " 'xc:" + s.paper + "' -font '" + s.font + "' -pointsize " + std::to_string(s.pointSize) +
                            " -fill '" + s.ink + "' -gravity " + s.gravity + " -annotate +0+0 '" + text + "' '" + file.string() +
                            "'";
    if (std::system(cmd.c_str()) != 0) return std::nullopt;
    std::optional<platform::Image> picture = LoadBitmapFile(file.string());
    std::filesystem::remove(file);
    return picture;
}

}  // namespace kestrava::perception::testing
