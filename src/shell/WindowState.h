#pragma once
// Where the user left the main window, kept in a small file of the
// program's own (an INI file under the XDG state folder), apart from the
// settings: the window's place and size, the list's column widths, and the
// utility window's side and its size on each side.
#include <algorithm>
#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <Qt>

namespace velto {

struct FrameLayout {
    QByteArray geometry;  // QWidget::saveGeometry
    QByteArray bars;      // QMainWindow::saveState: the bars' sides and sizes
    QList<int> columns;   // the list's column widths, left to right
    // Where the utility window is (Qt::NoDockWidgetArea: floating); for
    // reading, the bars say it to the window.
    Qt::DockWidgetArea utilityArea = Qt::BottomDockWidgetArea;
    // The utility window's client size docked at the top or bottom, at the
    // left or right, and floating; empty when never known.
    QSize utilityAcross, utilityAlong, utilityFloating;

    // By hand: Qt's own list comparison hands memcmp a null pointer for two
    // empty lists, which the sanitizers rightly refuse.
    bool operator==(const FrameLayout& o) const {
        return geometry == o.geometry && bars == o.bars &&
               std::equal(columns.begin(), columns.end(), o.columns.begin(), o.columns.end()) &&
               utilityArea == o.utilityArea && utilityAcross == o.utilityAcross && utilityAlong == o.utilityAlong &&
               utilityFloating == o.utilityFloating;
    }
};

// False when there is no file or it holds nothing usable; the layout is
// then left as it was.
bool ReadFrameLayout(const QString& path, FrameLayout& layout);
// Creates the folder when needed.
bool WriteFrameLayout(const QString& path, const FrameLayout& layout);

}  // namespace velto
