#include "shell/StatusBarEx.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>

#include "shell/Desktop.h"
#include "shell/ToolIcons.h"

namespace velto {

namespace {

const QString kReady = "Ready";

QToolButton* MakeButton(QWidget* parent, int id) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString("statusButton%1").arg(id));
    // Pictures only: named for screen readers.
    button->setAccessibleName(id == CStatusBarEx::ID_PREVIOUS ? "Previous message"
                              : id == CStatusBarEx::ID_NEXT   ? "Next message"
                                                              : "Show message");
    button->setFixedSize(CStatusBarEx::kButtonWidth, CStatusBarEx::kButtonHeight);
    button->setIcon(MakeStatusButtonIcon(id));
    button->setIconSize(QSize(CStatusBarEx::kButtonWidth - 4, CStatusBarEx::kButtonHeight - 4));
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    return button;
}

}  // namespace

CStatusBarEx::CStatusBarEx(QWidget* parent, int controls, const std::vector<int>& paneWidths, int progressPane,
                           int buttonsPane)
    : QStatusBar(parent) {
    m_message = new QLabel(kReady, this);
    m_message->setObjectName("messagePane");
    // Failures name folders and quote servers: their words, never markup.
    m_message->setTextFormat(Qt::PlainText);
    m_message->setMinimumWidth(1);
    m_panes.push_back(m_message);
    addWidget(m_message, 1);
    for (std::size_t i = 1; i < paneWidths.size(); ++i) {
        auto* pane = new QWidget(this);
        pane->setObjectName(QString("pane%1").arg(i));
        auto* layout = new QHBoxLayout(pane);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(kButtonGap);
        int width = paneWidths[i];
        if (static_cast<int>(i) == buttonsPane) {
            // Placed from the pane's right edge: previous, next, show.
            layout->addStretch(1);
            int buttons = 0;
            if (controls & kPrevNextButtons) {
                m_previous = MakeButton(pane, ID_PREVIOUS);
                m_next = MakeButton(pane, ID_NEXT);
                layout->addWidget(m_previous, 0, Qt::AlignVCenter);
                layout->addWidget(m_next, 0, Qt::AlignVCenter);
                connect(m_previous, &QToolButton::clicked, this, &CStatusBarEx::PreviousEntry);
                connect(m_next, &QToolButton::clicked, this, &CStatusBarEx::NextEntry);
                buttons += 2;
            }
            if (controls & kShowButton) {
                m_show = MakeButton(pane, ID_SHOW);
                layout->addWidget(m_show, 0, Qt::AlignVCenter);
                connect(m_show, &QToolButton::clicked, this, [this] {
                    if (HasCurrentEntry()) ShowEntry(m_history[m_current]);
                });
                ++buttons;
            }
            // A pane narrower than its buttons would cut the first one off.
            width = std::max(width, buttons * kButtonWidth + std::max(0, buttons - 1) * kButtonGap);
        }
        if (static_cast<int>(i) == progressPane && (controls & kProgressBar)) {
            m_progress = new QProgressBar(pane);
            m_progress->setObjectName("progress");
            m_progress->setTextVisible(false);
            m_progress->setMaximumHeight(kButtonHeight + 3);
            m_progress->hide();
            layout->addWidget(m_progress);
        }
        pane->setFixedWidth(width);
        m_panes.push_back(pane);
        addPermanentWidget(pane);
    }
}

QString CStatusBarEx::PaneTip(int) const { return {}; }

int CStatusBarEx::PaneAt(const QPoint& pos) const {
    for (std::size_t i = 0; i < m_panes.size(); ++i)
        if (m_panes[i]->isVisible() && m_panes[i]->geometry().contains(pos)) return static_cast<int>(i);
    return -1;
}

QWidget* CStatusBarEx::Pane(int pane) const {
    return pane >= 0 && pane < PaneCount() ? m_panes[static_cast<std::size_t>(pane)] : nullptr;
}

bool CStatusBarEx::event(QEvent* event) {
    // Children without tips of their own pass the request up to here.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int pane = PaneAt(help->pos());
        const QString tip = pane >= 0 ? PaneTip(pane) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this, m_panes[static_cast<std::size_t>(pane)]->geometry());
        }
        return true;
    }
    return QStatusBar::event(event);
}

