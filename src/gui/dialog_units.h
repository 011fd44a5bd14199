// Dialog templates are laid out in dialog units of their font; the views place their widgets from
// the same numbers, converted with the base units of the templates' 8- and 9-point fonts.
#pragma once

#include <QRect>
#include <QSize>

namespace kestrava::gui {

// A dialog unit is a quarter of the average character width and an eighth of its height.
struct DialogUnits {
    double xPerUnit;
    double yPerUnit;

    int X(int du) const { return static_cast<int>(du * xPerUnit + 0.5); }
    int Y(int du) const { return static_cast<int>(du * yPerUnit + 0.5); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }
};

// "MS Shell Dlg" 8 at 96 dpi: 6 x 13 pixel base units.
inline constexpr DialogUnits kShellDlg8{1.5, 1.625};
// "宋体" 9 at 96 dpi: 6 x 12 pixel base units.
inline constexpr DialogUnits kSongti9{1.5, 1.5};

}  // namespace kestrava::gui
