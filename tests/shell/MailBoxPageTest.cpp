#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

#include "present/Questions.h"
#include "settings/Crc32.h"
#include "shell/MailBoxPage.h"
#include "shell/SheetTestKit.h"
#include "support/qt/EngineHarness.h"

namespace velto::test {
namespace {

using MailBoxPage = PagesTest;

void Drain() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

CMailBoxPage* PageOf(OpenSheet& s) { return qobject_cast<CMailBoxPage*>(s.Mailbox()); }
QComboBox* List(OpenSheet& s) { return Find<QComboBox>(s.Mailbox(), "mailboxList"); }

const AccountSettings* Stored(const std::vector<AccountSettings>& accounts, const std::string& name) {
    for (const auto& a : accounts)
        if (a.GetAccountName() == name) return &a;
    return nullptr;
}

TEST_F(MailBoxPage, OpensSortedWithIdsAndShowsTheFirst) {
    ScopedHive hive(AccountsText({{"Zeta", "pop.zeta"}, {"alpha", "pop.alpha"}, {"Mid", "pop.mid"}}));
    OpenSheet s;
    QComboBox* list = List(s);
    EXPECT_EQ(Items(list), (QStringList{"alpha", "Mid", "Zeta"}));
    EXPECT_EQ(list->currentIndex(), 0);
    for (int i = 0; i < list->count(); ++i)
        EXPECT_EQ(list->itemData(i).toUInt(), Crc32::OfNameWithTerminator(list->itemText(i).toStdString()));
    EXPECT_EQ(Text(s.Mailbox(), "mailboxNameEdit"), "alpha");
    EXPECT_EQ(Text(s.Mailbox(), "incomingServerEdit"), "pop.alpha");
    EXPECT_EQ(Text(s.Mailbox(), "emailAddressEdit"), "alpha@example.com");
    EXPECT_EQ(Text(s.Mailbox(), "userNameEdit"), "alpha");
    EXPECT_EQ(Text(s.Mailbox(), "passwordEdit"), "pw-alpha");
    EXPECT_EQ(Find<QLineEdit>(s.Mailbox(), "passwordEdit")->echoMode(), QLineEdit::Password);
    Choose(list, "Zeta");
    EXPECT_EQ(Text(s.Mailbox(), "incomingServerEdit"), "pop.zeta");
}

TEST_F(MailBoxPage, SwitchesThatCannotBeChangedStillTravelToTheStore) {
    std::string text = AccountsText({{"Box", "pop.box"}});
    text.resize(text.size() - 2);  // the key's values go on
    text += "\"Spam Only\"=dword:00000001\r\n\"Secure Login\"=dword:00000001\r\n"
            "\"Auto Download\"=dword:00000001\r\n\"Disabled\"=dword:00000000\r\n\r\n";
    ScopedHive hive(text);
    OpenSheet s;
    for (const char* caption : {"Spam Headers Only", "Auto Download Bodies", "Se&cure Login"}) {
        auto* box = Find<QCheckBox>(s.Mailbox(), caption);
        ASSERT_TRUE(box);
        EXPECT_TRUE(box->isChecked()) << caption;
        EXPECT_FALSE(box->isEnabled()) << caption;
    }
    auto* disable = Find<QCheckBox>(s.Mailbox(), "&Disable This Account");
    ASSERT_TRUE(disable);
    EXPECT_TRUE(disable->isEnabled());
    disable->setChecked(true);
    ASSERT_TRUE(s.Ok());

    // Round trip through the settings text.
    ScopedHive again(hive.storage().bytes);
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].m_spamOnly, 1u);
    EXPECT_EQ(accounts[0].m_secureLogin, 1u);
    EXPECT_EQ(accounts[0].m_autoDownload, 1u);
    EXPECT_EQ(accounts[0].m_disabled, 1u);
    EXPECT_EQ(accounts[0].GetUserPassword(), "pw-Box");
}

QComboBox* Box(OpenSheet& s, const char* name) { return Find<QComboBox>(s.Mailbox(), name); }

