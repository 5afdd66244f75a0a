#include "shell/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QWindowStateChangeEvent>

#include "engine/CorvaneView.h"
#include "shell/AboutDialog.h"
#include "shell/GetMailProgressDlg.h"
#include "shell/MessageListView.h"
#include "shell/ToolIcons.h"
#include "settings/Settings.h"

namespace velto {

namespace {
QString Q(const std::string& s) { return ToDisplay(s); }
}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Corvane");
    setWindowIcon(MakeAppIcon());
    resize(900, 560);
    m_list = new CMessageListView(this);
    setCentralWidget(m_list);
    BuildCommands();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    BuildUtilityWindow();
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& tip, std::function<void()> handler) {
    auto* action = new QAction(text, this);
    action->setStatusTip(tip);
    action->setToolTip(tip);
    action->setData(id);
    action->setIcon(MakeCommandIcon(id));
    // Menus show the toolbar's picture beside the command.
    action->setIconVisibleInMenu(true);
    if (handler) {
        connect(action, &QAction::triggered, this, [handler] { handler(); });
    } else {
        action->setEnabled(false);  // nothing handles it
    }
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::BuildCommands() {
    auto view = [this](void (CCorvaneView::*fn)()) {
        return [this, fn] {
            if (m_view) (m_view->*fn)();
        };
    };
    AddCommand(ID_GET_MAIL, "Get Mail", "Retrieves new mail messages from the server", view(&CCorvaneView::OnGetMail));
    AddCommand(ID_READ_MESSAGE, "Read Message", "Reads the selected message as a document",
               view(&CCorvaneView::OnReadMessage));
    AddCommand(ID_READ_AS_WEBPAGE, "As WebPage", "Views the selected message as a web page",
               view(&CCorvaneView::OnReadAsWebPage));
    AddCommand(ID_MESSAGE_STATISTICS, "Message Statistics", "Shows the headers of the selected message",
               view(&CCorvaneView::OnMessageStatistics));
    AddCommand(ID_DELETE_MESSAGE, "Delete Message", "Deletes the selected messages on the server", [this] {
        if (m_view) m_view->OnDeleteMessage(m_list->SelectedRows());
    });
    AddCommand(ID_REFRESH, "Refresh", "Checks for new mail", view(&CCorvaneView::OnRefresh));
    AddCommand(ID_MAIL_PROPERTIES, "Mail Properties", "Changes the mailboxes and options",
               view(&CCorvaneView::OnMailProperties));
    AddCommand(ID_WEB_BROWSER, "Web Browser", "Opens the web browser window", view(&CCorvaneView::OnWebBrowser));
    AddCommand(ID_PERFORM_MAINTENANCE, "Perform Maintainance", "Empties the stored list and rescans every mailbox",
               view(&CCorvaneView::OnPerformMaintenance));
    AddCommand(ID_APP_ABOUT, "&About Velto Mail..", "Shows the program's version and credits", [this] {
        if (m_view) {
            m_view->OnAbout();
        } else {
            ShowAbout();
        }
    });
    AddCommand(ID_OPEN, "Open", "Shows the main window", [this] { ShowMainWindow(); });
    AddCommand(ID_APP_EXIT, "E&xit", "Quits the application", [this] { close(); });
    AddCommand(ID_EDIT_COPY, "Copy", "Copies the selection", nullptr);
    // The document commands exist for a document that holds nothing; they
    // do nothing and never re-run start-up.
    AddCommand(ID_FILE_NEW, "&New", "Creates a new document", [] {})->setShortcut(QKeySequence("Ctrl+N"));
    AddCommand(ID_FILE_OPEN, "&Open...", "Opens a document", [] {})->setShortcut(QKeySequence("Ctrl+O"));
    AddCommand(ID_FILE_SAVE, "&Save", "Saves the document", [] {})->setShortcut(QKeySequence("Ctrl+S"));
    m_actions[ID_APP_EXIT]->setShortcut(QKeySequence::Quit);
    auto* utility = AddCommand(ID_UTILITY_WINDOW, "Utility Window", "Shows or hides the utility window", nullptr);
    utility->setEnabled(true);
    utility->setCheckable(true);
    utility->setChecked(true);
    connect(utility, &QAction::toggled, this, [this](bool on) {
        if (m_utility) m_utility->setVisible(on);
    });
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(Action(ID_FILE_NEW));
    file->addAction(Action(ID_FILE_OPEN));
    file->addAction(Action(ID_FILE_SAVE));
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));
    QMenu* mail = menuBar()->addMenu("&Mail");
    mail->addAction(Action(ID_GET_MAIL));
    mail->addAction(Action(ID_READ_MESSAGE));
    mail->addAction(Action(ID_MESSAGE_STATISTICS));
    mail->addAction(Action(ID_DELETE_MESSAGE));
    mail->addSeparator();
    mail->addAction(Action(ID_MAIL_PROPERTIES));
    m_viewMenu = menuBar()->addMenu("&View");
    m_viewMenu->addAction(Action(ID_UTILITY_WINDOW));
    m_viewMenu->addAction(Action(ID_WEB_BROWSER));
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(Action(ID_PERFORM_MAINTENANCE));
    help->addSeparator();
    help->addAction(Action(ID_APP_ABOUT));
    m_list->SetContextActions({Action(ID_READ_MESSAGE), Action(ID_READ_AS_WEBPAGE), Action(ID_DELETE_MESSAGE),
                               Action(ID_REFRESH), Action(ID_MESSAGE_STATISTICS)});
}

