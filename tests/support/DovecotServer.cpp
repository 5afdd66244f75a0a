#include "support/TestEnvironment.h"
#include "support/DovecotServer.h"

#include <cstdio>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velto::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";

// Dovecot refuses mail access as root; as root the mail belongs to nobody.
bool AsRoot() { return ::geteuid() == 0; }

std::string CurrentUserName() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw ? pw->pw_name : "nobody";
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) { return test::ReadFile(path.string()); }

}  // namespace

DovecotServer::DovecotServer(const std::string& folder) : m_folder(folder) {
    if (m_folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/velto-dovecot-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_folder = pattern;
        m_ownFolder = true;
    }
    fs::create_directories(m_folder);
    // Dovecot's mail processes run as another user and must reach the mail:
    // the folder must be traversable (mkdtemp makes it 0700).
    fs::permissions(m_folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    fs::create_directories(m_folder + "/run");
    fs::create_directories(m_folder + "/state");
    fs::create_directories(m_folder + "/mail");
    GiveToMailUser(m_folder + "/mail");
}

DovecotServer::~DovecotServer() {
    Stop();
    if (m_ownFolder) {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
}

bool DovecotServer::Installed() { return ::access(kDovecot, X_OK) == 0; }
bool DovecotServer::ImapInstalled() { return Installed() && ::access("/usr/lib/dovecot/imap-login", X_OK) == 0; }
bool DovecotServer::SubmissionInstalled() {
    return Installed() && ::access("/usr/lib/dovecot/submission-login", X_OK) == 0;
}

std::string DovecotServer::Maildir(const std::string& user) const { return m_folder + "/mail/" + user + "/Maildir"; }

void DovecotServer::GiveToMailUser(const std::string& path) const {
    if (!AsRoot()) return;
    const passwd* pw = ::getpwnam("nobody");
    const group* gr = ::getgrnam("nogroup");
    if (!pw || !gr) throw std::runtime_error("no nobody:nogroup to own the mail");
    if (::chown(path.c_str(), pw->pw_uid, gr->gr_gid) != 0) throw std::runtime_error("chown failed: " + path);
}

void DovecotServer::AddUser(const std::string& user, const std::string& password) {
    m_users.emplace_back(user, password);
    std::string passwdText;
    for (const auto& [u, p] : m_users) passwdText += u + ":{PLAIN}" + p + "::::::\n";
    WriteFile(m_folder + "/passwd", passwdText);
    const std::string home = m_folder + "/mail/" + user;
    for (const std::string& dir : {home, Maildir(user), Maildir(user) + "/cur", Maildir(user) + "/new",
                                   Maildir(user) + "/tmp"}) {
        fs::create_directories(dir);
        GiveToMailUser(dir);
    }
}

void DovecotServer::AddMessage(const std::string& user, const std::string& uniqueId, const std::string& text) {
    if (uniqueId.empty() || uniqueId.find_first_of("/:") != std::string::npos)
        throw std::invalid_argument("unique id not usable as a file name: " + uniqueId);
    // Written straight into cur/ with no flags: Dovecot takes the base name
    // (before ":2,") as the unique id.
    const std::string path = Maildir(user) + "/cur/" + uniqueId + ":2,";
    WriteFile(path, text);
    GiveToMailUser(path);
}

void DovecotServer::WriteConfig() {
    const std::string& d = m_folder;
    const std::string self = CurrentUserName();
    std::ostringstream c;
    c << "base_dir = " << d << "/run\n"
      << "state_dir = " << d << "/state\n"
      << "log_path = " << d << "/dovecot.log\n"
      << "protocols = pop3" << (m_relayPort ? " submission" : "") << (m_imap ? " imap" : "") << "\n"
      << "listen = 127.0.0.1\n"
      << (m_certFile.empty() ? "ssl = no\n"
                             : "ssl = yes\nssl_min_protocol = TLSv1.2\nssl_cert = <" + m_certFile +
                                   "\nssl_key = <" + m_keyFile + "\n")
      << "disable_plaintext_auth = no\n"
      << "auth_failure_delay = 0\n"
      << "auth_mechanisms = " << (m_introspectionUrl.empty() ? "plain" : "xoauth2 oauthbearer") << "\n"
      << "mail_location = maildir:~/Maildir\n"
      << "pop3_uidl_format = %f\n"
      << "mail_fsync = never\n"
      << "default_internal_user = " << (AsRoot() ? "dovecot" : self) << "\n"
      << "default_login_user = " << (AsRoot() ? "dovenull" : self) << "\n"
      << "first_valid_uid = 1\n"
      << (m_introspectionUrl.empty()
              ? "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + d + "/passwd\n}\n"
              : "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " + d + "/oauth2.conf\n}\n")
      << "userdb {\n  driver = static\n  args = uid=" << (AsRoot() ? "nobody" : std::to_string(::geteuid()))
      << " gid=" << (AsRoot() ? "nogroup" : std::to_string(::getegid())) << " home=" << d << "/mail/%u\n}\n"
      << "service pop3-login {\n  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << m_port
      << "\n  }\n";
    if (!m_certFile.empty())
        c << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << m_tlsPort << "\n    ssl = yes\n  }\n";
    c << "}\n";
    if (m_relayPort)
        c << "hostname = mail.test\nsubmission_relay_host = 127.0.0.1\nsubmission_relay_port = " << m_relayPort
          << "\nsubmission_relay_trusted = yes\n"
          << "service submission-login {\n  inet_listener submission {\n    address = 127.0.0.1\n    port = "
          << m_submissionPort << "\n  }\n}\n";
    if (m_imap && !m_trash.empty())
        c << "namespace inbox {\n  inbox = yes\n  mailbox \"" << m_trash
          << "\" {\n    special_use = \\Trash\n    auto = create\n  }\n}\n";
    if (m_imap)
        c << "service imap-login {\n  inet_listener imap {\n    address = 127.0.0.1\n    port = " << m_imapPort
          << "\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n";
    if (!AsRoot()) {
        // Unprivileged: every service runs as ourselves, unconfined.
        const group* gr = ::getgrgid(::getegid());
        c << "default_internal_group = " << (gr ? gr->gr_name : "nogroup") << "\n"
          << "service anvil {\n  chroot =\n}\nservice pop3-login {\n  chroot =\n}\n"
          << (m_relayPort ? "service submission-login {\n  chroot =\n}\n" : "")
          << (m_imap ? "service imap-login {\n  chroot =\n}\n" : "");
    }
    WriteFile(d + "/dovecot.conf", c.str());
    if (!m_introspectionUrl.empty())
        WriteFile(d + "/oauth2.conf", "introspection_url = " + m_introspectionUrl +
                                          "\nintrospection_mode = post\nusername_attribute = username\n"
                                          "active_attribute = active\nactive_value = true\n");
}

bool DovecotServer::Start(std::string* error) {
    if (!Installed()) {
        if (error) *error = std::string(kDovecot) + " is not installed";
        return false;
    }
    if (m_users.empty()) AddUser("nobody-home", "unused");  // passwd-file must exist
    // The port is picked free and then handed to Dovecot, which cannot be
    // told to choose one; if another program takes it in between, pick again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = PickFreeLoopbackPort();
        m_tlsPort = 0;
        while (!m_certFile.empty() && (m_tlsPort == 0 || m_tlsPort == m_port)) m_tlsPort = PickFreeLoopbackPort();
        m_submissionPort = 0;
        while (m_relayPort && (m_submissionPort == 0 || m_submissionPort == m_port || m_submissionPort == m_tlsPort))
            m_submissionPort = PickFreeLoopbackPort();
        m_imapPort = 0;
        while (m_imap && (m_imapPort == 0 || m_imapPort == m_port || m_imapPort == m_tlsPort ||
                          m_imapPort == m_submissionPort))
            m_imapPort = PickFreeLoopbackPort();
        WriteConfig();
        std::string why;
        if (!m_process.Start({kDovecot, "-F", "-c", m_folder + "/dovecot.conf"}, m_folder + "/dovecot.out", false,
                             &why)) {
            if (error) *error = why;
            return false;
        }
        if (WaitForLoopbackPort(m_port, m_process, std::chrono::milliseconds(15'000)) &&
            (m_tlsPort == 0 || WaitForLoopbackPort(m_tlsPort, m_process, std::chrono::milliseconds(15'000))) &&
            (m_submissionPort == 0 ||
             WaitForLoopbackPort(m_submissionPort, m_process, std::chrono::milliseconds(15'000))) &&
            (m_imapPort == 0 || WaitForLoopbackPort(m_imapPort, m_process, std::chrono::milliseconds(15'000))))
            return true;
        m_process.Stop();
    }
    if (error) *error = "Dovecot did not start; its log:\n" + Log();
    return false;
}

void DovecotServer::UseTls(const std::string& certFile, const std::string& keyFile) {
    m_certFile = certFile;
    m_keyFile = keyFile;
}

void DovecotServer::Stop() { m_process.Stop(); }

std::vector<std::string> DovecotServer::MessageIds(const std::string& user) const {
    std::vector<std::string> ids;
    for (const char* sub : {"/cur", "/new"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Maildir(user) + sub, ec)) {
            std::string name = entry.path().filename().string();
            ids.push_back(name.substr(0, name.find(':')));
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<std::string> DovecotServer::MessageFiles(const std::string& user, const std::string& folder) const {
    std::vector<std::string> names;
    const std::string dir = Maildir(user) + (folder.empty() ? "" : "/." + folder);
    for (const char* sub : {"/cur", "/new"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir + sub, ec)) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string DovecotServer::MessageText(const std::string& user, const std::string& uniqueId) const {
    for (const char* sub : {"/cur", "/new"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Maildir(user) + sub, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.substr(0, name.find(':')) == uniqueId) return ReadFile(entry.path());
        }
    }
    return {};
}

std::string DovecotServer::Log() const {
    return ReadFile(m_folder + "/dovecot.log") + ReadFile(m_folder + "/dovecot.out");
}

std::string AnnAccountText(const std::string& server, int port, const std::string& values) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", port);
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Ann]\r\n"
           "\"Account Name\"=\"Ann\"\r\n\"Server Name\"=\"" + server + "\"\r\n\"User Name\"=\"ann\"\r\n"
           "\"User Password\"=\"secret\"\r\n" + values + "\"Incoming Port\"=dword:" + hex + "\r\n";
}

}  // namespace velto::test