TEST_F(MailBoxPage, SecurityOfAnOlderAccountStaysUntilChangedAndANewOneIsProposedTls) {
    std::string text = AccountsText({{"Old", "pop.old"}});
    text.resize(text.size() - 2);
    // A certificate is only ever stored with the security values (without
    // them the key would count as one that lost its protection).
    text += "\"Incoming Security\"=dword:00000000\r\n\"Outgoing Security\"=dword:00000000\r\n"
            "\"Incoming Certificate\"=\"AA:BB\"\r\n\r\n";
    ScopedHive hive(text);
    OpenSheet s;
    // Shown as stored: clear text on the usual ports, no sign-in.
    EXPECT_EQ(Box(s, "incomingSecurityBox")->currentText(), "None");
    EXPECT_EQ(Text(s.Mailbox(), "incomingPortEdit"), "110");
    EXPECT_EQ(Box(s, "outgoingSecurityBox")->currentText(), "None");
    EXPECT_EQ(Text(s.Mailbox(), "outgoingPortEdit"), "25");
    EXPECT_EQ(Box(s, "signInBox")->currentData().toInt(), kSignInNone);
    EXPECT_FALSE(Find<QLineEdit>(s.Mailbox(), "sendUserEdit")->isEnabled());
    ASSERT_TRUE(s.Ok());
    {
        ScopedHive again(hive.storage().bytes);
        const AccountSettings old(keys::Join(keys::kAccounts, "Old"));
        EXPECT_EQ(old.m_incomingSecurity, kSecurityNone);
        EXPECT_EQ(old.IncomingPort(), 110);
        EXPECT_EQ(old.OutgoingPort(), 25);
        EXPECT_EQ(old.m_incomingCertificate, "AA:BB");  // same server: still trusted
    }

    OpenSheet t;
    Click(t.Mailbox(), "New/Reset");
    EXPECT_EQ(Box(t, "incomingSecurityBox")->currentText(), "SSL/TLS");
    EXPECT_EQ(Text(t.Mailbox(), "incomingPortEdit"), "995");
    EXPECT_EQ(Box(t, "outgoingSecurityBox")->currentText(), "STARTTLS");
    EXPECT_EQ(Text(t.Mailbox(), "outgoingPortEdit"), "587");
    EXPECT_EQ(Box(t, "signInBox")->currentData().toInt(), kSignInIncoming);
}

// IMAP: the usual port follows the protocol and the security; the folders
// to watch are ticked in the server's own list (asked for with what the
// page shows) and stored one a line.
TEST_F(MailBoxPage, AnImapAccountsPortFollowsAndItsFoldersComeFromTheServersList) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}}));
    AccountSettings asked;
    OpenSheet s(nullptr, nullptr, [&](const AccountSettings& account, auto done) {
        asked = account;
        ImapFolderListing listing;
        listing.ok = true;
        listing.folders = {"INBOX", "Archive", "Lists/N\xc3\xa4h", "Work, 2026"};
        done(listing);
    });
    Choose(Box(s, "incomingSecurityBox"), "SSL/TLS");
    for (const auto& [protocol, security, port] : {std::tuple{"IMAP", "SSL/TLS", "993"}, {"IMAP", "STARTTLS", "143"},
                                                   {"POP3", "STARTTLS", "110"}, {"IMAP", "STARTTLS", "143"}}) {
        Choose(Box(s, "incomingProtocolBox"), protocol);
        Choose(Box(s, "incomingSecurityBox"), security);
        EXPECT_EQ(Text(s.Mailbox(), "incomingPortEdit"), port) << protocol << " " << security;
    }
    Type(s.Mailbox(), "incomingServerEdit", "imap.box");
    Click(s.Mailbox(), "Folders...");
    auto* list = s.Mailbox()->findChild<QListWidget*>("imapFolderList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(asked.GetServerName(), "imap.box");
    EXPECT_TRUE(asked.IsImap());
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);  // INBOX, watched when none is named
    list->item(2)->setCheckState(Qt::Checked);
    list->item(3)->setCheckState(Qt::Checked);
    qobject_cast<QDialog*>(list->window())->accept();
    // A name with a comma is quoted, and stays one name.
    EXPECT_EQ(Text(s.Mailbox(), "imapFoldersEdit"), "INBOX, Lists/N\u00e4h, \"Work, 2026\"");
    // Typed: a quote in a quoted name doubled, blanks and empty names dropped.
    Type(s.Mailbox(), "imapFoldersEdit", Text(s.Mailbox(), "imapFoldersEdit") + " ,, \"Say \"\"hi\"\"\" , INBOX");
    ASSERT_TRUE(s.Ok());
    ScopedHive again(hive.storage().bytes);
    const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
    EXPECT_TRUE(box.IsImap());
    EXPECT_EQ(box.IncomingPort(), 143);
    EXPECT_EQ(box.ImapFolders(), (std::vector<std::string>{"INBOX", "Lists/N\xc3\xa4h", "Work, 2026", "Say \"hi\""}));
}

