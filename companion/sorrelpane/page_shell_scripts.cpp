#include "page_shell_scripts.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <iconv.h>

#include "config/profile.h"
#include "platform/keys.h"
#include "shell/page_learning.h"

namespace kestrava::sorrelpane {

namespace vk = platform::vk;
QString ReadString(const char* section, const char* key, const char* dflt, const char* path) {
    return QString::fromStdString(config::ReadProfileString(section, key, dflt, 1024, path));
}

std::string Gbk(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open("GBK//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8.toStdString();
    std::string out(static_cast<std::size_t>(utf8.size()) * 2 + 8, '\0');
    char* in = utf8.data();
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            if (outLeft == 0) break;
            // A character GBK cannot hold: keep a question mark and go on.
            ++in;
            --inLeft;
            *dst++ = '?';
            --outLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

QHash<QString, QString> ReadElements(const QString& path) {
    static const char* const kRoles[] = {"bidbutton", "confirm",  "cancel",   "infoclose", "plusbox",
                                         "addbutton", "codebox",  "bidprice", "statusicon", "loginbid",
                                         "loginpwd",  "loginid",  "loginbutton"};
    QHash<QString, QString> roles;
    const std::string file = path.toStdString();
    for (const char* role : kRoles) {
        QString selector = ReadString("Elements", role, "", file.c_str());
        if (!selector.isEmpty()) roles.insert(role, selector);
    }
    return roles;
}

QString JsString(const QString& text) {
    QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString RectScript(const QString& selector) {
    return QStringLiteral(
               "(function(s){var e=document.querySelector(s);if(!e)return null;"
               "if(e.closest&&e.closest('[hidden]'))return null;var r=e.getBoundingClientRect();"
               "return(r.width>0&&r.height>0)?[r.left,r.top,r.width,r.height]:null;})(%1)")
        .arg(JsString(selector));
}


QString WatchScript(const QJsonObject& roles) {
    return QStringLiteral(
               "(function(roles){"
               "if(window.__kestravaWatch)window.__kestravaWatch.disconnect();"
               "var last={};"
               "function place(s){var e=document.querySelector(s);if(!e)return'';"
               "if(e.closest&&e.closest('[hidden]'))return'';var r=e.getBoundingClientRect();"
               "return(r.width>0&&r.height>0)?[r.left,r.top,r.width,r.height].join('|'):'';}"
               "function scan(){for(var k in roles){var v=place(roles[k]);"
               "if(v!==last[k]){last[k]=v;console.log('%1rect|'+k+'|'+v);}}}"
               "var mo=new MutationObserver(scan);"
               "mo.observe(document.documentElement,{subtree:true,childList:true,attributes:true});"
               "addEventListener('resize',scan,true);addEventListener('scroll',scan,true);"
               "window.__kestravaWatch=mo;scan();})(%2)")
        .arg(QLatin1String(kPageLinePrefix), QString::fromUtf8(QJsonDocument(roles).toJson(QJsonDocument::Compact)));
}

QString FillScript(const QString& selector, const QString& value) {
    return QStringLiteral(
               "(function(s,v){var e=document.querySelector(s);if(!e)return false;e.focus();e.value=v;"
               "e.dispatchEvent(new Event('input',{bubbles:true}));return true;})(%1,%2)")
        .arg(JsString(selector), JsString(value));
}

Qt::Key KeyForVk(int code) {
    if (code >= vk::Digit0 && code <= vk::Digit0 + 9) return static_cast<Qt::Key>(Qt::Key_0 + (code - vk::Digit0));
    if (code >= vk::KeyA && code <= vk::KeyA + 25) return static_cast<Qt::Key>(Qt::Key_A + (code - vk::KeyA));
    if (code >= vk::F1 && code <= vk::F1 + 11) return static_cast<Qt::Key>(Qt::Key_F1 + (code - vk::F1));
    switch (code) {
    case vk::Back: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case vk::Return: return Qt::Key_Return;
    case vk::Escape: return Qt::Key_Escape;
    case vk::Space: return Qt::Key_Space;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x24: return Qt::Key_Home;
    case 0x23: return Qt::Key_End;
    case vk::Delete: return Qt::Key_Delete;
    default: return Qt::Key_unknown;
    }
}

QByteArray GeometryIni(const QJsonObject& g) {
    const QJsonObject a = g.value("anchor").toObject();
    const double ax = a.value("x").toInt(), ay = a.value("y").toInt();
    auto box = [&](const char* id) {
        const QJsonObject o = g.value(id).toObject();
        return shell::learning::Box{ax + o.value("x").toInt(), ay + o.value("y").toInt(), double(o.value("w").toInt()),
                                    double(o.value("h").toInt())};
    };
    shell::learning::GeometryBoxes b;
    b.anchor = {ax, ay, double(a.value("w").toInt()), double(a.value("h").toInt())};
    b.lowest = box("lowest");
    b.clock = box("clock");
    b.codeInput = box("codeinput");
    b.plusBox = box("plusamount");
    b.addButton = box("addbtn");
    b.bidButton = box("bidbtn");
    b.bidPrice = box("bidprice");
    b.confirm = box("codeok");
    b.cancel = box("codecancel");
    b.infoClose = box("infook");
    // The practice page's dialog area holds the code dialog and the result dialog.
    b.codeDialog = box("codedialog");
    b.infoDialog = box("resultdialog");
    b.leftPanel = box("leftpanel");
    b.lowestTime = box("lowesttime");
    b.bidCount = box("bidcount");
    return QByteArray::fromStdString(shell::learning::GeometryFileText(
        {"Geometry of the bundled practice page at display scale 1.0, measured from the page",
         "by `Sorrelpane --write-geometry`. Offsets are relative to the green network icon",
         "(lvwf_x, lvwf_y in page-view pixels); the tooltip positions are page-view pixels."},
        shell::learning::GeometryKeyValues(b)));
}

}  // namespace kestrava::sorrelpane
