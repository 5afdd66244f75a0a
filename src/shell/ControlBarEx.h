#pragma once
// A bar the user docks on any side of the main window or floats (a double
// click on its title toggles), and resizes by the edge that faces the
// window's centre, never below kMinimum pixels. It remembers the size of
// its client area (below the title) for the top and bottom, for the sides
// and for floating, and comes back at that size.
#include <QDockWidget>

class QMainWindow;

namespace velto {

class CControlBarEx : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kMinimum = 32;

    // size: the client area's first size on every side.
    CControlBarEx(const QString& title, QMainWindow* frame, QSize size);

    // The bar's contents; it fills the client area.
    void SetClient(QWidget* content);
    // The size kept for a docking side (Qt::TopDockWidgetArea etc.), or for
    // floating (Qt::NoDockWidgetArea).
    QSize RememberedSize(Qt::DockWidgetArea area) const;
    // The size the bar comes back at on that side (a size kept from an
    // earlier run).
    void SetRememberedSize(Qt::DockWidgetArea area, QSize size);
    Qt::DockWidgetArea CurrentArea() const;

private:
    friend class BarClient;
    void Remember(QSize clientSize);

    QMainWindow* m_frame;
    QSize m_horizontal;  // docked at the top or the bottom
    QSize m_vertical;    // docked at the left or the right
    QSize m_floating;
};

}  // namespace velto
