#include "shell/MailBoxPage.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QVBoxLayout>
#include <algorithm>

#include "present/MessageDisplay.h"
#include "present/Questions.h"
#include "present/WidgetText.h"
#include "settings/RegistryDatabase.h"
#include "shell/KeepPasswords.h"
#include "shell/OAuthDialog.h"
#include "shell/PageControls.h"
#include "shell/SheetPrompts.h"

namespace velto {

namespace {

QLineEdit* AddEdit(QGridLayout* grid, QWidget* page, const char* label, const char* objectName,
                   QLabel** captionOut = nullptr) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QLatin1String(objectName));
    LimitToStore(edit);
    const int row = grid->rowCount();
    auto* caption = new QLabel(QString::fromLatin1(label), page);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    if (captionOut) *captionOut = caption;
    return edit;
}

QString NameOf(const AccountSettings& account) { return FromSetting(account.GetAccountName()); }

// An incoming port follows the protocol and the security: both in one code.
int IncomingCode(int protocol, int security) { return protocol * 16 + security; }

int UsualPort(bool incoming, int code) {
    AccountSettings probe;
    probe.m_incomingSecurity = probe.m_outgoingSecurity = static_cast<std::uint32_t>(code % 16);
    probe.m_incomingProtocol = static_cast<std::uint32_t>(code / 16);
    return incoming ? probe.IncomingPort() : probe.OutgoingPort();
}

// Stored as 0 when it is the usual one, so it keeps following the security.
std::uint32_t PortSetting(const QString& text, bool incoming, int code) {
    const int port = text.trimmed().toInt();
    return port <= 0 || port > 65535 || port == UsualPort(incoming, code) ? 0 : static_cast<std::uint32_t>(port);
}

// The folders as one line for the edit, and back: names apart by commas.
// A name with a comma or a quote in it, or blanks at its ends, stands in
// double quotes (a quote in it doubled), so that every name can be typed.
QString FoldersLine(const QStringList& names) {
    QStringList shown;
    for (const QString& name : names) {
        const bool plain = !name.contains(QLatin1Char(',')) && !name.contains(QLatin1Char('"')) && name == name.trimmed();
        shown << (plain ? name : QLatin1Char('"') + QString(name).replace("\"", "\"\"") + QLatin1Char('"'));
    }
    return shown.join(QStringLiteral(", "));
}

QStringList FolderNames(const QString& line) {
    QStringList names;
    QString name;
    bool inQuotes = false, quoted = false;
    const auto take = [&] {
        const QString kept = quoted ? name : name.trimmed();
        if (!kept.isEmpty() && !names.contains(kept)) names << kept;
        name.clear();
        quoted = false;
    };
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes) {
            if (c != QLatin1Char('"')) name += c;
            else if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) name += line[++i];
            else inQuotes = false;
        } else if (c == QLatin1Char('"') && name.trimmed().isEmpty()) {
            name.clear();
            inQuotes = quoted = true;
        } else if (c == QLatin1Char(',')) {
            take();
        } else if (!quoted) {
            name += c;  // after a closing quote only blanks are looked for
        }
    }
    take();
    return names;
}

QString FoldersText(const std::string& stored) {
    QStringList names = FromSetting(stored).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return FoldersLine(names);
}

std::string FoldersSetting(const QString& text) { return ToSetting(FolderNames(text).join(QLatin1Char('\n'))); }

// Why the folders as written cannot be stored, or empty. The store reads
// back a list of kMaxStoredValue bytes at most, and a name with a line break
// would come back as two folders: neither is written.
QString FoldersProblem(const QString& text) {
    for (const QString& name : FolderNames(text))
        if (!AccountSettings::IsStorableFolderName(ToSetting(name)))
            return "The IMAP folder \"" + name +
                   "\" cannot be kept: its name holds a line break or another control character, or is too long.";
    const std::size_t size = FoldersSetting(text).size();
    if (size <= RegistryDatabase::kMaxStoredValue) return {};
    return QString("The IMAP folders make a list of %1 bytes, and the settings keep %2 at most. "
                   "Please choose fewer folders.")
        .arg(size)
        .arg(RegistryDatabase::kMaxStoredValue);
}

// The server's folders to tick. A choice the settings cannot keep is told
// at OK, with the ticks still there to change.
class FolderChoice : public QDialog {
public:
    explicit FolderChoice(QWidget* parent) : QDialog(parent), list(new QListWidget(this)) {}
    QString Ticked() const {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) names << list->item(i)->text();
        return FoldersLine(names);
    }
    void accept() override {
        const QString why = FoldersProblem(Ticked());
        if (why.isEmpty()) return QDialog::accept();
        SheetPrompts::Current().message(this, why, SheetPrompts::Kind::Warning);
    }
    QListWidget* list;
};

