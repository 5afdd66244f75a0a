#include "settings/Settings.h"

#include <cstring>

#include <algorithm>

#include "settings/Crc32.h"

namespace velto {

std::string keys::Join(const std::string& parent, const std::string& name) { return parent + "\\" + name; }

namespace {

// Removes the named subkey of a parent key (a deleted account or profile).
void DeleteSubkey(const std::string& parentPath, const std::string& name) {
    RegistryDatabase parent;
    if (parent.OpenKey(parentPath) != kErrorSuccess) return;
    RegistryDatabase::DeleteKey(parent.GetKey(), name);
    parent.CloseKey();
}

// Stored for IMAP accounts alone: without them an account is POP3, as every
// account from before is.
const std::string kProtocolValue = "Incoming Protocol";
const std::string kFoldersValue = "IMAP Folders";

}  // namespace

// ---- AccountSettings ------------------------------------------------------

AccountSettings::AccountSettings(const std::string& path) {
    if (!path.empty()) Load(path);
}

std::vector<RegistryDatabase::Field> AccountSettings::Fields() {
    // In save order.
    return {
        {"Account Name", Field::String, &m_accountName, 0},
        {"Email Address", Field::String, &m_emailAddress, 0},
        {"Server Name", Field::String, &m_serverName, 0},
        {"User Name", Field::String, &m_userName, 0},
        {"User Password", Field::String, &m_userPassword, 0},
        {"Outgoing Mail Server", Field::String, &m_outgoingServer, 0},
        {"Disabled", Field::Number, &m_disabled, 0},
        {"Auto Download", Field::Number, &m_autoDownload, 0},
        {"Secure Login", Field::Number, &m_secureLogin, 0},
        {"Spam Only", Field::Number, &m_spamOnly, 0},
        {"Incoming Security", Field::Number, &m_incomingSecurity, 0},
        {"Incoming Port", Field::Number, &m_incomingPort, 0},
        {"Incoming Certificate", Field::String, &m_incomingCertificate, 0},
        {"Outgoing Security", Field::Number, &m_outgoingSecurity, 0},
        {"Outgoing Port", Field::Number, &m_outgoingPort, 0},
        {"Outgoing Sign In", Field::Number, &m_outgoingSignIn, 0},
        {"Outgoing User Name", Field::String, &m_outgoingUser, 0},
        {"Outgoing Password", Field::String, &m_outgoingPassword, 0},
        {"Outgoing Certificate", Field::String, &m_outgoingCertificate, 0},
        {"Incoming Sign In", Field::Number, &m_incomingSignIn, 0},
        {"OAuth Provider", Field::String, &m_oauthProvider, 0},
        {"OAuth Client Id", Field::String, &m_oauthClientId, 0},
        {"OAuth Client Secret", Field::String, &m_oauthClientSecret, 0},
        {"OAuth Authorization URL", Field::String, &m_oauthAuthorizationUrl, 0},
        {"OAuth Token URL", Field::String, &m_oauthTokenUrl, 0},
        {"OAuth Scope", Field::String, &m_oauthScope, 0},
        {"Password In Keyring", Field::Number, &m_passwordInKeyring, 0},
        {kProtocolValue.c_str(), Field::Number, &m_incomingProtocol, 0},
        {kFoldersValue.c_str(), Field::String, &m_imapFolders, 0},
    };
}

OAuthEndpoints OAuthPreset(const std::string& provider) {
    if (provider == "Google")
        return {"https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
                "https://mail.google.com/ openid email"};
    if (provider == "Microsoft")
        return {"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
                "https://login.microsoftonline.com/common/oauth2/v2.0/token",
                "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/IMAP.AccessAsUser.All "
                "https://outlook.office.com/SMTP.Send offline_access openid email"};
    return {};
}

OAuthEndpoints AccountSettings::OAuth() const {
    if (m_oauthProvider == "Google" || m_oauthProvider == "Microsoft") return OAuthPreset(m_oauthProvider);
    return {m_oauthAuthorizationUrl, m_oauthTokenUrl, m_oauthScope};
}

int AccountSettings::IncomingPort() const {
    if (m_incomingPort > 0 && m_incomingPort < 65536) return static_cast<int>(m_incomingPort);
    if (IsImap()) return m_incomingSecurity == kSecurityTls ? 993 : 143;
    return m_incomingSecurity == kSecurityTls ? 995 : 110;
}

std::vector<std::string> AccountSettings::ImapFolders() const {
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start <= m_imapFolders.size()) {
        std::size_t end = m_imapFolders.find('\n', start);
        if (end == std::string::npos) end = m_imapFolders.size();
        std::string name = m_imapFolders.substr(start, end - start);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (!name.empty() && std::find(folders.begin(), folders.end(), name) == folders.end()) folders.push_back(name);
        start = end + 1;
    }
    if (folders.empty()) folders.push_back("INBOX");
    return folders;
}

