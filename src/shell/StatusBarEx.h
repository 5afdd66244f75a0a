#pragma once
// The status bar with panes that host controls: a stretching message pane,
// previous/next/show buttons over a history of status messages, and a
// progress bar that is hidden while idle. Pane tips come from PaneTip.
#include <QStatusBar>
#include <QString>
#include <vector>

class QLabel;
class QProgressBar;
class QToolButton;

namespace velto {

class IDesktop;

class CStatusBarEx : public QStatusBar {
    Q_OBJECT
public:
    // Control flags.
    enum Controls { kPrevNextButtons = 1, kShowButton = 2, kProgressBar = 4 };
    // Button ids.
    enum { ID_PREVIOUS = 2001, ID_NEXT = 2002, ID_SHOW = 2003, ID_PROGRESS = 2004 };
    static constexpr int kButtonWidth = 14, kButtonHeight = 13, kButtonGap = 2;
    // The history is for paging back through recent messages; older ones go.
    static constexpr std::size_t kHistoryLimit = 1000;

    // paneWidths: pane 0 stretches whatever its entry says; the others are
    // fixed. buttonsPane and progressPane name the panes hosting the
    // buttons and the progress bar (-1: none).
    CStatusBarEx(QWidget* parent, int controls, const std::vector<int>& paneWidths, int progressPane,
                 int buttonsPane);

    virtual QString PaneTip(int pane) const;
    int PaneCount() const { return static_cast<int>(m_panes.size()); }
    // The pane under a point of the status bar, or -1.
    int PaneAt(const QPoint& pos) const;
    QWidget* Pane(int pane) const;

    // Pane 0's texts go into the history and become the current entry;
    // repaints at once.
    void SetPaneText(const QString& text, int pane);
    QString PaneText(int pane) const;
    // A position of -1 hides the bar; a range above 0 first sets the range
    // 0..range; otherwise the bar shows at the position.
    void SetProgress(int position, int range);
    // Empties the history; update refreshes pane 0 ("Ready").
    void ClearMessages(bool update);

    void AddText(const QString& text);
    void AddEntry(const QString& text, bool update, bool makeCurrent);
    void RemoveEntry(int entry, bool update);
    void UpdateMessagePane(bool reset = false);
    void PreviousEntry();
    void NextEntry();
    bool CanGoPrevious() const;
    bool CanGoNext() const;
    bool HasCurrentEntry() const { return m_current >= 0; }
    int CurrentEntry() const { return m_current; }
    const std::vector<QString>& History() const { return m_history; }

    QToolButton* Button(int id) const;
    QProgressBar* Progress() const { return m_progress; }

protected:
    // The show button; the base does nothing.
    virtual void ShowEntry(const QString& text);
    bool event(QEvent* event) override;

private:
    std::vector<QWidget*> m_panes;
    QLabel* m_message = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_show = nullptr;
    QProgressBar* m_progress = nullptr;
    std::vector<QString> m_history;
    int m_current = -1;
};

// The main window's status bar: buttons in pane 1, progress in pane 2, and
// the show button's message box.
class CFrameStatusBar : public CStatusBarEx {
    Q_OBJECT
public:
    CFrameStatusBar(QWidget* parent, IDesktop& desktop);
    QString PaneTip(int pane) const override;

protected:
    void ShowEntry(const QString& text) override;

private:
    IDesktop& m_desktop;
};

}  // namespace velto