// A folder list the store could not read back whole, or a name that would
// come back as two, is never written: the choice and OK say why instead.
TEST_F(MailBoxPage, FolderListsTheStoreCannotReadBackAreRefused) {
    ScopedHive hive(AccountsText({{"Box", "imap.box"}}));
    OpenSheet s(nullptr, nullptr, [&](const AccountSettings&, auto done) {
        ImapFolderListing listing;
        listing.ok = true;
        for (int i = 0; i < 40; ++i)
            listing.folders.push_back("Projects/" + std::string(20, static_cast<char>('a' + i % 26)) + std::to_string(i));
        done(listing);
    });
    Choose(Box(s, "incomingProtocolBox"), "IMAP");
    Click(s.Mailbox(), "Folders...");
    auto* list = s.Mailbox()->findChild<QListWidget*>("imapFolderList");
    ASSERT_NE(list, nullptr);
    auto* choice = qobject_cast<QDialog*>(list->window());
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Checked);
    choice->accept();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("The IMAP folders make a list of 1269 bytes, and the settings keep 1000"))
        << messages[0].toStdString();
    EXPECT_TRUE(choice->isVisible());
    EXPECT_EQ(Text(s.Mailbox(), "imapFoldersEdit"), "");
    for (int i = 20; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
    choice->accept();
    EXPECT_FALSE(choice->isVisible());
    EXPECT_EQ(messages.size(), 1);
    const QString twenty = Text(s.Mailbox(), "imapFoldersEdit");
    EXPECT_EQ(twenty.count(','), 19);

    const struct {
        const char* name;
        QString folders;
        const char* told;  // the start of what the user is told; empty: stored
    } rows[] = {
        {"a list typed past the bound", twenty + ", " + twenty.toUpper(), "The IMAP folders make a list of"},
        {"a line break in a typed name", "INBOX, Work\nHKEY", "The IMAP folder \"Work\nHKEY\" cannot be kept"},
        {"a NUL in a typed name", QString("INBOX, a") + QChar(0) + "b", "The IMAP folder \"a"},
        {"the twenty chosen", twenty, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        messages.clear();
        Type(s.Mailbox(), "imapFoldersEdit", row.folders);
        const bool ok = s.Ok();
        EXPECT_EQ(ok, *row.told == 0);
        if (*row.told) {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].startsWith(row.told)) << messages[0].toStdString();
        }
    }
    ScopedHive again(hive.storage().bytes);
    const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
    EXPECT_EQ(box.ImapFolders().size(), 20u);
    EXPECT_EQ(box.ImapFolders().back(), "Projects/" + std::string(20, 't') + "19");
}

// The page's tab stops in order, by object name (else caption).
QStringList TabStops(QWidget* page) {
    QStringList stops;
    for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(page) || !w->isEnabled())
            continue;
        auto* button = qobject_cast<QAbstractButton*>(w);
        stops << (w->objectName().isEmpty() && button ? button->text() : w->objectName());
    }
    return stops;
}

QString CaptionOf(QWidget* page, const char* buddyName) {
    for (auto* label : page->findChildren<QLabel*>())
        if (label->buddy() && label->buddy()->objectName() == QLatin1String(buddyName)) return label->text();
    return {};
}

