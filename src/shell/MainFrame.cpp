#include "shell/MainFrame.h"

#include "present/MessageDisplay.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "engine/CorvaneView.h"
#include "engine/Ending.h"
#include "shell/AboutDialog.h"
#include "shell/Desktop.h"
#include "shell/GetMailProgressDlg.h"
#include "shell/ListPrinter.h"
#include "shell/MessageListView.h"
#include "shell/OutputWindow.h"
#include "shell/StatusBarEx.h"
#include "shell/ToolIcons.h"
#include "shell/UrlMonitor.h"
#include "shell/UtilityBar.h"
#include "protocol/MessageText.h"
#include "settings/Settings.h"
#include "shell/SheetPrompts.h"

namespace velto {

namespace {
QString Q(const std::string& s) { return ToDisplay(s); }
}  // namespace

CMainFrame::CMainFrame(IDesktop& desktop, QWidget* parent) : QMainWindow(parent), m_desktop(desktop) {
    setWindowTitle("Corvane");
    setWindowIcon(MakeAppIcon());
    // A first size that fits the screen, also a small one or at a large scale.
    QSize size(900, 560);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(size);
    // The window manager draws the title bar; the window starts at its menus.
    m_menuBar = new QMenuBar(this);
    setMenuBar(m_menuBar);

    m_list = new CMessageListView(this);
    setCentralWidget(m_list);
    BuildUtilityWindow();
    BuildCommands();
    BuildMenus();
    BuildToolBars();
    BuildStatusBar();
    JoinClipboard();
}

CMainFrame::~CMainFrame() {
    // Leave the clipboard watch before the window goes.
    m_armed = false;
    m_desktop.WatchClipboard(nullptr);
}

// ---- commands -------------------------------------------------------------------

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& prompt, std::function<void()> handler) {
    QAction* action = MakeCommand(this, id, text, prompt, std::move(handler));
    // Commands with a toolbar button show its picture in the menus too,
    // engraved while disabled; the others get the check mark when checked.
    action->setIcon(MakeCommandIcon(id));
    action->setIconVisibleInMenu(true);
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

// The same command under another caption (the list's pop-up names some
// commands differently); it follows the command's enabled state.
QAction* CMainFrame::Mirror(int id, const QString& text, QObject* parent) {
    QAction* source = Action(id);
    auto* action = new QAction(source->icon(), text, parent);
    action->setData(id);
    action->setStatusTip(source->statusTip());
    action->setIconVisibleInMenu(true);
    action->setEnabled(source->isEnabled());
    connect(source, &QAction::enabledChanged, action, &QAction::setEnabled);
    connect(action, &QAction::triggered, source, &QAction::trigger);
    return action;
}

std::function<void()> CMainFrame::ViewCommand(std::function<void(CCorvaneView&)> handler) {
    return [this, handler] {
        if (m_view) handler(*m_view);
    };
}

void CMainFrame::BuildCommands() {
    // (Member-function pointers would do, but the sanitizers' type check
    // misreads calls through them.)
    auto view = [this](void (*handler)(CCorvaneView&)) { return ViewCommand(handler); };
    AddCommand(ID_GET_MAIL, "Get Mail", "Retrieves new mail messages from the server\nGet Mail",
               view([](CCorvaneView& v) { v.OnGetMail(); }));
    AddCommand(ID_READ_MESSAGE, "Read Message", "Reads the selected message as a document\nRead Message as Document",
               view([](CCorvaneView& v) { v.OnReadMessage(); }));
    AddCommand(ID_READ_AS_WEBPAGE, "As WebPage", "Views the selected message as a web page\nView Message as WebPage",
               view([](CCorvaneView& v) { v.OnReadAsWebPage(); }));
    AddCommand(ID_MESSAGE_STATISTICS, "Message Statistics", "Shows the headers of the selected message\nView Headers",
               view([](CCorvaneView& v) { v.OnMessageStatistics(); }));
    AddCommand(ID_DELETE_MESSAGE, "Delete Message", "Deletes the selected messages on the server\nDelete Message",
               [this] {
                   if (m_view) m_view->OnDeleteMessage(m_list->SelectedRows());
               });
    AddCommand(ID_MARK_READ, "Mark as &Read", "Marks the selected messages read on the server\nMark as Read", [this] {
        if (m_view) m_view->OnMarkRead(m_list->SelectedRows());
    });
    AddCommand(ID_REFRESH, "Refresh", "Checks for new mail\nRefresh", view([](CCorvaneView& v) { v.OnRefresh(); }));
    AddCommand(ID_MAIL_PROPERTIES, "Mail Properties", "Changes the mailboxes and options\nMail Properties",
               view([](CCorvaneView& v) { v.OnMailProperties(); }));
    AddCommand(ID_WEB_BROWSER, "Web Browser", "Opens the web browser window",
               view([](CCorvaneView& v) { v.OnWebBrowser(); }));
    AddCommand(ID_PERFORM_MAINTENANCE, "Perform Maintainance", "Empties the stored list and rescans every mailbox",
               view([](CCorvaneView& v) { v.OnPerformMaintenance(); }));
    AddCommand(ID_APP_ABOUT, "&About Velto Mail..", "Shows the program's version and credits\nAbout", [this] {
        if (m_view) {
            m_view->OnAbout();
        } else {
            ShowAbout();
        }
    });
    AddCommand(ID_OPEN, "Open", "Shows the main window", [this] { ShowMainWindow(); });
    AddCommand(ID_APP_EXIT, "E&xit", "Quits the application", [this] { close(); });
    AddCommand(ID_EDIT_COPY, "Copy", "Copies the selection\nCopy", nullptr);
    AddCommand(ID_FILE_PRINT, "&Print...", "Prints the list\nPrint", [this] { OnFilePrint(); })
        ->setShortcut(QKeySequence("Ctrl+P"));
    AddCommand(ID_FILE_PRINT_PREVIEW, "Print Pre&view", "Shows the printed pages", [this] { OnFilePrintPreview(); });
    AddCommand(ID_FILE_PRINT_SETUP, "P&rint Setup...", "Changes the printer and the page",
               [this] { OnFilePrintSetup(); });
    // Nothing is ever opened or saved, so the recent-file list stays empty.
    AddCommand(ID_FILE_MRU_FILE1, "Recent File", "Opens a recently used document", nullptr);
    // The document holds nothing: its commands are accepted and do nothing.
    // In particular a new document must not run start-up again (that would
    // load the stored headers a second time).
    for (auto [id, keys] : {std::pair{ID_FILE_NEW, "Ctrl+N"}, {ID_FILE_OPEN, "Ctrl+O"}, {ID_FILE_SAVE, "Ctrl+S"}}) {
        QAction* action = AddCommand(id, {}, {}, [] {});
        action->setShortcut(QKeySequence(keys));
        addAction(action);
    }

    // The pop-up of the URL monitor; the commands act on its list.
    AddCommand(ID_URL_OPEN, "Open", "Opens the selected web addresses", [this] { m_utility->Urls()->OpenSelected(); });
    AddCommand(ID_URL_FIND, "Find..", "Finds a web address", [this] { m_utility->Urls()->Find(); });
    m_utility->Urls()->SetContextActions({Action(ID_URL_OPEN), Action(ID_URL_FIND)});

    QAction* utility = m_utility->toggleViewAction();
    utility->setText("Utility Window");
    utility->setStatusTip("Shows or hides the utility window");
    utility->setData(ID_UTILITY_WINDOW);
    m_actions[ID_UTILITY_WINDOW] = utility;
}

void CMainFrame::BuildMenus() {
    QMenu* file = m_menuBar->addMenu("&File");
    file->addAction(Action(ID_FILE_PRINT));
    file->addAction(Action(ID_FILE_PRINT_PREVIEW));
    file->addAction(Action(ID_FILE_PRINT_SETUP));
    file->addSeparator();
    file->addAction(Action(ID_FILE_MRU_FILE1));
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));
    QMenu* mail = m_menuBar->addMenu("&Mail");
    mail->addAction(Action(ID_GET_MAIL));
    mail->addAction(Action(ID_READ_MESSAGE));
    mail->addAction(Action(ID_MESSAGE_STATISTICS));
    mail->addAction(Action(ID_DELETE_MESSAGE));
    mail->addAction(Action(ID_MARK_READ));
    mail->addSeparator();
    mail->addAction(Action(ID_MAIL_PROPERTIES));
    m_viewMenu = m_menuBar->addMenu("&View");
    // The toolbar and status bar toggles go in front when they exist.
    m_viewMenu->addAction(Action(ID_UTILITY_WINDOW));
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(Action(ID_WEB_BROWSER));
    QMenu* help = m_menuBar->addMenu("&Help");
    help->addAction(Action(ID_PERFORM_MAINTENANCE));
    help->addSeparator();
    help->addAction(Action(ID_APP_ABOUT));

    m_listMenu = new QMenu(this);
    QMenu* read = m_listMenu->addMenu("&Read Message");
    read->addAction(Mirror(ID_READ_MESSAGE, "As Document", read));
    read->addAction(Mirror(ID_READ_AS_WEBPAGE, "As WebPage", read));
    m_listMenu->addAction(Mirror(ID_DELETE_MESSAGE, "&Delete Message", m_listMenu));
    m_listMenu->addAction(Mirror(ID_MARK_READ, "Mark as &Read", m_listMenu));
    m_listMenu->addAction(Mirror(ID_REFRESH, "Refresh", m_listMenu));
    m_listMenu->addAction(Mirror(ID_MESSAGE_STATISTICS, "Message &Statistics", m_listMenu));
    m_list->SetContextMenu(m_listMenu);
}

