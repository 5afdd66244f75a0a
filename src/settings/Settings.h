#pragma once
// The settings records: each is its own store cursor, loads itself from its
// key (defaults first) and saves itself in a fixed value order.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/RegistryDatabase.h"

namespace velto {

namespace keys {
// String-table texts 106, 108, 143 and 105.
inline const std::string kAccounts = "Software\\Dunmere\\Velto Mail\\Accounts";
inline const std::string kConfiguration = "Software\\Dunmere\\Velto Mail\\Configuration";
inline const std::string kEnvironment = "Software\\Dunmere\\Velto Mail\\Environment";
inline const std::string kTemplates = "Software\\Dunmere\\Velto Mail\\Templates";
// "%s\\%s": a record's own key below the accounts or templates key.
std::string Join(const std::string& parent, const std::string& name);
}  // namespace keys

// How an account's connection is protected. Missing values load as None, so
// a settings file from before keeps its clear POP3 on 110 and HELO on 25.
enum AccountSecurity : std::uint32_t { kSecurityNone = 0, kSecurityTls = 1, kSecurityStartTls = 2 };
// Sign-in for sending: none, the incoming user name and password, or its own.
enum OutgoingSignIn : std::uint32_t { kSignInNone = 0, kSignInIncoming = 1, kSignInOwn = 2, kSignInOAuth = 3 };
// How checking signs in: USER and PASS, or OAuth2 (XOAUTH2, over TLS only).
enum IncomingSignIn : std::uint32_t { kSignInPassword = 0, kSignInOAuth2 = 1 };
// How the incoming server is read: POP3 (every account stored before), IMAP.
enum IncomingProtocol : std::uint32_t { kProtocolPop3 = 0, kProtocolImap = 1 };

// Where an OAuth2 sign-in happens: the provider's authorization and token
// addresses and the scope asked for.
struct OAuthEndpoints {
    std::string authorizationUrl, tokenUrl, scope;
};
// "Google" and "Microsoft" come built in; any other provider ("Custom")
// has its own, stored with the account.
OAuthEndpoints OAuthPreset(const std::string& provider);
// Where a double click shows a message ("View Type"): Automatic is both windows.
enum ViewType : std::uint32_t { kViewAutomatic = 0, kViewAsWebPage = 1, kViewInMessageCenter = 2 };

class AccountSettings : public RegistryDatabase {
public:
    explicit AccountSettings(const std::string& path = {});
    void Load(const std::string& path);
    // Deleted: removes the account's key; modified: writes it; else nothing.
    void Save(const std::string& accountsPath);

    std::string GetEmailAddress() const { return m_emailAddress; }
    std::string GetServerName() const { return m_serverName; }
    std::string GetAccountName() const { return m_accountName; }
    std::string GetUserName() const { return m_userName; }
    std::string GetUserPassword() const { return m_userPassword; }
    std::string GetOutgoingServer() const { return m_outgoingServer; }
    void SetEmailAddress(const std::string& s) { m_emailAddress = s; }
    void SetServerName(const std::string& s) { m_serverName = s; }
    // Also recomputes the id, as a load would.
    void SetAccountName(const std::string& s);
    void SetUserName(const std::string& s) { m_userName = s; }
    void SetUserPassword(const std::string& s) { m_userPassword = s; }
    std::string& UserPasswordField() { return m_userPassword; }
    void SetOutgoingServer(const std::string& s) { m_outgoingServer = s; }

    std::uint8_t m_deleted = 0;
    std::uint8_t m_modified = 0;
    std::uint32_t m_spamOnly = 0;
    std::uint32_t m_secureLogin = 0;
    std::uint32_t m_disabled = 0;
    std::uint32_t m_autoDownload = 0;
    std::uint32_t m_id = 0;

    // Incoming and outgoing protection; a port of 0 means the usual one for
    // the security chosen. A certificate is the SHA-256 fingerprint of one
    // the user chose to trust although it failed verification.
    std::uint32_t m_incomingSecurity = kSecurityNone;
    std::uint32_t m_incomingPort = 0;
    std::string m_incomingCertificate;
    std::uint32_t m_outgoingSecurity = kSecurityNone;
    std::uint32_t m_outgoingPort = 0;
    std::uint32_t m_outgoingSignIn = kSignInNone;
    std::string m_outgoingUser;
    std::string m_outgoingPassword;
    std::string m_outgoingCertificate;

    // OAuth2 sign-in. Tokens never go into the settings.
    std::uint32_t m_incomingSignIn = kSignInPassword;
    std::uint32_t m_incomingProtocol = kProtocolPop3;
    // IMAP: the folders to watch, one a line (UTF-8); INBOX when empty.
    std::string m_imapFolders;
    std::vector<std::string> ImapFolders() const;
    // A folder name the list keeps as itself: UTF-8 without control
    // characters (a line break would make two folders of it, a NUL cut it),
    // and short enough for the store to read back.
    static bool IsStorableFolderName(std::string_view name);
    bool IsImap() const { return m_incomingProtocol == kProtocolImap; }
    std::string m_oauthProvider, m_oauthClientId, m_oauthClientSecret;
    std::string m_oauthAuthorizationUrl, m_oauthTokenUrl, m_oauthScope;
    // The provider's addresses: its preset, or the stored ones for "Custom".
    OAuthEndpoints OAuth() const;
    // The passwords are in the desktop's keyring (under PasswordKey), the
    // settings file holds empty ones.
    std::uint32_t m_passwordInKeyring = 0;

