#include "shell/OAuthDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "present/WidgetText.h"
#include "shell/PageControls.h"

namespace velto {

COAuthDialog::COAuthDialog(const AccountSettings& account, ISignIn* service, QWidget* parent)
    : QDialog(parent), m_account(account), m_signIn(service) {
    setWindowTitle("OAuth2 Sign-In");
    auto* layout = new QVBoxLayout(this);
    const bool custom = account.m_oauthProvider != "Google" && account.m_oauthProvider != "Microsoft";
    auto* hint = new QLabel(custom ? "Enter the client id your provider gave this program, and its addresses."
                                   : "Register this program with " + FromSetting(account.m_oauthProvider) +
                                         " (a desktop app) and enter its client id; with GNOME Online Accounts "
                                         "none is needed.",
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* form = new QFormLayout;
    auto edit = [&](const char* name, const std::string& value, bool enabled) {
        auto* e = new QLineEdit(FromSetting(value), this);
        e->setObjectName(name);
        e->setEnabled(enabled);
        LimitToStore(e);
        return e;
    };
    const OAuthEndpoints endpoints = account.OAuth();
    m_clientId = edit("clientIdEdit", account.m_oauthClientId, true);
    m_clientSecret = edit("clientSecretEdit", account.m_oauthClientSecret, true);
    m_clientSecret->setEchoMode(QLineEdit::Password);
    m_authorizationUrl = edit("authorizationUrlEdit", endpoints.authorizationUrl, custom);
    m_tokenUrl = edit("tokenUrlEdit", endpoints.tokenUrl, custom);
    m_scope = edit("scopeEdit", endpoints.scope, custom);
    form->addRow("Client &id", m_clientId);
    form->addRow("Client &secret (if any)", m_clientSecret);
    form->addRow("&Authorization URL", m_authorizationUrl);
    form->addRow("&Token URL", m_tokenUrl);
    form->addRow("S&cope", m_scope);
    layout->addLayout(form);
    auto* row = new QHBoxLayout;
    auto* signIn = new QPushButton("Sign In...", this);
    m_status = new QLabel(this);
    m_status->setObjectName("signInStatus");
    m_status->setWordWrap(true);
    // What the provider says (its error_description) is shown as it is, never as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    row->addWidget(signIn);
    row->addWidget(m_status, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(signIn, &QPushButton::clicked, this, &COAuthDialog::SignIn);
    resize(std::max(width(), 480), height());
}

AccountSettings COAuthDialog::Result() const {
    AccountSettings account = m_account;
    account.m_oauthClientId = ToSetting(m_clientId->text().trimmed());
    account.m_oauthClientSecret = ToSetting(m_clientSecret->text());
    if (m_authorizationUrl->isEnabled()) {
        account.m_oauthAuthorizationUrl = ToSetting(m_authorizationUrl->text().trimmed());
        account.m_oauthTokenUrl = ToSetting(m_tokenUrl->text().trimmed());
        account.m_oauthScope = ToSetting(m_scope->text().trimmed());
    }
    return account;
}

QString COAuthDialog::Status() const { return m_status->text(); }

void COAuthDialog::ShowAddressToOpen(const QUrl& address) {
    m_status->setText("The web browser could not be opened. Open this address in a browser: " +
                      address.toString(QUrl::FullyEncoded));
}

void COAuthDialog::SignIn() {
    if (!m_signIn) {
        m_status->setText("Signing in with OAuth2 is not available here.");
        return;
    }
    m_status->setText("Waiting for the sign-in in the web browser...");
    ISignIn::BrowserSignIn callbacks;
    callbacks.done = [self = QPointer<COAuthDialog>(this)](bool, const std::string& text) {
        if (self) self->m_status->setText(FromUtf8(text));
    };
    callbacks.openByHand = [self = QPointer<COAuthDialog>(this)](const std::string& address) {
        if (self) self->ShowAddressToOpen(QUrl(FromUtf8(address)));
    };
    m_signIn->SignInWithBrowser(Result(), std::move(callbacks));
}

}  // namespace velto