void CMainFrame::BuildToolBars() {
    m_toolBar = addToolBar("Toolbar");
    m_toolBar->setObjectName("toolbar");
    m_toolBar->setIconSize(QSize(16, 16));
    // 0 is a separator.
    const int buttons[] = {ID_GET_MAIL, 0, ID_READ_MESSAGE, ID_READ_AS_WEBPAGE, ID_MESSAGE_STATISTICS,
                           ID_DELETE_MESSAGE, 0, ID_REFRESH, ID_MAIL_PROPERTIES, 0, ID_EDIT_COPY, 0,
                           ID_FILE_PRINT, ID_APP_ABOUT};
    for (int id : buttons) {
        if (id == 0) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(Action(id));
        }
    }
    QAction* toggle = m_toolBar->toggleViewAction();
    toggle->setText("&Toolbar");
    toggle->setStatusTip("Shows or hides the toolbar");
    toggle->setData(ID_VIEW_TOOLBAR);
    m_actions[ID_VIEW_TOOLBAR] = toggle;
    m_viewMenu->insertAction(m_viewMenu->actions().value(0), toggle);

    // The chooser on a row of its own.
    addToolBarBreak();
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
        // The name as the engine gave it: a shown name need not read back
        // as the same bytes (a name that is not UTF-8).
        if (m_view) m_view->OnMailboxSelChange(m_chooser->itemData(index).toByteArray().toStdString());
    });
}

