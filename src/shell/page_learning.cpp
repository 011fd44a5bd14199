#include "shell/page_learning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/files.h"

namespace kestrava::shell::learning {

namespace {

// ---- text

bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Letters only: no white space (ideographic space too), no trailing colon, so that "出 价",
// "出价" and a label wrapped over two lines compare alike.
std::string Normal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (text.substr(i, 3) == "\xE3\x80\x80") {  // U+3000
            i += 3;
        } else {
            out += text[i++];
        }
    }
    for (;;) {
        if (out.ends_with(":")) out.pop_back();
        else if (out.ends_with("\xEF\xBC\x9A")) out.resize(out.size() - 3);  // U+FF1A
        else break;
    }
    return out;
}

bool AnyOf(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return text == w; });
}
bool AnyIn(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return Has(text, w); });
}

bool AllDigits(const std::string& s, std::size_t lo, std::size_t hi) {
    return s.size() >= lo && s.size() <= hi && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool ClockText(const std::string& s) {
    static const std::regex clock("^[0-9]{1,2}:[0-9]{2}:[0-9]{2}$");
    return std::regex_match(s, clock);
}

// ---- places

double Overlap(double a0, double a1, double b0, double b1) { return std::max(0.0, std::min(a1, b1) - std::max(a0, b0)); }
bool Intersect(const Box& a, const Box& b) {
    return Overlap(a.x, a.Right(), b.x, b.Right()) > 0 && Overlap(a.y, a.Bottom(), b.y, b.Bottom()) > 0;
}

// The text that names an element: the nearest text on its row to its left, else the nearest
// text just above it, in the same dialog (a label wrapped over two lines is one text item).
std::string LabelOf(const PageItem& item, const std::vector<PageItem>& items) {
    const PageItem* left = nullptr;
    const PageItem* above = nullptr;
    for (const PageItem& t : items) {
        if (t.kind != ItemKind::Text || &t == &item || t.scope != item.scope || t.shown != item.shown) continue;
        const double rowShare = Overlap(t.box.y, t.box.Bottom(), item.box.y, item.box.Bottom()) /
                                std::max(1.0, std::min(t.box.h, item.box.h));
        const double gapLeft = item.box.x - t.box.Right();
        if (rowShare >= 0.5 && gapLeft >= -2 && gapLeft <= 300) {
            if (!left || t.box.Right() > left->box.Right()) left = &t;
            continue;
        }
        const double gapAbove = item.box.y - t.box.Bottom();
        if (gapAbove >= -2 && gapAbove <= 48 && t.box.x < item.box.Right() && t.box.Right() > item.box.x - 150) {
            if (!above || t.box.Bottom() > above->box.Bottom()) above = &t;
        }
    }
    if (left) return Normal(left->text);
    if (above) return Normal(above->text);
    return {};
}

bool CodeScope(const std::string& scope) { return AnyIn(Normal(scope), {"校验码", "验证码"}); }
bool InfoScope(const std::string& scope) { return !CodeScope(scope) && AnyIn(Normal(scope), {"提示", "信息"}); }

// How well `item` fits `t`: 0 not at all; higher is better.
int Score(Target t, const PageItem& item, const std::vector<PageItem>& items) {
    const std::string text = Normal(item.text);
    const bool main = item.scope.empty();
    switch (t) {
    case Target::Anchor: {
        if (item.kind != ItemKind::Image || !item.shown || !main) return 0;
        if (item.box.w < 12 || item.box.w > 64 || std::abs(item.box.w - item.box.h) > 2) return 0;
        // The network icon stands beside the page's network state.
        for (const PageItem& n : items) {
            if (n.kind != ItemKind::Text || !n.shown || !Has(n.text, "网络")) continue;
            if (Overlap(n.box.y, n.box.Bottom(), item.box.y - 8, item.box.Bottom() + 8) > 0 &&
                std::abs(n.box.CentreX() - item.box.CentreX()) < 300)
                return 10;
        }
        return 0;
    }
    case Target::Lowest: {
        if (item.kind != ItemKind::Text || !main || !AllDigits(text, 4, 6)) return 0;
        const std::string label = LabelOf(item, items);
        if (Has(label, "最低") && Has(label, "价") && !Has(label, "时间")) return 10;
        return 0;
    }
    case Target::Clock: {
        if (item.kind != ItemKind::Text || !main || !ClockText(text)) return 0;
        const std::string label = LabelOf(item, items);
        if (Has(label, "出价时间") || Has(label, "起止")) return 0;
        if (AnyIn(label, {"目前时间", "当前时间", "系统时间"})) return 10;
        return Has(label, "时间") ? 5 : 0;
    }
    case Target::PlusBox:
        if (item.kind != ItemKind::Input || !main) return 0;
        return Has(LabelOf(item, items), "加价") ? 10 : 0;
    case Target::BidPrice: {
        if (item.kind != ItemKind::Input || !main) return 0;
        const std::string label = LabelOf(item, items);
        return !Has(label, "加价") && AnyIn(label, {"出价", "价格"}) ? 10 : 0;
    }
    case Target::AddButton:
        if (item.kind != ItemKind::Button || !main) return 0;
        if (text == "加价") return 10;
        return Has(text, "加价") && text.size() <= 4 * 3 ? 6 : 0;
    case Target::BidButton:
        if (item.kind != ItemKind::Button || !main) return 0;
        if (text == "出价") return 10;
        return Has(text, "出价") && !Has(text, "修改") && text.size() <= 4 * 3 ? 6 : 0;
    case Target::CodeBox:
        return item.kind == ItemKind::Input && CodeScope(item.scope) ? 10 : 0;
    case Target::Confirm:
        return item.kind == ItemKind::Button && CodeScope(item.scope) && AnyOf(text, {"确定", "确认", "提交"}) ? 10 : 0;
    case Target::Cancel:
        return item.kind == ItemKind::Button && CodeScope(item.scope) && AnyOf(text, {"取消", "返回"}) ? 10 : 0;
    case Target::InfoClose:
        return item.kind == ItemKind::Button && InfoScope(item.scope) && AnyOf(text, {"确定", "关闭", "知道了", "确认"})
                   ? 10
                   : 0;
    }
    return 0;
}

constexpr TargetInfo kInfo[kTargetCount] = {
    {"network icon", "网络图标", "statusicon", nullptr},
    {"lowest-price figure", "最低成交价", "", nullptr},
    {"page clock", "系统时间", "",
     "no page clock: the clock region is left empty and the console cannot check the page clock on the screen"},
    {"plus-amount box", "加价幅度框", "plusbox", nullptr},
    {"add button", "加价按钮", "addbutton", nullptr},
    {"bid-price box", "出价框", "bidprice", "no bid-price box: the first bid at the warning price is not made"},
    {"bid button", "出价按钮", "bidbutton", nullptr},
    {"verification-code input", "校验码框", "codebox", nullptr},
    {"confirm button", "确定按钮", "confirm", nullptr},
    {"cancel button", "取消按钮", "cancel", "no cancel button: the clearing before a bid is skipped"},
    {"information dialog's close button", "信息提示关闭", "infoclose",
     "no close button for the information dialog: the console leaves that dialog open"},
};

std::string Describe(const PageItem& item) {
    std::string text = item.text.size() > 30 ? item.text.substr(0, 30) + "…" : item.text;
    char place[96];
    std::snprintf(place, sizeof place, " at %.0f,%.0f %.0fx%.0f", item.box.x, item.box.y, item.box.w, item.box.h);
    return item.selector + (text.empty() ? "" : " \"" + text + "\"") + place;
}

int Round(double v) { return static_cast<int>(std::floor(v + 0.5)); }

}  // namespace

