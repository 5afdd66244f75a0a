#pragma once
// A private Dovecot POP3 server for tests, benchmarks and demos: its own
// configuration, state, log and maildirs in a temporary folder, listening on
// a loopback port picked at start. Unique ids are the message file names,
// so a caller chooses them.
//
//   DovecotServer pop;
//   pop.AddUser("ann", "secret");
//   pop.AddMessage("ann", "msg-0001", "From: a@b\r\nSubject: hi\r\n\r\nbody\r\n");
//   if (!pop.Start(&why)) ...;
//   connect to 127.0.0.1:pop.Port() ...
//   pop.MessageIds("ann");  // what the server holds now
//   pop.Stop();             // also done by the destructor
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace velto::test {

class DovecotServer {
public:
    // folder: where to keep everything; empty makes (and removes) a temporary one.
    explicit DovecotServer(const std::string& folder = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    static bool Installed();
    static bool SubmissionInstalled();
    static bool ImapInstalled();

    // Users and messages may be added before or after Start. Passwords and
    // user names must not contain ':'; unique ids must be file-name safe
    // (no '/' or ':').
    void AddUser(const std::string& user, const std::string& password);
    void AddMessage(const std::string& user, const std::string& uniqueId, const std::string& text);

    // Serves POP3S on TlsPort() and offers STLS on Port(), with this
    // certificate; takes effect at the next Start.
    void UseTls(const std::string& certFile, const std::string& keyFile);

    // Signs users in by OAuth2 only (XOAUTH2, OAUTHBEARER), their tokens
    // checked at this token introspection address; passwords are not taken.
    void UseOAuth2(const std::string& introspectionUrl) { m_introspectionUrl = introspectionUrl; }
    // Also serves submission (SMTP with STARTTLS, needs UseTls) on
    // SubmissionPort(), relaying what it takes to 127.0.0.1:relayPort.
    void RelaySubmissionTo(int relayPort) { m_relayPort = relayPort; }

    // Also serves IMAP on ImapPort() (STARTTLS there with UseTls); takes
    // effect at the next Start.
    void ServeImap() { m_imap = true; }
    // IMAP has a folder of that name marked \Trash (special-use), made when
    // first used; takes effect at the next Start.
    void ImapTrash(const std::string& name) { m_trash = name; }

    bool Start(std::string* error = nullptr);
    void Stop();
    bool Running() { return m_process.Running(); }
    int Port() const { return m_port; }
    int TlsPort() const { return m_tlsPort; }
    int SubmissionPort() const { return m_submissionPort; }
    int ImapPort() const { return m_imapPort; }
    // The master process (its mail processes are its children).
    pid_t Pid() const { return m_process.pid(); }
    const std::string& Folder() const { return m_folder; }

    // Unique ids of the messages the user's maildir holds now, sorted.
    std::vector<std::string> MessageIds(const std::string& user) const;
    // The file names of the messages a folder of the user's holds now ("":
    // INBOX), with their flags (":2,S" once seen), sorted.
    std::vector<std::string> MessageFiles(const std::string& user, const std::string& folder = {}) const;
    // The stored file of one message (as written by AddMessage).
    std::string MessageText(const std::string& user, const std::string& uniqueId) const;
    std::string Log() const;

private:
    std::string Maildir(const std::string& user) const;
    void WriteConfig();
    void GiveToMailUser(const std::string& path) const;

    std::string m_folder;
    bool m_ownFolder = false;
    int m_port = 0;
    int m_tlsPort = 0;
    int m_submissionPort = 0;
    int m_relayPort = 0;
    bool m_imap = false;
    std::string m_trash;
    int m_imapPort = 0;
    std::string m_introspectionUrl;
    std::string m_certFile, m_keyFile;
    std::vector<std::pair<std::string, std::string>> m_users;
    ChildProcess m_process;
};

// The settings text of the account "Ann" (user "ann", password "secret") on
// server and port, with further value lines of its own.
std::string AnnAccountText(const std::string& server, int port, const std::string& values = {});

}  // namespace velto::test