void CMainFrame::BuildStatusBar() {
    m_status = new CFrameStatusBar(this, m_desktop);
    setStatusBar(m_status);
    auto* toggle = new QAction("&Status Bar", this);
    toggle->setStatusTip("Shows or hides the status bar");
    toggle->setData(ID_VIEW_STATUS_BAR);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, m_status, &QWidget::setVisible);
    m_actions[ID_VIEW_STATUS_BAR] = toggle;
    m_viewMenu->insertAction(Action(ID_UTILITY_WINDOW), toggle);
}

void CMainFrame::BuildUtilityWindow() {
    m_utility = new CUtilityBar(this, m_desktop);
    addDockWidget(Qt::BottomDockWidgetArea, m_utility);
}

void CMainFrame::JoinClipboard() {
    // What is on the clipboard already is not scanned; only later changes.
    m_armed = false;
    m_desktop.WatchClipboard([this] { OnClipboardChanged(); });
    m_armed = true;
}

void CMainFrame::OnClipboardChanged() {
    if (m_armed) m_utility->Urls()->ScanClipboard();
}

void CMainFrame::AttachView(CCorvaneView* view) {
    m_view = view;
    m_list->Attach(view);
    view->SetSelectionSource([this] { return m_list->SelectedRows(); });
    // Mark as Read follows the selection (a rebuilt list has none).
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateCommandStates(); });
    connect(m_list->model(), &QAbstractItemModel::modelReset, this, [this] { UpdateCommandStates(); });
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    const bool idle = m_view && m_view->CommandsEnabled();
    // The commands a check disables; the web browser window may open while one runs.
    for (int id : {ID_GET_MAIL, ID_REFRESH, ID_DELETE_MESSAGE, ID_PERFORM_MAINTENANCE, ID_READ_MESSAGE,
                   ID_READ_AS_WEBPAGE, ID_MESSAGE_STATISTICS})
        if (QAction* a = Action(id)) a->setEnabled(idle);
    if (QAction* a = Action(ID_EDIT_COPY)) a->setEnabled(false);
    // Beyond the design's menus: there only while an IMAP account is set up,
    // so that a POP3 user's menus stay as they were.
    if (QAction* a = Action(ID_MARK_READ)) {
        a->setVisible(m_view && m_view->HasImapAccount());
        a->setEnabled(idle && m_view->AnyImapRow(m_list->SelectedRows()));
        for (QAction* mirror : m_listMenu->actions())
            if (mirror->data().toInt() == ID_MARK_READ) mirror->setVisible(a->isVisible());
    }
}