QComboBox* SecurityBox(QWidget* page, const char* objectName) {
    auto* box = new QComboBox(page);
    box->setObjectName(QLatin1String(objectName));
    box->addItem("None", kSecurityNone);
    box->addItem("SSL/TLS", kSecurityTls);
    box->addItem("STARTTLS", kSecurityStartTls);
    return box;
}

QLineEdit* PortEdit(QWidget* page, const char* objectName) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QLatin1String(objectName));
    edit->setValidator(new QIntValidator(1, 65535, edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance("0000000") + 12);
    return edit;
}

}  // namespace

CMailBoxPage::CMailBoxPage(ISignIn* signIn, QWidget* parent, ImapFolderLister lister)
    : CPropertyPage(parent), m_service(signIn), m_lister(std::move(lister)) {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    m_mailbox = new QComboBox(this);
    m_mailbox->setObjectName("mailboxList");
    auto* mailboxCaption = new QLabel("MailBox", this);
    mailboxCaption->setBuddy(m_mailbox);
    grid->addWidget(mailboxCaption, 0, 0);
    grid->addWidget(m_mailbox, 0, 1);
    m_mailboxName = AddEdit(grid, this, "MailBox Name", "mailboxNameEdit");
    // The name is also the account's key name.
    LimitToStore(m_mailboxName, kMaxKeyNameBytes);
    m_incomingServer = AddEdit(grid, this, "Incoming Mail Server - POP3", "incomingServerEdit", &m_incomingServerCaption);
    m_outgoingServer = AddEdit(grid, this, "Outgoing Mail Server - SMTP", "outgoingServerEdit");
    m_emailAddress = AddEdit(grid, this, "Email Address", "emailAddressEdit");
    m_userName = AddEdit(grid, this, "User Name", "userNameEdit");
    m_password = AddEdit(grid, this, "Password", "passwordEdit");
    m_password->setEchoMode(QLineEdit::Password);
    m_keyringHint = new QLabel(this);
    m_keyringHint->setObjectName("keyringHint");
    m_keyringHint->setWordWrap(true);
    m_keyringHint->setTextFormat(Qt::PlainText);
    m_keyringHint->hide();
    grid->addWidget(m_keyringHint, grid->rowCount(), 0, 1, grid->columnCount());

    auto* checks = new QGridLayout;
    layout->addLayout(checks);
    m_disabled = new QCheckBox("&Disable This Account", this);
    m_spamOnly = new QCheckBox("Spam Headers Only", this);
    m_autoDownload = new QCheckBox("Auto Download Bodies", this);
    m_secureLogin = new QCheckBox("Se&cure Login", this);
    // Carried and saved, but not offered for change.
    m_spamOnly->setEnabled(false);
    m_autoDownload->setEnabled(false);
    m_secureLogin->setEnabled(false);
    checks->addWidget(m_disabled, 0, 0);
    checks->addWidget(m_spamOnly, 0, 1);
    checks->addWidget(m_autoDownload, 1, 0);
    checks->addWidget(m_secureLogin, 1, 1);

    BuildSecurityControls(layout);

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    auto* save = new QPushButton("Save Account", this);
    auto* remove = new QPushButton("Delete Account", this);
    auto* reset = new QPushButton("New/Reset", this);
    buttons->addWidget(save);
    buttons->addWidget(remove);
    buttons->addWidget(reset);
    buttons->addStretch();
    layout->addStretch();

    connect(m_mailbox, &QComboBox::activated, this, [this] { ShowChosenAccount(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveAccount(); });
    connect(remove, &QPushButton::clicked, this, [this] { DeleteAccount(); });
    connect(reset, &QPushButton::clicked, this, [this] { NewReset(); });

    m_exchange.Bind(m_outgoingServer, m_fields.outgoingServer);
    m_exchange.Bind(m_incomingServer, m_fields.incomingServer);
    m_exchange.Bind(m_emailAddress, m_fields.emailAddress);
    m_exchange.Bind(m_userName, m_fields.userName);
    m_exchange.Bind(m_password, m_fields.password);
    m_exchange.Bind(m_mailboxName, m_fields.mailboxName);
    m_exchange.Bind(m_disabled, m_fields.disabled);
    m_exchange.Bind(m_spamOnly, m_fields.spamOnly);
    m_exchange.Bind(m_autoDownload, m_fields.autoDownload);
    m_exchange.Bind(m_secureLogin, m_fields.secureLogin);
    m_exchange.Bind(m_incomingPort, m_fields.incomingPort);
    m_exchange.Bind(m_imapFolders, m_fields.folders);
    m_exchange.Bind(m_outgoingPort, m_fields.outgoingPort);
    m_exchange.Bind(m_sendUser, m_fields.sendUser);
    m_exchange.Bind(m_sendPassword, m_fields.sendPassword);

    // Open: every stored account, listed by name with its id as item data,
    // and the first one in the list shown.
    WriteControls();
    m_accounts = LoadAllAccounts();
    for (const AccountSettings& account : m_accounts) InsertSorted(m_mailbox, NameOf(account), account.m_id);
    m_mailbox->setCurrentIndex(m_mailbox->count() > 0 ? 0 : -1);
    ShowChosenAccount();
    // The page is up at once; the passwords follow when the keyring answers.
    ReadPasswordsFromKeyring();
}

void CMailBoxPage::ReadPasswordsFromKeyring() {
    ISecretStore* secrets = m_service ? m_service->Secrets() : nullptr;
    if (!secrets) return;
    // Room for the hint from the start: the sheet has its size by the time
    // the keyring answers.
    if (std::any_of(m_accounts.begin(), m_accounts.end(), [](const AccountSettings& a) { return a.m_passwordInKeyring; })) {
        m_keyringHint->setMinimumHeight(2 * m_keyringHint->fontMetrics().lineSpacing() + 2);
        m_keyringHint->show();
    }
    for (const AccountSettings& account : m_accounts) {
        if (!account.m_passwordInKeyring) continue;
        m_kept[account.m_id];
        for (bool outgoing : {false, true})
            secrets->ReadAsync(PasswordKey(account.GetAccountName(), outgoing),
                               [self = QPointer<CMailBoxPage>(this), id = account.m_id, outgoing](const SecretAnswer& a) {
                                   if (self) self->OnPasswordRead(id, outgoing, a);
                               });
    }
}

void CMailBoxPage::OnPasswordRead(std::uint32_t id, bool outgoing, const SecretAnswer& answer) {
    AccountSettings* account = FirstEntry(id);
    if (!account) return;
    Kept& kept = m_kept[id];
    // Nothing under the key is an empty password, not a silent keyring.
    if (answer.ok || answer.missing) {
        kept.answered[outgoing] = true;
        kept.secret[outgoing] = answer.secret;
    } else {
        kept.why = answer.why;
    }
    // What the user typed meanwhile stays.
    std::string& field = outgoing ? account->m_outgoingPassword : account->UserPasswordField();
    if (kept.answered[outgoing] && field.empty()) field = kept.secret[outgoing];
    const bool shown = m_mailbox->currentIndex() >= 0 && m_mailbox->itemData(m_mailbox->currentIndex()).toUInt() == id;
    if (shown) {
        QLineEdit* box = outgoing ? m_sendPassword : m_password;
        if (box->text().isEmpty() && kept.answered[outgoing]) {
            box->setText(FromSetting(kept.secret[outgoing]));
            (outgoing ? m_fields.sendPassword : m_fields.password) = box->text();
        }
    }
    ShowKeyringHint();
}

void CMailBoxPage::ShowKeyringHint() {
    const int index = m_mailbox->currentIndex();
    const auto it = index < 0 ? m_kept.end() : m_kept.find(m_mailbox->itemData(index).toUInt());
    if (it == m_kept.end() || it->second.why.empty() || (it->second.answered[0] && it->second.answered[1])) {
        m_keyringHint->clear();
        return;
    }
    m_keyringHint->setText("No keyring answered: start the desktop's keyring, or type the password to keep it "
                           "in the settings file.");
    m_keyringHint->setToolTip(FromSetting(it->second.why));
    m_keyringHint->show();
}

void CMailBoxPage::BuildSecurityControls(QVBoxLayout* layout) {
    // One framed block under the account's fields: two short rows for the
    // servers and one for sending's sign-in.
    auto* group = new QGroupBox("Secure Connections", this);
    auto* grid = new QGridLayout(group);
    m_incomingSecurity = SecurityBox(this, "incomingSecurityBox");
    m_incomingPort = PortEdit(this, "incomingPortEdit");
    // After the port, so that Tab reaches a POP3 account's fields as before
    // the choice existed; the folders are IMAP's alone.
    m_incomingProtocol = new QComboBox(this);
    m_incomingProtocol->setObjectName("incomingProtocolBox");
    m_incomingProtocol->addItem("POP3", kProtocolPop3);
    m_incomingProtocol->addItem("IMAP", kProtocolImap);
    m_imapFolders = new QLineEdit(this);
    m_imapFolders->setObjectName("imapFoldersEdit");
    m_imapFolders->setPlaceholderText("INBOX");
    m_imapFolders->setToolTip("The IMAP folders to watch, apart by commas (a name with a comma in double quotes); "
                              "INBOX when empty");
    m_foldersButton = new QPushButton("Folders...", this);
    m_foldersButton->setObjectName("imapFoldersButton");
    m_outgoingSecurity = SecurityBox(this, "outgoingSecurityBox");
    m_outgoingPort = PortEdit(this, "outgoingPortEdit");
    m_signIn = new QComboBox(this);
    m_signIn->setObjectName("signInBox");
    m_signIn->addItem("No sign-in", kSignInNone);
    m_signIn->addItem("Incoming user name and password", kSignInIncoming);
    m_signIn->addItem("Its own user name and password", kSignInOwn);
    m_signIn->addItem("The OAuth2 sign-in of checking", kSignInOAuth);
    m_signInWith = new QComboBox(this);
    m_signInWith->setObjectName("signInWithBox");
    for (const char* text : {"Password", "Google", "Microsoft", "Other OAuth2 provider"})
        m_signInWith->addItem(QString::fromLatin1(text));
    m_oauthButton = new QPushButton("OAuth2 Sign-In...", this);
    m_sendUser = new QLineEdit(this);
    m_sendUser->setObjectName("sendUserEdit");
    m_sendUser->setPlaceholderText("User name");
    // Screen readers tell them from the account's own user name and password.
    m_sendUser->setAccessibleName("Sending user name");
    LimitToStore(m_sendUser);
    m_sendPassword = new QLineEdit(this);
    m_sendPassword->setObjectName("sendPasswordEdit");
    m_sendPassword->setPlaceholderText("Password");
    m_sendPassword->setAccessibleName("Sending password");
    m_sendPassword->setEchoMode(QLineEdit::Password);
    LimitToStore(m_sendPassword);

    auto caption = [&](const char* text, QWidget* buddy, int row, int column) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(buddy);
        grid->addWidget(label, row, column);
        return label;
    };
    m_incomingCaption = caption("&Incoming (POP3)", m_incomingSecurity, 0, 0);
    grid->addWidget(m_incomingSecurity, 0, 1);
    caption("Port", m_incomingPort, 0, 2);
    m_incomingPort->setAccessibleName("Incoming port");
    grid->addWidget(m_incomingPort, 0, 3);
    // A row of its own: the incoming row keeps its width (the sheet must
    // fit a small screen) and Tab meets the choice where the eye does.
    caption("Incoming &protocol", m_incomingProtocol, 1, 0);
    grid->addWidget(m_incomingProtocol, 1, 1, Qt::AlignLeft);
    m_foldersCaption = caption("IMAP &folders", m_imapFolders, 2, 0);
    grid->addWidget(m_imapFolders, 2, 1);
    grid->addWidget(m_foldersButton, 2, 2, 1, 2);
    caption("&Outgoing (SMTP)", m_outgoingSecurity, 3, 0);
    grid->addWidget(m_outgoingSecurity, 3, 1);
    caption("Port", m_outgoingPort, 3, 2);
    m_outgoingPort->setAccessibleName("Outgoing port");
    grid->addWidget(m_outgoingPort, 3, 3);
    caption("Sending si&gns in with", m_signIn, 4, 0);
    grid->addWidget(m_signIn, 4, 1, 1, 3);
    auto* own = new QHBoxLayout;
    own->addWidget(m_sendUser);
    own->addWidget(m_sendPassword);
    grid->addLayout(own, 5, 1, 1, 3);
    caption("Checking signs i&n with", m_signInWith, 6, 0);
    grid->addWidget(m_signInWith, 6, 1);
    grid->addWidget(m_oauthButton, 6, 2, 1, 2);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group);

    auto followIncoming = [this] {
        const int code =
            IncomingCode(m_incomingProtocol->currentData().toInt(), m_incomingSecurity->currentData().toInt());
        const QString text = m_incomingPort->text().trimmed();
        if (text.isEmpty() || text.toInt() == UsualPort(true, m_incomingShown))
            m_incomingPort->setText(QString::number(UsualPort(true, code)));
        m_incomingShown = code;
        ShowProtocol();
        EnableSignInFields();
    };
    connect(m_incomingSecurity, &QComboBox::activated, this, followIncoming);
    connect(m_incomingProtocol, &QComboBox::activated, this, followIncoming);
    connect(m_outgoingSecurity, &QComboBox::activated, this,
            [this] { FollowUsualPort(m_outgoingSecurity, m_outgoingPort, false, m_outgoingShown); });
    connect(m_signIn, &QComboBox::activated, this, [this] { EnableSignInFields(); });
    connect(m_signInWith, &QComboBox::activated, this, [this] { EnableSignInFields(); });
    connect(m_oauthButton, &QPushButton::clicked, this, [this] { EditOAuth(); });
    connect(m_foldersButton, &QPushButton::clicked, this, [this] { ChooseImapFolders(); });
}

