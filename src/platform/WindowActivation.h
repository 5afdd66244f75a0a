#pragma once
// Bringing a window to the front with the token the desktop handed out for
// the user's action (a launcher's click, a notification's button, the
// tray). Without one a Wayland compositor does not raise a window whose
// program the user is not using, and an X11 window manager may keep it
// behind the window the user last touched.
#include <memory>
#include <string>

class QWidget;

namespace velto {

class WindowActivation {
public:
    // Made once the application is: on Wayland it asks the compositor for
    // its activation interface here, never waiting for the answer.
    WindowActivation();
    ~WindowActivation();
    WindowActivation(const WindowActivation&) = delete;
    WindowActivation& operator=(const WindowActivation&) = delete;

    // The token the desktop left in the environment (XDG_ACTIVATION_TOKEN,
    // on X11 DESKTOP_STARTUP_ID): the one this process was started with, or
    // one a tray host handed to the toolkit's tray icon. Taken out of it: a
    // browser started from here must not use it again.
    static std::string TakeEnvironmentToken();
    // A token as it may travel: printable ASCII without blanks, quotes or
    // backslashes, at most a few hundred bytes. Anything else is dropped.
    static bool IsToken(const std::string& token);

    // Raises and activates the window; with a token through the desktop's
    // activation (xdg_activation_v1, or the startup id's time and id).
    void Activate(QWidget* window, const std::string& token);
    // Ends the launcher's feedback for a start that shows no window in
    // front (started minimised): X11's "remove" message; nothing to do on
    // Wayland, where the token simply lapses.
    void EndFeedback(QWidget* window, const std::string& token);

private:
    struct Wayland;
    void OnWayland(QWidget* window, const std::string& token);
    void OnX11(QWidget* window, const std::string& token);

    std::unique_ptr<Wayland> m_wayland;
};

}  // namespace velto
