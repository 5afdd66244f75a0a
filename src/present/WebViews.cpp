#include "present/WebViews.h"

#include <dlfcn.h>

#include <string>
#include <vector>
#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

#include "present/TemplateRenderer.h"
#include "present/WidgetText.h"

namespace velto {
namespace {
// The library by name in the folders the program's own run path names.
// Asked of the program's search path explicitly: a plain dlopen searches
// the run path of its caller, which under a sanitizer is the sanitizer.
void* OpenOnProgramsRunPath(const char* name) {
    void* self = ::dlopen(nullptr, RTLD_LAZY);
    Dl_serinfo size{};
    if (!self || ::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0 || size.dls_size == 0) return nullptr;
    std::vector<char> buffer(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    *info = size;
    if (::dlinfo(self, RTLD_DI_SERINFO, info) != 0) return nullptr;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const std::string path = std::string(info->dls_serpath[i].dls_name) + "/" + name;
        if (void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) return handle;
    }
    return nullptr;
}

std::function<void(const std::string&)>& Notice() {
    static std::function<void(const std::string&)> notice;
    return notice;
}
}  // namespace

void SetWebViewsNotice(std::function<void(const std::string&)> notice) { Notice() = std::move(notice); }

const WebViewsApi* WebViews(std::string* error) {
    static const WebViewsApi* api = nullptr;
    static std::string problem;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (::geteuid() == 0) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
            if (Notice()) Notice()("Running as root: web pages are shown without the web engine's sandbox.");
        }
        using Entry = const WebViewsApi* (*)();
        // Installed beside the program's own libraries.
        const QString installed =
            QCoreApplication::applicationDirPath() + "/../" VELTO_WEB_INSTALL_DIR "/" VELTO_WEB_FILE_NAME;
        if (QFileInfo::exists(installed)) {
            QLibrary library(installed);
            if (auto entry = reinterpret_cast<Entry>(library.resolve("velto_web_views")))
                api = entry();
            else
                problem = ToUtf8(library.errorString());
        } else if (void* handle = OpenOnProgramsRunPath(VELTO_WEB_FILE_NAME)) {
            // In the build tree, through the program's run path, which
            // installing removes.
            if (auto entry = reinterpret_cast<Entry>(::dlsym(handle, "velto_web_views"))) api = entry();
        }
        if (!api && problem.empty()) problem = "the web view library " VELTO_WEB_FILE_NAME " is not installed";
    }
    if (!api && error) *error = problem;
    return api;
}

std::string ShowMessageAsPage(IMailBrowser& browser, const CMailHeader& header, const CMessageText& message,
                              const std::string& fallbackFolder) {
    const std::string templ = FindDefaultTemplate();
    const RenderResult page = RenderToFile(templ, header, message, fallbackFolder);
    if (!page.error.empty()) return page.error;
    const QString path = FromUtf8(page.path);
    if (!QFileInfo::exists(path)) return {};
    // The page may read its own folder and its template's (pictures, styles).
    QStringList folders;
    for (const QString& file : {path, FromUtf8(templ)}) {
        const QString dir = QFileInfo(QFileInfo(file).absolutePath()).canonicalFilePath();
        if (!file.isEmpty() && !dir.isEmpty() && !folders.contains(dir)) folders << dir;
    }
    browser.ShowMessagePage(path, folders);
    return {};
}

}  // namespace velto
