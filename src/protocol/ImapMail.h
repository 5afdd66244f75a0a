#pragma once
// IMAP client for a mail checker: one blocking session per connection,
// commands judged by their tagged answer, the conversation written to the
// output window (never a password or token). It examines folders, lists and
// fetches unseen mail in batches, reads without setting \Seen, deletes
// exactly the messages it is given, and idles for the server's news.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/ImapReader.h"
#include "protocol/LocalTime.h"
#include "protocol/LogSink.h"
#include "protocol/MailHeader.h"
#include "protocol/MailSession.h"
#include "protocol/SocketErrors.h"
#include "protocol/Transport.h"

namespace velto {

struct ImapFolder {
    std::string name;      // UTF-8, as the user reads it
    std::string wireName;  // as the server named it (modified UTF-7)
    char delimiter = 0;    // 0: a flat namespace
    bool selectable = true;
    bool trash = false;    // special-use \Trash (RFC 6154)
};

struct ImapFolderState {
    std::uint32_t uidValidity = 0;
    std::uint32_t exists = 0;
    std::uint32_t uidNext = 0;  // 0 when the server did not say
    bool readOnly = true;
};

// What the server told while idling.
struct ImapIdleNews {
    bool exists = false;    // a new message count (new mail, as a rule)
    bool expunge = false;   // a message went
    bool fetch = false;     // flags changed (read elsewhere, say)
    bool bye = false;       // the server is closing the connection
    bool timeUp = false;    // nothing came within the limit
    std::uint32_t count = 0;  // the last message count heard
};

enum class ImapOAuth { XOAuth2, OAuthBearer };

class CImapMail final : public MailSession {
public:
    // Header fetches go out this many UIDs to a command.
    static constexpr std::size_t kFetchBatch = 200;
    static constexpr std::size_t kMaxHeaderLiteral = 1024 * 1024;
    static constexpr std::size_t kMaxMessageLiteral = 256 * 1024 * 1024;

    CImapMail(ILogSink* output, std::shared_ptr<ITransportFactory> transports);
    ~CImapMail();
    CImapMail(const CImapMail&) = delete;
    CImapMail& operator=(const CImapMail&) = delete;

    // Bounds of the reader; a message fetch raises the literal bound to
    // kMaxMessageLiteral for its own command.
    void SetLimits(const ImapLimits& limits) { m_limits = limits; }

    bool Connect(const std::string& host, int port);
    // IMAPS: TLS from the first byte.
    bool ConnectTls(const std::string& host, int port, ITlsLayer& tls, const std::string& pinned);
    // STARTTLS after the greeting; any failure drops the connection.
    bool StartTls(ITlsLayer& tls, const std::string& pinned);
    // Asks CAPABILITY unless the server already said (greeting, sign-in).
    bool Capability();
    bool HasCapability(std::string_view name) const;
    // ID (RFC 2971) with the given fields, when the server offers it.
    bool Id(const std::vector<std::pair<std::string, std::string>>& fields);

    // A password: AUTHENTICATE PLAIN where the server takes it with an
    // initial response, else LOGIN. Only encrypted unless allowClear, never
    // under LOGINDISABLED (kPasswordNeedsTls, kLoginDisabled).
    bool Login(const std::string& user, const std::string& password, bool allowClear = false);
    // OAuth2 with an initial response; only encrypted. kTokenNeedsTls,
    // kTokenNotTaken (mechanism not offered or rejected), kTokenRefused.
    bool LoginOAuth(const std::string& user, const std::string& token, ImapOAuth mechanism = ImapOAuth::XOAuth2);

