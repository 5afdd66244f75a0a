#include "shell/MailPropertySheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/InternetPage.h"
#include "shell/MailBoxPage.h"
#include "shell/MiscPage.h"
#include "shell/WebTemplatePage.h"

namespace velto {

CMailPropertySheet::CMailPropertySheet(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Velto Mail Options");
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    // Every page's tab in view at once, its caption whole: the sheet grows to
    // the width of the tab row rather than scroll it.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    layout->addWidget(m_tabs);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMailPropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    layout->addWidget(buttons);
}

void CMailPropertySheet::AddPage(CPropertyPage* page, const QString& title) {
    m_pages.push_back(page);
    m_tabs->addTab(page, title);
}

bool CMailPropertySheet::Apply() {
    for (auto* page : m_pages)
        if (!page->Validate()) {
            m_tabs->setCurrentWidget(page);
            return false;
        }
    for (auto* page : m_pages) page->OnApply();
    m_applied = true;
    setProperty("applied", true);
    return true;
}

void CMailPropertySheet::accept() {
    if (Apply()) QDialog::accept();
}

void AddMailPages(CMailPropertySheet& sheet, ISound* sound, IDialup* dialup, ISignIn* signIn,
                  ImapFolderLister lister) {
    sheet.AddPage(new CMailBoxPage(signIn, nullptr, std::move(lister)), "Mailbox Setup");
    sheet.AddPage(new CWebTemplatePage, "Email Templates");
    sheet.AddPage(new CInternetPage(sound, dialup), "Internet Settings");
    sheet.AddPage(new CMiscPage, "Environment");
}

CMailPropertySheet* MakeMailPropertySheet(QWidget* parent, ISound* sound, IDialup* dialup, ISignIn* signIn,
                                          ImapFolderLister lister) {
    auto* sheet = new CMailPropertySheet(parent);
    AddMailPages(*sheet, sound, dialup, signIn, std::move(lister));
    return sheet;
}

}  // namespace velto
