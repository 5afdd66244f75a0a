#include "platform/QtTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "engine/MessageListModel.h"
#include "shell/ToolIcons.h"

namespace velto {

QtTray::QtTray(Commands commands, QObject* parent)
    : QObject(parent), m_commands(std::move(commands)), m_menu(std::make_unique<QMenu>()) {
    QAction* open = m_menu->addAction("Open", [this] { m_commands.open(); });
    QFont bold = open->font();
    bold.setBold(true);
    open->setFont(bold);  // the default item
    m_menu->addAction("&Check Mail Now", [this] { m_commands.checkMailNow(); });
    m_menu->addAction("&About Corvane", [this] { m_commands.about(); });
    m_menu->addAction("E&xit", [this] { m_commands.exit(); });
}

QtTray::~QtTray() { Remove(); }

bool QtTray::IsAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTray::Add(int icon, const std::string& tip) {
    m_picture = icon;
    m_tip = tip;
    if (m_icon) return;
    m_trayWasThere = IsAvailable();
    if (m_trayWasThere) Create();
    Watch();
}

void QtTray::Watch() {
    // Qt says nothing when a tray host starts or quits, so it is looked at.
    if (!m_trayPoll) {
        m_trayPoll = new QTimer(this);
        connect(m_trayPoll, &QTimer::timeout, this, [this] {
            const bool there = IsAvailable();
            if (there == m_trayWasThere) return;
            m_trayWasThere = there;
            if (there) {
                Create();
                if (m_commands.appeared) m_commands.appeared();
            } else {
                // A fresh icon goes into the next tray, whichever kind it is.
                DropIcon();
                if (m_commands.gone) m_commands.gone();
            }
        });
    }
    m_trayPoll->start(kTrayPollMs);
}

void QtTray::Create() {
    m_icon = new QSystemTrayIcon(MakeTrayIcon(m_picture), this);
    m_icon->setToolTip(ToDisplay(m_tip));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) m_commands.open();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, [this] {
        if (m_balloonClicked) m_balloonClicked();
    });
    m_icon->show();
}

void QtTray::SetIcon(int icon) {
    m_picture = icon;
    if (m_icon) m_icon->setIcon(MakeTrayIcon(icon));
}

void QtTray::SetTip(const std::string& tip) {
    m_tip = tip;
    if (m_icon) m_icon->setToolTip(ToDisplay(tip));
}

void QtTray::Remove() {
    if (m_trayPoll) m_trayPoll->stop();
    DropIcon();
}

void QtTray::DropIcon() {
    if (!m_icon) return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
}

void QtTray::ShowBalloon(const std::string& title, const std::string& text, std::function<void()> onClick) {
    m_balloonClicked = std::move(onClick);
    Notify(title, text);
}

void QtTray::Notify(const std::string& title, const std::string& text) {
    // The tray's message balloon goes through the desktop's notification
    // service where it has one.
    if (m_icon && QSystemTrayIcon::supportsMessages())
        m_icon->showMessage(ToDisplay(title), ToDisplay(text), QSystemTrayIcon::Information, 8000);
}

}  // namespace velto
