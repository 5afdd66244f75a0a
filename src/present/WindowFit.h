#pragma once
// Windows the program opens stay where the user can reach them: inside the
// available area (panels left out) of the screen their owner is on, and
// boxes wide enough that the window manager shows their whole title.
// Header only, with Qt alone: the web views' library uses it too.
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QWidget>

namespace velto {

// The screen of the window's owner: its parent, else the active window.
inline QScreen* OwnerScreen(const QWidget& window) {
    if (const QWidget* owner = window.parentWidget(); owner && owner->window()->screen())
        return owner->window()->screen();
    if (const QWidget* active = QApplication::activeWindow(); active && active != &window && active->screen())
        return active->screen();
    return window.screen();
}

// Before the first show: no larger than nine tenths of that area, in its
// middle. Where the window manager would put it, part of a large window may
// lie below the panel.
inline void FitToScreen(QWidget& window) {
    QScreen* screen = OwnerScreen(window);
    if (!screen) return;
    const QRect space = screen->availableGeometry();
    window.resize(window.size().boundedTo(space.size() * 9 / 10));
    window.move(space.center() - QPoint(window.width() / 2, window.height() / 2));
}

// A box at least as wide as its title with the frame's buttons beside it;
// narrower, the window manager cuts the title ("N... on").
inline void WidenForTitle(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    constexpr int kFrameButtons = 140;
    const int needed = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kFrameButtons;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(needed, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

}  // namespace velto
