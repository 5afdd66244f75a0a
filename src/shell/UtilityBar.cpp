#include "shell/UtilityBar.h"

#include <QMainWindow>
#include <QTabWidget>

#include "shell/OutputWindow.h"
#include "shell/UrlMonitor.h"

namespace velto {

CUtilityBar::CUtilityBar(QMainWindow* frame, IDesktop& desktop)
    : CControlBarEx("Utility Window", frame, QSize(kInitialWidth, kInitialHeight)) {
    setObjectName("utility");
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("utilityTabs");
    m_tabs->setDocumentMode(true);
    m_output = new COutputWindow(m_tabs);
    m_tabs->addTab(m_output, "Output Window");
    m_urls = new CUrlMonitor(desktop, m_tabs);
    m_tabs->addTab(m_urls, "URL Monitor");
    SetClient(m_tabs);
    // A page shown again after new lines came in shows the newest.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_tabs->widget(index) == m_output) m_output->ScrollToEnd();
    });
}

void CUtilityBar::AppendOutput(const QString& text) { m_output->AppendOutput(text); }

}  // namespace velto
