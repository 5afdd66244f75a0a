#pragma once
// The windows that show web pages (the web browser window, the template
// preview) live in a library of their own, loaded on first use: the web
// engine is large, and starting the program or checking mail must not load
// it. This is what the rest of the program sees of them.
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

class QWidget;

namespace velto {

class IMailBrowser {
public:
    virtual ~IMailBrowser() = default;
    virtual QWidget* Window() = 0;
    // Shows a rendered message page: no script, nothing remote until the
    // user allows it, no file outside folders. The window deletes the file
    // when it is destroyed.
    virtual void ShowMessagePage(const QString& path, const QStringList& folders) = 0;
};

class ITemplatePreview {
public:
    virtual ~ITemplatePreview() = default;
    virtual QWidget* Widget() = 0;
    virtual void ShowFile(const QString& path) = 0;  // empty: a blank page
};

// The library's entry points.
struct WebViewsApi {
    // closed: the window is going away (its owner forgets it).
    IMailBrowser* (*makeBrowser)(std::function<void()> closed);
    ITemplatePreview* (*makePreview)(QWidget* parent);
};

// Loads the library on the first call; nullptr (and the reason in error)
// when it cannot be loaded. The web engine will not run its sandbox as
// root: only then it runs without, and the notice says so once.
const WebViewsApi* WebViews(std::string* error = nullptr);
// Where that notice goes (the output window).
void SetWebViewsNotice(std::function<void(const std::string&)> notice);

class CMailHeader;
class CMessageText;
// Renders the message through the default template and shows the page in
// browser. Returns the text of a box for the user when no page could be
// made ("unable to create temporary file"), else empty.
std::string ShowMessageAsPage(IMailBrowser& browser, const CMailHeader& header, const CMessageText& message,
                              const std::string& fallbackFolder);

}  // namespace velto
