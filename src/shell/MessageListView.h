#pragma once
// The message list widget: the engine's rows in five columns, full-row
// selection, the spam-mark image, clicks and the context menu.
#include <QTreeView>

class QMenu;
#include <vector>

namespace velto {

class CCorvaneView;

class CMessageListView : public QTreeView {
    Q_OBJECT
public:
    explicit CMessageListView(QWidget* parent = nullptr);
    void Attach(CCorvaneView* view);
    // Sets the column captions, widths and alignment.
    void SetupColumns();
    // Selected rows in row order.
    std::vector<int> SelectedRows() const;
    // The pop-up shown over a row (read, delete, refresh, statistics).
    void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CCorvaneView* m_view = nullptr;
    QMenu* m_contextMenu = nullptr;
};

}  // namespace velto
