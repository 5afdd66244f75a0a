#include "platform/WindowActivation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>
#include <xcb/xcb.h>

#include "xdg-activation-v1-client-protocol.h"

namespace velto {

namespace {
constexpr std::size_t kTokenMax = 512;

QPlatformNativeInterface* Native() {
    return QGuiApplication::instance() ? QGuiApplication::platformNativeInterface() : nullptr;
}

// The toolkit's X11 connection; null on any other windowing system.
xcb_connection_t* Xcb() {
    QPlatformNativeInterface* native = Native();
    if (!native || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    return static_cast<xcb_connection_t*>(native->nativeResourceForIntegration("connection"));
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Ends the launcher's feedback for the id ("remove: ID=..."): the start
// that was given it has ended without a window of its own.
void SendStartupRemove(xcb_connection_t* connection, xcb_window_t from, const std::string& id) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) return;
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    if (begin == XCB_ATOM_NONE || more == XCB_ATOM_NONE) return;
    // The id needs no quoting: IsToken lets no blank, quote or backslash in.
    const std::string message = "remove: ID=" + id;
    // In pieces of 20 bytes, the terminating NUL included.
    for (std::size_t at = 0; at <= message.size(); at += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = from;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, message.c_str() + at, std::min<std::size_t>(20, message.size() + 1 - at));
        xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(connection);
}

void Registered(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        *static_cast<xdg_activation_v1**>(data) =
            static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}
void Unregistered(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {Registered, Unregistered};
}  // namespace

// The compositor's activation global, bound on the toolkit's connection
// through a queue of our own, so the toolkit's dispatching never sees it.
struct WindowActivation::Wayland {
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wl_registry* registry = nullptr;
    xdg_activation_v1* activation = nullptr;

    ~Wayland() {
        if (activation) xdg_activation_v1_destroy(activation);
        if (registry) wl_registry_destroy(registry);
        if (queue) wl_event_queue_destroy(queue);
    }
};

WindowActivation::WindowActivation() {
    QPlatformNativeInterface* native = Native();
    if (!native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return;
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    if (!display) return;
    // The compositor's globals are asked for now and read by the toolkit's
    // own reading of the connection: an activation later takes them from
    // our queue without waiting for the compositor.
    m_wayland = std::make_unique<Wayland>();
    m_wayland->display = display;
    m_wayland->queue = wl_display_create_queue(display);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), m_wayland->queue);
    m_wayland->registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    wl_registry_add_listener(m_wayland->registry, &kRegistryListener, &m_wayland->activation);
    wl_display_flush(display);
}

WindowActivation::~WindowActivation() {
    // The connection goes with the application: after it, nothing of ours
    // on it may be touched.
    if (m_wayland && !QGuiApplication::instance()) (void)m_wayland.release();
}

std::string WindowActivation::TakeEnvironmentToken() {
    std::string token;
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        if (const char* value = std::getenv(name); token.empty() && value && IsToken(value)) token = value;
        ::unsetenv(name);
    }
    return token;
}

bool WindowActivation::IsToken(const std::string& token) {
    if (token.empty() || token.size() > kTokenMax) return false;
    for (const char c : token)
        if (c <= ' ' || c > '~' || c == '"' || c == '\\') return false;
    return true;
}

void WindowActivation::Activate(QWidget* window, const std::string& token) {
    if (!window) return;
    window->raise();
    if (!IsToken(token)) {
        window->activateWindow();
        return;
    }
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) OnWayland(window, token);
    else if (platform == QLatin1String("xcb")) OnX11(window, token);
    else window->activateWindow();
}

void WindowActivation::OnWayland(QWidget* window, const std::string& token) {
    window->activateWindow();
    QPlatformNativeInterface* native = Native();
    if (!native || !window->windowHandle() || !m_wayland) return;
    wl_display_dispatch_queue_pending(m_wayland->display, m_wayland->queue);
    if (!m_wayland->activation) return;
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window->windowHandle()));
    if (!surface) return;
    xdg_activation_v1_activate(m_wayland->activation, token.c_str(), surface);
    wl_display_flush(m_wayland->display);
}

void WindowActivation::EndFeedback(QWidget* window, const std::string& token) {
    if (xcb_connection_t* connection = Xcb(); connection && window && IsToken(token))
        SendStartupRemove(connection, static_cast<xcb_window_t>(window->winId()), token);
}

void WindowActivation::OnX11(QWidget* window, const std::string& token) {
    QPlatformNativeInterface* native = Native();
    xcb_connection_t* connection = Xcb();
    if (!connection || !window->windowHandle()) {
        window->activateWindow();
        return;
    }
    // The id ends in the time of the user's action: the window manager
    // weighs the activation by it, not by this program's last event.
    if (const auto at = token.rfind("_TIME"); at != std::string::npos) {
        std::uint32_t time = 0;
        const char* digits = token.c_str() + at + 5;
        const auto [end, error] = std::from_chars(digits, token.c_str() + token.size(), time);
        if (error == std::errc() && end == token.c_str() + token.size() && time != 0) {
            using SetTime = void (*)(QScreen*, xcb_timestamp_t);
            for (const char* name : {"setappusertime", "setapptime"})
                // The toolkit hands its functions out untyped.
                if (auto set = reinterpret_cast<SetTime>(
                        reinterpret_cast<void*>(native->nativeResourceFunctionForScreen(name))))
                    set(window->screen(), time);
        }
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t startupId = Atom(connection, "_NET_STARTUP_ID");
    const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
    if (startupId != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, startupId, utf8, 8,
                            static_cast<uint32_t>(token.size()), token.data());
    window->activateWindow();
    SendStartupRemove(connection, id, token);
}

}  // namespace velto
