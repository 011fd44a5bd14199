#include "native_bridge.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr)) {
        atom = reply->atom;
        std::free(reply);
    }
    return atom;
}

QByteArray ReadTextProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property) {
    QByteArray value;
    xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr)) {
        if (reply->format == 8) {
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        }
        std::free(reply);
    }
    return value;
}

}  // namespace

std::uint32_t FindWindowByTitlePrefix(const QByteArray& prefix) {
    xcb_connection_t* c = Connection();
    if (!c) return 0;
    const xcb_atom_t netWmName = InternAtom(c, "_NET_WM_NAME");
    std::vector<xcb_window_t> level{xcb_setup_roots_iterator(xcb_get_setup(c)).data->root};
    while (!level.empty()) {
        std::vector<xcb_window_t> next;
        for (xcb_window_t parent : level) {
            // A window that has gone meanwhile answers with an error: no reply, no children.
            xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr);
            if (!tree) continue;
            const xcb_window_t* children = xcb_query_tree_children(tree);
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree));
            std::free(tree);
        }
        for (xcb_window_t w : next) {
            QByteArray title = ReadTextProperty(c, w, netWmName);
            if (title.isEmpty()) title = ReadTextProperty(c, w, XCB_ATOM_WM_NAME);
            if (title.startsWith(prefix)) return w;
        }
        level = std::move(next);
    }
    return 0;
}

void KeepWindowClass(QWidget* widget, const QByteArray& name, const QByteArray& className) {
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->installEventFilter(new WindowClassKeeper(widget, name, className));
    SetWindowClass(widget->winId(), name, className);
}

MessageFilter::MessageFilter(Sink sink) : sink_(std::move(sink)) {
    if (xcb_connection_t* c = Connection()) messageAtom_ = InternAtom(c, platform::x11::kMessageAtomName);
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
