#pragma once
// The "URL Monitor": texts that looked like web addresses when they passed
// through the clipboard, newest first, opened with the desktop's default
// handler or found by text.
#include <QDialog>
#include <QTreeWidget>
#include <functional>

class QLineEdit;
class QRadioButton;

namespace velto {

class IDesktop;

// "Find Web Address": the text and how it must match.
class CFindUrlDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { ExactMatch = 0, ClosestMatch = 1 };
    explicit CFindUrlDialog(QWidget* parent = nullptr);
    int MatchMode() const;
    QString SearchText() const;
    QLineEdit* Edit() const { return m_edit; }
    QRadioButton* Closest() const { return m_closest; }

private:
    QRadioButton* m_exact;
    QRadioButton* m_closest;
    QLineEdit* m_edit;
};

class CUrlMonitor : public QTreeWidget {
    Q_OBJECT
public:
    // Asks for the search; false when the user cancelled.
    using FindPrompt = std::function<bool(QWidget* owner, int& mode, QString& text)>;

    CUrlMonitor(IDesktop& desktop, QWidget* parent = nullptr);

    // The detection rule: "http" or else "web" (any case) within the first
    // 256 characters of a text of at most 256, or a text that reads like a
    // numeric address.
    static bool LooksLikeWebAddress(const QString& text);
    // Under 256 characters, with at least one dot-separated piece, and none
    // of the first four pieces reading as 0 the way atoi reads.
    static bool LooksLikeNumericAddress(const QString& text);

    // The clipboard changed: add its text when it looks like an address.
    void ScanClipboard();
    // A new row at the top.
    void AddUrl(const QString& text);
    QStringList Urls() const;

    // "Open": every selected row, in list order, to the default handler.
    void OpenSelected();
    // "Find..": asks, then marks the first matching row.
    void Find();
    // Marks the first row from the top that equals (Exact Match) or begins
    // with (Closest Match) the text, ignoring case, as the list's selection
    // mark; the information beep when found, else the warning beep.
    // Returns the row or -1.
    int FindUrl(int mode, const QString& text);

    void SetFindPrompt(FindPrompt prompt) { m_findPrompt = std::move(prompt); }
    // The pop-up's commands ("Open", "Find..").
    void SetContextActions(QList<QAction*> actions) { m_contextActions = std::move(actions); }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    IDesktop& m_desktop;
    FindPrompt m_findPrompt;
    QList<QAction*> m_contextActions;
};

}  // namespace velto
