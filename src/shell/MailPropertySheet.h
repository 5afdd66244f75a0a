#pragma once
// "Velto Mail Options": Mailbox Setup, Email Templates, Internet Settings
// and Environment, with OK, Cancel and Apply. Pages write the settings on
// OK or Apply only.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "protocol/Transport.h"

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
    // True once OK or Apply wrote the settings, even if Cancel followed.
    bool WasApplied() const { return m_applied; }

private:
    QTabWidget* m_tabs;
    std::vector<CPropertyPage*> m_pages;
    bool m_applied = false;
};

class AccountSettings;
class IDialup;
class ISignIn;

// What listing an IMAP account's folders gave: the names, or why not.
struct ImapFolderListing {
    bool ok = false;
    std::vector<std::string> folders;
    std::string why;
    // The server's certificate when it failed verification (else no
    // fingerprint): the user may trust it and list again.
    PeerCertificate untrusted;
};
// Lists an IMAP account's folders away from the user-interface thread;
// done hears the outcome back on it.
using ImapFolderLister =
    std::function<void(const AccountSettings& account, std::function<void(ImapFolderListing)> done)>;
class ISound;

// Adds the four pages in their order. The dial-up entries come from the
// dial-up service; the sound test plays through the sound service; the
// passwords go to the sign-in service's keyring.
void AddMailPages(CMailPropertySheet& sheet, ISound* sound, IDialup* dialup, ISignIn* signIn = nullptr,
                  ImapFolderLister lister = {});
// The sheet with its pages, not yet shown; its "applied" property turns
// true once settings were written (the accounts must then be loaded again).
CMailPropertySheet* MakeMailPropertySheet(QWidget* parent, ISound* sound, IDialup* dialup, ISignIn* signIn,
                                          ImapFolderLister lister = {});

}  // namespace velto
