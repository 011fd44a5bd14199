// The fonts the dialogs name, with the fallbacks a Linux desktop has for their Chinese glyphs.
#pragma once

#include <QFont>

namespace kestrava::gui {

// "宋体" at `points`, falling back to WenQuanYi Micro Hei where SimSun is not installed.
QFont SongtiFont(double points);
// The dialog font "MS Shell Dlg" 8 with the same fallback.
QFont ShellDlgFont();

}  // namespace kestrava::gui