// ---- snapshot

std::optional<PageSnapshot> ParseSnapshot(std::string_view text, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<PageSnapshot> {
        if (error) *error = why;
        return std::nullopt;
    };
    PageSnapshot snap;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNo;
        if (line.empty()) continue;
        std::vector<std::string> f;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            f.emplace_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        const std::string where = "snapshot line " + std::to_string(lineNo);
        if (lineNo == 1) {
            if (f.size() != 2 || f[0] != "state" || !AnyOf(f[1], {"ready", "loading", "login"}))
                return fail(where + ": not a page state");
            snap.state = f[1];
            continue;
        }
        if (f.size() != 11 || f[0] != "item") return fail(where + ": not an item of 11 fields");
        PageItem item;
        item.selector = f[1];
        static const std::pair<const char*, ItemKind> kinds[] = {{"text", ItemKind::Text},
                                                                 {"button", ItemKind::Button},
                                                                 {"input", ItemKind::Input},
                                                                 {"image", ItemKind::Image},
                                                                 {"dialog", ItemKind::Dialog}};
        const auto kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return f[2] == k.first; });
        if (kind == std::end(kinds)) return fail(where + ": unknown kind " + f[2]);
        item.kind = kind->second;
        double* numbers[] = {&item.box.x, &item.box.y, &item.box.w, &item.box.h};
        for (int i = 0; i < 4; ++i) {
            char* rest = nullptr;
            const std::string& v = f[3 + i];
            *numbers[i] = std::strtod(v.c_str(), &rest);
            if (v.empty() || *rest != '\0' || !std::isfinite(*numbers[i]) || std::abs(*numbers[i]) > 1e6)
                return fail(where + ": not a number: " + v);
        }
        if (item.selector.empty()) return fail(where + ": no selector");
        item.shown = Has(f[7], "s");
        item.inFrame = Has(f[7], "f");
        item.align = f[8];
        item.scope = f[9];
        item.text = f[10];
        snap.items.push_back(std::move(item));
    }
    if (snap.state.empty()) return fail("empty snapshot");
    return snap;
}

