// Helpers the page shell's files share: its files and settings, the page-line prefix, and the
// scripts it runs in the page.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <Qt>

#include <cstdint>
#include <string>

namespace kestrava::sorrelpane {

inline constexpr char kShellIni[] = "bin/sorrelpane.ini";
inline constexpr char kUserIni[] = "bin/userconf.ini";
inline constexpr char kPageLinePrefix[] = "KESTRAVA|";
// Posted to the login dialog when the compatibility page is on screen.
inline constexpr std::uint32_t kCompatTimerId = 1;
// The page has painted before it says so, but the pixels still have to travel through the
// compositor to the X server before the console looks at the screen.
inline constexpr int kSettleMs = 300;
inline constexpr int kLookupTimeoutMs = 1000;

QString ReadString(const char* section, const char* key, const char* dflt, const char* path);
std::string Gbk(const QString& text);
QHash<QString, QString> ReadElements(const QString& path);
// A script literal for `text` (JSON string syntax is valid JavaScript).
QString JsString(const QString& text);
QString RectScript(const QString& selector);
// The elements the console clicks, watched in the page: whenever the document changes (or is
// resized or scrolled) the page reports each element's place that has changed, as a
// "rect|role|left|top|width|height" line (empty numbers: not shown). The shell thus knows where to
// click before it is asked.
inline constexpr const char* kWatchedRoles[] = {"bidbutton", "confirm", "cancel", "infoclose", "plusbox", "addbutton"};
QString WatchScript(const QJsonObject& roles);
QString FillScript(const QString& selector, const QString& value);
Qt::Key KeyForVk(int code);
// The geometry file of the practice page from the rectangles the page measured (CSS pixels
// relative to the green icon; the anchor in page-view pixels). Values are for display scale 1.
QByteArray GeometryIni(const QJsonObject& g);

}  // namespace kestrava::sorrelpane
