#pragma once
// The web browser window: shows a fetched message rendered through the
// default template, and doubles as a small browser (back, forward, refresh,
// home, search, an address box with its history). Created on first use and
// kept; Hide, Escape and the close box only hide it. Destroying it deletes
// every page it rendered.
//
// A message page is hostile content: it runs without script or plugins,
// loads nothing from the network (a bar offers to load it for this message)
// and reads no file outside its template's folder. Pages the user asks for
// (a clicked link, the address box, Home) are ordinary web pages.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "present/WebViews.h"

class QComboBox;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

namespace velto {

class BrowserPage;
class RemoteBlocker;

enum BrowserCommand : int {
    ID_BROWSER_PREVIOUS = 32796,
    ID_BROWSER_NEXT = 32797,
    ID_BROWSER_REFRESH = 32798,
    ID_BROWSER_HOME = 32801,
    ID_BROWSER_SEARCH = 32802,
    ID_BROWSER_WEBMAIL_1 = 32803,
    ID_BROWSER_WEBMAIL_2 = 32804,
};


// A template file shown as it is, placeholders and all, as safely as a
// message page: no script, nothing remote, nothing outside its folder.
class CTemplatePreview : public QWidget, public ITemplatePreview {
    Q_OBJECT
public:
    explicit CTemplatePreview(QWidget* parent = nullptr);
    ~CTemplatePreview() override;
    QWidget* Widget() override { return this; }
    void ShowFile(const QString& path) override;
    QWebEngineView* View() const { return m_view; }

private:
    QWebEngineProfile* m_profile = nullptr;
    std::unique_ptr<RemoteBlocker> m_blocker;
    QWebEngineView* m_view = nullptr;
};

class CMailBrowser : public QMainWindow, public IMailBrowser {
    Q_OBJECT
public:
    // closed: the window is going away (the owner forgets it).
    explicit CMailBrowser(std::function<void()> closed);
    ~CMailBrowser() override;

    QWidget* Window() override { return this; }
    void ShowMessagePage(const QString& path, const QStringList& folders) override;
    void Navigate(const QString& address);
    // The address box's Enter and its drop-down: navigate, remember once.
    void GoToAddress(const QString& address);

    QAction* Command(int id) const;
    QComboBox* Location() const { return m_location; }
    QWebEngineView* View() const { return m_view; }
    QWidget* RemoteBar() const { return m_remoteBar; }
    QString StatusText() const;
    const std::vector<std::string>& RenderedFiles() const { return m_rendered; }
    // Loads what was blocked on the message page shown now.
    void LoadRemoteContent();

    static constexpr const char* kHome = "https://www.debian.org/";
    static constexpr const char* kSearch = "https://duckduckgo.com/";
    static constexpr const char* kWebMail1 = "outlook.live.com";
    static constexpr const char* kWebMail2 = "mail.yahoo.com";

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter on a push button presses it; anywhere else but in the page and
    // the address box it is the Hide button.
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void AddCommand(QMenu* menu, int id, const QString& text, const QString& status, std::function<void()> run);
    void OnRemoteBlocked();

    std::function<void()> m_closed;
    bool m_placed = false;
    QComboBox* m_location = nullptr;
    QWebEngineView* m_view = nullptr;
    QWidget* m_remoteBar = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    BrowserPage* m_page = nullptr;
    std::unique_ptr<RemoteBlocker> m_blocker;
    std::vector<std::string> m_rendered;
};

}  // namespace velto
