#include "gui/fonts.h"

#include <QStringList>

namespace kestrava::gui {
namespace {

QFont WithFallbacks(const QStringList& families, double points) {
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    return font;
}

}  // namespace

QFont SongtiFont(double points) {
    return WithFallbacks({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")},
                         points);
}

QFont ShellDlgFont() {
    return WithFallbacks({QStringLiteral("MS Shell Dlg 2"), QStringLiteral("WenQuanYi Micro Hei"),
                          QStringLiteral("DejaVu Sans")},
                         8);
}

}  // namespace kestrava::gui