// ---- finding

const TargetInfo& Info(Target t) { return kInfo[static_cast<std::size_t>(t)]; }

const char* StatusName(Status s) {
    switch (s) {
    case Status::Found: return "found";
    case Status::Corrected: return "corrected";
    case Status::Skipped: return "skipped";
    case Status::Missing: return "missing";
    case Status::Ambiguous: return "two candidates";
    case Status::InFrame: return "inside a frame";
    }
    return "";
}

std::string Finding::Message() const {
    const TargetInfo& info = Info(target);
    switch (status) {
    case Status::Found:
    case Status::Corrected:
        return std::string(info.name) + ": " + StatusName(status) + " " + Describe(*item);
    case Status::Skipped:
        return std::string(info.name) + ": skipped (" + info.withoutIt + ")";
    case Status::Missing:
        return std::string(info.name) + ": not found on the page" +
               (info.withoutIt ? std::string(" (") + info.withoutIt + ")" : std::string(": the program needs it"));
    case Status::Ambiguous: {
        std::string m = std::string(info.name) + ": two candidates, click the right one:";
        for (const PageItem& r : rivals) m += " " + Describe(r) + ";";
        m.pop_back();
        return m;
    }
    case Status::InFrame:
        return std::string(info.name) + ": inside a frame (" + (rivals.empty() ? "" : rivals.front().selector) +
               "), where the shell cannot act on it";
    }
    return {};
}

bool Learning::Complete() const { return Problems().empty(); }

std::vector<std::string> Learning::Problems() const {
    std::vector<std::string> out;
    if (!pageProblem.empty()) out.push_back(pageProblem);
    for (const Finding& f : findings) {
        if (f.Usable() || f.status == Status::Skipped) continue;
        // A missing element the program can do without is skipped, not a problem.
        if (f.status == Status::Missing && Info(f.target).withoutIt) continue;
        out.push_back(f.Message());
    }
    return out;
}

std::vector<std::string> Learning::Summary() const {
    std::vector<std::string> out;
    int found = 0, corrected = 0, missing = 0;
    for (const Finding& f : findings) {
        out.push_back(f.Message());
        found += f.status == Status::Found;
        corrected += f.status == Status::Corrected;
        missing += !f.Usable();
    }
    out.push_back(std::to_string(found) + " found, " + std::to_string(corrected) + " corrected, " +
                  std::to_string(missing) + " missing");
    return out;
}

Learning FindElements(const PageSnapshot& snapshot) {
    Learning l;
    l.items = snapshot.items;
    if (snapshot.state == "loading") l.pageProblem = "the page is still loading: learn it once it has loaded";
    if (snapshot.state == "login")
        l.pageProblem = "the page shows a login form: log in first, then learn the bidding page";
    for (Target t : kTargets) {
        Finding& f = l[t];
        f.target = t;
        int best = 0;
        std::vector<const PageItem*> top;
        for (const PageItem& item : l.items) {
            const int s = Score(t, item, l.items);
            if (s <= 0 || s < best) continue;
            if (s > best) top.clear();
            best = s;
            top.push_back(&item);
        }
        if (top.empty()) {
            f.status = Status::Missing;
        } else if (top.size() > 1) {
            f.status = Status::Ambiguous;
            for (const PageItem* p : top) f.rivals.push_back(*p);
        } else if (top.front()->inFrame) {
            f.status = Status::InFrame;
            f.rivals.push_back(*top.front());
        } else {
            f.status = Status::Found;
            f.item = *top.front();
        }
    }
    return l;
}

