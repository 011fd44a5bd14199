#include "gui/window_messages.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstring>
#include <xcb/xcb.h>

#include "platform/keys.h"
#include "platform/x11/window_protocol.h"

namespace kestrava::gui {
namespace {

std::uint32_t InternAtom(const char* name) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return 0;
    xcb_connection_t* c = x11->connection();
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return 0;
    const std::uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
}

}  // namespace

WindowMessages::WindowMessages() : atom_(InternAtom(platform::x11::kMessageAtomName)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WindowMessages& WindowMessages::Instance() {
    // Lives until the process ends: the application may deliver events until its very end.
    static WindowMessages* instance = new WindowMessages();
    return *instance;
}

void WindowMessages::Attach(QWidget* window, Handler handler) {
    if (!window) return;
    windows_[static_cast<std::uint64_t>(window->winId())] = Entry{window, std::move(handler)};
}

void WindowMessages::Detach(QWidget* window) {
    for (auto it = windows_.begin(); it != windows_.end();) {
        it = (it->second.window == window || !it->second.window) ? windows_.erase(it) : std::next(it);
    }
}

bool WindowMessages::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (atom_ == 0 || eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) return false;
    auto* cm = reinterpret_cast<xcb_client_message_event_t*>(event);
    const auto decoded = platform::x11::DecodeClientMessage(cm->type, atom_, cm->format, cm->data.data32);
    if (!decoded) return false;
    auto it = windows_.find(cm->window);
    if (it == windows_.end() || !it->second.window) return true;  // ours, but for a window now gone
    // Copy: the handler may close the window and detach it.
    const Handler handler = it->second.handler;
    QWidget* window = it->second.window;
    if (handler) {
        handler(*decoded);
    } else if (decoded->msg == platform::wm::Close) {
        CloseLikeCloseBox(window);
    }
    return true;
}

void CloseLikeCloseBox(QWidget* window) {
    if (window) window->close();
}

}  // namespace kestrava::gui
