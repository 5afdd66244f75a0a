#pragma once
// The tray icon: QSystemTrayIcon with the program's menu. Where the desktop
// has no tray, nothing is shown and the main window never hides into it.
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "engine/EngineServices.h"

class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace velto {

class QtTray : public QObject, public ITray {
    Q_OBJECT
public:
    struct Commands {
        std::function<void()> open, checkMailNow, about, exit;
        // A tray came up after start-up (an extension was enabled, a panel
        // started): the icon is there now.
        std::function<void()> appeared;
        // The tray host quit: there is no icon to come back through.
        std::function<void()> gone;
    };
    // How often the desktop is looked at for a tray coming or going.
    static constexpr int kTrayPollMs = 3000;
    explicit QtTray(Commands commands, QObject* parent = nullptr);
    ~QtTray() override;

    bool IsAvailable() const override;
    void Add(int icon, const std::string& tip) override;
    void SetIcon(int icon) override;
    void SetTip(const std::string& tip) override;
    void Remove() override;
    void Notify(const std::string& title, const std::string& text) override;
    // The balloon, and what a click on it does.
    void ShowBalloon(const std::string& title, const std::string& text, std::function<void()> onClick);

private:
    Commands m_commands;
    std::unique_ptr<QMenu> m_menu;
    void Create();
    void DropIcon();
    void Watch();

    QSystemTrayIcon* m_icon = nullptr;
    // What the icon shows, also while there is no tray to show it in.
    int m_picture = 0;
    std::string m_tip;
    QTimer* m_trayPoll = nullptr;
    bool m_trayWasThere = false;
    std::function<void()> m_balloonClicked;
};

}  // namespace velto