namespace {
constexpr const char* kProviders[] = {"", "Google", "Microsoft", "Custom"};
}  // namespace

void CMailBoxPage::EditOAuth() {
    ReadControls();
    AccountSettings account = m_fields.oauth;
    account.SetAccountName(ToSetting(m_fields.mailboxName));
    account.SetEmailAddress(ToSetting(m_fields.emailAddress));
    account.m_oauthProvider = kProviders[std::clamp(m_fields.signInWith, 1, 3)];
    COAuthDialog dialog(account, m_service, this);
    if (dialog.exec() == QDialog::Accepted) m_fields.oauth = dialog.Result();
}

void CMailBoxPage::FollowUsualPort(QComboBox* security, QLineEdit* port, bool incoming, int& shown) {
    // A port the user typed stays; the usual one of the old choice (or none)
    // becomes the usual one of the new.
    const int chosen = security->currentData().toInt();
    const QString text = port->text().trimmed();
    if (text.isEmpty() || text.toInt() == UsualPort(incoming, shown))
        port->setText(QString::number(UsualPort(incoming, chosen)));
    shown = chosen;
}

void CMailBoxPage::EnableSignInFields() {
    const bool own = m_signIn->currentData().toInt() == kSignInOwn;
    m_sendUser->setEnabled(own);
    m_sendPassword->setEnabled(own);
    const bool oauth = m_signInWith->currentIndex() > 0;
    m_oauthButton->setEnabled(oauth);
    m_password->setEnabled(!oauth);
    m_foldersButton->setEnabled(m_lister && !m_listing);
}

