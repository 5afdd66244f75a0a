#include <gtest/gtest.h>

#include "settings/Crc32.h"
#include "settings/Settings.h"
#include "support/MemoryHiveStorage.h"

namespace velto {
namespace {

using test::ScopedHive;

TEST(SettingsRecords, FreshInstallationGivesDefaultsAndCreatesEmptyKeys) {
    ScopedHive scoped;
    ConfigurationOptions config(keys::kConfiguration);
    EnvironmentOptions environment(keys::kEnvironment);
    MailFontSettings font(keys::kEnvironment);
    EXPECT_TRUE(LoadAllAccounts().empty());
    EXPECT_EQ(config.m_checkMailInterval, 0u);
    EXPECT_EQ(config.GetDatabase(), "");
    EXPECT_EQ(config.m_autoScan + config.m_startupScan + config.m_enableDialup + config.m_enableSound, 0u);
    EXPECT_EQ(environment.m_saveHeaders + environment.m_viewType + environment.m_startMinimized, 0u);
    EXPECT_EQ(font.m_font.height, -15);
    EXPECT_EQ(font.m_font.weight, 400);
    EXPECT_EQ(font.m_font.pitchAndFamily, 34);
    EXPECT_STREQ(font.m_font.faceName.data(), "Arial");
    EXPECT_TRUE(scoped.hive().FindKey(keys::kConfiguration));
    EXPECT_TRUE(scoped.hive().FindKey(keys::kAccounts));
    // An empty path never opens a key.
    ConfigurationOptions none;
    EXPECT_FALSE(scoped.hive().FindKey("Software\\Dunmere\\Velto Mail\\Templates"));
}

TEST(SettingsRecords, AccountRoundTripInSaveOrderWithItsId) {
    ScopedHive scoped;
    AccountSettings a;
    a.SetAccountName("Inbox");
    a.SetEmailAddress("ann@example.com");
    a.SetServerName("pop.example.com");
    a.SetUserName("ann");
    a.SetUserPassword("");
    a.SetOutgoingServer("smtp.example.com");
    a.m_disabled = 1;
    a.m_spamOnly = 300;
    a.m_modified = 1;
    a.Save(keys::kAccounts);
    const std::string text = scoped.storage().bytes;
    const char* order[] = {"Account Name", "Email Address", "Server Name", "User Name", "User Password",
                           "Outgoing Mail Server", "Disabled", "Auto Download", "Secure Login", "Spam Only"};
    std::size_t at = 0;
    for (const char* name : order) {
        const auto found = text.find(std::string("\"") + name + "\"=", at);
        ASSERT_NE(found, std::string::npos) << name;
        at = found;
    }
    EXPECT_NE(text.find("\"User Password\"=\"\""), std::string::npos);

    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    const AccountSettings& b = accounts[0];
    EXPECT_EQ(b.GetEmailAddress(), "ann@example.com");
    EXPECT_EQ(b.GetOutgoingServer(), "smtp.example.com");
    EXPECT_EQ(b.GetUserPassword(), "");
    EXPECT_EQ(b.m_disabled, 1u);
    EXPECT_EQ(b.m_spamOnly, 300u);
    EXPECT_EQ(b.m_id, Crc32::OfNameWithTerminator("Inbox"));
    EXPECT_EQ(b.m_modified, 0);
}

TEST(SettingsRecords, AccountSecurityRoundTripsAndOlderFilesKeepClearText) {
    // A file from before these values: POP3 on 110, SMTP on 25, no sign-in.
    ScopedHive old("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Old]\r\n"
                   "\"Account Name\"=\"Old\"\r\n\"User Name\"=\"ann\"\r\n\"User Password\"=\"pw\"\r\n");
    AccountSettings a(keys::Join(keys::kAccounts, "Old"));
    EXPECT_EQ(a.m_incomingSecurity, kSecurityNone);
    EXPECT_EQ(a.IncomingPort(), 110);
    EXPECT_EQ(a.OutgoingPort(), 25);
    EXPECT_EQ(a.OutgoingUser(), "");
    EXPECT_EQ(a.m_incomingCertificate, "");

    a.m_incomingSecurity = kSecurityStartTls;
    a.m_incomingPort = 1110;
    a.m_incomingCertificate = "AB:CD";
    a.m_outgoingSecurity = kSecurityTls;
    a.m_outgoingSignIn = kSignInOwn;
    a.m_outgoingUser = "ann-out";
    a.m_outgoingPassword = "pw-out";
    a.m_outgoingCertificate = "EF:01";
    a.m_modified = 1;
    a.Save(keys::kAccounts);
    EXPECT_NE(old.storage().bytes.find("\"Incoming Security\"=dword:00000002"), std::string::npos);
    EXPECT_NE(old.storage().bytes.find("\"Outgoing Sign In\"=dword:00000002"), std::string::npos);
    const AccountSettings b(keys::Join(keys::kAccounts, "Old"));
    EXPECT_EQ(b.m_incomingSecurity, kSecurityStartTls);
    EXPECT_EQ(b.IncomingPort(), 1110);
    EXPECT_EQ(b.m_incomingCertificate, "AB:CD");
    EXPECT_EQ(b.OutgoingPort(), 465);
    EXPECT_EQ(b.OutgoingUser(), "ann-out");
    EXPECT_EQ(b.OutgoingPassword(), "pw-out");
    EXPECT_EQ(b.m_outgoingCertificate, "EF:01");
    AccountSettings c = b;
    c.m_outgoingSignIn = kSignInIncoming;
    EXPECT_EQ(c.OutgoingUser() + "/" + c.OutgoingPassword(), "ann/pw");
}

// An account key whose security value is missing or unreadable, while the
// key shows the account had one: never clear text.
TEST(SettingsRecords, AMissingSecurityValueNeverMeansClearTextForAnAccountThatHadOne) {
    const std::string longFolders = "\"IMAP Folders\"=\"" + std::string(1200, 'f') + "\"\r\n";
    const std::string longSecurity = [] {
        std::string text = "\"Incoming Security\"=hex(4):01";
        for (int i = 0; i < 1100; ++i) text += ",00";
        return text + "\r\n";
    }();
    // What every save since security values exist writes with them.
    const std::string whole =
        "\"Incoming Port\"=dword:00000000\r\n\"Incoming Certificate\"=\"\"\r\n\"Outgoing Port\"=dword:00000000\r\n"
        "\"Outgoing Sign In\"=dword:00000001\r\n\"Outgoing User Name\"=\"\"\r\n\"Outgoing Password\"=\"\"\r\n"
        "\"Outgoing Certificate\"=\"\"\r\n";
    struct Row {
        const char* name;
        std::string values;  // after "Account Name"
        std::uint32_t incoming, outgoing;
        int port;
        std::string folder;  // the first watched
    } rows[] = {
        {"values from before only", "\"User Password\"=\"pw\"\r\n", kSecurityNone, kSecurityNone, 110, "INBOX"},
        {"a few newer values by hand", "\"Incoming Port\"=dword:00000000\r\n\"Password In Keyring\"=dword:00000001\r\n",
         kSecurityNone, kSecurityNone, 110, "INBOX"},
        {"None chosen and stored", whole + "\"Incoming Security\"=dword:00000000\r\n\"Outgoing Security\"=dword:00000000\r\n",
         kSecurityNone, kSecurityNone, 110, "INBOX"},
        {"an over-long folder list before the security values",
         "\"Incoming Protocol\"=dword:00000001\r\n" + longFolders +
             "\"Incoming Security\"=dword:00000001\r\n\"Outgoing Security\"=dword:00000002\r\n",
         kSecurityTls, kSecurityStartTls, 993, "INBOX"},
        {"written whole, both security values gone", whole, kSecurityStartTls, kSecurityStartTls, 110, "INBOX"},
        {"gone, ports of TLS from the first byte",
         "\"Incoming Port\"=dword:000003e3\r\n\"Outgoing Port\"=dword:000001d1\r\n", kSecurityTls, kSecurityTls,
         995, "INBOX"},
        {"an over-long security value, a certificate trusted",
         "\"Incoming Certificate\"=\"AB:CD\"\r\n" + longSecurity +
             "\"Outgoing Security\"=dword:00000000\r\n\"IMAP Folders\"=\"Sent\"\r\n",
         kSecurityStartTls, kSecurityNone, 110, "Sent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHive hive("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\A]\r\n"
                        "\"Account Name\"=\"A\"\r\n" + row.values);
        ASSERT_EQ(hive.loadProblem, "");
        const AccountSettings a(keys::Join(keys::kAccounts, "A"));
        EXPECT_EQ(a.m_incomingSecurity, row.incoming);
        EXPECT_EQ(a.m_outgoingSecurity, row.outgoing);
        EXPECT_EQ(a.IncomingPort(), row.port);
        EXPECT_EQ(a.ImapFolders().front(), row.folder);
    }
}

// A POP3 account's key holds no IMAP values, also when it was IMAP before:
// a stale one would make it read back as IMAP.
TEST(SettingsRecords, OnlyImapAccountsStoreTheProtocolAndFolders) {
    const std::string imapKey =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Mail]\r\n"
        "\"Account Name\"=\"Mail\"\r\n\"Incoming Protocol\"=dword:00000001\r\n\"IMAP Folders\"=\"INBOX\\nWork\"\r\n";
    struct Row {
        const char* name;
        std::string before;  // the settings text before the save
        std::uint32_t protocol;
        const char* folders;
        bool stored;  // both IMAP values in the text afterwards
    } rows[] = {
        {"a new POP3 account", "", kProtocolPop3, "", false},
        {"a POP3 account over an IMAP one", imapKey, kProtocolPop3, "INBOX\nWork", false},
        {"a new IMAP account", "", kProtocolImap, "INBOX\nWork", true},
        {"an IMAP account over an IMAP one", imapKey, kProtocolImap, "Work", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedHive scoped(row.before);
        AccountSettings a(row.before.empty() ? std::string() : keys::Join(keys::kAccounts, "Mail"));
        a.SetAccountName("Mail");
        a.m_incomingProtocol = row.protocol;
        a.m_imapFolders = row.folders;
        a.m_modified = 1;
        a.Save(keys::kAccounts);
        const std::string& text = scoped.storage().bytes;
        EXPECT_EQ(text.find("\"Incoming Protocol\"") != std::string::npos, row.stored) << text;
        EXPECT_EQ(text.find("\"IMAP Folders\"") != std::string::npos, row.stored) << text;
        const AccountSettings b(keys::Join(keys::kAccounts, "Mail"));
        EXPECT_EQ(b.IsImap(), row.protocol == kProtocolImap);
        EXPECT_EQ(b.m_imapFolders, row.stored ? row.folders : "");
    }
}

TEST(SettingsRecords, UnmodifiedAccountsAreNotWrittenAndDeletedWinsOverModified) {
    ScopedHive scoped;
    AccountSettings a;
    a.SetAccountName("Work");
    a.Save(keys::kAccounts);
    EXPECT_TRUE(LoadAllAccounts().empty());
    a.m_modified = 1;
    a.Save(keys::kAccounts);
    ASSERT_EQ(LoadAllAccounts().size(), 1u);
    a.m_deleted = 1;
    a.Save(keys::kAccounts);
    EXPECT_TRUE(LoadAllAccounts().empty());
}

TEST(SettingsRecords, ValueNamesMatchExactly) {
    ScopedHive scoped(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Inbox]\r\n"
        "\"disabled\"=dword:00000001\r\n\"Account Name\"=\"Inbox\"\r\n\"Server Name\"=hex(1):70,6f,70,00\r\n");
    const auto accounts = LoadAllAccounts();
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].m_disabled, 0u);
    EXPECT_EQ(accounts[0].GetServerName(), "pop");  // a stored terminator is not part of the text
}

