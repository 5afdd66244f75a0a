#pragma once
// The main window: toolbar and "Mail Folders" chooser at the top, the
// message list in the middle, the status bar, and the utility window with
// the conversation log. It is the engine's IEngineUi.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>

#include "engine/EngineUi.h"

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QDockWidget;
class QMenu;

namespace velto {

class CCorvaneView;
class CMessageListView;
class CGetMailProgressDlg;

// Command ids of the menus and the toolbar.
enum Command : int {
    ID_GET_MAIL = 32771,
    ID_DELETE_MESSAGE = 32773,
    ID_OPEN = 32774,
    ID_READ_MESSAGE = 32775,
    ID_MESSAGE_STATISTICS = 32776,
    ID_REFRESH = 32777,
    ID_MAIL_PROPERTIES = 32781,
    ID_WEB_BROWSER = 32786,
    ID_READ_AS_WEBPAGE = 32818,
    ID_UTILITY_WINDOW = 32822,
    ID_PERFORM_MAINTENANCE = 32828,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_EDIT_COPY = 57634,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};

class CMainFrame : public QMainWindow, public IEngineUi {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Binds the engine: its list model, its commands. Then the engine's
    // initial update may run.
    void AttachView(CCorvaneView* view);
    // A tray exists: minimising hides the window into it.
    void SetTrayAvailable(bool available) { m_trayAvailable = available; }
    // Runs the options sheet; replaced by the application.
    void SetOptionsSheetRunner(std::function<bool(QWidget*)> runner) { m_runOptionsSheet = std::move(runner); }
    // Closing the About box stops a sound that still plays.
    void SetStopSound(std::function<void()> stop) { m_stopSound = std::move(stop); }

    QAction* Action(int id) const;
    QComboBox* Chooser() const { return m_chooser; }
    CMessageListView* ListView() const { return m_list; }
    QPlainTextEdit* OutputWindow() const { return m_output; }
    QProgressBar* StatusProgress() const { return m_progress; }
    QString PaneText() const;
    // Appends one conversation log text (UI thread).
    void AppendOutput(const std::string& text);
    // Refreshes the enabled state of the engine's commands.
    void UpdateCommandStates();

    // IEngineUi
    void SetFrameTitle(const std::string& title) override;
    void ShowMainWindow() override;
    void SetWaitCursor(bool on) override;
    void ShowAbout() override;
    void MessageBox(const std::string& text) override;
    bool RunOptionsSheet() override;
    void SetupList() override;
    void ChooserResetContent() override;
    void ChooserInsertAtTop(const std::string& text) override;
    void ChooserSetCurSel(int index) override;
    void SetPaneText(const std::string& text, int pane) override;
    void SetProgress(int position, int range) override;
    void ClearMessages(bool update) override;
    bool HasProgressWindow() const override;
    void CreateProgressWindow() override;
    void ShowProgressWindow(const std::string& caption) override;
    void DestroyProgressWindow() override;
    void ProgressText(const std::string& text) override;
    void ProgressRange(int upper) override;
    void ProgressAdvance(int step) override;
    void ProgressReset() override;
    void ShowInMessageCenter(const CMailHeader& header, const std::string& body, int page) override;
    void ShowInBrowser(const CMailHeader& header, const std::string& body) override;
    void OpenBrowser() override;
    void DestroyBrowser() override;

signals:
    // The window is closing: the engine's shut-down runs before it goes.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, const QString& tip, std::function<void()> handler);
    void BuildCommands();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildUtilityWindow();

    CCorvaneView* m_view = nullptr;
    CMessageListView* m_list = nullptr;
    QComboBox* m_chooser = nullptr;
    QLabel* m_pane = nullptr;
    QProgressBar* m_progress = nullptr;
    QDockWidget* m_utility = nullptr;
    QMenu* m_viewMenu = nullptr;
    QPlainTextEdit* m_output = nullptr;
    QPointer<CGetMailProgressDlg> m_progressDlg;
    std::map<int, QAction*> m_actions;
    std::function<bool(QWidget*)> m_runOptionsSheet;
    std::function<void()> m_stopSound;
    bool m_trayAvailable = false;
    bool m_firstShow = true;
    bool m_closed = false;
};

}  // namespace velto