    // LIST "" "*": every folder, names in UTF-8.
    bool List(std::vector<ImapFolder>& folders);
    // Opens a folder (name in UTF-8) read-only; Select for changes.
    bool Examine(const std::string& folder, ImapFolderState& state);
    bool Select(const std::string& folder, ImapFolderState& state);
    bool Status(const std::string& folder, std::uint32_t& uidNext, std::uint32_t& unseen);
    // UID SEARCH UNSEEN UNDELETED in the open folder, sorted.
    bool SearchUnseen(std::vector<std::uint32_t>& uids);
    // Headers and sizes of the given UIDs, kFetchBatch to a command, handed
    // to got() as they arrive (false stops). The record's number is the UID,
    // its hash that of MessageId. False when a command failed or a UID did
    // not come back.
    bool FetchHeaders(const std::vector<std::uint32_t>& uids,
                      const std::function<bool(std::uint32_t uid, CMailHeader&)>& got);
    // The whole message; \Seen stays as it was.
    bool FetchMessage(std::uint32_t uid, std::string& text);
    // \Deleted on the UIDs, then UID EXPUNGE of them (UIDPLUS), or EXPUNGE
    // when expungeAll is safe (the caller knows nothing else carries
    // \Deleted); else they stay flagged and expunged is false.
    bool Delete(const std::vector<std::uint32_t>& uids, bool expungeAllIsSafe, bool& expunged);
    // Changes the user asked for (ImapChanges.cpp). The UIDs are those of
    // the open folder; one that was examined is opened for changes first,
    // and nothing is changed when its UIDVALIDITY differs by then.
    // \Seen on the UIDs.
    bool MarkSeen(const std::vector<std::uint32_t>& uids);
    // Where deleted mail goes: the folder LIST marks \Trash, else one named
    // "Trash" (at the top or below INBOX). False when there is none.
    bool FindTrash(std::string& folder);
    // The UIDs into folder: UID MOVE where the server offers MOVE, else UID
    // COPY, \Deleted and UID EXPUNGE of exactly them (UIDPLUS). Without
    // UIDPLUS the originals stay flagged \Deleted and gone is false.
    bool MoveTo(const std::vector<std::uint32_t>& uids, const std::string& folder, bool& gone);
    // IDLE until the server reports news or limitMs passes, then DONE. False
    // when the server cannot idle, refused, said BYE or went silent after
    // DONE (connection dropped); news says what came either way.
    bool Idle(long limitMs, ImapIdleNews& news);
    bool Noop();
    bool Logout();

    const std::string& OpenFolder() const { return m_folder; }
    const ImapFolderState& OpenFolderState() const { return m_state; }

    // A message's lasting name: its folder, the folder's UIDVALIDITY, its UID.
    static std::string MessageId(std::string_view folder, std::uint32_t uidValidity, std::uint32_t uid);
    // Modified UTF-7 (RFC 3501 5.1.3) and UTF-8; false on text that is not
    // well formed.
    static bool DecodeFolderName(std::string_view wire, std::string& utf8);
    static bool EncodeFolderName(std::string_view utf8, std::string& wire);
    // "1:3,7,9:10" for sorted UIDs.
    static std::string UidSet(const std::uint32_t* uids, std::size_t count);

private:
    // A quoted string, as IMAP writes one (quote and backslash escaped).
    static std::string Quote(std::string_view text);
    using Untagged = std::function<void(const ImapResponse&)>;
    void Attach(ITransport* stream) override { m_reader.Attach(stream); }
    void Forget() override;
    bool Open(const std::string& host, int port, ITlsLayer* tls, const std::string& pinned);
    bool Greeting();
    // Sends "tag command"; logged shows in its place (hiding secrets).
    bool Send(const std::string& command, std::string_view logged = {});
    // Reads to the tagged answer of the last command; untagged ones go to
    // onData after the common handling. True when the answer came (OK or
    // not: see m_tagged).
    // continuation, when given, makes a "+" end the wait too.
    bool Await(const Untagged& onData = {}, bool* continuation = nullptr);
    bool SendRaw(const std::string& bytes);
    bool Command(const std::string& command, const Untagged& onData = {}, std::string_view logged = {});
    bool Read(ImapResponse& response);
    void Common(const ImapResponse& response);
    bool OpenFolder(const std::string& folder, bool readOnly, ImapFolderState& state);
    // The open folder ready for changes, with the UIDVALIDITY it was opened with.
    bool Writable();
    bool Authenticate(const std::string& mechanism, const std::string& initial, const std::string& cancel);
    bool ArgumentOk(std::string_view text);
    void TakeCapabilities(std::string_view list);
    bool FailReceive(int code);
    std::string NextTag();

    ImapReader m_reader;
    ImapLimits m_limits;
    int m_port = 0;
    std::vector<std::string> m_capabilities;  // upper case
    bool m_capabilitiesKnown = false;
    unsigned m_tagNumber = 0;
    std::string m_tag;
    ImapResponse m_tagged;  // the answer to the last command
    std::size_t m_untagged = 0;  // responses of any kind to the last command
    bool m_loggingOut = false;
    std::string m_folder;
    ImapFolderState m_state;
};

}  // namespace velto