TEST(SettingsRecords, OptionsAndTemplatesRoundTrip) {
    ScopedHive scoped;
    ConfigurationOptions c;
    c.SetDatabase("/tmp/x.vlt");
    c.SetActiveRas("Dial");
    c.m_checkMailInterval = 2000;
    c.m_strictScanning = 1;
    c.Save(keys::kConfiguration);
    EnvironmentOptions e;
    e.SetPassword("secret");
    e.m_viewType = 2;
    e.m_saveHeaders = 1;
    e.Save(keys::kEnvironment);
    MailFontSettings f;
    f.m_font.height = -20;
    f.m_font.faceName = {'C', 'o', 'u', 'r', 'i', 'e', 'r'};
    f.Save(keys::kEnvironment);
    TemplateSettings t;
    t.SetProfileName("Plain");
    t.SetIndexFile("/tmp/plain.html");
    t.m_active = 1;
    t.m_modified = 1;
    t.Save(keys::kTemplates);

    ConfigurationOptions c2(keys::kConfiguration);
    EXPECT_EQ(c2.GetDatabase(), "/tmp/x.vlt");
    EXPECT_EQ(c2.GetActiveRas(), "Dial");
    EXPECT_EQ(c2.m_checkMailInterval, 2000u);
    EXPECT_EQ(c2.m_strictScanning, 1u);
    EnvironmentOptions e2(keys::kEnvironment);
    EXPECT_EQ(e2.GetPassword(), "secret");
    EXPECT_EQ(e2.m_viewType, 2u);
    EXPECT_EQ(e2.m_saveHeaders, 1u);
    MailFontSettings f2(keys::kEnvironment);
    EXPECT_EQ(f2.m_font.height, -20);
    EXPECT_STREQ(f2.m_font.faceName.data(), "Courier");
    const auto templates = LoadAllTemplates();
    ASSERT_EQ(templates.size(), 1u);
    EXPECT_EQ(templates[0].GetIndexFile(), "/tmp/plain.html");
    EXPECT_EQ(templates[0].m_active, 1u);
    EXPECT_EQ(templates[0].m_id, Crc32::OfNameWithTerminator("Plain"));
}

