// The X11 side of the shell's windows: naming native widgets with a WM_CLASS, and receiving the
// window protocol's ClientMessages.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>

#include "platform/platform.h"

class QWidget;

namespace kestrava::sorrelpane {

// Makes `widget` a native window whose WM_CLASS is (name, className), now and whenever Qt
// recreates its native window.
void KeepWindowClass(QWidget* widget, const QByteArray& name, const QByteArray& className);

// The first window, searching the whole tree breadth first, whose title (_NET_WM_NAME, else
// WM_NAME) begins with `prefix`; 0 when none.
std::uint32_t FindWindowByTitlePrefix(const QByteArray& prefix);

// Hands every posted message (a ClientMessage of type KESTRAVA_MSG) that reaches one of the
// process's windows to `sink`, on the GUI thread, inside the event dispatch: the sink should
// only queue work.
class MessageFilter final : public QAbstractNativeEventFilter {
public:
    using Sink = std::function<void(std::uint32_t window, const platform::Message&)>;
    explicit MessageFilter(Sink sink);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    Sink sink_;
    std::uint32_t messageAtom_ = 0;
};

}  // namespace kestrava::sorrelpane