// A POP3 account shows the page as it always was: the captions name POP3,
// no folders row, and Tab goes from the security box to its port; the
// protocol choice comes after them. IMAP names itself and brings its row.
TEST_F(MailBoxPage, CaptionsAndFoldersRowFollowTheProtocol) {
    const QStringList pop3Stops = {"&Disable This Account", "incomingSecurityBox", "incomingPortEdit",
                                   "incomingProtocolBox", "outgoingSecurityBox"};
    const QStringList imapStops = {"&Disable This Account", "incomingSecurityBox", "incomingPortEdit",
                                   "incomingProtocolBox", "imapFoldersEdit", "imapFoldersButton", "outgoingSecurityBox"};
    struct Row {
        const char* name;
        bool storedImap;
        const char* chosen;  // in the protocol box; empty: as stored
        bool imap;
    } rows[] = {
        {"a POP3 account", false, "", false},
        {"IMAP chosen", false, "IMAP", true},
        {"an IMAP account", true, "", true},
        {"POP3 chosen again", true, "POP3", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = AccountsText({{"Box", "mail.box"}});
        if (row.storedImap) {
            text.resize(text.size() - 2);
            text += "\"Incoming Protocol\"=dword:00000001\r\n\r\n";
        }
        ScopedHive hive(text);
        OpenSheet s(nullptr, nullptr, [](const AccountSettings&, auto) {});
        if (*row.chosen) Choose(Box(s, "incomingProtocolBox"), row.chosen);
        const QString name = row.imap ? "IMAP" : "POP3";
        EXPECT_EQ(CaptionOf(s.Mailbox(), "incomingServerEdit"), "Incoming Mail Server - " + name);
        EXPECT_EQ(CaptionOf(s.Mailbox(), "incomingSecurityBox"), "&Incoming (" + name + ")");
        EXPECT_EQ(Find<QLineEdit>(s.Mailbox(), "imapFoldersEdit")->isVisibleTo(s.Mailbox()), row.imap);
        EXPECT_EQ(CaptionOf(s.Mailbox(), "imapFoldersEdit"), "IMAP &folders");
        const QStringList stops = TabStops(s.Mailbox());
        const qsizetype at = stops.indexOf("&Disable This Account");
        ASSERT_GE(at, 0) << stops.join(' ').toStdString();
        const QStringList& want = row.imap ? imapStops : pop3Stops;
        EXPECT_EQ(stops.mid(at, want.size()), want) << stops.join(' ').toStdString();
    }
}

// A listing that meets a certificate not trusted yet asks what a check
// asks; a yes lists again with it pinned and OK stores it with the account
// (one on the list, or one typed in and not saved yet); a no lists nothing
// more and stores nothing. No box says the listing failed.
TEST_F(MailBoxPage, FoldersBehindAnUntrustedCertificateAreListedOnceItIsTrusted) {
    PeerCertificate certificate;
    certificate.fingerprint = "AB:CD:EF";
    certificate.problem = "self-signed certificate";
    certificate.host = "imap.box";
    struct Row {
        const char* name;
        bool onTheList;
        bool yes;
    } rows[] = {
        {"an account on the list, trusted", true, true},
        {"an account on the list, not trusted", true, false},
        {"a new account, trusted", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text;
        if (row.onTheList) {
            text = AccountsText({{"Box", "imap.box"}});
            text.resize(text.size() - 2);
            text += "\"Incoming Protocol\"=dword:00000001\r\n\r\n";
        }
        ScopedHive hive(text);
        std::vector<std::string> pins;  // each listing's pinned certificate
        OpenSheet s(nullptr, nullptr, [&](const AccountSettings& account, auto done) {
            pins.push_back(account.m_incomingCertificate);
            ImapFolderListing listing;
            if (account.m_incomingCertificate == certificate.fingerprint) {
                listing.ok = true;
                listing.folders = {"INBOX", "Work"};
            } else {
                listing.why = "the server's certificate is not trusted";
                listing.untrusted = certificate;
            }
            QTimer::singleShot(0, [done, listing] { done(listing); });
        });
        if (!row.onTheList) {
            Type(s.Mailbox(), "mailboxNameEdit", "Box");
            Type(s.Mailbox(), "incomingServerEdit", "imap.box");
            Choose(Box(s, "incomingProtocolBox"), "IMAP");
        }
        auto* button = Find<QPushButton>(s.Mailbox(), "imapFoldersButton");
        button->click();
        Drain();
        EXPECT_FALSE(button->isEnabled());  // not twice while the question waits
        QMessageBox* question = Questions::Instance().Current();
        ASSERT_NE(question, nullptr);
        EXPECT_TRUE(question->text().contains("AB:CD:EF")) << question->text().toStdString();
        question->button(row.yes ? QMessageBox::Yes : QMessageBox::No)->click();
        Drain();
        const std::vector<std::string> listed = row.yes ? std::vector<std::string>{"", "AB:CD:EF"}
                                                        : std::vector<std::string>{""};
        EXPECT_EQ(pins, listed);
        auto* list = s.Mailbox()->findChild<QListWidget*>("imapFolderList");
        ASSERT_EQ(list != nullptr, row.yes);
        if (list) {
            list->item(1)->setCheckState(Qt::Checked);
            qobject_cast<QDialog*>(list->window())->accept();
        }
        EXPECT_TRUE(button->isEnabled());
        EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
        ASSERT_TRUE(s.Ok());
        const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
        EXPECT_EQ(box.m_incomingCertificate, row.yes ? "AB:CD:EF" : "");
        if (row.yes) {
            EXPECT_EQ(box.ImapFolders(), (std::vector<std::string>{"INBOX", "Work"}));
        }
    }
}

TEST_F(MailBoxPage, PortsFollowTheSecurityUnlessTypedAndOwnSignInIsStored) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}}));
    OpenSheet s;
    struct Step {
        const char* security;
        const char* typed;  // typed into the port edit first; null for none
        const char* shown;
    } steps[] = {
        {"SSL/TLS", nullptr, "995"}, {"STARTTLS", nullptr, "110"}, {"None", "1110", "1110"}, {"SSL/TLS", nullptr, "1110"},
    };
    for (const Step& step : steps) {
        if (step.typed) Type(s.Mailbox(), "incomingPortEdit", step.typed);
        Choose(Box(s, "incomingSecurityBox"), step.security);
        EXPECT_EQ(Text(s.Mailbox(), "incomingPortEdit"), step.shown) << step.security;
    }
    Choose(Box(s, "outgoingSecurityBox"), "SSL/TLS");
    EXPECT_EQ(Text(s.Mailbox(), "outgoingPortEdit"), "465");
    Choose(Box(s, "signInBox"), "Its own user name and password");
    EXPECT_TRUE(Find<QLineEdit>(s.Mailbox(), "sendUserEdit")->isEnabled());
    Type(s.Mailbox(), "sendUserEdit", "box-out");
    Type(s.Mailbox(), "sendPasswordEdit", "pw-out");
    ASSERT_TRUE(s.Ok());

    ScopedHive again(hive.storage().bytes);
    const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
    EXPECT_EQ(box.m_incomingSecurity, kSecurityTls);
    EXPECT_EQ(box.IncomingPort(), 1110);
    EXPECT_EQ(box.m_outgoingSecurity, kSecurityTls);
    EXPECT_EQ(box.m_outgoingPort, 0u);  // the usual one, kept following the choice
    EXPECT_EQ(box.OutgoingUser(), "box-out");
    EXPECT_EQ(box.OutgoingPassword(), "pw-out");
}

