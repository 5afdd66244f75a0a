#include "present/web/MailBrowser.h"

#include "present/Commands.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <filesystem>
#include <utility>

#include "present/WindowFit.h"


namespace velto {


// What a page may load. A message page: local files in its own folders and
// data: addresses only, until the user lets remote content in; any other
// page: everything.
class RemoteBlocker : public QWebEngineUrlRequestInterceptor {
public:
    explicit RemoteBlocker(std::function<void()> onBlocked) : m_onBlocked(std::move(onBlocked)) {}

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!m_message) return;
        const QUrl url = info.requestUrl();
        const QString scheme = url.scheme().toLower();
        if (scheme == "data" || url.toString() == "about:blank") return;
        if (scheme == "file") {
            if (!InFolders(url.toLocalFile())) info.block(true);
            return;
        }
        if (m_allowRemote) return;
        info.block(true);
        // Only what the network would have given is offered to load.
        const bool network = scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "ws" ||
                             scheme == "wss";
        if (network && m_onBlocked) m_onBlocked();
    }

    void SetMessage(bool message, QStringList folders = {}) {
        m_message = message;
        m_allowRemote = false;
        if (message) m_folders = std::move(folders);
    }
    void AllowRemote() { m_allowRemote = true; }
    bool Message() const { return m_message; }

private:
    bool InFolders(const QString& path) const {
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty()) return false;
        for (const QString& folder : m_folders)
            if (real.startsWith(folder + "/")) return true;
        return false;
    }

    std::function<void()> m_onBlocked;
    bool m_message = false;
    bool m_allowRemote = false;
    QStringList m_folders;
};

// Decides, per navigation of the main frame, whether the page is a message
// (no script) or an ordinary web page.
class BrowserPage : public QWebEnginePage {
public:
    BrowserPage(QWebEngineProfile* profile, RemoteBlocker* blocker, const std::vector<std::string>* rendered,
                QObject* parent)
        : QWebEnginePage(profile, parent), m_blocker(blocker), m_rendered(rendered) {
        settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
        // A local page's remote loads reach the interceptor, which decides;
        // refused here they would be dropped unseen and the bar never shown.
        settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    }

    void SetMessageMode(bool message, QStringList folders = {}) {
        m_blocker->SetMessage(message, std::move(folders));
        settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !message);
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!isMainFrame) return true;  // frames are the interceptor's
        if (url.isLocalFile() && IsRendered(url.toLocalFile())) {
            if (!m_blocker->Message()) SetMessageMode(true, m_folders);
            return true;
        }
        if (m_blocker->Message()) {
            // A message page goes nowhere by itself (refresh, forms): only
            // the user's click leaves it, for an ordinary page.
            if (type != NavigationTypeLinkClicked) return false;
            m_folders = {};
            SetMessageMode(false);
        }
        return true;
    }
    // A link for a new window opens here.
    QWebEnginePage* createWindow(WebWindowType) override { return this; }

public:
    QStringList m_folders;

private:
    bool IsRendered(const QString& path) const {
        for (const auto& file : *m_rendered)
            if (QString::fromStdString(file) == path) return true;
        return false;
    }
    RemoteBlocker* m_blocker;
    const std::vector<std::string>* m_rendered;
};

