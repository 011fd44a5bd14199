// Posted window messages (X11 ClientMessages of type KESTRAVA_MSG) for the Qt windows: each
// attached window gets the messages posted to its native window, on the GUI thread.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/platform.h"

namespace kestrava::gui {

class WindowMessages final : public QAbstractNativeEventFilter {
public:
    using Handler = std::function<void(const platform::Message&)>;

    // The one filter of the application, installed on first use.
    static WindowMessages& Instance();

    // Creates the native window of `window` if needed. Attaching again replaces the handler.
    void Attach(QWidget* window, Handler handler);
    void Detach(QWidget* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    WindowMessages();
    struct Entry {
        QPointer<QWidget> window;
        Handler handler;
    };
    std::uint32_t atom_ = 0;
    std::map<std::uint64_t, Entry> windows_;
};

// Sends the close request a posted WM_CLOSE (or the window manager's close box) would: the widget
// closes through its ordinary closeEvent.
void CloseLikeCloseBox(QWidget* window);

}  // namespace kestrava::gui
