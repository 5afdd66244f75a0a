#pragma once
// "OAuth2 Sign-In": the client an account signs in with (its id, secret and,
// for another provider than Google or Microsoft, the addresses and scope),
// and the button that signs in through the browser.
#include <QDialog>

#include "engine/EngineServices.h"
#include "settings/Settings.h"

class QLabel;
class QLineEdit;
class QUrl;

namespace velto {

class COAuthDialog : public QDialog {
    Q_OBJECT
public:
    // account: what the page holds now (provider, client, addresses).
    // signIn: the browser sign-in; null where the program offers none.
    COAuthDialog(const AccountSettings& account, ISignIn* signIn, QWidget* parent = nullptr);
    // The account with what the dialog now holds.
    AccountSettings Result() const;
    QString Status() const;
    // No browser could be opened: the address to open by hand, shown where
    // it can be selected and copied while the sign-in waits.
    void ShowAddressToOpen(const QUrl& address);

private:
    void SignIn();
    AccountSettings m_account;
    ISignIn* m_signIn;
    QLineEdit* m_clientId;
    QLineEdit* m_clientSecret;
    QLineEdit* m_authorizationUrl;
    QLineEdit* m_tokenUrl;
    QLineEdit* m_scope;
    QLabel* m_status;
};

}  // namespace velto
