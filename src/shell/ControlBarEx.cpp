#include "shell/ControlBarEx.h"

#include <QMainWindow>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace velto {

// The client area: the window's dock layout sizes a bar from what its
// contents ask for, so the remembered size is asked for here.
class BarClient : public QWidget {
public:
    BarClient(CControlBarEx* bar, QWidget* content) : QWidget(bar), m_bar(bar) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(content);
        content->setMinimumSize(1, 1);
        setMinimumSize(1, 1);
    }
    QSize sizeHint() const override { return m_bar->RememberedSize(m_bar->CurrentArea()); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (m_bar->isVisible()) m_bar->Remember(event->size());
    }

private:
    CControlBarEx* m_bar;
};

CControlBarEx::CControlBarEx(const QString& title, QMainWindow* frame, QSize size)
    : QDockWidget(title, frame), m_frame(frame), m_horizontal(size), m_vertical(size), m_floating(size) {
    setAllowedAreas(Qt::AllDockWidgetAreas);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    // An explicit minimum: the window's dock layout never makes the bar
    // smaller than this, whatever its contents would allow.
    setMinimumSize(kMinimum, kMinimum);
}

void CControlBarEx::SetClient(QWidget* content) { setWidget(new BarClient(this, content)); }

Qt::DockWidgetArea CControlBarEx::CurrentArea() const {
    if (isFloating() || !m_frame) return Qt::NoDockWidgetArea;
    return m_frame->dockWidgetArea(const_cast<CControlBarEx*>(this));
}

QSize CControlBarEx::RememberedSize(Qt::DockWidgetArea area) const {
    switch (area) {
    case Qt::TopDockWidgetArea:
    case Qt::BottomDockWidgetArea:
        return m_horizontal;
    case Qt::LeftDockWidgetArea:
    case Qt::RightDockWidgetArea:
        return m_vertical;
    default:
        return m_floating;
    }
}

void CControlBarEx::SetRememberedSize(Qt::DockWidgetArea area, QSize size) {
    switch (area) {
    case Qt::TopDockWidgetArea:
    case Qt::BottomDockWidgetArea:
        m_horizontal = size;
        break;
    case Qt::LeftDockWidgetArea:
    case Qt::RightDockWidgetArea:
        m_vertical = size;
        break;
    default:
        m_floating = size;
        break;
    }
}

void CControlBarEx::Remember(QSize clientSize) { SetRememberedSize(CurrentArea(), clientSize); }

}  // namespace velto