bool AccountSettings::IsStorableFolderName(std::string_view name) {
    if (name.empty() || name.size() > kMaxStoredValue) return false;
    for (std::size_t i = 0; i < name.size();) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const std::size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                                : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > name.size()) return false;
        std::uint32_t cp = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto next = static_cast<unsigned char>(name[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return false;
        i += n;
    }
    return true;
}

int AccountSettings::OutgoingPort() const {
    if (m_outgoingPort > 0 && m_outgoingPort < 65536) return static_cast<int>(m_outgoingPort);
    switch (m_outgoingSecurity) {
    case kSecurityTls: return 465;
    case kSecurityStartTls: return 587;
    default: return 25;
    }
}

std::string AccountSettings::OutgoingUser() const {
    if (m_outgoingSignIn == kSignInIncoming) return m_userName;
    return m_outgoingSignIn == kSignInOwn ? m_outgoingUser : std::string();
}

std::string AccountSettings::OutgoingPassword() const {
    if (m_outgoingSignIn == kSignInIncoming) return m_userPassword;
    return m_outgoingSignIn == kSignInOwn ? m_outgoingPassword : std::string();
}

void AccountSettings::Load(const std::string& path) {
    m_deleted = m_modified = 0;
    m_emailAddress.clear();
    m_serverName.clear();
    m_accountName.clear();
    m_userName.clear();
    m_userPassword.clear();
    m_outgoingServer.clear();
    m_spamOnly = m_secureLogin = m_disabled = m_autoDownload = 0;
    m_incomingSecurity = m_outgoingSecurity = kSecurityNone;
    m_incomingPort = m_outgoingPort = 0;
    m_outgoingSignIn = kSignInNone;
    m_incomingCertificate.clear();
    m_outgoingUser.clear();
    m_outgoingPassword.clear();
    m_outgoingCertificate.clear();
    m_incomingSignIn = kSignInPassword;
    m_incomingProtocol = kProtocolPop3;
    m_imapFolders.clear();
    m_passwordInKeyring = 0;
    for (std::string* s : {&m_oauthProvider, &m_oauthClientId, &m_oauthClientSecret, &m_oauthAuthorizationUrl,
                           &m_oauthTokenUrl, &m_oauthScope})
        s->clear();
    const std::vector<Field> fields = Fields();
    const std::vector<bool> read = LoadFields(path, fields);
    const auto found = [&](std::string_view name) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (name == fields[i].name) return static_cast<bool>(read[i]);
        return false;
    };
    // A missing security value means clear text only for an account that
    // never had protection. It had some (so a value was lost: cut from the
    // file, too long to read, dropped by hand) when the key was written whole
    // by a version that writes security values, which always writes these
    // with them; or when the account plainly used TLS: a certificate trusted
    // for it, a port of TLS from the first byte. Such an account gets TLS on
    // such a port, STARTTLS elsewhere: a server without it fails the check,
    // and the account says why. A key of the older values alone (one from
    // before, or written so by hand) keeps its clear text as it always had.
    const bool whole = found("Incoming Port") && found("Incoming Certificate") && found("Outgoing Port") &&
                       found("Outgoing Sign In") && found("Outgoing User Name") && found("Outgoing Password") &&
                       found("Outgoing Certificate");
    const bool incomingTls = m_incomingPort == 993 || m_incomingPort == 995;
    if (!found("Incoming Security") && (whole || incomingTls || !m_incomingCertificate.empty()))
        m_incomingSecurity = incomingTls ? kSecurityTls : kSecurityStartTls;
    if (!found("Outgoing Security") && (whole || m_outgoingPort == 465 || !m_outgoingCertificate.empty()))
        m_outgoingSecurity = m_outgoingPort == 465 ? kSecurityTls : kSecurityStartTls;
    m_id = Crc32::OfNameWithTerminator(m_accountName);
}