std::optional<std::string> Correct(Learning& learning, Target t, const PageItem& item) {
    if (item.inFrame)
        return std::string(Info(t).name) + ": " + item.selector + " is inside a frame, where the shell cannot act on it";
    Finding& f = learning[t];
    f.status = Status::Corrected;
    f.item = item;
    f.rivals.clear();
    return std::nullopt;
}

std::optional<std::string> Skip(Learning& learning, Target t) {
    if (!Info(t).withoutIt) return std::string(Info(t).name) + ": the program cannot do without it";
    Finding& f = learning[t];
    f.status = Status::Skipped;
    f.item.reset();
    f.rivals.clear();
    return std::nullopt;
}

std::optional<PageItem> ItemAt(const std::vector<PageItem>& items, double x, double y) {
    const PageItem* best = nullptr;
    for (const PageItem& item : items) {
        if (!item.shown || item.kind == ItemKind::Dialog || !item.box.Contains(x, y)) continue;
        if (!best || item.box.w * item.box.h < best->box.w * best->box.h) best = &item;
    }
    if (!best) return std::nullopt;
    return *best;
}

// ---- geometry

std::vector<std::pair<std::string, std::string>> GeometryKeyValues(const GeometryBoxes& g) {
    struct IBox {
        int x, y, w, h;
        int cx() const { return x + w / 2; }
        int cy() const { return y + h / 2; }
    };
    const int ax = Round(g.anchor.x);
    const int ay = Round(g.anchor.y);
    auto rel = [&](const Box& b) { return IBox{Round(b.x - g.anchor.x), Round(b.y - g.anchor.y), Round(b.w), Round(b.h)}; };
    std::vector<std::pair<std::string, std::string>> out;
    auto num = [&](const std::string& key, int v) { out.emplace_back(key, std::to_string(v)); };
    auto point = [&](const std::string& kx, const std::string& ky, int x, int y) {
        num(kx, x);
        num(ky, y);
    };
    auto rect = [&](const char* l, const char* t, const char* w, const char* h, const IBox& b) {
        num(l, b.x);
        num(t, b.y);
        num(w, b.w);
        num(h, b.h);
    };
    const IBox lowest = rel(g.lowest), codeOk = rel(g.confirm), cancel = rel(g.cancel), add = rel(g.addButton),
               bid = rel(g.bidButton);
    point("lvwf_x", "lvwf_y", ax, ay);
    rect("C_P2_LEFTPRICE_X", "C_P2_LEFTPRICE_Y", "C_P2_LEFTPRICE_W", "C_P2_LEFTPRICE_H", lowest);
    const IBox code = rel(g.codeInput), plus = rel(g.plusBox), bidPrice = rel(g.bidPrice), info = rel(g.infoClose);
    point("C_P2_IMGCODE_IN_X", "C_P2_IMGCODE_IN_Y", code.cx(), code.cy());
    point("plusinput_picPot_x", "plusinput_picPot_y", plus.cx(), plus.cy());
    point("plusbutton_picPot_x", "plusbutton_picPot_y", add.cx(), add.cy());
    point("bidbutton_picPot_x", "bidbutton_picPot_y", bid.cx(), bid.cy());
    point("bidinput_picPot_x", "bidinput_picPot_y", bidPrice.cx(), bidPrice.cy());
    // 27 points on the confirm button, middle row first: nine columns by three rows.
    int n = 1;
    for (int row : {1, 0, 2}) {
        for (int col = 0; col < 9; ++col, ++n) {
            point("vk_ret_code_enterx_" + std::to_string(n), "vk_ret_code_entery_" + std::to_string(n),
                  codeOk.x + codeOk.w * (col + 1) / 10, codeOk.y + codeOk.h * (row + 1) / 4);
        }
    }
    point("vk_ret_info_enterx", "vk_ret_info_entery", info.cx(), info.cy());
    point("vk_esc_x", "vk_esc_y", cancel.cx(), cancel.cy());
    point("vk_esc_x2", "vk_esc_y2", cancel.x + cancel.w / 4, cancel.cy());
    point("vk_esc_x3", "vk_esc_y3", cancel.x + cancel.w * 3 / 4, cancel.cy());
    // The dialog area holds both dialogs, with a margin.
    const IBox cd = rel(g.codeDialog), id = rel(g.infoDialog);
    const int dl = std::min(cd.x, id.x) - 8, dt = std::min(cd.y, id.y) - 8;
    const int dr = std::max(cd.x + cd.w, id.x + id.w) + 8, db = std::max(cd.y + cd.h, id.y + id.h) + 8;
    rect("youdoufugan_left", "youdoufugan_top", "youdoufugan_width", "youdoufugan_height", IBox{dl, dt, dr - dl, db - dt});
    // The console's hint balloons must not cover the figures it reads from the screen.
    const std::vector<Box> read{g.lowest, g.clock};
    auto balloon = [&](const char* kx, const char* ky, const Box& beside) {
        const BalloonPlace p = PlaceBalloon(beside, read);
        point(kx, ky, p.x, p.y);
    };
    balloon("tooltip1_x", "tooltip1_y", Box{double(ax + lowest.x), double(ay + lowest.y), double(lowest.w), double(lowest.h)});
    balloon("tooltip2_x", "tooltip2_y", Box{double(ax + bid.x), double(ay + bid.y), double(bid.w), double(bid.h)});
    balloon("tooltip4_x", "tooltip4_y", Box{double(ax + add.x), double(ay + add.y), double(add.w), double(add.h)});
    rect("lastone_picPot_x", "lastone_picPot_y", "lastone_picPot_w", "lastone_picPot_h", rel(g.lowestTime));
    rect("bidcount_left", "bitcount_top", "bidcount_width", "bitcount_height", rel(g.bidCount));
    rect("ocr_systime_left", "ocr_systime_top", "ocr_systime_width", "ocr_systime_height", rel(g.clock));
    rect("zise_left", "zise_top", "zise_width", "zise_height", lowest);
    const IBox left = rel(g.leftPanel);
    rect("zuodoufugan_left", "zuodoufugan_top", "zuodoufugan_width", "zuodoufugan_height",
         IBox{left.x, left.y + left.h / 2, left.w, left.h / 2});
    out.emplace_back("cr_que", "0");
    rect("quearea_left", "quearea_top", "quearea_width", "quearea_height", codeOk);
    out.emplace_back("cr_chu", "0");
    rect("chuarea_left", "chuarea_top", "chuarea_width", "chuarea_height", bid);
    out.emplace_back("version", "8.2");
    return out;
}