// An account set to another OAuth2 provider: its client and addresses come
// from the small dialog, whose "Sign In..." says how it went; the settings
// hold the choice and the client, never a password or token.
TEST_F(MailBoxPage, OAuthSignInIsChosenFilledInItsDialogAndStored) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}}));
    struct Browser : SettingsSignIn {
        void SignInWithBrowser(const AccountSettings& account, BrowserSignIn callbacks) override {
            callbacks.done(true, "Signed in as " + account.GetEmailAddress());
        }
    } browser;
    OpenSheet s(nullptr, &browser);
    Choose(Box(s, "signInWithBox"), "Other OAuth2 provider");
    EXPECT_FALSE(Find<QLineEdit>(s.Mailbox(), "passwordEdit")->isEnabled());
    QString status;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Type(dialog, "clientIdEdit", "velto-app");
        Type(dialog, "authorizationUrlEdit", "https://id.example/auth");
        Type(dialog, "tokenUrlEdit", "https://id.example/token");
        Type(dialog, "scopeEdit", "mail");
        Click(dialog, "Sign In...");
        status = Find<QLabel>(dialog, "signInStatus")->text();
        dialog->accept();
    });
    Click(s.Mailbox(), "OAuth2 Sign-In...");
    EXPECT_EQ(status, "Signed in as Box@example.com");
    ASSERT_TRUE(s.Ok());

    ScopedHive again(hive.storage().bytes);
    const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
    EXPECT_EQ(box.m_incomingSignIn, kSignInOAuth2);
    EXPECT_EQ(box.m_oauthProvider, "Custom");
    EXPECT_EQ(box.m_oauthClientId, "velto-app");
    EXPECT_EQ(box.OAuth().tokenUrl, "https://id.example/token");
    EXPECT_EQ(box.OAuth().scope, "mail");
}

// A keyring that holds what it is given, answering from the event loop (or
// not at all, or refusing writes).
struct MapKeyring : FakeKeyring {
    std::map<std::string, std::string> held;
    bool silent = false, refuses = false;
    std::vector<std::function<void()>> unanswered;
    QObject alive;  // answers still queued go with the keyring
    SecretAnswer Read(const std::string& key, std::stop_token) override {
        const auto it = held.find(key);
        return it == held.end() ? SecretAnswer{false, true, {}, "not found"} : SecretAnswer{true, false, it->second, {}};
    }
    void ReadAsync(const std::string& key, std::function<void(const SecretAnswer&)> done) override {
        auto answer = [this, key, done] { done(Read(key, {})); };
        if (silent) unanswered.push_back(answer);
        else QTimer::singleShot(0, &alive, answer);
    }
    void WriteAsync(const std::string& key, const std::string& secret,
                    std::function<void(bool, const std::string&)> done) override {
        if (!refuses) held[key] = secret;
        QTimer::singleShot(0, &alive, [ok = !refuses, done] {
            if (done) done(ok, ok ? "" : "the keyring is locked");
        });
    }
};
struct KeyringSignIn : SettingsSignIn {
    MapKeyring keyring;
    std::vector<std::string> forgotten;
    ISecretStore* Secrets() override { return &keyring; }
    void Forget(const std::string& account) override { forgotten.push_back(account); }
};