bool AccountSettings::SameValues(const AccountSettings& other) const {
    const auto mine = const_cast<AccountSettings*>(this)->Fields();
    const auto theirs = const_cast<AccountSettings&>(other).Fields();
    for (std::size_t i = 0; i < mine.size(); ++i) {
        const Field& a = mine[i];
        const Field& b = theirs[i];
        switch (a.kind) {
        case Field::String:
            if (*static_cast<const std::string*>(a.target) != *static_cast<const std::string*>(b.target)) return false;
            break;
        case Field::Number:
            if (*static_cast<const std::uint32_t*>(a.target) != *static_cast<const std::uint32_t*>(b.target)) return false;
            break;
        case Field::Bytes:
            if (std::memcmp(a.target, b.target, a.size) != 0) return false;
            break;
        }
    }
    return true;
}

void AccountSettings::SetAccountName(const std::string& s) {
    m_accountName = s;
    m_id = Crc32::OfNameWithTerminator(m_accountName);
}

void AccountSettings::Save(const std::string& accountsPath) {
    if (m_deleted) {
        DeleteSubkey(accountsPath, m_accountName);
    } else if (m_modified) {
        std::vector<Field> fields = Fields();
        std::vector<std::string> absent;
        if (!IsImap()) {
            // Removed rather than written as POP3: the key of a POP3 account
            // once IMAP then reads as one that never was, with no folder list
            // left behind to mislead.
            absent = {kProtocolValue, kFoldersValue};
            std::erase_if(fields, [&](const Field& f) {
                return std::find(absent.begin(), absent.end(), f.name) != absent.end();
            });
        }
        SaveFields(keys::Join(accountsPath, m_accountName), fields, absent);
    }
}

std::vector<AccountSettings> LoadAllAccounts() {
    std::vector<AccountSettings> accounts;
    for (const auto& name : RegistryDatabase::SubkeyNames(keys::kAccounts))
        accounts.emplace_back(keys::Join(keys::kAccounts, name));
    return accounts;
}

SendingRoute FindSendingRoute(const std::string& incomingServer, const std::string& address) {
    std::vector<std::pair<std::string, AccountSettings>> onServer;  // key name, account
    for (const auto& name : RegistryDatabase::SubkeyNames(keys::kAccounts)) {
        AccountSettings account(keys::Join(keys::kAccounts, name));
        if (account.GetServerName() == incomingServer) onServer.emplace_back(name, std::move(account));
    }
    SendingRoute route;
    if (onServer.empty()) return route;
    auto found = std::find_if(onServer.begin(), onServer.end(),
                              [&](const auto& entry) { return entry.second.GetEmailAddress() == address; });
    auto& [name, account] = found != onServer.end() ? *found : onServer.front();
    route.account = name;
    route.server = account.GetOutgoingServer();
    route.port = account.OutgoingPort();
    route.security = account.m_outgoingSecurity;
    route.pinned = account.m_outgoingCertificate;
    return route;
}

std::string PasswordKey(const std::string& account, bool outgoing) {
    return account + (outgoing ? "/Outgoing Password" : "/User Password");
}

bool TrustCertificate(const std::string& accountName, CertificateUse use, const std::string& fingerprint) {
    const auto names = RegistryDatabase::SubkeyNames(keys::kAccounts);
    if (std::find(names.begin(), names.end(), accountName) == names.end()) return false;
    AccountSettings account(keys::Join(keys::kAccounts, accountName));
    (use == CertificateUse::Incoming ? account.m_incomingCertificate : account.m_outgoingCertificate) = fingerprint;
    account.m_modified = 1;
    account.Save(keys::kAccounts);
    return true;
}

// ---- ConfigurationOptions -------------------------------------------------

ConfigurationOptions::ConfigurationOptions(const std::string& path) {
    if (!path.empty()) Load(path);
}