BalloonPlace PlaceBalloon(const Box& beside, const std::vector<Box>& keepClear) {
    // The balloon's body starts 18 px left of its point and hangs below it.
    auto footprint = [](int x, int y) { return Box{x - 18.0, double(y), kBalloonWidth, kBalloonHeight}; };
    const int right = static_cast<int>(std::lround(beside.Right())) + 24;
    const int left = static_cast<int>(std::lround(beside.x));
    const int top = static_cast<int>(std::lround(beside.y));
    const int bottom = static_cast<int>(std::lround(beside.Bottom()));
    const BalloonPlace tries[] = {
        {right, top},                                                       // to its right
        {left, bottom + 8},                                                 // below it
        {left - 24 - static_cast<int>(kBalloonWidth) + 18, top},            // to its left
        {left, top - 8 - static_cast<int>(kBalloonHeight)},                 // above it
    };
    for (const BalloonPlace& p : tries) {
        if (p.x - 18 < 0 || p.y < 0) continue;
        const Box b = footprint(p.x, p.y);
        if (std::none_of(keepClear.begin(), keepClear.end(), [&](const Box& k) { return !k.Empty() && Intersect(b, k); }))
            return p;
    }
    return tries[0];
}

std::string GeometryFileText(const std::vector<std::string>& comment,
                             const std::vector<std::pair<std::string, std::string>>& keys) {
    std::string out;
    for (const std::string& c : comment) out += "; " + c + "\n";
    out += "[Position]\n";
    for (const auto& [k, v] : keys) out += k + "=" + v + "\n";
    return out;
}