CTemplatePreview::CTemplatePreview(QWidget* parent) : QWidget(parent) {
    m_profile = new QWebEngineProfile(this);
    m_blocker = std::make_unique<RemoteBlocker>(nullptr);
    m_profile->setUrlRequestInterceptor(m_blocker.get());
    auto* page = new QWebEnginePage(m_profile, this);
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    page->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_view = new QWebEngineView(this);
    m_view->setPage(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

CTemplatePreview::~CTemplatePreview() {
    // The page must go before its profile.
    QWebEnginePage* page = m_view->page();
    delete m_view;
    delete page;
}

void CTemplatePreview::ShowFile(const QString& path) {
    const QString dir = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    m_blocker->SetMessage(true, dir.isEmpty() ? QStringList{} : QStringList{dir});
    m_view->load(path.isEmpty() ? QUrl("about:blank") : QUrl::fromLocalFile(path));
}

CMailBrowser::CMailBrowser(std::function<void()> closed) : m_closed(std::move(closed)) {
    setWindowTitle("VeltoMail 98");
    resize(760, 600);

    // A private, memory-only profile: mail pages leave no cache or cookies.
    m_profile = new QWebEngineProfile(this);
    m_blocker = std::make_unique<RemoteBlocker>(
        [this] { QMetaObject::invokeMethod(this, [this] { OnRemoteBlocked(); }, Qt::QueuedConnection); });
    m_profile->setUrlRequestInterceptor(m_blocker.get());
    m_page = new BrowserPage(m_profile, m_blocker.get(), &m_rendered, this);

    auto* explorer = menuBar()->addMenu("Explorer");
    auto* toolbar = addToolBar("Explorer");
    toolbar->setObjectName("explorer");
    AddCommand(explorer, ID_BROWSER_PREVIOUS, "Previous", "Back to Previous Page\nPrevious Page",
               [this] { m_view->back(); });
    AddCommand(explorer, ID_BROWSER_NEXT, "Next", "On to Next Page\nNext Page", [this] { m_view->forward(); });
    AddCommand(explorer, ID_BROWSER_REFRESH, "Refresh", "Refresh the current view\nRefresh View",
               [this] { m_view->reload(); });
    AddCommand(explorer, ID_BROWSER_HOME, "Home..", "Navigates to Startup Page\nStartup Page",
               [this] { Navigate(kHome); });
    AddCommand(explorer, ID_BROWSER_SEARCH, "Search", "Opens Explorer Search Page\nSearch",
               [this] { Navigate(kSearch); });
    auto* webMail = menuBar()->addMenu("Internet Mail");
    AddCommand(webMail, ID_BROWSER_WEBMAIL_1, "Hotmail", "", [this] { Navigate(kWebMail1); });
    AddCommand(webMail, ID_BROWSER_WEBMAIL_2, "BigFoot", "", [this] { Navigate(kWebMail2); });
    const QStyle::StandardPixmap icons[] = {QStyle::SP_ArrowBack, QStyle::SP_ArrowForward,
                                            QStyle::SP_BrowserReload, QStyle::SP_DirHomeIcon};
    const int buttons[] = {ID_BROWSER_PREVIOUS, ID_BROWSER_NEXT, ID_BROWSER_REFRESH, ID_BROWSER_HOME};
    for (int i = 0; i < 4; ++i) {
        Command(buttons[i])->setIcon(style()->standardIcon(icons[i]));
        toolbar->addAction(Command(buttons[i]));
    }

    addToolBarBreak();
    auto* address = addToolBar("Location");
    address->setObjectName("location");
    address->addWidget(new QLabel("Location ", address));
    m_location = new QComboBox(address);
    m_location->setEditable(true);
    m_location->setInsertPolicy(QComboBox::NoInsert);
    m_location->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    address->addWidget(m_location);
    connect(m_location->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { GoToAddress(m_location->currentText()); });
    connect(m_location, &QComboBox::activated, this, [this](int index) { GoToAddress(m_location->itemText(index)); });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_remoteBar = new QWidget(central);
    m_remoteBar->setObjectName("remoteBar");
    m_remoteBar->setStyleSheet("#remoteBar { background: #fff4c2; border-bottom: 1px solid #d8c36a; }");
    auto* barLayout = new QHBoxLayout(m_remoteBar);
    barLayout->setContentsMargins(8, 4, 8, 4);
    barLayout->addWidget(new QLabel("Remote content in this message was blocked to protect your privacy.", m_remoteBar));
    barLayout->addStretch();
    auto* load = new QPushButton("Load remote content", m_remoteBar);
    load->setObjectName("loadRemote");
    barLayout->addWidget(load);
    connect(load, &QPushButton::clicked, this, &CMailBrowser::LoadRemoteContent);
    m_remoteBar->hide();
    layout->addWidget(m_remoteBar);
    m_view = new QWebEngineView(central);
    m_view->setPage(m_page);
    layout->addWidget(m_view, 1);
    setCentralWidget(central);

    auto* hide = new QPushButton("Hide", this);
    hide->setDefault(true);
    statusBar()->addPermanentWidget(hide);
    connect(hide, &QPushButton::clicked, this, &QWidget::hide);
    auto* escape = new QAction(this);
    escape->setShortcut(Qt::Key_Escape);
    connect(escape, &QAction::triggered, this, &QWidget::hide);
    addAction(escape);

    connect(m_view, &QWebEngineView::titleChanged, this, [this](const QString& title) {
        setWindowTitle("VeltoMail 98 - " + title);
        m_location->setEditText(m_view->url().toString());
    });
    connect(m_view, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url) { m_location->setEditText(url.toString()); });
    connect(m_page, &QWebEnginePage::linkHovered, this, [this](const QString& url) { statusBar()->showMessage(url); });
}

CMailBrowser::~CMailBrowser() {
    // The page must go before its profile.
    delete m_view;
    delete m_page;
    for (const auto& file : m_rendered) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    if (m_closed) m_closed();
}

void CMailBrowser::keyPressEvent(QKeyEvent* event) {
    QWidget* focus = focusWidget();
    auto within = [focus](QWidget* area) { return focus && (focus == area || area->isAncestorOf(focus)); };
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !within(m_view) && !within(m_location)) {
        // A push button with the focus is pressed, as in a dialog ("Load
        // remote content", Hide); outside a dialog it passes Enter up here.
        if (auto* button = qobject_cast<QPushButton*>(focus); button && button->isEnabled()) {
            button->click();
            return;
        }
        hide();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void CMailBrowser::AddCommand(QMenu* menu, int id, const QString& text, const QString& status,
                              std::function<void()> run) {
    menu->addAction(MakeCommand(menu, id, text, status, std::move(run)));
}

QAction* CMailBrowser::Command(int id) const {
    for (QAction* a : menuBar()->findChildren<QAction*>())
        if (a->data().toInt() == id) return a;
    return nullptr;
}

QString CMailBrowser::StatusText() const { return statusBar()->currentMessage(); }

void CMailBrowser::ShowMessagePage(const QString& path, const QStringList& folders) {
    m_rendered.push_back(path.toStdString());
    m_remoteBar->hide();
    m_page->m_folders = folders;
    m_page->SetMessageMode(true, folders);
    m_view->load(QUrl::fromLocalFile(path));
}

void CMailBrowser::Navigate(const QString& address) {
    m_remoteBar->hide();
    m_page->m_folders = {};
    m_page->SetMessageMode(false);
    m_view->load(QUrl::fromUserInput(address));
}

void CMailBrowser::GoToAddress(const QString& address) {
    if (address.trimmed().isEmpty()) return;
    Navigate(address);
    if (m_location->findText(address, Qt::MatchFixedString) < 0) m_location->insertItem(0, address);
    m_location->setEditText(address);
}

void CMailBrowser::LoadRemoteContent() {
    m_remoteBar->hide();
    m_blocker->AllowRemote();
    m_view->reload();
}

void CMailBrowser::OnRemoteBlocked() {
    if (m_blocker->Message()) m_remoteBar->show();
}

void CMailBrowser::showEvent(QShowEvent* event) {
    // The first time whole on the screen: its Hide button must not lie
    // under the panel.
    if (!std::exchange(m_placed, true)) FitToScreen(*this);
    QMainWindow::showEvent(event);
}

void CMailBrowser::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace velto

// The library's one entry point, found by name when it is loaded.
extern "C" Q_DECL_EXPORT const velto::WebViewsApi* velto_web_views() {
    static const velto::WebViewsApi api = {
        [](std::function<void()> closed) -> velto::IMailBrowser* { return new velto::CMailBrowser(std::move(closed)); },
        [](QWidget* parent) -> velto::ITemplatePreview* { return new velto::CTemplatePreview(parent); },
    };
    return &api;
}