std::vector<RegistryDatabase::Field> ConfigurationOptions::Fields() {
    return {
        {"Database", Field::String, &m_database, 0},
        {"Active RAS", Field::String, &m_activeRas, 0},
        {"Sound Filename", Field::String, &m_soundFilename, 0},
        {"Enable Dialup", Field::Number, &m_enableDialup, 0},
        {"Auto Scan", Field::Number, &m_autoScan, 0},
        {"Startup Scan", Field::Number, &m_startupScan, 0},
        {"CheckMail Interval", Field::Number, &m_checkMailInterval, 0},
        {"No Disconnect", Field::Number, &m_noDisconnect, 0},
        {"Strict Scanning", Field::Number, &m_strictScanning, 0},
        {"Enable Sound", Field::Number, &m_enableSound, 0},
    };
}

void ConfigurationOptions::Load(const std::string& path) {
    m_activeRas.clear();
    m_soundFilename.clear();
    m_database.clear();
    m_enableDialup = m_autoScan = m_startupScan = m_checkMailInterval = 0;
    m_noDisconnect = m_strictScanning = m_enableSound = 0;
    LoadFields(path, Fields());
}

void ConfigurationOptions::Save(const std::string& path) { SaveFields(path, Fields()); }

// ---- EnvironmentOptions ---------------------------------------------------

EnvironmentOptions::EnvironmentOptions(const std::string& path) {
    if (!path.empty()) Load(path);
}

std::vector<RegistryDatabase::Field> EnvironmentOptions::Fields() {
    return {
        {"Log Filename", Field::String, &m_logFilename, 0},
        {"Velto Password", Field::String, &m_password, 0},
        {"Auto Remove", Field::Number, &m_autoRemove, 0},
        {"Log Debug", Field::Number, &m_logDebug, 0},
        {"Log Enabled", Field::Number, &m_logEnabled, 0},
        {"Password Protect", Field::Number, &m_passwordProtect, 0},
        {"Save Headers", Field::Number, &m_saveHeaders, 0},
        {"Log Standard", Field::Number, &m_logStandard, 0},
        {"Start Minimized", Field::Number, &m_startMinimized, 0},
        {"View Type", Field::Number, &m_viewType, 0},
        {"Quick Check", Field::Number, &m_quickCheck, 0},
    };
}

void EnvironmentOptions::Load(const std::string& path) {
    m_logFilename.clear();
    m_password.clear();
    m_autoRemove = m_logDebug = m_logEnabled = m_passwordProtect = 0;
    m_saveHeaders = m_logStandard = m_startMinimized = m_viewType = m_quickCheck = 0;
    LoadFields(path, Fields());
}

void EnvironmentOptions::Save(const std::string& path) { SaveFields(path, Fields()); }

// ---- MailFontSettings -----------------------------------------------------

MailFontSettings::MailFontSettings(const std::string& path) {
    if (!path.empty()) Load(path);
}

std::vector<RegistryDatabase::Field> MailFontSettings::Fields() {
    return {{"Mail Font", Field::Bytes, &m_font, sizeof(LogFont)}};
}

void MailFontSettings::Load(const std::string& path) {
    m_font = LogFont{};
    LoadFields(path, Fields());
}

void MailFontSettings::Save(const std::string& path) { SaveFields(path, Fields()); }

// ---- TemplateSettings -----------------------------------------------------

TemplateSettings::TemplateSettings(const std::string& path) {
    if (!path.empty()) Load(path);
}

std::vector<RegistryDatabase::Field> TemplateSettings::Fields() {
    return {
        {"Account Name", Field::String, &m_profileName, 0},
        {"Index File", Field::String, &m_indexFile, 0},
        {"Active", Field::Number, &m_active, 0},
    };
}

void TemplateSettings::Load(const std::string& path) {
    m_modified = m_deleted = 0;
    m_profileName.clear();
    m_indexFile.clear();
    m_active = 0;
    LoadFields(path, Fields());
    m_active &= 0xFFu;  // only the first byte of "Active" counts
    m_id = Crc32::OfNameWithTerminator(m_profileName);
}

void TemplateSettings::Save(const std::string& templatesPath) {
    if (m_deleted) {
        DeleteSubkey(templatesPath, m_profileName);
    } else if (m_modified) {
        SaveFields(keys::Join(templatesPath, m_profileName), Fields());
    }
}

std::vector<TemplateSettings> LoadAllTemplates() {
    std::vector<TemplateSettings> templates;
    for (const auto& name : RegistryDatabase::SubkeyNames(keys::kTemplates))
        templates.emplace_back(keys::Join(keys::kTemplates, name));
    return templates;
}

}  // namespace velto
