#pragma once
// The utility window: a dockable bar whose tabs are the "Output Window"
// (the conversation log) and the "URL Monitor".
#include "shell/ControlBarEx.h"

class QTabWidget;

namespace velto {

class COutputWindow;
class CUrlMonitor;
class IDesktop;

class CUtilityBar : public CControlBarEx {
    Q_OBJECT
public:
    static constexpr int kInitialWidth = 220, kInitialHeight = 100;

    CUtilityBar(QMainWindow* frame, IDesktop& desktop);

    QTabWidget* Tabs() const { return m_tabs; }
    COutputWindow* Output() const { return m_output; }
    CUrlMonitor* Urls() const { return m_urls; }
    void AppendOutput(const QString& text);

private:
    QTabWidget* m_tabs;
    COutputWindow* m_output;
    CUrlMonitor* m_urls;
};

}  // namespace velto