void CMainFrame::CommandsChanged() { UpdateCommandStates(); }

COutputWindow* CMainFrame::OutputWindow() const { return m_utility->Output(); }

CUrlMonitor* CMainFrame::UrlMonitor() const { return m_utility->Urls(); }

QProgressBar* CMainFrame::StatusProgress() const { return m_status->Progress(); }

QString CMainFrame::PaneText() const { return m_status->PaneText(0); }

bool CMainFrame::UtilityVisible() const { return Action(ID_UTILITY_WINDOW)->isChecked(); }

void CMainFrame::AppendOutput(const std::string& text) { m_utility->AppendOutput(Q(text)); }

// ---- printing -------------------------------------------------------------------------

QPrinter& CMainFrame::Printer() {
    // Made on first use: finding the printers can take a moment.
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CMainFrame::PrintList(QPrinter& printer) {
    QPainter painter(&printer);
    if (!painter.isActive()) return;
    QFont font = m_list->font();
    font.setPointSize(9);
    painter.setFont(font);
    ListPrintJob job;
    job.model = m_list->model();
    job.title = windowTitle();
    if (!job.model) return;
    for (int c = 0; c < job.model->columnCount(); ++c) job.columnWidths.push_back(m_list->columnWidth(c));
    velto::PrintList(painter, QRect(0, 0, printer.width(), printer.height()), job, [&] { return printer.newPage(); });
}

void CMainFrame::OnFilePrint() {
    QPrintDialog dialog(&Printer(), this);
    if (dialog.exec() == QDialog::Accepted) PrintList(Printer());
}

void CMainFrame::OnFilePrintPreview() {
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { PrintList(*printer); });
    preview.exec();
}

void CMainFrame::OnFilePrintSetup() {
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}

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
    m_inTray = false;
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
            if (!isMinimized() || !m_trayAvailable) return;
            hide();
            m_inTray = true;
        });
}

