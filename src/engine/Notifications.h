#pragma once
// Desktop notifications that can be acted on. The engine and the windows
// say what to tell and what each button does; the platform decides how the
// desktop shows it (its notification service, or the tray's balloon).
// Called on the user-interface thread only; the actions run there too.
#include <functional>
#include <string>
#include <vector>

namespace velto {

struct Notice {
    struct Action {
        std::string key;    // stable name ("read", "show")
        std::string label;  // the button's text
        std::function<void()> run;
    };
    // A newer notice with the same tag replaces the older one on screen
    // instead of stacking ("new-mail", "check-failed").
    std::string tag;
    std::string title;
    std::string text;
    std::vector<Action> actions;
    // A click on the notice itself; may be empty.
    std::function<void()> onClick;
};

class INotifications {
public:
    virtual ~INotifications() = default;
    virtual void Show(Notice notice) = 0;
    // Takes the notice of that tag off the screen, if it is still there.
    virtual void Withdraw(const std::string& tag) = 0;
};

}  // namespace velto