Box FigureRegion(const Box& figure, int digits, const std::string& align, const std::vector<PageItem>& others) {
    const double margin = std::max(3.0, std::round(figure.h * 0.15));
    const double digit = digits > 0 ? figure.w / digits : 0;
    double growLeft = 0, growRight = digit;
    if (align == "right" || align == "end") std::swap(growLeft, growRight);
    if (align == "center") growLeft = growRight = digit / 2;
    double l = std::floor(figure.x - margin - growLeft), t = std::floor(figure.y - margin);
    double r = std::ceil(figure.Right() + margin + growRight), b = std::ceil(figure.Bottom() + margin);
    // Draw back from the neighbours' text, never into the figure's own box plus a pixel.
    for (const PageItem& o : others) {
        if (!o.shown || o.kind == ItemKind::Dialog || !o.scope.empty()) continue;
        const Box& n = o.box;
        if (n.Empty() || !Intersect(n, Box{l, t, r - l, b - t})) continue;
        if (std::abs(n.x - figure.x) < 0.5 && std::abs(n.y - figure.y) < 0.5 && std::abs(n.w - figure.w) < 0.5) continue;
        if (n.Right() <= figure.x) l = std::max(l, std::min(std::ceil(n.Right()) + 1, std::floor(figure.x) - 1));
        else if (n.x >= figure.Right()) r = std::min(r, std::max(std::floor(n.x) - 1, std::ceil(figure.Right()) + 1));
        else if (n.Bottom() <= figure.y) t = std::max(t, std::min(std::ceil(n.Bottom()) + 1, std::floor(figure.y) - 1));
        else if (n.y >= figure.Bottom()) b = std::min(b, std::max(std::floor(n.y) - 1, std::ceil(figure.Bottom()) + 1));
    }
    return Box{l, t, r - l, b - t};
}

GeometryBoxes BoxesFromLearning(const Learning& l, const std::map<std::string, int>& previous) {
    GeometryBoxes g;
    auto boxOf = [&](Target t) { return l[t].Usable() ? l[t].item->box : Box{}; };
    g.anchor = boxOf(Target::Anchor);
    // Boxes the page lacks or learning does not measure keep the previous file's values
    // (anchor-relative there), so a skipped element changes nothing the console already had.
    auto kept = [&](const char* x, const char* y, const char* w, const char* h) {
        auto v = [&](const char* k) {
            const auto it = previous.find(k);
            return it == previous.end() ? 0.0 : static_cast<double>(it->second);
        };
        return Box{g.anchor.x + v(x), g.anchor.y + v(y), v(w), v(h)};
    };
    auto region = [&](Target t) {
        const PageItem& item = *l[t].item;
        return FigureRegion(item.box, static_cast<int>(Normal(item.text).size()), item.align, l.items);
    };
    if (l[Target::Lowest].Usable()) g.lowest = region(Target::Lowest);
    g.clock = l[Target::Clock].Usable()
                  ? region(Target::Clock)
                  : kept("ocr_systime_left", "ocr_systime_top", "ocr_systime_width", "ocr_systime_height");
    g.codeInput = boxOf(Target::CodeBox);
    g.plusBox = boxOf(Target::PlusBox);
    g.addButton = boxOf(Target::AddButton);
    g.bidButton = boxOf(Target::BidButton);
    g.bidPrice = boxOf(Target::BidPrice);
    g.confirm = boxOf(Target::Confirm);
    g.cancel = boxOf(Target::Cancel);
    g.infoClose = boxOf(Target::InfoClose);
    // The dialogs are the items of kind dialog whose titles the buttons carry as their scope.
    auto dialogOf = [&](Target t, const Box& fallback) {
        if (!l[t].Usable()) return fallback;
        for (const PageItem& d : l.items)
            if (d.kind == ItemKind::Dialog && d.text == l[t].item->scope) return d.box;
        return fallback;
    };
    g.codeDialog = dialogOf(Target::Confirm, g.confirm);
    g.infoDialog = dialogOf(Target::InfoClose, g.codeDialog);
    g.leftPanel = kept("zuodoufugan_left", "zuodoufugan_top", "zuodoufugan_width", "zuodoufugan_height");
    g.leftPanel.y -= g.leftPanel.h;  // the file holds the panel's lower half
    g.leftPanel.h *= 2;
    g.lowestTime = kept("lastone_picPot_x", "lastone_picPot_y", "lastone_picPot_w", "lastone_picPot_h");
    g.bidCount = kept("bidcount_left", "bitcount_top", "bidcount_width", "bitcount_height");
    return g;
}