void CMainFrame::SetTrayAvailable(bool available) {
    m_trayAvailable = available;
    // Without its tray a hidden window could not be reached again.
    if (!available && m_inTray && !m_closed) showMinimized();
}

void CMainFrame::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // Into the tray or closed: shown again, the window comes back here.
    m_hiddenGeometry = saveGeometry();
    SaveLayout();
}

// ---- where the user left the window ---------------------------------------

void CMainFrame::SetLayoutFile(const QString& path) {
    // A program ended by the session or a signal never closes its window.
    if (m_layoutFile.isEmpty()) connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { SaveLayout(); });
    m_layoutFile = path;
    FrameLayout layout;
    if (ReadFrameLayout(path, layout)) ApplyLayout(layout);
}

FrameLayout CMainFrame::Layout() const {
    FrameLayout layout;
    layout.geometry = saveGeometry();
    layout.bars = saveState();
    const int columns = m_list->header()->count();
    if (columns == 0) {
        layout.columns = m_columns;
    } else {
        for (int c = 0; c < columns; ++c) layout.columns << m_list->columnWidth(c);
    }
    layout.utilityArea = m_utility->CurrentArea();
    layout.utilityAcross = m_utility->RememberedSize(Qt::BottomDockWidgetArea);
    layout.utilityAlong = m_utility->RememberedSize(Qt::LeftDockWidgetArea);
    layout.utilityFloating = m_utility->RememberedSize(Qt::NoDockWidgetArea);
    return layout;
}

void CMainFrame::ApplyLayout(const FrameLayout& layout) {
    if (!layout.geometry.isEmpty()) restoreGeometry(layout.geometry);
    const std::pair<Qt::DockWidgetArea, QSize> sizes[] = {{Qt::BottomDockWidgetArea, layout.utilityAcross},
                                                          {Qt::LeftDockWidgetArea, layout.utilityAlong},
                                                          {Qt::NoDockWidgetArea, layout.utilityFloating}};
    for (const auto& [area, size] : sizes)
        if (size.isValid()) m_utility->SetRememberedSize(area, size);
    if (layout.bars.isEmpty() || !restoreState(layout.bars)) {
        if (layout.utilityArea == Qt::NoDockWidgetArea) {
            m_utility->setFloating(true);
        } else {
            m_utility->setFloating(false);
            addDockWidget(layout.utilityArea, m_utility);
        }
    }
    // Its side and size come back, but every run starts with it shown.
    m_utility->setVisible(true);
    m_columns = layout.columns;
    ApplyColumns();
}

void CMainFrame::ApplyColumns() {
    if (m_columns.size() != m_list->header()->count()) return;
    for (int c = 0; c < m_columns.size(); ++c) m_list->setColumnWidth(c, m_columns[c]);
}

void CMainFrame::SaveLayout() const {
    if (!m_layoutFile.isEmpty()) WriteFrameLayout(m_layoutFile, Layout());
}

// ---- IEngineUi ------------------------------------------------------------------

void CMainFrame::SetFrameTitle(const std::string& title) {
    setWindowTitle(Q(title));
}

