#include "native_bridge.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "platform/x11/window_protocol.h"

namespace kestrava::sorrelpane {

namespace {

xcb_connection_t* Connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

void SetWindowClass(WId window, const QByteArray& name, const QByteArray& className) {
    xcb_connection_t* c = Connection();
    if (!c || window == 0) return;
    // WM_CLASS is "instance\0class\0".
    QByteArray value = name + '\0' + className + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window), XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()), value.constData());
    xcb_flush(c);
}

class WindowClassKeeper final : public QObject {
public:
    WindowClassKeeper(QWidget* widget, QByteArray name, QByteArray className)
        : QObject(widget), name_(std::move(name)), className_(std::move(className)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WinIdChange) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->internalWinId()) SetWindowClass(w->internalWinId(), name_, className_);
        }
        return false;
    }

private:
    QByteArray name_;
    QByteArray className_;
};

}  // namespace

void KeepWindowClass(QWidget* widget, const QByteArray& name, const QByteArray& className) {
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->installEventFilter(new WindowClassKeeper(widget, name, className));
    SetWindowClass(widget->winId(), name, className);
}

MessageFilter::MessageFilter(Sink sink) : sink_(std::move(sink)) {
    xcb_connection_t* c = Connection();
    if (!c) return;
    const char* name = platform::x11::kMessageAtomName;
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr)) {
        messageAtom_ = reply->atom;
        std::free(reply);
    }
}

bool MessageFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (messageAtom_ == 0 || eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    auto* cm = reinterpret_cast<xcb_client_message_event_t*>(event);
    std::optional<platform::Message> m =
        platform::x11::DecodeClientMessage(cm->type, messageAtom_, cm->format, cm->data.data32);
    if (!m) return false;
    sink_(cm->window, *m);
    return true;
}

}  // namespace kestrava::sorrelpane