void CMainFrame::BuildToolBar() {
    QToolBar* bar = addToolBar("Toolbar");
    bar->setObjectName("toolbar");
    bar->setIconSize(QSize(16, 16));
    bar->addAction(Action(ID_GET_MAIL));
    bar->addSeparator();
    bar->addAction(Action(ID_READ_MESSAGE));
    bar->addAction(Action(ID_READ_AS_WEBPAGE));
    bar->addAction(Action(ID_MESSAGE_STATISTICS));
    bar->addAction(Action(ID_DELETE_MESSAGE));
    bar->addSeparator();
    bar->addAction(Action(ID_REFRESH));
    bar->addAction(Action(ID_MAIL_PROPERTIES));
    bar->addSeparator();
    bar->addAction(Action(ID_EDIT_COPY));
    bar->addSeparator();
    bar->addAction(Action(ID_APP_ABOUT));
    QAction* toggle = bar->toggleViewAction();
    toggle->setText("&Toolbar");
    m_viewMenu->insertAction(m_viewMenu->actions().value(0), toggle);

    QToolBar* folders = addToolBar("Mail Folders");
    folders->setObjectName("folders");
    folders->addWidget(new QLabel(" Mail Folders ", folders));
    m_chooser = new QComboBox(folders);
    m_chooser->setEditable(false);
    m_chooser->setMinimumWidth(200);
    m_chooser->setObjectName("mailFolders");
    folders->addWidget(m_chooser);
    // Only the user's own choice changes the filter; the engine's own
    // selection of item 0 after loading does not.
    connect(m_chooser, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (m_view) m_view->OnMailboxSelChange(m_chooser->itemText(index).toStdString());
    });
}

void CMainFrame::BuildStatusBar() {
    m_pane = new QLabel("Ready", this);
    m_pane->setToolTip("Message area");
    statusBar()->addWidget(m_pane, 1);
    m_progress = new QProgressBar(this);
    m_progress->setFixedWidth(195);
    m_progress->setTextVisible(false);
    m_progress->setToolTip("Miscellaneous stuff");
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);
    QAction* toggle = new QAction("&Status Bar", this);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, statusBar(), &QWidget::setVisible);
    m_actions[ID_VIEW_STATUS_BAR] = toggle;
    m_viewMenu->insertAction(m_viewMenu->actions().value(1), toggle);
}

void CMainFrame::BuildUtilityWindow() {
    m_utility = new QDockWidget("Utility", this);
    m_utility->setObjectName("utility");
    m_utility->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_utility->setMinimumSize(32, 32);
    auto* tabs = new QTabWidget(m_utility);
    tabs->setTabPosition(QTabWidget::South);
    m_output = new QPlainTextEdit(tabs);
    m_output->setReadOnly(true);
    m_output->setObjectName("outputWindow");
    QFont font("Arial");
    font.setPixelSize(13);
    m_output->setFont(font);
    tabs->addTab(m_output, "Output Window");
    m_utility->setWidget(tabs);
    m_utility->resize(220, 100);
    addDockWidget(Qt::BottomDockWidgetArea, m_utility);
    connect(m_utility, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!isMinimized() && isVisible()) Action(ID_UTILITY_WINDOW)->setChecked(visible);
    });
}

void CMainFrame::AttachView(CCorvaneView* view) {
    m_view = view;
    m_list->Attach(view);
    view->SetSelectionSource([this] { return m_list->SelectedRows(); });
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    const bool idle = m_view && m_view->CommandsEnabled();
    for (int id : {ID_GET_MAIL, ID_REFRESH, ID_DELETE_MESSAGE, ID_PERFORM_MAINTENANCE})
        if (QAction* a = Action(id)) a->setEnabled(idle);
    // Reading needs the Message Center and the browser window, which this
    // build does not have yet: shown disabled, as unhandled commands are.
    for (int id : {ID_READ_MESSAGE, ID_READ_AS_WEBPAGE, ID_MESSAGE_STATISTICS, ID_WEB_BROWSER})
        if (QAction* a = Action(id)) a->setEnabled(false);
}