void CMailBoxPage::ShowProtocol() {
    // POP3 keeps the captions it always had; IMAP names itself in the same
    // places and alone has folders to watch.
    const bool imap = m_incomingProtocol->currentData().toInt() == kProtocolImap;
    const QString name = imap ? QStringLiteral("IMAP") : QStringLiteral("POP3");
    m_incomingServerCaption->setText("Incoming Mail Server - " + name);
    m_incomingCaption->setText("&Incoming (" + name + ")");
    for (QWidget* row : {static_cast<QWidget*>(m_foldersCaption), static_cast<QWidget*>(m_imapFolders),
                         static_cast<QWidget*>(m_foldersButton)})
        row->setVisible(imap);
}

void CMailBoxPage::ChooseImapFolders() {
    ReadControls();
    AccountSettings account = RecordFromFields();
    account.m_incomingProtocol = kProtocolImap;
    // A password left empty here is the one the keyring keeps.
    if (const AccountSettings* stored = FirstEntry(account.m_id); stored && account.GetUserPassword().empty())
        account.m_passwordInKeyring = stored->m_passwordInKeyring;
    else
        account.m_passwordInKeyring = 0;
    m_listing = true;
    m_foldersButton->setText("Listing...");
    EnableSignInFields();
    m_lister(account, [self = QPointer<CMailBoxPage>(this), account](ImapFolderListing listing) {
        if (!self) return;
        self->m_foldersButton->setText("Folders...");
        if (!listing.ok && !listing.untrusted.fingerprint.empty()) return self->AskTrust(account, listing.untrusted);
        self->m_listing = false;
        self->EnableSignInFields();
        if (!listing.ok) return self->Refuse("The folders could not be listed: " + FromSetting(listing.why));
        self->ShowFolderChoice(listing.folders);
    });
}

