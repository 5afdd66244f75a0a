#pragma once
// "Velto Mail Options": Mailbox Setup, Email Templates, Internet Settings
// and Environment, with OK, Cancel and Apply. Pages write the settings on
// OK or Apply only.
#include <QDialog>
#include <vector>

class QTabWidget;

namespace velto {

// One page of the sheet.
class CPropertyPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Writes the page's values to the settings (OK and Apply).
    virtual void OnApply() {}
    // False keeps the sheet open (a value that is not valid).
    virtual bool Validate() { return true; }
};

class CMailPropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit CMailPropertySheet(QWidget* parent = nullptr);
    void AddPage(CPropertyPage* page, const QString& title);
    QTabWidget* Tabs() const { return m_tabs; }
    // OK: validate, apply every page, close with Accepted.
    void accept() override;
    bool Apply();

private:
    QTabWidget* m_tabs;
    std::vector<CPropertyPage*> m_pages;
};

// A page whose content comes in a later version.
CPropertyPage* MakeUnavailablePage(const QString& what, QWidget* parent = nullptr);

}  // namespace velto