// The page opens at once and fills the password boxes when the keyring
// answers; a saved account's passwords go there and the file holds empty
// ones; a refused write leaves the file without the password (and asks
// before putting it there); a silent keyring's passwords are not
// overwritten with empty ones.
TEST_F(MailBoxPage, PasswordsGoIntoTheKeyringAndNeverIntoTheFileBehindTheUsersBack) {
    const std::string inKeyring = AccountsText({{"Box", "pop.box"}},
                                               "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Box]\r\n"
                                               "\"User Password\"=\"\"\r\n\"Password In Keyring\"=dword:00000001\r\n\r\n");
    struct Row {
        const char* name;
        std::string settings;
        bool silent, refuses;
        const char* typed;       // into the password box, empty for none
        const char* kept;        // what the keyring holds afterwards
        const char* inFile;      // the file's password
        std::uint32_t flag;      // "Password In Keyring"
        bool asked;              // whether to keep it in the file instead
    } rows[] = {
        {"from the file into the keyring", AccountsText({{"Box", "pop.box"}}), false, false, "new-secret", "new-secret", "", 1, false},
        {"the keyring refuses a new account's", AccountsText({{"Box", "pop.box"}}), false, true, "new-secret", "", "new-secret", 0, false},
        {"the keyring refuses a change", inKeyring, false, true, "changed", "old", "", 1, true},
        {"a silent keyring, nothing typed", inKeyring, true, false, "", "old", "", 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHive hive(row.settings);
        KeyringSignIn signIn;
        signIn.keyring.silent = row.silent;
        if (row.settings == inKeyring) signIn.keyring.held["Box/User Password"] = "old";
        {
            OpenSheet s(nullptr, &signIn);
            Drain();
            EXPECT_EQ(Text(s.Mailbox(), "passwordEdit"), row.settings == inKeyring && !row.silent ? "old" : row.settings == inKeyring ? "" : "pw-Box");
            EXPECT_TRUE(Find<QLabel>(s.Mailbox(), "keyringHint")->text().isEmpty());
            signIn.keyring.refuses = row.refuses;
            if (*row.typed) Type(s.Mailbox(), "passwordEdit", row.typed);
            Type(s.Mailbox(), "incomingServerEdit", "pop.other");  // the account is modified either way
            ASSERT_TRUE(s.Ok());
        }
        Drain();
        QMessageBox* question = Questions::Instance().Current();
        EXPECT_EQ(question != nullptr, row.asked);
        if (question) question->button(QMessageBox::No)->click();
        Drain();
        const AccountSettings box(keys::Join(keys::kAccounts, "Box"));
        EXPECT_EQ(box.GetUserPassword(), row.inFile);
        EXPECT_EQ(box.m_passwordInKeyring, row.flag);
        EXPECT_EQ(signIn.keyring.held["Box/User Password"], row.kept);
        if (*row.typed && !*row.inFile) {
            EXPECT_EQ(hive.storage().bytes.find(row.typed), std::string::npos);
        }
    }
    // A deleted account's secrets leave the keyring with it.
    ScopedHive hive(inKeyring);
    KeyringSignIn signIn;
    {
        OpenSheet s(nullptr, &signIn);
        Choose(List(s), "Box");
        Click(s.Mailbox(), "Delete Account");
        ASSERT_TRUE(s.Ok());
    }
    EXPECT_EQ(signIn.forgotten, std::vector<std::string>{"Box"});
}

TEST_F(MailBoxPage, SavedPasswordShowsAgainAndOkWritesItAlone) {
    ScopedHive hive(AccountsText({{"Zeta", "pop.zeta"}, {"alpha", "pop.alpha"}, {"Mid", "pop.mid"}}));
    OpenSheet s;
    Choose(List(s), "Mid");
    Type(s.Mailbox(), "passwordEdit", "new-secret");
    Click(s.Mailbox(), "Save Account");
    Choose(List(s), "Zeta");
    EXPECT_EQ(Text(s.Mailbox(), "passwordEdit"), "pw-Zeta");
    Choose(List(s), "Mid");
    EXPECT_EQ(Text(s.Mailbox(), "passwordEdit"), "new-secret");
    // Nothing is stored before OK.
    EXPECT_EQ(Stored(LoadAllAccounts(), "Mid")->GetUserPassword(), "pw-Mid");
    const std::string zetaBefore = Section(hive.storage().bytes, keys::kAccounts + "\\Zeta");
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 3u);
    EXPECT_EQ(Stored(accounts, "Mid")->GetUserPassword(), "new-secret");
    EXPECT_EQ(Stored(accounts, "Mid")->GetServerName(), "pop.mid");
    EXPECT_EQ(Section(hive.storage().bytes, keys::kAccounts + "\\Zeta"), zetaBefore);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MailBoxPage, OkRightAfterTypingANewAccountSavesIt) {
    ScopedHive hive;
    OpenSheet s;
    EXPECT_EQ(List(s)->count(), 0);
    Type(s.Mailbox(), "mailboxNameEdit", "Fresh");
    Type(s.Mailbox(), "incomingServerEdit", "pop.fresh.example");
    Type(s.Mailbox(), "outgoingServerEdit", "smtp.fresh.example");
    Type(s.Mailbox(), "emailAddressEdit", "me@fresh.example");
    Type(s.Mailbox(), "userNameEdit", "me");
    Type(s.Mailbox(), "passwordEdit", "");
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].GetAccountName(), "Fresh");
    EXPECT_EQ(accounts[0].GetServerName(), "pop.fresh.example");
    EXPECT_EQ(accounts[0].GetOutgoingServer(), "smtp.fresh.example");
    EXPECT_EQ(accounts[0].GetEmailAddress(), "me@fresh.example");
    EXPECT_EQ(accounts[0].GetUserName(), "me");
    EXPECT_NE(hive.storage().bytes.find("\"User Password\"=\"\""), std::string::npos);
}

TEST_F(MailBoxPage, EmptyMailBoxNameIsRefusedBySaveAndDelete) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}}));
    OpenSheet s;
    Click(s.Mailbox(), "New/Reset");
    EXPECT_EQ(Text(s.Mailbox(), "incomingServerEdit"), "");
    EXPECT_EQ(List(s)->currentIndex(), -1);
    Type(s.Mailbox(), "incomingServerEdit", "pop.other");
    Click(s.Mailbox(), "Save Account");
    EXPECT_EQ(messages, QStringList{"Please Enter MailBox name before Saving the Account"});
    EXPECT_EQ(PageOf(s)->WorkingList().size(), 1u);
    EXPECT_EQ(List(s)->count(), 1);

    Click(s.Mailbox(), "New/Reset");
    ASSERT_TRUE(s.Ok());
    EXPECT_EQ(LoadAllAccounts().size(), 1u);
}