std::string ElementsFileText(const Learning& l, const std::map<std::string, std::string>& keep) {
    std::string out =
        "; CSS selectors of the page elements the shell acts on for the console's element commands,\n"
        "; learned from the page by `Sorrelpane --learn`.\n[Elements]\n";
    for (Target t : kTargets) {
        const char* role = Info(t).role;
        if (*role && l[t].Usable()) out += std::string(role) + "=" + l[t].item->selector + "\n";
    }
    // What learning does not look for (the login form's boxes) stays as it was.
    for (const auto& [k, v] : keep) out += k + "=" + v + "\n";
    return out;
}

// ---- writing

std::optional<std::string> ReplaceFiles(const std::vector<FileToWrite>& files, const std::string& stamp) {
    namespace fs = std::filesystem;
    std::vector<std::string> written;
    auto removeWritten = [&] {
        std::error_code ignored;
        for (const std::string& p : written) fs::remove(platform::PathFromUtf8(p), ignored);
    };
    for (const FileToWrite& f : files) {
        const std::string temp = f.path + ".learning";
        std::error_code ec;
        const fs::path parent = platform::PathFromUtf8(f.path).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ec);
        std::ofstream out(platform::PathFromUtf8(temp), std::ios::binary | std::ios::trunc);
        if (out) written.push_back(temp);
        out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
        out.close();
        if (!out) {
            removeWritten();
            return "cannot write " + temp + " (nothing was replaced)";
        }
    }
    std::vector<bool> hadOne;
    for (const FileToWrite& f : files) {
        std::error_code ec;
        hadOne.push_back(fs::exists(platform::PathFromUtf8(f.path), ec));
        if (hadOne.back()) {
            if (!platform::CopyOver(f.path, f.path + "." + stamp + ".bak", &ec)) {
                removeWritten();
                return "cannot keep a backup of " + f.path + ": " + ec.message() + " (nothing was replaced)";
            }
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::error_code ec;
        if (platform::RenameOver(files[i].path + ".learning", files[i].path, &ec)) continue;
        // Put back what was replaced already: the set is all new or all old.
        for (std::size_t j = 0; j < i; ++j) {
            std::error_code ignored;
            if (hadOne[j]) platform::CopyOver(files[j].path + "." + stamp + ".bak", files[j].path);
            else fs::remove(platform::PathFromUtf8(files[j].path), ignored);
        }
        removeWritten();
        return "cannot replace " + files[i].path + ": " + ec.message() + " (the previous files are back in place)";
    }
    return std::nullopt;
}

std::vector<std::uint32_t> ScaleNearest(const std::vector<std::uint32_t>& pixels, int w, int h, int toW, int toH) {
    std::vector<std::uint32_t> out(static_cast<std::size_t>(std::max(0, toW)) * std::max(0, toH));
    if (w <= 0 || h <= 0 || pixels.size() < static_cast<std::size_t>(w) * h) return {};
    for (int y = 0; y < toH; ++y) {
        const int sy = std::min(h - 1, static_cast<int>((y + 0.5) * h / toH));
        for (int x = 0; x < toW; ++x) {
            const int sx = std::min(w - 1, static_cast<int>((x + 0.5) * w / toW));
            out[static_cast<std::size_t>(y) * toW + x] = pixels[static_cast<std::size_t>(sy) * w + sx];
        }
    }
    return out;
}

std::string Bmp24(const std::vector<std::uint32_t>& pixels, int w, int h) {
    const int stride = (w * 3 + 3) & ~3;
    const std::uint32_t size = 54 + static_cast<std::uint32_t>(stride) * h;
    std::string out(size, '\0');
    auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(w), 4);
    put(22, static_cast<std::uint32_t>(h), 4);  // positive: rows bottom-up
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, static_cast<std::uint32_t>(stride) * h, 4);
    for (int y = 0; y < h; ++y) {
        const std::size_t row = 54 + static_cast<std::size_t>(h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * w + x];
            out[row + x * 3] = static_cast<char>(p & 0xff);
            out[row + x * 3 + 1] = static_cast<char>((p >> 8) & 0xff);
            out[row + x * 3 + 2] = static_cast<char>((p >> 16) & 0xff);
        }
    }
    return out;
}

}  // namespace kestrava::shell::learning