// A reply goes out the way of the account its message came from: two
// accounts on one server are told apart by the address.
TEST(SettingsRecords, TheSendingRouteIsTheAccountOfServerAndAddress) {
    auto account = [](const char* name, const char* address, const char* server, const char* port) {
        return std::string("[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\") + name +
               "]\r\n\"Account Name\"=\"" + name + "\"\r\n\"Email Address\"=\"" + address + "\"\r\n\"Server Name\"=\"" +
               server + "\"\r\n\"Outgoing Port\"=dword:" + port + "\r\n\r\n";
    };
    ScopedHive scoped("REGEDIT4\r\n\r\n" + account("Ann", "ann@mail.example", "pop.mail.example", "0000024b") +
                      account("Bob", "bob@mail.example", "pop.mail.example", "000001d1"));
    struct Row {
        const char* server;
        const char* address;
        const char* account;
        int port;
    } rows[] = {
        {"pop.mail.example", "bob@mail.example", "Bob", 465},
        {"pop.mail.example", "ann@mail.example", "Ann", 587},
        {"pop.mail.example", "old@mail.example", "Ann", 587},  // address changed since: the first on the server
        {"pop.other.example", "bob@mail.example", "", 25},
    };
    for (const Row& row : rows) {
        const SendingRoute route = FindSendingRoute(row.server, row.address);
        EXPECT_EQ(route.account, row.account) << row.address;
        EXPECT_EQ(route.port, row.port) << row.address;
    }
}

}  // namespace
}  // namespace velto