void CMainFrame::ShowMainWindow() {
    // The window manager would place a window that comes out of the tray
    // anew; it goes back where it was.
    if (!isVisible() && !m_hiddenGeometry.isEmpty()) restoreGeometry(m_hiddenGeometry);
    showNormal();
    m_desktop.BringToFront(this);
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

void CMainFrame::MessageBox(const std::string& text) { m_desktop.MessageBox(this, Q(text)); }

void CMainFrame::AskTrustCertificate(const std::string& account, const PeerCertificate& certificate,
                                     std::function<void(bool)> answer) {
    m_desktop.AskYesNo(this, Q(CertificateQuestion(account, certificate)), std::move(answer),
                       Q(CertificateQuestionKey(account, certificate.fingerprint)));
}

void CMainFrame::AskSignInAgain(const std::string& account, std::function<void(bool)> answer) {
    const auto names = RegistryDatabase::SubkeyNames(keys::kAccounts);
    if (!m_signIn || m_closed || std::find(names.begin(), names.end(), account) == names.end()) return answer(false);
    // Already signing in: the window in front, the answer with it.
    if (const auto it = m_signInWindows.find(account); it != m_signInWindows.end() && it->second.window) {
        it->second.answers.push_back(std::move(answer));
        it->second.window->raise();
        it->second.window->activateWindow();
        return;
    }
    m_desktop.AskYesNo(
        this, Q("The sign-in of " + account + " is missing, has expired or was revoked. Sign in now?"),
        [this, self = QPointer<CMainFrame>(this), account, answer = std::move(answer)](bool yes) mutable {
            if (!self) return;
            if (!yes || m_closed || EndBegun()) return answer(false);
            OpenSignInWindow(account, std::move(answer));
        },
        Q("sign in " + account));
}

void CMainFrame::OpenSignInWindow(const std::string& account, std::function<void(bool)> answer) {
    SignInWindow& entry = m_signInWindows[account];
    entry.answers.push_back(std::move(answer));
    if (entry.window) return;
    // The user is in the browser meanwhile; nothing waits for it here, and
    // Cancel gives up the sign-in.
    auto* waiting = new QProgressDialog(Q("Waiting for the sign-in of " + account + " in the web browser..."),
                                        QStringLiteral("Cancel"), 0, 0, this);
    waiting->setWindowTitle(QStringLiteral("Sign In"));
    waiting->setMinimumDuration(0);
    waiting->setAutoClose(false);
    waiting->setAutoReset(false);
    waiting->setAttribute(Qt::WA_DeleteOnClose);
    // The reason and the address to open by hand can be long: they wrap.
    if (auto* label = waiting->findChild<QLabel*>()) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    entry.window = waiting;
    auto finish = [this, self = QPointer<CMainFrame>(this), account](bool ok, const std::string& text) {
        if (!self) return;
        auto it = m_signInWindows.find(account);
        if (it == m_signInWindows.end()) return;
        SignInWindow done = std::move(it->second);
        m_signInWindows.erase(it);
        if (!text.empty()) AppendOutput(text + "\r\n");
        if (done.window) {
            done.window->disconnect(this);
            done.window->close();
        }
        for (auto& a : done.answers)
            if (a) a(ok && !m_closed);
    };
    connect(waiting, &QProgressDialog::canceled, this, [this, account] { m_signIn->CancelSignIn(account); });
    ISignIn::BrowserSignIn callbacks;
    callbacks.done = finish;
    callbacks.openByHand = [waiting = QPointer<QProgressDialog>(waiting)](const std::string& address) {
        if (waiting)
            waiting->setLabelText(Q("The web browser could not be opened. Open this address in a browser:\n" + address));
    };
    waiting->open();
    m_signIn->SignInWithBrowser(AccountSettings(keys::Join(keys::kAccounts, account)), std::move(callbacks));
}

void CMainFrame::OpenOptionsSheet(std::function<void(bool)> done) {
    if (done) m_sheetDone.push_back(std::move(done));
    if (m_sheet) {  // one sheet: the open one comes to the front
        m_sheet->raise();
        m_sheet->activateWindow();
        return;
    }
    QDialog* sheet = m_makeOptionsSheet ? m_makeOptionsSheet(this) : nullptr;
    if (!sheet) {
        for (auto& d : std::exchange(m_sheetDone, {})) d(false);
        return;
    }
    m_sheet = sheet;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, this, [this, sheet](int result) {
        // Written: OK, or Apply and then Cancel.
        const bool written = result == QDialog::Accepted || sheet->property("applied").toBool();
        m_sheet = nullptr;
        for (auto& d : std::exchange(m_sheetDone, {})) d(written);
    });
    // At the first start the sheet comes before the window is shown: opened
    // a turn later, it is a dialog of the shown window (on Wayland only a
    // dialog made after its window is; otherwise it stands alone, tiled).
    if (isVisible()) sheet->open();
    else QTimer::singleShot(0, sheet, [sheet] { sheet->open(); });
}


