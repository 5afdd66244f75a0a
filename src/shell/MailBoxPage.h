#pragma once
// "Mailbox Setup": creates, changes and deletes POP3 and IMAP accounts. The page edits
// a working list of the stored accounts and writes it back on OK or Apply.
#include <QString>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "engine/EngineServices.h"
#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/PageControls.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QLineEdit;
class QVBoxLayout;

namespace velto {

class CMailBoxPage : public CPropertyPage {
    Q_OBJECT
public:
    // signIn: the keyring the passwords are kept in, and where a removed
    // account's sign-in goes; null keeps passwords in the settings file.
    explicit CMailBoxPage(ISignIn* signIn = nullptr, QWidget* parent = nullptr, ImapFolderLister lister = {});
    bool Validate() override;
    void OnApply() override;
    // The accounts as edited so far, with their saved and deleted marks.
    const std::vector<AccountSettings>& WorkingList() const { return m_accounts; }

private:
    // What the controls show, as last read from them.
    struct Fields {
        int mailboxIndex = -1;
        QString outgoingServer, incomingServer, emailAddress, userName, password, mailboxName;
        bool disabled = false, spamOnly = false, autoDownload = false, secureLogin = false;
        // What a new account is offered: POP3S, submission with STARTTLS
        // signing in as the incoming user.
        int incomingSecurity = kSecurityTls, outgoingSecurity = kSecurityStartTls, signIn = kSignInIncoming;
        QString incomingPort = "995", outgoingPort = "587", sendUser, sendPassword;
        int protocol = kProtocolPop3;
        QString folders;  // IMAP: apart by commas
        // Checking signs in with a password (0) or OAuth2 at a provider:
        // Google, Microsoft, another one (1 to 3); its client as stored.
        int signInWith = 0;
        AccountSettings oauth{std::string()};
        // A certificate trusted here for the server on show, kept by a save
        // while that is still the server.
        std::string trustedServer, trustedCertificate;
    };
    void BuildSecurityControls(QVBoxLayout* layout);
    void FollowUsualPort(QComboBox* security, QLineEdit* port, bool incoming, int& shown);
    void EnableSignInFields();
    // The captions and the folders row as the chosen protocol has them.
    void ShowProtocol();
    void EditOAuth();
    void KeepPasswordsInKeyring(AccountSettings& account);
    void ReadPasswordsFromKeyring();
    void OnPasswordRead(std::uint32_t id, bool outgoing, const SecretAnswer& answer);
    void ShowKeyringHint();
    void ReadControls();
    void WriteControls();
    void ClearFields();
    void ShowChosenAccount();
    void SaveAccount();
    // The account as the controls last read show it.
    AccountSettings RecordFromFields();
    void ChooseImapFolders();
    void ShowFolderChoice(const std::vector<std::string>& folders);
    // The question a check asks about a certificate, for the listing's;
    // a yes keeps it for the account and lists again.
    void AskTrust(const AccountSettings& listed, const PeerCertificate& certificate);
    void KeepTrusted(std::uint32_t id, const std::string& server, const std::string& fingerprint);
    void DeleteAccount();
    void NewReset();
    // The one kind of box the page shows: why a button did nothing.
    void Refuse(const QString& text);
    AccountSettings* FirstEntry(std::uint32_t id);

    Fields m_fields;
    CFieldExchange m_exchange;
    std::vector<AccountSettings> m_accounts;
    ISignIn* m_service;
    // Passwords kept in the keyring, by account id, as the keyring gave them
    // back: one it has not (yet) given is never overwritten with an empty one.
    struct Kept {
        bool answered[2] = {false, false};  // incoming, outgoing
        std::string secret[2];
        std::string why;  // no keyring answered
    };
    std::map<std::uint32_t, Kept> m_kept;
    QLabel* m_keyringHint;
    QComboBox* m_mailbox;
    QLineEdit* m_outgoingServer;
    QLineEdit* m_incomingServer;
    QLabel* m_incomingServerCaption;
    QLabel* m_incomingCaption;
    QLabel* m_foldersCaption;
    QLineEdit* m_emailAddress;
    QLineEdit* m_userName;
    QLineEdit* m_password;
    QLineEdit* m_mailboxName;
    QCheckBox* m_disabled;
    QCheckBox* m_spamOnly;
    QCheckBox* m_autoDownload;
    QCheckBox* m_secureLogin;
    QComboBox* m_incomingProtocol;
    QComboBox* m_incomingSecurity;
    QLineEdit* m_imapFolders;
    QPushButton* m_foldersButton;
    ImapFolderLister m_lister;
    bool m_listing = false;  // a listing or its certificate question is under way
    QLineEdit* m_incomingPort;
    QComboBox* m_outgoingSecurity;
    QLineEdit* m_outgoingPort;
    QComboBox* m_signIn;
    QComboBox* m_signInWith;
    QPushButton* m_oauthButton;
    QLineEdit* m_sendUser;
    QLineEdit* m_sendPassword;
    // The security each port edit last followed, to tell a usual port
    // (which changes with the security) from one the user typed.
    int m_incomingShown = kSecurityTls, m_outgoingShown = kSecurityStartTls;
};

}  // namespace velto