    // The ports to connect to: the chosen one, else 110/995 and 25/465/587.
    int IncomingPort() const;
    int OutgoingPort() const;
    // The name and password sending signs in with; empty when it does not.
    std::string OutgoingUser() const;
    std::string OutgoingPassword() const;
    // Every stored value equal: the account works as before.
    bool SameValues(const AccountSettings& other) const;

private:
    std::vector<Field> Fields();
    std::string m_emailAddress, m_serverName, m_accountName, m_userName, m_userPassword, m_outgoingServer;
};

// Every account below the accounts key, in enumeration order.
std::vector<AccountSettings> LoadAllAccounts();

// How a reply to a message of the account with this incoming server goes
// out. Without such an account (removed since) it goes as it always did:
// port 25, in clear, no sign-in.
struct SendingRoute {
    std::string account;  // the account's key name; empty when none
    std::string server;   // its sending server as it is now
    int port = 25;
    std::uint32_t security = kSecurityNone;
    std::string pinned;  // a certificate the user chose to trust
};
// The account a message came from: its incoming server and address (two
// accounts may share a server); else the first on that server.
SendingRoute FindSendingRoute(const std::string& incomingServer, const std::string& address);

// The keyring entry of an account's incoming or outgoing password.
std::string PasswordKey(const std::string& account, bool outgoing);

// Trusts, for the account's incoming or outgoing connections, exactly the
// certificate with this fingerprint. False when the account was removed
// meanwhile.
enum class CertificateUse { Incoming, Outgoing };
bool TrustCertificate(const std::string& accountName, CertificateUse use, const std::string& fingerprint);

class ConfigurationOptions : public RegistryDatabase {
public:
    explicit ConfigurationOptions(const std::string& path = {});
    void Load(const std::string& path);
    void Save(const std::string& path);

    std::string GetActiveRas() const { return m_activeRas; }
    std::string GetSoundFilename() const { return m_soundFilename; }
    std::string GetDatabase() const { return m_database; }
    void SetActiveRas(const std::string& s) { m_activeRas = s; }
    void SetSoundFilename(const std::string& s) { m_soundFilename = s; }
    void SetDatabase(const std::string& s) { m_database = s; }

    std::uint32_t m_enableDialup = 0;
    std::uint32_t m_autoScan = 0;
    std::uint32_t m_startupScan = 0;
    std::uint32_t m_checkMailInterval = 0;
    std::uint32_t m_noDisconnect = 0;
    std::uint32_t m_strictScanning = 0;
    std::uint32_t m_enableSound = 0;

private:
    std::vector<Field> Fields();
    std::string m_activeRas, m_soundFilename, m_database;
};

class EnvironmentOptions : public RegistryDatabase {
public:
    explicit EnvironmentOptions(const std::string& path = {});
    void Load(const std::string& path);
    void Save(const std::string& path);

    std::string GetLogFilename() const { return m_logFilename; }
    std::string GetPassword() const { return m_password; }
    void SetLogFilename(const std::string& s) { m_logFilename = s; }
    void SetPassword(const std::string& s) { m_password = s; }

    std::uint32_t m_autoRemove = 0;
    std::uint32_t m_logDebug = 0;
    std::uint32_t m_logEnabled = 0;
    std::uint32_t m_passwordProtect = 0;
    std::uint32_t m_saveHeaders = 0;
    std::uint32_t m_logStandard = 0;
    std::uint32_t m_startMinimized = 0;
    std::uint32_t m_viewType = 0;  // a ViewType
    // Beyond the Windows version: all message ids in one listing, new
    // headers in batches. Off unless chosen, so an existing set-up sends what
    // it always sent.
    std::uint32_t m_quickCheck = 0;

private:
    std::vector<Field> Fields();
    std::string m_logFilename, m_password;
};

// The 60-byte font description of the Windows version, kept byte for byte so
// that an exported "Mail Font" value loads unchanged.
// Its natural layout has no padding, so no packing is needed (and fields
// stay aligned).
struct LogFont {
    std::int32_t height = -15;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 400;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 3;
    std::uint8_t clipPrecision = 2;
    std::uint8_t quality = 1;
    std::uint8_t pitchAndFamily = 34;
    std::array<char, 32> faceName{'A', 'r', 'i', 'a', 'l'};
};
static_assert(sizeof(LogFont) == 60, "the stored font description is 60 bytes");

class MailFontSettings : public RegistryDatabase {
public:
    explicit MailFontSettings(const std::string& path = {});
    void Load(const std::string& path);
    void Save(const std::string& path);
    LogFont m_font;

private:
    std::vector<Field> Fields();
};

class TemplateSettings : public RegistryDatabase {
public:
    explicit TemplateSettings(const std::string& path = {});
    void Load(const std::string& path);
    // Deleted: removes the profile's key; modified: writes it; else nothing.
    void Save(const std::string& templatesPath);

    std::string GetProfileName() const { return m_profileName; }
    std::string GetIndexFile() const { return m_indexFile; }
    void SetProfileName(const std::string& s) { m_profileName = s; }
    void SetIndexFile(const std::string& s) { m_indexFile = s; }

    std::uint8_t m_modified = 0;
    std::uint8_t m_deleted = 0;
    std::uint32_t m_active = 0;
    std::uint32_t m_id = 0;

private:
    std::vector<Field> Fields();
    std::string m_profileName, m_indexFile;
};

std::vector<TemplateSettings> LoadAllTemplates();

}  // namespace velto
