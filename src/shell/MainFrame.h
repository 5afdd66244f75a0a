#pragma once
// The main window: the menus, the toolbar and the "Mail Folders" chooser at
// the top, the message list in the middle, the status bar with its message
// history and progress bar, and the dockable utility window with the
// conversation log and the URL monitor. It is the engine's IEngineUi.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/EngineUi.h"
#include "present/Commands.h"
#include "present/WebViews.h"
#include "present/MessageCenter.h"
#include "shell/WindowState.h"

class QAction;
class QComboBox;
class QDialog;
class QMenu;
class QMenuBar;
class QPrinter;
class QProgressBar;
class QToolBar;

namespace velto {

class CCorvaneView;
class CFrameStatusBar;
class CGetMailProgressDlg;
class CMessageListView;
class COutputWindow;
class CUrlMonitor;
class CUtilityBar;
class IDesktop;

// Command ids of the menus, the toolbar and the accelerators.
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
    ID_URL_FIND = 32820,
    ID_URL_OPEN = 32821,
    ID_UTILITY_WINDOW = 32822,
    ID_PERFORM_MAINTENANCE = 32828,
    ID_MARK_READ = 32840,  // IMAP accounts only
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_EDIT_COPY = 57634,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
};


class CMainFrame : public QMainWindow, public IEngineUi {
    Q_OBJECT
public:
    explicit CMainFrame(IDesktop& desktop, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Binds the engine: its list model, its commands. Then the engine's
    // initial update may run.
    void AttachView(CCorvaneView* view);
    // A tray exists: minimising hides the window into it. When the tray goes,
    // a window hidden there comes back to the task bar.
    void SetTrayAvailable(bool available);
    // Makes the options sheet (it sets its "applied" property once it wrote
    // the settings); replaced by the application.
    void SetOptionsSheetMaker(std::function<QDialog*(QWidget*)> maker) { m_makeOptionsSheet = std::move(maker); }
    QDialog* OptionsSheet() const { return m_sheet; }
    // Closing the About box stops a sound that still plays.
    void SetStopSound(std::function<void()> stop) { m_stopSound = std::move(stop); }
    // Where replies are sent through (a fresh factory per send), and the
    // boxes the Message Center opens; both before its first use.
    void SetReplyTransports(CMessageCenter::TransportMaker maker) { m_replyTransports = std::move(maker); }
    void SetReplyTls(std::shared_ptr<ITlsLayer> tls) { m_replyTls = std::move(tls); }
    // Passwords, tokens and the browser sign-in, for replies and for signing
    // in again.
    void SetSignIn(std::shared_ptr<ISignIn> signIn) { m_signIn = std::move(signIn); }
    void SetMessageCenterPrompts(MessageCenterPrompts prompts) { m_messageCenterPrompts = std::move(prompts); }
    // Null until a message was first read.
    CMessageCenter* MessageCenter() const { return m_messageCenter.get(); }
    // The web browser window; null until first used.
    QWidget* Browser() const;
    // The file that keeps where the user left the window: read and applied
    // now, written whenever the window hides or closes.
    void SetLayoutFile(const QString& path);
    FrameLayout Layout() const;
    // Column widths wait for the list's columns when these do not exist yet.
    void ApplyLayout(const FrameLayout& layout);

    QAction* Action(int id) const;
    QComboBox* Chooser() const { return m_chooser; }
    CMessageListView* ListView() const { return m_list; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    QToolBar* ToolBar() const { return m_toolBar; }
    // The list's pop-up: "&Read Message" (As Document, As WebPage),
    // "&Delete Message", "Refresh", "Message &Statistics".
    QMenu* ListMenu() const { return m_listMenu; }
    CFrameStatusBar* FrameStatusBar() const { return m_status; }
    CUtilityBar* Utility() const { return m_utility; }
    COutputWindow* OutputWindow() const;
    CUrlMonitor* UrlMonitor() const;
    QProgressBar* StatusProgress() const;
    QString PaneText() const;
    bool UtilityVisible() const;

    // Appends one conversation log text (UI thread).
    void AppendOutput(const std::string& text);
    // Refreshes the enabled state of the engine's commands.
    void UpdateCommandStates();
    // Paints the shown rows onto the printer's pages.
    void PrintList(QPrinter& printer);

    // IEngineUi
    void SetFrameTitle(const std::string& title) override;
    void ShowMainWindow() override;
    void SetWaitCursor(bool on) override;
    void ShowAbout() override;
    void MessageBox(const std::string& text) override;
    void OpenOptionsSheet(std::function<void(bool)> done) override;
    void AskTrustCertificate(const std::string& account, const PeerCertificate& certificate,
                             std::function<void(bool)> answer) override;
    void AskSignInAgain(const std::string& account, std::function<void(bool)> answer) override;
    void SetupList() override;
    void CommandsChanged() override;
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
    void ShowInMessageCenter(const CMailHeader& header, const CMessageText& message, int page) override;
    void ShowInBrowser(const CMailHeader& header, const CMessageText& message) override;
    void OpenBrowser() override;
    void DestroyBrowser() override;

signals:
    // The window is closing: the engine's shut-down runs before it goes.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, const QString& prompt, std::function<void()> handler);
    QAction* Mirror(int id, const QString& text, QObject* parent);
    // A command the message list's engine handles.
    std::function<void()> ViewCommand(std::function<void(CCorvaneView&)> handler);
    void BuildCommands();
    void BuildMenus();
    void BuildToolBars();
    void BuildStatusBar();
    void BuildUtilityWindow();
    void JoinClipboard();
    void OnClipboardChanged();
    QPrinter& Printer();
    void OnFilePrint();
    void OnFilePrintPreview();
    void OnFilePrintSetup();
    void SaveLayout() const;
    void ApplyColumns();

    IDesktop& m_desktop;
    CCorvaneView* m_view = nullptr;
    CMessageListView* m_list = nullptr;
    QMenuBar* m_menuBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QComboBox* m_chooser = nullptr;
    CFrameStatusBar* m_status = nullptr;
    CUtilityBar* m_utility = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_listMenu = nullptr;
    QPointer<CGetMailProgressDlg> m_progressDlg;
    std::map<int, QAction*> m_actions;
    std::function<QDialog*(QWidget*)> m_makeOptionsSheet;
    QPointer<QDialog> m_sheet;
    std::vector<std::function<void(bool)>> m_sheetDone;
    // The sign-in windows, one per account, and who waits for each.
    struct SignInWindow {
        QPointer<QWidget> window;
        std::vector<std::function<void(bool)>> answers;
    };
    std::map<std::string, SignInWindow> m_signInWindows;
    void OpenSignInWindow(const std::string& account, std::function<void(bool)> answer);
    std::function<void()> m_stopSound;
    std::unique_ptr<QPrinter> m_printer;
    CMessageCenter::TransportMaker m_replyTransports;
    std::shared_ptr<ITlsLayer> m_replyTls;
    std::shared_ptr<ISignIn> m_signIn;
    MessageCenterPrompts m_messageCenterPrompts = DefaultMessageCenterPrompts();
    // A window of its own, kept from its first use to the end.
    std::unique_ptr<CMessageCenter> m_messageCenter;
    std::unique_ptr<IMailBrowser> m_browser;
    IMailBrowser* EnsureBrowser();
    QString m_layoutFile;
    QList<int> m_columns;        // widths to give the list's columns
    QByteArray m_hiddenGeometry;  // where the window was when it went to the tray
    bool m_trayAvailable = false;
    bool m_inTray = false;  // hidden by minimising, not closed or never shown
    bool m_firstShow = true;
    bool m_armed = false;  // a member of the clipboard watch
    bool m_closed = false;
};

}  // namespace velto
