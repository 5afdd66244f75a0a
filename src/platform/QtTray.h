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

namespace velto {

class QtTray : public QObject, public ITray {
    Q_OBJECT
public:
    struct Commands {
        std::function<void()> open, checkMailNow, about, exit;
    };
    explicit QtTray(Commands commands, QObject* parent = nullptr);
    ~QtTray() override;

    bool IsAvailable() const override;
    void Add(int icon, const std::string& tip) override;
    void SetIcon(int icon) override;
    void SetTip(const std::string& tip) override;
    void Remove() override;
    void Notify(const std::string& title, const std::string& text) override;

    QMenu* Menu() const { return m_menu.get(); }

private:
    Commands m_commands;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
};

}  // namespace velto