void CMailBoxPage::AskTrust(const AccountSettings& listed, const PeerCertificate& certificate) {
    const std::string name = listed.GetAccountName();
    // Under the key a check's question has: one answer for both.
    Questions::Instance().Ask(
        this, QStringLiteral("VeltoMail"), FromUtf8(CertificateQuestion(name, certificate)),
        [self = QPointer<CMailBoxPage>(this), id = listed.m_id, server = listed.GetServerName(),
         fingerprint = certificate.fingerprint](bool yes) {
            if (!self) return;
            self->m_listing = false;
            self->EnableSignInFields();
            if (!yes) return;
            self->KeepTrusted(id, server, fingerprint);
            self->ChooseImapFolders();
        },
        FromUtf8(CertificateQuestionKey(name, certificate.fingerprint)));
}

void CMailBoxPage::KeepTrusted(std::uint32_t id, const std::string& server, const std::string& fingerprint) {
    // On screen, for an account not saved yet; and in its working entry, so
    // that OK stores it even when another account is on show by then.
    // Nothing reaches the settings before OK: Cancel forgets the trust.
    m_fields.trustedServer = server;
    m_fields.trustedCertificate = fingerprint;
    for (AccountSettings& entry : m_accounts) {
        if (entry.m_id != id || entry.GetServerName() != server) continue;
        entry.m_incomingCertificate = fingerprint;
        entry.m_modified = 1;
    }
}

