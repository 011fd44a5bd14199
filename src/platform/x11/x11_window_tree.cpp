#include "platform/x11/x11_window_tree.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kestrava::platform::x11 {
namespace {

template <typename T>
struct FreeReply {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply<T>>;

std::string Latin1ToUtf8(const char* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// The bytes of an 8-bit property, or nothing when the window or the property is missing.
std::optional<std::string> Bytes(xcb_connection_t* c, xcb_get_property_cookie_t cookie, std::uint32_t* type) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, cookie, &error));
    std::free(error);
    if (!r || r->type == XCB_ATOM_NONE || r->format != 8) return std::nullopt;
    if (type) *type = r->type;
    return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
}

// The title from the replies to _NET_WM_NAME and WM_NAME: the first when present, else the
// second (STRING is Latin-1; UTF8_STRING and the ASCII part of COMPOUND_TEXT pass as they are).
std::optional<std::string> TitleFrom(xcb_connection_t* c, xcb_get_property_cookie_t name,
                                     xcb_get_property_cookie_t legacy) {
    std::optional<std::string> title = Bytes(c, name, nullptr);
    std::uint32_t type = 0;
    std::optional<std::string> old = Bytes(c, legacy, &type);
    if (title) return title;
    if (old && type == XCB_ATOM_STRING) return Latin1ToUtf8(old->data(), old->size());
    return old;
}

// The class part of WM_CLASS ("instance\0Class\0").
std::optional<std::string_view> ClassFrom(const std::optional<std::string>& wmClass) {
    if (!wmClass) return std::nullopt;
    const std::size_t nul = wmClass->find('\0');
    if (nul == std::string::npos) return std::nullopt;
    std::string_view cls = std::string_view(*wmClass).substr(nul + 1);
    if (!cls.empty() && cls.back() == '\0') cls.remove_suffix(1);
    return cls;
}

xcb_get_property_cookie_t AskProperty(xcb_connection_t* c, std::uint32_t w, std::uint32_t property) {
    return xcb_get_property(c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
}

std::uint32_t InternAtom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : std::uint32_t{XCB_ATOM_NONE};
}

}  // namespace

std::unique_ptr<WindowTree> WindowTree::Open(const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(displayName, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    const std::uint32_t root = it.data->root;
    return std::unique_ptr<WindowTree>(
        new WindowTree(c, root, InternAtom(c, "_NET_WM_NAME"), InternAtom(c, "UTF8_STRING")));
}

WindowTree::WindowTree(xcb_connection_t* c, std::uint32_t root, std::uint32_t netWmName, std::uint32_t utf8)
    : c_(c), root_(root), netWmName_(netWmName), utf8String_(utf8) {}

WindowTree::~WindowTree() { xcb_disconnect(c_); }

WindowId WindowTree::FindByTitle(std::string_view title, WindowId start) { return Find(Key::Title, title, start); }

WindowId WindowTree::FindByClass(std::string_view className, WindowId start) {
    return Find(Key::Class, className, start);
}

WindowId WindowTree::Find(Key key, std::string_view value, WindowId start) {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> level{start ? static_cast<std::uint32_t>(start) : root_};
    while (!level.empty()) {
        // One round trip for the children of the whole level...
        std::vector<xcb_query_tree_cookie_t> trees;
        trees.reserve(level.size());
        for (std::uint32_t w : level) trees.push_back(xcb_query_tree(c_, w));
        std::vector<std::uint32_t> next;
        for (xcb_query_tree_cookie_t cookie : trees) {
            xcb_generic_error_t* error = nullptr;  // a window gone meanwhile has no children
            Reply<xcb_query_tree_reply_t> r(xcb_query_tree_reply(c_, cookie, &error));
            std::free(error);
            if (!r) continue;
            const xcb_window_t* children = xcb_query_tree_children(r.get());
            next.insert(next.end(), children, children + xcb_query_tree_children_length(r.get()));
        }

        // ...and one for their names, in stacking order.
        std::vector<xcb_get_property_cookie_t> primary;
        std::vector<xcb_get_property_cookie_t> fallback;
        primary.reserve(next.size());
        for (std::uint32_t w : next) {
            if (key == Key::Title) {
                primary.push_back(AskProperty(c_, w, netWmName_));
                fallback.push_back(AskProperty(c_, w, XCB_ATOM_WM_NAME));
            } else {
                primary.push_back(AskProperty(c_, w, XCB_ATOM_WM_CLASS));
            }
        }
        WindowId found = 0;
        for (std::size_t i = 0; i < next.size(); ++i) {
            if (found) {
                xcb_discard_reply(c_, primary[i].sequence);
                if (key == Key::Title) xcb_discard_reply(c_, fallback[i].sequence);
                continue;
            }
            bool match = false;
            if (key == Key::Title) {
                const std::optional<std::string> title = TitleFrom(c_, primary[i], fallback[i]);
                match = title && *title == value;
            } else {
                const std::optional<std::string> wmClass = Bytes(c_, primary[i], nullptr);
                const std::optional<std::string_view> cls = ClassFrom(wmClass);
                match = cls && *cls == value;
            }
            if (match) found = next[i];
        }
        if (found) return found;
        level = std::move(next);
    }
    return 0;
}

std::optional<std::string> WindowTree::Title(WindowId w) {
    std::lock_guard lock(mutex_);
    const auto window = static_cast<std::uint32_t>(w);
    return TitleFrom(c_, AskProperty(c_, window, netWmName_), AskProperty(c_, window, XCB_ATOM_WM_NAME));
}

}  // namespace kestrava::platform::x11
