#include "shell/MessageListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "engine/CorvaneView.h"
#include "engine/MessageListModel.h"

namespace velto {

namespace {

// Image 0: an envelope; image 1: the same envelope struck through in red,
// for mail not addressed to the account.
QIcon MakeRowIcon(bool marked) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(60, 60, 90));
    p.setBrush(QColor(250, 245, 210));
    p.drawRect(1, 3, 13, 9);
    p.drawLine(1, 3, 8, 8);
    p.drawLine(14, 3, 8, 8);
    if (marked) {
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawLine(2, 14, 14, 2);
    }
    return QIcon(pm);
}

class RowIconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != 0) return;
        static const QIcon icons[2] = {MakeRowIcon(false), MakeRowIcon(true)};
        const int image = index.data(MessageListModel::kImageRole).toInt();
        option->icon = icons[image == 1 ? 1 : 0];
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

}  // namespace

CMessageListView::CMessageListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);  // constant-time layout for very long lists
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setItemDelegate(new RowIconDelegate(this));
}

void CMessageListView::Attach(CCorvaneView* view) {
    m_view = view;
    setModel(view->Model());
}

void CMessageListView::SetupColumns() {
    header()->setStretchLastSection(false);
    for (int c = 0; c < MessageListModel::kColumnCount; ++c) setColumnWidth(c, MessageListModel::kColumns[c].width);
}

std::vector<int> CMessageListView::SelectedRows() const {
    std::vector<int> rows;
    if (!selectionModel()) return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CMessageListView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    if (m_view && event->button() == Qt::LeftButton) m_view->OnListClick();
}

void CMessageListView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click on empty space still stops the blink but reads nothing.
    if (!indexAt(event->position().toPoint()).isValid()) clearSelection();
    QTreeView::mouseDoubleClickEvent(event);
    if (m_view) m_view->OnListDoubleClick();
}

void CMessageListView::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_view || m_view->IsBusy() || !m_contextMenu) return;
    if (!indexAt(event->pos()).isValid()) return;
    m_contextMenu->exec(event->globalPos());
}

}  // namespace velto