void CMailBoxPage::ShowFolderChoice(const std::vector<std::string>& folders) {
    // The server's folders, those watched now ticked; OK takes the ticks.
    auto* dialog = new FolderChoice(this);
    dialog->setWindowTitle("IMAP Folders");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* list = dialog->list;
    list->setObjectName("imapFolderList");
    const QStringList chosen = FolderNames(m_imapFolders->text());
    for (const std::string& folder : folders) {
        auto* item = new QListWidgetItem(FromSetting(folder), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool watched = chosen.contains(item->text()) || (m_imapFolders->text().trimmed().isEmpty() && folder == "INBOX");
        item->setCheckState(watched ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { m_imapFolders->setText(dialog->Ticked()); });
    dialog->open();
}

void CMailBoxPage::ReadControls() {
    m_fields.mailboxIndex = m_mailbox->currentIndex();
    m_fields.incomingSecurity = m_incomingSecurity->currentData().toInt();
    m_fields.protocol = m_incomingProtocol->currentData().toInt();
    m_fields.outgoingSecurity = m_outgoingSecurity->currentData().toInt();
    m_fields.signIn = m_signIn->currentData().toInt();
    m_fields.signInWith = m_signInWith->currentIndex();
    m_exchange.Read();
}

void CMailBoxPage::WriteControls() {
    m_mailbox->setCurrentIndex(m_fields.mailboxIndex);
    m_incomingSecurity->setCurrentIndex(std::max(0, m_incomingSecurity->findData(m_fields.incomingSecurity)));
    m_incomingProtocol->setCurrentIndex(std::max(0, m_incomingProtocol->findData(m_fields.protocol)));
    m_outgoingSecurity->setCurrentIndex(std::max(0, m_outgoingSecurity->findData(m_fields.outgoingSecurity)));
    m_signIn->setCurrentIndex(std::max(0, m_signIn->findData(m_fields.signIn)));
    m_signInWith->setCurrentIndex(m_fields.signInWith);
    m_incomingShown = IncomingCode(m_fields.protocol, m_fields.incomingSecurity);
    m_outgoingShown = m_fields.outgoingSecurity;
    m_exchange.Write();
    ShowProtocol();
    EnableSignInFields();
}

void CMailBoxPage::ClearFields() { m_fields = Fields{}; }

void CMailBoxPage::Refuse(const QString& text) {
    SheetPrompts::Current().message(this, text, SheetPrompts::Kind::Warning);
}

AccountSettings* CMailBoxPage::FirstEntry(std::uint32_t id) {
    auto it = std::find_if(m_accounts.begin(), m_accounts.end(),
                           [id](const AccountSettings& a) { return a.m_id == id; });
    return it == m_accounts.end() ? nullptr : &*it;
}

void CMailBoxPage::ShowChosenAccount() {
    ReadControls();
    if (m_fields.mailboxIndex < 0) return;
    const AccountSettings* account = FirstEntry(m_mailbox->itemData(m_fields.mailboxIndex).toUInt());
    if (!account) return;
    m_fields.mailboxName = NameOf(*account);
    m_fields.emailAddress = FromSetting(account->GetEmailAddress());
    m_fields.incomingServer = FromSetting(account->GetServerName());
    m_fields.userName = FromSetting(account->GetUserName());
    m_fields.password = FromSetting(account->GetUserPassword());
    m_fields.outgoingServer = FromSetting(account->GetOutgoingServer());
    m_fields.disabled = account->m_disabled != 0;
    m_fields.spamOnly = account->m_spamOnly != 0;
    m_fields.autoDownload = account->m_autoDownload != 0;
    m_fields.secureLogin = account->m_secureLogin != 0;
    m_fields.incomingSecurity = static_cast<int>(account->m_incomingSecurity);
    m_fields.protocol = static_cast<int>(account->m_incomingProtocol);
    m_fields.folders = FoldersText(account->m_imapFolders);
    m_fields.incomingPort = QString::number(account->IncomingPort());
    m_fields.outgoingSecurity = static_cast<int>(account->m_outgoingSecurity);
    m_fields.outgoingPort = QString::number(account->OutgoingPort());
    m_fields.signIn = static_cast<int>(account->m_outgoingSignIn);
    m_fields.sendUser = FromSetting(account->m_outgoingUser);
    m_fields.sendPassword = FromSetting(account->m_outgoingPassword);
    m_fields.oauth = *account;
    m_fields.trustedServer.clear();
    m_fields.trustedCertificate.clear();
    m_fields.signInWith = 0;
    if (account->m_incomingSignIn == kSignInOAuth2)
        m_fields.signInWith = account->m_oauthProvider == "Google" ? 1 : account->m_oauthProvider == "Microsoft" ? 2 : 3;
    WriteControls();
    ShowKeyringHint();
}

namespace {
QString NoBackslash(const QString& name) { return NoBackslashText("MailBox name", name); }
}  // namespace

AccountSettings CMailBoxPage::RecordFromFields() {
    const QString& name = m_fields.mailboxName;
    AccountSettings record;
    record.SetAccountName(ToSetting(name));
    record.SetEmailAddress(ToSetting(m_fields.emailAddress));
    record.SetServerName(ToSetting(m_fields.incomingServer));
    record.SetUserName(ToSetting(m_fields.userName));
    record.SetUserPassword(ToSetting(m_fields.password));
    record.SetOutgoingServer(ToSetting(m_fields.outgoingServer));
    record.m_disabled = m_fields.disabled;
    record.m_spamOnly = m_fields.spamOnly;
    record.m_autoDownload = m_fields.autoDownload;
    record.m_secureLogin = m_fields.secureLogin;
    record.m_incomingSecurity = static_cast<std::uint32_t>(m_fields.incomingSecurity);
    record.m_incomingProtocol = m_fields.protocol == kProtocolImap ? kProtocolImap : kProtocolPop3;
    record.m_imapFolders = FoldersSetting(m_fields.folders);
    record.m_incomingPort = PortSetting(m_fields.incomingPort, true, IncomingCode(m_fields.protocol, m_fields.incomingSecurity));
    record.m_outgoingSecurity = static_cast<std::uint32_t>(m_fields.outgoingSecurity);
    record.m_outgoingPort = PortSetting(m_fields.outgoingPort, false, m_fields.outgoingSecurity);
    record.m_outgoingSignIn = static_cast<std::uint32_t>(m_fields.signIn);
    record.m_outgoingUser = ToSetting(m_fields.sendUser);
    record.m_outgoingPassword = ToSetting(m_fields.sendPassword);
    record.m_incomingSignIn = m_fields.signInWith > 0 ? kSignInOAuth2 : kSignInPassword;
    if (m_fields.signInWith > 0) {
        record.m_oauthProvider = kProviders[std::clamp(m_fields.signInWith, 1, 3)];
        record.m_oauthClientId = m_fields.oauth.m_oauthClientId;
        record.m_oauthClientSecret = m_fields.oauth.m_oauthClientSecret;
        record.m_oauthAuthorizationUrl = m_fields.oauth.m_oauthAuthorizationUrl;
        record.m_oauthTokenUrl = m_fields.oauth.m_oauthTokenUrl;
        record.m_oauthScope = m_fields.oauth.m_oauthScope;
    }
    // A certificate the user trusted stays trusted while the server is the same.
    if (const AccountSettings* before = FirstEntry(record.m_id)) {
        // Where its passwords are kept goes with the account too.
        record.m_passwordInKeyring = before->m_passwordInKeyring;
        if (before->GetServerName() == record.GetServerName())
            record.m_incomingCertificate = before->m_incomingCertificate;
        if (before->GetOutgoingServer() == record.GetOutgoingServer())
            record.m_outgoingCertificate = before->m_outgoingCertificate;
    }
    if (!m_fields.trustedCertificate.empty() && m_fields.trustedServer == record.GetServerName())
        record.m_incomingCertificate = m_fields.trustedCertificate;
    return record;
}

void CMailBoxPage::SaveAccount() {
    ReadControls();
    const QString name = m_fields.mailboxName;
    if (name.isEmpty()) {
        Refuse("Please Enter MailBox name before Saving the Account");
        return;
    }
    if (name.contains(QLatin1Char('\\'))) {
        Refuse(NoBackslash(name));
        return;
    }

    if (m_fields.protocol == kProtocolImap) {
        if (const QString why = FoldersProblem(m_fields.folders); !why.isEmpty()) return Refuse(why);
    }

    AccountSettings record = RecordFromFields();
    record.m_modified = 1;
    record.m_deleted = 0;

    // The list holds one item per stored key; key names ignore letter case.
    // Adding an item leaves the selection where it was, on the same account
    // or on none.
    const QVariant selected = m_mailbox->currentData();
    const int item = FindKeyName(m_mailbox, name);
    if (item < 0) {
        InsertSorted(m_mailbox, name, record.m_id);
        m_mailbox->setCurrentIndex(selected.isValid() ? m_mailbox->findData(selected) : -1);
    } else {
        // The item stands for the account as it will be stored.
        m_mailbox->setItemData(item, record.m_id);
    }
    m_fields.mailboxIndex = m_mailbox->currentIndex();

    // Every entry of this id takes the new values. Other spellings of the
    // same key lose their marks: this entry alone decides what the key gets.
    bool found = false;
    for (AccountSettings& entry : m_accounts) {
        if (entry.m_id == record.m_id) {
            entry = record;
            found = true;
        } else if (SameKeyName(NameOf(entry), name)) {
            entry.m_modified = 0;
            entry.m_deleted = 0;
        }
    }
    if (!found) m_accounts.push_back(record);
}

void CMailBoxPage::DeleteAccount() {
    // The name as last read: the controls are not read again, so
    // clearing the name box does not stop the selected account's delete.
    if (m_fields.mailboxName.isEmpty()) {
        Refuse("Enter MailBox name before Deleting Account");
        return;
    }
    // The account selected in the list goes, whatever name is typed.
    const int selected = m_mailbox->currentIndex();
    if (selected >= 0) {
        if (const AccountSettings* first = FirstEntry(m_mailbox->itemData(selected).toUInt())) {
            // Removing the key removes every spelling of its name.
            const QString name = NameOf(*first);
            for (AccountSettings& entry : m_accounts)
                if (SameKeyName(NameOf(entry), name)) entry.m_deleted = 1;
            m_mailbox->removeItem(selected);
        }
    }
    NewReset();
}

void CMailBoxPage::NewReset() {
    ClearFields();
    WriteControls();
}

bool CMailBoxPage::Validate() {
    ReadControls();
    if (m_fields.mailboxName.contains(QLatin1Char('\\'))) {
        Refuse(NoBackslash(m_fields.mailboxName));
        m_mailboxName->setFocus();
        return false;
    }
    if (!m_fields.mailboxName.isEmpty() && m_fields.protocol == kProtocolImap) {
        if (const QString why = FoldersProblem(m_fields.folders); !why.isEmpty()) {
            Refuse(why);
            m_imapFolders->setFocus();
            return false;
        }
    }
    return true;
}

void CMailBoxPage::OnApply() {
    // The account on screen is kept without pressing "Save Account".
    ReadControls();
    if (!m_fields.mailboxName.isEmpty()) SaveAccount();
    for (AccountSettings& entry : m_accounts) {
        if (entry.m_modified && !entry.m_deleted) KeepPasswordsInKeyring(entry);
        entry.Save(keys::kAccounts);
    }
    // A removed account's secrets go with it (a later account of that name
    // must not inherit them); not where another spelling kept the key.
    const auto kept = RegistryDatabase::SubkeyNames(keys::kAccounts);
    for (const AccountSettings& entry : m_accounts)
        if (m_service && entry.m_deleted && std::none_of(kept.begin(), kept.end(), [&](const std::string& key) {
                return SameKeyName(FromSetting(key), NameOf(entry));
            }))
            m_service->Forget(entry.GetAccountName());
}

void CMailBoxPage::KeepPasswordsInKeyring(AccountSettings& account) {
    // An account saved here keeps its passwords in the keyring, where one
    // answers; the file then holds empty ones. The keyring's answer comes
    // after the sheet has closed: a refusal is told then, and the password
    // goes into the file only if the user says so.
    ISecretStore* secrets = m_service ? m_service->Secrets() : nullptr;
    if (!secrets) return;
    const auto found = m_kept.find(account.m_id);
    const Kept before = found != m_kept.end() ? found->second : Kept{};
    const bool wasInKeyring = account.m_passwordInKeyring != 0;
    PasswordChange change;
    change.account = account.GetAccountName();
    change.fromFile = !wasInKeyring;
    for (int outgoing : {0, 1}) {
        std::string& field = outgoing ? account.m_outgoingPassword : account.UserPasswordField();
        change.secret[outgoing] = field;
        change.old[outgoing] = wasInKeyring ? before.secret[outgoing] : std::string();
        change.oldKnown[outgoing] = !wasInKeyring || before.answered[outgoing];
        // Unchanged, or never given back and left empty: the keyring keeps
        // what it has.
        change.write[outgoing] =
            !wasInKeyring || (before.answered[outgoing] ? field != before.secret[outgoing] : !field.empty());
        // Kept in the file until the keyring has them.
        if (wasInKeyring) field.clear();
    }
    if (change.write[0] || change.write[1]) KeepPasswords(*secrets, std::move(change));
}

}  // namespace velto