// Delete Account tests the name as the fields last read it (choosing an
// account, Save Account), not the name box now; the account deleted is the
// one selected in the list.
TEST_F(MailBoxPage, DeleteTestsTheNameAsLastReadAndTakesTheSelectedAccount) {
    struct Row {
        const char* name;
        std::function<void(OpenSheet&)> before;  // what the user does first
        QStringList message;                     // shown by Delete
        QStringList items;                       // the list afterwards
        QString nameBox;                         // the name box afterwards
        std::vector<std::string> stored;         // after OK
    };
    const Row rows[] = {
        {"the name box cleared, Box selected",
         [](OpenSheet& s) {
             Choose(List(s), "Box");
             Type(s.Mailbox(), "mailboxNameEdit", "");
         },
         {}, {"Other"}, "", {"Other"}},
        {"another name typed, Box selected",
         [](OpenSheet& s) {
             Choose(List(s), "Box");
             Type(s.Mailbox(), "mailboxNameEdit", "Other");
         },
         {}, {"Other"}, "", {"Other"}},
        {"a name typed after New/Reset, nothing selected",
         [](OpenSheet& s) {
             Click(s.Mailbox(), "New/Reset");
             Type(s.Mailbox(), "mailboxNameEdit", "Other");
         },
         {"Enter MailBox name before Deleting Account"}, {"Box", "Other"}, "Other", {"Box", "Other"}},
        {"a new account saved, nothing selected",
         [](OpenSheet& s) {
             Click(s.Mailbox(), "New/Reset");
             Type(s.Mailbox(), "mailboxNameEdit", "New");
             Click(s.Mailbox(), "Save Account");
         },
         {}, {"Box", "New", "Other"}, "", {"Box", "New", "Other"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        messages.clear();
        ScopedHive hive(AccountsText({{"Box", "pop.box"}, {"Other", "pop.other"}}));
        OpenSheet s;
        row.before(s);
        Click(s.Mailbox(), "Delete Account");
        EXPECT_EQ(messages, row.message);
        EXPECT_EQ(Items(List(s)), row.items);
        EXPECT_EQ(Text(s.Mailbox(), "mailboxNameEdit"), row.nameBox);
        Click(s.Mailbox(), "New/Reset");
        ASSERT_TRUE(s.Ok());
        std::vector<std::string> stored;
        for (const auto& a : LoadAllAccounts()) stored.push_back(a.GetAccountName());
        std::sort(stored.begin(), stored.end());
        EXPECT_EQ(stored, row.stored);
    }
}

TEST_F(MailBoxPage, DeleteActsOnTheSelectedAccountNotTheTypedName) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}, {"Other", "pop.other"}}));
    OpenSheet s;
    // A selection: that account goes, whatever name is typed.
    Choose(List(s), "Box");
    Type(s.Mailbox(), "mailboxNameEdit", "Other");
    Click(s.Mailbox(), "Delete Account");
    EXPECT_EQ(Items(List(s)), QStringList{"Other"});
    EXPECT_EQ(List(s)->currentIndex(), -1);
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].GetAccountName(), "Other");
    EXPECT_EQ(accounts[0].GetServerName(), "pop.other");
}

TEST_F(MailBoxPage, CancelAfterDeleteWritesNothing) {
    ScopedHive hive(AccountsText({{"Box", "pop.box"}}));
    OpenSheet s;
    const std::string before = hive.storage().bytes;
    const int writes = hive.storage().writes;
    Click(s.Mailbox(), "Delete Account");
    Type(s.Mailbox(), "mailboxNameEdit", "Typed");
    Click(s.Mailbox(), "Save Account");
    s.sheet.reject();
    EXPECT_EQ(hive.storage().writes, writes);
    EXPECT_EQ(hive.storage().bytes, before);
    ASSERT_EQ(LoadAllAccounts().size(), 1u);
    EXPECT_FALSE(s.sheet.WasApplied());
}

TEST_F(MailBoxPage, NameDifferingOnlyInCaseIsTheSameStoredAccount) {
    ScopedHive hive(AccountsText({{"Work", "pop.old"}}));
    OpenSheet s;
    Click(s.Mailbox(), "New/Reset");
    Type(s.Mailbox(), "mailboxNameEdit", "WORK");
    Type(s.Mailbox(), "incomingServerEdit", "pop.new");
    Click(s.Mailbox(), "Save Account");
    // No second item, but a second working entry with its own id; the list
    // and its selection stay as they were, and nothing is said.
    EXPECT_EQ(Items(List(s)), QStringList{"Work"});
    EXPECT_EQ(List(s)->currentIndex(), -1);
    const auto& entries = PageOf(s)->WorkingList();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].m_id, entries[1].m_id);
    EXPECT_TRUE(messages.isEmpty());
    // Choosing it shows what will be stored.
    Choose(List(s), "Work");
    EXPECT_EQ(Text(s.Mailbox(), "incomingServerEdit"), "pop.new");
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].GetAccountName(), "WORK");
    EXPECT_EQ(accounts[0].GetServerName(), "pop.new");
}