void CMainFrame::SetupList() {
    m_list->SetupColumns();
    ApplyColumns();
}

void CMainFrame::ChooserResetContent() { m_chooser->clear(); }

void CMainFrame::ChooserInsertAtTop(const std::string& text) {
    static const QIcon folder = MakeFolderIcon();
    m_chooser->insertItem(0, folder, Q(text), QByteArray::fromStdString(text));
}

void CMainFrame::ChooserSetCurSel(int index) {
    QSignalBlocker block(m_chooser);
    m_chooser->setCurrentIndex(index);
}

void CMainFrame::SetPaneText(const std::string& text, int pane) { m_status->SetPaneText(Q(text), pane); }

void CMainFrame::SetProgress(int position, int range) { m_status->SetProgress(position, range); }

void CMainFrame::ClearMessages(bool update) { m_status->ClearMessages(update); }

bool CMainFrame::HasProgressWindow() const { return !m_progressDlg.isNull(); }

void CMainFrame::CreateProgressWindow() {
    // A window of the frame's: no taskbar entry of its own, kept above it.
    m_progressDlg = new CGetMailProgressDlg([this] {
        m_progressDlg = nullptr;  // it destroys itself
        if (m_view) m_view->OnProgressCancel();
    }, this);
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

void CMainFrame::ShowInMessageCenter(const CMailHeader& header, const CMessageText& message, int page) {
    if (!m_messageCenter) {
        MessageCenterPrompts prompts = m_messageCenterPrompts;
        if (!prompts.signInAgain)
            prompts.signInAgain = [this](const std::string& account, std::function<void(bool)> answer) {
                AskSignInAgain(account, std::move(answer));
            };
        m_messageCenter = std::make_unique<CMessageCenter>(prompts, m_replyTransports);
        m_messageCenter->SetTlsLayer(m_replyTls);
        m_messageCenter->SetSignIn(m_signIn);
        m_messageCenter->setWindowIcon(windowIcon());
    }
    CMessageCenter* center = m_messageCenter.get();
    center->SetMessage(header, message, [this, center, page] {
        center->showNormal();
        m_desktop.BringToFront(center);
        if (page == CMessageCenter::kReplyPage) center->ShowReply();
        else if (page == CMessageCenter::kHeaderPage) center->ShowHeader();
        else center->ShowMessage();
    });
}

// Made on first use only: the web engine stays unloaded until then.
IMailBrowser* CMainFrame::EnsureBrowser() {
    if (!m_browser) {
        std::string why;
        const WebViewsApi* web = WebViews(&why);
        if (!web) {
            AppendOutput("Web pages cannot be shown: " + why);
            return nullptr;
        }
        m_browser.reset(web->makeBrowser([this] {
            if (m_view) m_view->OnBrowserClosed();
        }));
        m_browser->Window()->setWindowIcon(windowIcon());
    }
    return m_browser.get();
}

QWidget* CMainFrame::Browser() const { return m_browser ? m_browser->Window() : nullptr; }

void CMainFrame::ShowInBrowser(const CMailHeader& header, const CMessageText& message) {
    OpenBrowser();
    if (!m_browser) return;
    const std::string pages =
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString() + "/veltomail-pages";
    const std::string problem = ShowMessageAsPage(*m_browser, header, message, pages);
    if (!problem.empty()) MessageBox(problem);
}

void CMainFrame::OpenBrowser() {
    if (!EnsureBrowser()) return;
    QWidget* window = m_browser->Window();
    window->showNormal();
    m_desktop.BringToFront(window);
}

void CMainFrame::DestroyBrowser() { m_browser.reset(); }

}  // namespace velto