void CMainFrame::AppendOutput(const std::string& text) {
    // Append at the end: each line costs its own length, not the whole log's.
    QTextCursor cursor(m_output->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(Q(text));
    m_output->verticalScrollBar()->setValue(m_output->verticalScrollBar()->maximum());
}

QString CMainFrame::PaneText() const { return m_pane->text(); }

// ---- window events -----------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_closed) {
        m_closed = true;
        emit closing();
    }
    event->accept();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_firstShow) return;
    m_firstShow = false;
    EnvironmentOptions environment(keys::kEnvironment);
    if (environment.m_startMinimized) QTimer::singleShot(0, this, [this] { showMinimized(); });
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A minimised window lives in the tray, but only where there is one.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayAvailable)
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hide();
        });
}

// ---- IEngineUi ------------------------------------------------------------------

void CMainFrame::SetFrameTitle(const std::string& title) { setWindowTitle(Q(title)); }

void CMainFrame::ShowMainWindow() {
    showNormal();
    raise();
    activateWindow();
}

void CMainFrame::SetWaitCursor(bool on) {
    m_list->viewport()->setCursor(on ? Qt::WaitCursor : Qt::ArrowCursor);
    UpdateCommandStates();
}

void CMainFrame::ShowAbout() {
    CAboutDlg dlg(this);
    connect(&dlg, &CAboutDlg::closed, this, [this] {
        if (m_stopSound) m_stopSound();
    });
    dlg.exec();
}

void CMainFrame::MessageBox(const std::string& text) { QMessageBox::information(this, "VeltoMail", Q(text)); }

bool CMainFrame::RunOptionsSheet() { return m_runOptionsSheet ? m_runOptionsSheet(this) : false; }

void CMainFrame::SetupList() { m_list->SetupColumns(); }

void CMainFrame::ChooserResetContent() { m_chooser->clear(); }

void CMainFrame::ChooserInsertAtTop(const std::string& text) {
    m_chooser->insertItem(0, MakeFolderIcon(), Q(text));
}

void CMainFrame::ChooserSetCurSel(int index) {
    QSignalBlocker block(m_chooser);
    m_chooser->setCurrentIndex(index);
}

void CMainFrame::SetPaneText(const std::string& text, int pane) {
    if (pane != 0) return;
    m_pane->setText(text.empty() ? QString("Ready") : Q(text));
    m_pane->repaint();
}

void CMainFrame::SetProgress(int position, int range) {
    if (position < 0) {
        m_progress->hide();
        return;
    }
    if (range > 0) m_progress->setRange(0, range);
    m_progress->show();
    m_progress->setValue(std::min(position, m_progress->maximum()));
}

void CMainFrame::ClearMessages(bool update) {
    if (update) m_pane->setText("Ready");
}

bool CMainFrame::HasProgressWindow() const { return !m_progressDlg.isNull(); }

void CMainFrame::CreateProgressWindow() {
    m_progressDlg = new CGetMailProgressDlg([this] {
        if (m_view) m_view->OnProgressCancel();
    });
}

void CMainFrame::ShowProgressWindow(const std::string& caption) {
    if (!m_progressDlg) return;
    m_progressDlg->setWindowTitle(Q(caption));
    m_progressDlg->show();
    m_progressDlg->raise();
    m_progressDlg->activateWindow();
}

void CMainFrame::DestroyProgressWindow() {
    if (m_progressDlg) m_progressDlg->deleteLater();
    m_progressDlg = nullptr;
}

void CMainFrame::ProgressText(const std::string& text) {
    if (m_progressDlg) m_progressDlg->SetStatusText(Q(text));
}

void CMainFrame::ProgressRange(int upper) {
    if (m_progressDlg) m_progressDlg->SetRange(upper);
}

void CMainFrame::ProgressAdvance(int step) {
    if (m_progressDlg) m_progressDlg->Advance(step);
}

void CMainFrame::ProgressReset() {
    if (m_progressDlg) m_progressDlg->ResetRange();
}

void CMainFrame::ShowInMessageCenter(const CMailHeader&, const std::string&, int) {}
void CMainFrame::ShowInBrowser(const CMailHeader&, const std::string&) {}
void CMainFrame::OpenBrowser() {}
void CMainFrame::DestroyBrowser() {}

}  // namespace velto