TEST_F(MailBoxPage, LastSavedSpellingWinsAndDeleteTakesEverySpelling) {
    ScopedHive hive;
    {
        OpenSheet s;
        for (const auto& [name, server] :
             {std::pair{"abc", "pop.1"}, std::pair{"ABC", "pop.2"}, std::pair{"abc", "pop.3"}}) {
            Type(s.Mailbox(), "mailboxNameEdit", name);
            Type(s.Mailbox(), "incomingServerEdit", server);
            Click(s.Mailbox(), "Save Account");
        }
        ASSERT_TRUE(s.Ok());
        const auto accounts = LoadAllAccounts();
        ASSERT_EQ(accounts.size(), 1u);
        EXPECT_EQ(accounts[0].GetServerName(), "pop.3");
    }
    {
        // Deleted, then saved again in another spelling: the account stays.
        OpenSheet s;
        Click(s.Mailbox(), "Delete Account");
        Type(s.Mailbox(), "mailboxNameEdit", "Abc");
        Type(s.Mailbox(), "incomingServerEdit", "pop.4");
        Click(s.Mailbox(), "Save Account");
        ASSERT_TRUE(s.Ok());
        const auto accounts = LoadAllAccounts();
        ASSERT_EQ(accounts.size(), 1u);
        EXPECT_EQ(accounts[0].GetServerName(), "pop.4");
    }
    {
        // Saved in another spelling, then deleted: nothing stays.
        OpenSheet s;
        Type(s.Mailbox(), "mailboxNameEdit", "aBC");
        Click(s.Mailbox(), "Save Account");
        Click(s.Mailbox(), "Delete Account");
        EXPECT_EQ(List(s)->count(), 0);
        ASSERT_TRUE(s.Ok());
        EXPECT_TRUE(LoadAllAccounts().empty());
    }
}

TEST_F(MailBoxPage, SaveLeavesTheListSelectionAsItWasAndSaysNothing) {
    ScopedHive hive(AccountsText({{"alpha", "pop.alpha"}, {"gamma", "pop.gamma"}}));
    OpenSheet s;
    struct Row {
        const char* name;  // typed over what alpha's settings show
        QStringList items;
    };
    const Row rows[] = {
        {"beta", {"alpha", "beta", "gamma"}},                  // a new name: alpha stays
        {"gamma", {"alpha", "beta", "gamma"}},                 // over another account
        {"Aardvark", {"Aardvark", "alpha", "beta", "gamma"}},  // sorted in before the selection
    };
    for (const Row& row : rows) {
        Type(s.Mailbox(), "mailboxNameEdit", row.name);
        Click(s.Mailbox(), "Save Account");
        EXPECT_EQ(Items(List(s)), row.items) << row.name;
        EXPECT_EQ(List(s)->currentText(), "alpha") << row.name;
        EXPECT_EQ(Text(s.Mailbox(), "mailboxNameEdit"), row.name);
    }
    EXPECT_TRUE(messages.isEmpty());
    Click(s.Mailbox(), "Delete Account");
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 3u);  // alpha went
    for (const char* name : {"Aardvark", "beta", "gamma"})
        EXPECT_EQ(Stored(accounts, name)->GetServerName(), "pop.alpha") << name;
}

TEST_F(MailBoxPage, TheFirstAccountSavedIntoAnEmptyListIsNotSelected) {
    ScopedHive hive;
    OpenSheet s;
    Type(s.Mailbox(), "mailboxNameEdit", "First");
    Click(s.Mailbox(), "Save Account");
    EXPECT_EQ(Items(List(s)), QStringList{"First"});
    EXPECT_EQ(List(s)->currentIndex(), -1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MailBoxPage, NamesTheStoreCannotHoldAreRefused) {
    ScopedHive hive;
    OpenSheet s;
    Type(s.Mailbox(), "mailboxNameEdit", "Home\\Work");
    Click(s.Mailbox(), "Save Account");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "The MailBox name \"Home\\Work\" contains a backslash (\\), which a MailBox name "
                           "cannot hold.\nPlease choose a name without one.");
    EXPECT_EQ(List(s)->count(), 0);
    EXPECT_TRUE(PageOf(s)->WorkingList().empty());
    // OK keeps the sheet open rather than lose the account on screen, with
    // the same one box.
    EXPECT_FALSE(s.Ok());
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1], messages[0]);
    EXPECT_TRUE(LoadAllAccounts().empty());
    // Longer than the store can name a key: the edit takes no more.
    auto* name = Find<QLineEdit>(s.Mailbox(), "mailboxNameEdit");
    name->clear();
    name->insert(QString(255, 'n'));
    name->insert("x");
    EXPECT_EQ(name->text().size(), 255);
    ASSERT_TRUE(s.Ok());
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].GetAccountName(), std::string(255, 'n'));
}

}  // namespace
}  // namespace velto::test
