// The hint balloons through which the engine talks to the bidder. Where a balloon appears is
// calibrated per page (tooltip offsets from the page view's corner); the views draw it.
#include <iterator>

#include "engine/engine.h"

namespace kestrava::engine {

namespace {

enum class Place { Tooltip1, Tooltip2, Tooltip4, AnalysisBox };

struct HintRow {
    int n;
    int balloon;
    Place place;
    std::string_view text;
};

constexpr HintRow kHints[] = {
    {1, 1, Place::Tooltip1, "<h1>依据设置开始强制提交,软件点击确定</h1>"},
    {2, 2, Place::Tooltip2,
     "<table align=center valign=middle><tr><td><ilst idres=1201 cx=32 cy=32 mask speed=1></td><td><td>"
     "<h1>“回车”指令已生效，请等待，现在不要用鼠标点“确定”，软件会稍后提交</h1></td></tr></table>"},
    {3, 3, Place::Tooltip2, "<h1>请在右侧价格框内输入2次相同的金额，然后点击“出价”按钮</h1>"},
    {4, 4, Place::Tooltip4, "<h1>补救功能开启，重新申请价格</h1>"},
    {6, 5, Place::Tooltip2, "信息提示（出价有效）"},
    {7, 5, Place::AnalysisBox,
     "软件会自动在倒数35秒， 倒数8秒 自动分析申请价格。\n申请金额依据历史价格走势分析，不能保证一定准确。"},
    {8, 5, Place::AnalysisBox, "由于拍牌人数减少，如果勾选强制提交的话，建议设置为59秒，至少不早于58秒"},
    {9, 3, Place::Tooltip2, "<h1>F3测试未执行：已有申请价格等待提交</h1>"},
    {10, 3, Place::Tooltip2, "<h1>F3测试未执行：离自动申请价格不足5秒</h1>"},
};

}  // namespace

void Engine::ShowHint(console::CKestravaDlg& c, int n) {
    const HintRow* row = nullptr;
    for (const HintRow& r : kHints)
        if (r.n == n) row = &r;
    if (!row) return;
    const platform::WindowId view = c.shell.FindPageWindows().view;
    if (!view) return;
    const std::optional<platform::Rect> viewRect = c.platform.desktop.WindowRect(view);
    if (!viewRect) return;

    Hint hint;
    hint.n = n;
    hint.balloon = row->balloon;
    hint.text = std::string(row->text);
    const std::shared_ptr<const perception::PageGeometry> g =
        options_.geometry ? options_.geometry->Get() : std::make_shared<const perception::PageGeometry>();
    switch (row->place) {
        case Place::Tooltip1: hint.x = g->tooltip1_x, hint.y = g->tooltip1_y; break;
        case Place::Tooltip2: hint.x = g->tooltip2_x, hint.y = g->tooltip2_y; break;
        case Place::Tooltip4: hint.x = g->tooltip4_x, hint.y = g->tooltip4_y; break;
        case Place::AnalysisBox: break;
    }
    if (row->place == Place::AnalysisBox) {
        // The console's box 1165: its position on the screen is known to the view alone.
        hint.anchorControl = box::Analysis;
    } else {
        hint.x = perception::SaturatingSum({viewRect->left, hint.x});
        hint.y = perception::SaturatingSum({viewRect->top, hint.y});
    }
    records.lastHint.Set(hint);
    if (options_.showBalloon) options_.showBalloon(hint);
}

}  // namespace kestrava::engine