void CStatusBarEx::SetPaneText(const QString& text, int pane) {
    if (pane != 0) return;  // the other panes hold controls
    if (text.isEmpty()) {
        m_message->setText(kReady);
    } else {
        AddText(text);
    }
    if (m_message->isVisible()) m_message->repaint();
}

QString CStatusBarEx::PaneText(int pane) const { return pane == 0 ? m_message->text() : QString(); }

void CStatusBarEx::SetProgress(int position, int range) {
    if (!m_progress) return;
    if (position == -1) {
        m_progress->hide();
        return;
    }
    if (range > 0) m_progress->setRange(0, range);
    m_progress->setValue(std::clamp(position, m_progress->minimum(), m_progress->maximum()));
    m_progress->show();
}

void CStatusBarEx::ClearMessages(bool update) {
    m_history.clear();
    m_current = -1;
    if (update) {
        UpdateMessagePane(true);
    } else {
        // The text stays as it is, but the buttons must not offer entries
        // that are gone.
        for (QToolButton* b : {m_previous, m_next, m_show})
            if (b) b->setEnabled(false);
    }
}

void CStatusBarEx::AddText(const QString& text) { AddEntry(text, true, true); }

void CStatusBarEx::AddEntry(const QString& text, bool update, bool makeCurrent) {
    m_history.push_back(text);
    if (m_current < 0 || makeCurrent) m_current = static_cast<int>(m_history.size()) - 1;
    if (m_history.size() > kHistoryLimit) {
        m_history.erase(m_history.begin());
        m_current = std::max(0, m_current - 1);
    }
    if (update) UpdateMessagePane();
}

void CStatusBarEx::RemoveEntry(int entry, bool update) {
    if (entry < 0 || entry >= static_cast<int>(m_history.size())) return;
    m_history.erase(m_history.begin() + entry);
    if (entry == m_current) {
        m_current = m_history.empty() ? -1 : 0;
    } else if (entry < m_current) {
        --m_current;
    }
    if (update) UpdateMessagePane();
}

void CStatusBarEx::UpdateMessagePane(bool reset) {
    if (reset || m_current < 0) {
        for (QToolButton* b : {m_previous, m_next, m_show})
            if (b) b->setEnabled(false);
        m_message->setText(kReady);
        return;
    }
    if (m_previous) m_previous->setEnabled(CanGoPrevious());
    if (m_next) m_next->setEnabled(CanGoNext());
    if (m_show) m_show->setEnabled(true);
    m_message->setText(m_history[static_cast<std::size_t>(m_current)]);
}

void CStatusBarEx::PreviousEntry() {
    if (!CanGoPrevious()) return;
    --m_current;
    UpdateMessagePane();
}

void CStatusBarEx::NextEntry() {
    if (!CanGoNext()) return;
    ++m_current;
    UpdateMessagePane();
}

bool CStatusBarEx::CanGoPrevious() const { return m_current > 0; }

bool CStatusBarEx::CanGoNext() const { return m_current >= 0 && m_current + 1 < static_cast<int>(m_history.size()); }

QToolButton* CStatusBarEx::Button(int id) const {
    switch (id) {
    case ID_PREVIOUS:
        return m_previous;
    case ID_NEXT:
        return m_next;
    case ID_SHOW:
        return m_show;
    default:
        return nullptr;
    }
}

void CStatusBarEx::ShowEntry(const QString&) {}

// ---- the main window's status bar ------------------------------------------------

CFrameStatusBar::CFrameStatusBar(QWidget* parent, IDesktop& desktop)
    : CStatusBarEx(parent, kPrevNextButtons | kShowButton | kProgressBar, {0, 42, 195}, 2, 1), m_desktop(desktop) {
    setObjectName("statusBar");
}

QString CFrameStatusBar::PaneTip(int pane) const {
    switch (pane) {
    case 0:
        return "Message area";
    case 1:
        return "Scroll messages";
    case 2:
        return "Miscellaneous stuff";
    default:
        return "Unknown pane";
    }
}

void CFrameStatusBar::ShowEntry(const QString& text) { m_desktop.MessageBox(window(), "The message is:\n" + text); }

}  // namespace velto
