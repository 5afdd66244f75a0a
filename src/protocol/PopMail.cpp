#include "protocol/PopMail.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string_view>
#include <utility>

#include "settings/Crc32.h"

namespace velto {

namespace {

constexpr std::string_view kOk = "+OK";
constexpr std::string_view kErr = "-ERR";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTerminator = "\r\n.\r\n";
// Single-line replies are read in blocks of this size, as they always were.
constexpr std::size_t kLineBlock = 1024;
// Multi-line responses: blocks of the message size plus slack, but never more
// than this, whatever size the server claims.
constexpr std::size_t kMaxBlock = 64 * 1024;

bool Contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The reply scans "%s %d %d" and "%s %d %s", with bounded words and numbers
// that cannot overflow.
class ReplyScanner {
public:
    explicit ReplyScanner(std::string_view text) : m_rest(text) {}

    bool Word(std::string& out, std::size_t keep) {
        SkipSpace();
        std::size_t n = 0;
        while (n < m_rest.size() && !IsSpace(m_rest[n])) ++n;
        if (n == 0) return false;
        out.assign(m_rest.data(), std::min(n, keep));
        m_rest.remove_prefix(n);
        return true;
    }

    // An optional sign and decimal digits. Values beyond the 32-bit range
    // come back as LLONG_MIN so that every caller rejects them.
    bool Number(long long& out) {
        SkipSpace();
        std::size_t i = 0;
        bool negative = false;
        if (i < m_rest.size() && (m_rest[i] == '+' || m_rest[i] == '-')) negative = m_rest[i++] == '-';
        const std::size_t digitsStart = i;
        long long value = 0;
        bool tooBig = false;
        while (i < m_rest.size() && m_rest[i] >= '0' && m_rest[i] <= '9') {
            if (!tooBig) value = value * 10 + (m_rest[i] - '0');
            if (value > INT_MAX) tooBig = true;
            ++i;
        }
        if (i == digitsStart) return false;
        m_rest.remove_prefix(i);
        out = tooBig ? LLONG_MIN : (negative ? -value : value);
        return true;
    }

private:
    void SkipSpace() {
        while (!m_rest.empty() && IsSpace(m_rest.front())) m_rest.remove_prefix(1);
    }
    std::string_view m_rest;
};

std::size_t MessageResponseLimit(int size, std::size_t cap) {
    // A response is never more than twice its listed size (dot-stuffing adds
    // at most a third, LF-stored messages at most double), so anything beyond
    // that is a server running away.
    const std::size_t relative = 2 * static_cast<std::size_t>(size) + 1024 * 1024;
    return std::min(cap, relative);
}

// The size in a "+OK n size" LIST reply; -1 when there is none.
int ListedSize(std::string_view reply) {
    ReplyScanner scan(reply);
    std::string word;
    long long number = 0, size = 0;
    if (!scan.Word(word, CPopMail::kMaxStatusWord) || !scan.Number(number) || !scan.Number(size)) return -1;
    if (Contains(word, kErr) || size < 0) return -1;
    return static_cast<int>(size);
}

}  // namespace

CPopMail::CPopMail(ILogSink* output, std::shared_ptr<ITransportFactory> transports)
    : m_output(output), m_transports(std::move(transports)), m_clock(CurrentLocalTime) {}

CPopMail::~CPopMail() { DropConnection(); }

bool CPopMail::Connect(const std::string& host, int port) { return Open(host, port, nullptr, {}); }

bool CPopMail::ConnectTls(const std::string& host, int port, ITlsLayer& tls, const std::string& pinned) {
    return Open(host, port, &tls, pinned);
}

bool CPopMail::Open(const std::string& host, int port, ITlsLayer* tls, const std::string& pinned) {
    // One client serves every account of a run; a socket left by an earlier
    // session that never got to QUIT is released here.
    DropConnection();
    m_certificate = {};
    m_socket = m_transports->Create();
    m_host = host;
    if (!m_socket->Connect(host, port)) {
        ReportSocketError(SocketStage::Connect);
        DropConnection();
        return false;
    }
    if (tls && !Secure(*tls, pinned)) return false;
    std::string greeting;
    if (!ReadLine(greeting)) return false;
    m_lastResponse = greeting;
    const bool ok = Contains(greeting, kOk);
    LogLine(greeting, true);
    if (ok)
        m_connected = true;
    else
        DropConnection();
    return ok;
}

bool CPopMail::StartTls(ITlsLayer& tls, const std::string& pinned) {
    if (!m_connected) return false;
    LogLine("STLS\r\n");
    if (!SendAll("STLS\r\n")) return false;
    std::string reply;
    bool positive = false;
    if (!TakeReply(reply, false, kMaxReplyLine, positive)) return false;
    LogLine(reply);
    // Bytes after the go-ahead would be read as if they came encrypted:
    // only someone between us and the server puts them there.
    if (!positive || !m_pending.empty()) {
        ReportFailure(positive ? localerr::kTlsFailed : localerr::kTlsRefused, SocketStage::Receive);
        DropConnection();
        return false;
    }
    return Secure(tls, pinned);
}

bool CPopMail::Secure(ITlsLayer& tls, const std::string& pinned) {
    int error = 0;
    m_socket = tls.Secure(std::move(m_socket), m_host, pinned, m_certificate, error);
    if (m_socket) return true;
    ReportFailure(error, SocketStage::Receive, error != localerr::kCertificateUntrusted);
    if (error == localerr::kCertificateUntrusted) {
        // The reason and the fingerprint: what the user needs to judge it.
        m_lastResponse = "LOCAL ERROR: " + m_host + " - The server's certificate is not trusted (" +
                         m_certificate.problem + "); SHA-256 fingerprint " + m_certificate.fingerprint + "\r\n";
        LogLine(m_lastResponse);
    }
    DropConnection();
    return false;
}

bool CPopMail::Login(const std::string& user, const std::string& password) {
    m_user = user;
    m_password = password;
    if (HasLineBreak(user) || HasLineBreak(password)) {
        // A line break would let the rest of the text run as a command.
        ReportFailure(localerr::kLineBreakInArgument, SocketStage::Send);
        m_exchangeOk = 1;  // the connection itself is fine: QUIT is worth sending
        return false;
    }
    std::string command = "USER " + user + "\r\n";
    LogLine(command);
    if (!SendCommand(command, m_reply)) return false;
    LogLine(m_reply);
    if (!Contains(m_reply, kOk)) return false;

    command = "PASS " + password + "\r\n";
    LogLine("PASS xxxxxxx\r\n");
    const bool sent = SendCommand(command, m_reply);
    std::fill(command.begin(), command.end(), '\0');
    if (!sent) return false;
    const bool ok = Contains(m_reply, kOk);
    if (ok) m_loggedIn = true;
    LogLine(m_reply);
    return ok;
}

bool CPopMail::GetMailboxStatus(int& count, int& size) {
    if (!SendCommand("STAT\r\n", m_reply) || !Contains(m_reply, kOk)) return false;
    ReplyScanner scan(m_reply);
    std::string word;
    long long c = 0, s = 0;
    // A reply without both numbers (or with absurd ones) tells us nothing:
    // better a failed check than a loop over garbage.
    if (!scan.Word(word, kMaxStatusWord) || !scan.Number(c) || !scan.Number(s) || c < 0 || s < 0) return false;
    count = static_cast<int>(c);
    size = static_cast<int>(s);
    return true;
}

int CPopMail::GetMessageSize(int n) {
    if (!SendCommand("LIST " + std::to_string(n) + "\r\n", m_reply) || !Contains(m_reply, kOk)) return -1;
    return ListedSize(m_reply);
}

bool CPopMail::GetUniqueId(int n, std::string& uid) {
    if (!SendCommand("UIDL " + std::to_string(n) + "\r\n", m_reply) || !Contains(m_reply, kOk)) return false;
    ReplyScanner scan(m_reply);
    std::string word;
    long long number = 0;
    uid.clear();
    if (scan.Word(word, kMaxStatusWord) && scan.Number(number)) scan.Word(uid, kMaxUniqueId);
    return true;
}

bool CPopMail::HashUniqueId(const std::string& text, std::uint32_t& hash) {
    hash = Crc32::Of(text);
    return true;
}

bool CPopMail::GetHeader(int n, CMailHeader& record) {
    const std::string command = "TOP " + std::to_string(n) + " 0\r\n";
    LogLine(command);
    const int size = GetMessageSize(n);
    std::string text;
    if (!ReadMultiLine(command, text, size, MessageResponseLimit(size, kMaxHeaderResponse))) return false;
    std::string uid;
    std::uint32_t hash = 0;
    HashUniqueId(GetUniqueId(n, uid) ? uid : text, hash);
    record.SetMessageInfo(n, hash, size);
    record.ParseHeader(text);
    return true;
}

bool CPopMail::GetMessage(int n, std::string& text) {
    const std::string command = "RETR " + std::to_string(n) + "\r\n";
    LogLine(command);
    const int size = GetMessageSize(n);
    std::string response;
    if (!ReadMultiLine(command, response, size, MessageResponseLimit(size, kMaxMessageResponse))) return false;
    text = UnstuffMessage(response);
    return true;
}

bool CPopMail::DeleteMessage(int n) {
    const std::string command = "DELE " + std::to_string(n) + "\r\n";
    LogLine(command);
    if (!SendCommand(command, m_reply)) return false;
    const bool ok = Contains(m_reply, kOk);
    LogLine(m_reply);
    return ok;
}

bool CPopMail::Quit() {
    if (!m_connected) {
        DropConnection();
        return false;
    }
    LogLine("QUIT\r\n");
    bool ok = false;
    if (SendCommand("QUIT\r\n", m_reply)) {
        ok = Contains(m_reply, kOk);
        LogLine(m_reply);
    }
    DropConnection();
    return ok;
}

std::string CPopMail::UnstuffMessage(const std::string& response) {
    std::string_view body(response);
    // Cut at the terminator; the line end before it goes too. An empty
    // message is the terminator line alone.
    if (body.substr(0, 3) == ".\r\n") return {};
    const std::size_t end = body.find(kTerminator);
    if (end != std::string_view::npos) body = body.substr(0, end);

    std::string text;
    text.reserve(body.size());
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t eol = body.find(kLineEnd, pos);
        const std::size_t next = eol == std::string_view::npos ? body.size() : eol + 2;
        if (pos < body.size() && body[pos] == '.') ++pos;  // the dot the server added
        text.append(body.substr(pos, next - pos));
        if (eol == std::string_view::npos) break;
        pos = next;
    }
    return text;
}

bool CPopMail::SendAll(const std::string& command) {
    if (!m_socket) {
        // The connection was dropped after an earlier failure, which was
        // reported then; say it again only in the last response.
        ReportFailure(wsa::kNotConnected, SocketStage::Send, false);
        return false;
    }
    if (m_socket->Send(command.data(), command.size()) < 0) {
        ReportSocketError(SocketStage::Send);
        DropConnection();
        return false;
    }
    return true;
}

long CPopMail::ReceiveInto(std::string& text, std::size_t capacity) {
    if (!m_pending.empty()) {
        const long n = static_cast<long>(m_pending.size());
        text += m_pending;
        m_pending.clear();
        return n;
    }
    const std::size_t old = text.size();
    text.resize(old + capacity);
    const long n = m_socket->Receive(text.data() + old, capacity);
    text.resize(old + static_cast<std::size_t>(std::max(n, 0L)));
    return n;
}

bool CPopMail::ReadLine(std::string& line) {
    line.clear();
    std::size_t scanned = 0;
    while (line.find(kLineEnd, scanned) == std::string::npos) {
        if (line.size() > kMaxReplyLine) {
            ReportFailure(localerr::kReplyTooLong, SocketStage::Receive);
            DropConnection();
            return false;
        }
        scanned = line.empty() ? 0 : line.size() - 1;
        if (ReceiveInto(line, kLineBlock) < 1) {
            ReportSocketError(SocketStage::Receive);
            DropConnection();
            return false;
        }
    }
    return true;
}

bool CPopMail::SendCommand(const std::string& command, std::string& reply) {
    reply.clear();
    if (!SendAll(command)) return false;
    const bool ok = ReadLine(reply);
    // Even a broken reply counts as an answer (the engine then still calls
    // Quit, which finds the dropped connection and sends nothing).
    m_exchangeOk = 1;
    m_lastResponse = reply;
    return ok;
}

bool CPopMail::ReadMultiLine(const std::string& command, std::string& text, int size, std::size_t limit) {
    if (size < 1) return false;
    text.clear();
    if (!SendAll(command)) return false;
    const std::size_t block = std::min(static_cast<std::size_t>(size) + 255, kMaxBlock);
    if (ReceiveInto(text, block) < 1) {
        ReportSocketError(SocketStage::Receive);
        DropConnection();
        return false;
    }
    LogLine(text);
    m_exchangeOk = 1;
    m_lastResponse = text;

    // The status line may arrive in pieces; judge it whole.
    std::size_t statusEnd;
    std::size_t scanned = 0;
    while ((statusEnd = text.find(kLineEnd, scanned)) == std::string::npos) {
        if (text.size() > kMaxReplyLine) {
            ReportFailure(localerr::kReplyTooLong, SocketStage::Receive);
            DropConnection();
            return false;
        }
        scanned = text.size() - 1;
        if (ReceiveInto(text, block) < 1) {
            ReportSocketError(SocketStage::Receive);
            DropConnection();
            return false;
        }
    }
    if (!Contains(std::string_view(text).substr(0, statusEnd), kOk)) return false;

    // The terminator's first CR LF may be the status line's own.
    scanned = statusEnd;
    std::size_t end;
    while ((end = text.find(kTerminator, scanned)) == std::string::npos) {
        if (text.size() > limit) {
            ReportFailure(localerr::kResponseTooLong, SocketStage::Receive);
            DropConnection();
            return false;
        }
        scanned = std::max(statusEnd, text.size() - (kTerminator.size() - 1));
        if (ReceiveInto(text, block) < 1) {
            ReportSocketError(SocketStage::Receive);
            DropConnection();
            return false;
        }
    }
    // Whatever follows the terminator belongs to no command.
    text.resize(end + kTerminator.size());
    text.erase(0, statusEnd + kLineEnd.size());
    return true;
}

// ---- the quick check ---------------------------------------------------------

bool CPopMail::FailReceive(int code) {
    if (code) {
        ReportFailure(code, SocketStage::Receive);
    } else {
        ReportSocketError(SocketStage::Receive);
    }
    DropConnection();
    return false;
}

bool CPopMail::TakeReply(std::string& text, bool multiLine, std::size_t limit, bool& positive) {
    text.clear();
    auto fail = [&](int code) { return FailReceive(code); };
    if (!m_socket) return fail(wsa::kNotConnected);
    std::size_t statusEnd;
    std::size_t scanned = 0;
    while ((statusEnd = text.find(kLineEnd, scanned)) == std::string::npos) {
        if (text.size() > kMaxReplyLine) return fail(localerr::kReplyTooLong);
        scanned = text.empty() ? 0 : text.size() - 1;
        if (ReceiveInto(text, kMaxBlock) < 1) return fail(0);
    }
    m_exchangeOk = 1;
    positive = Contains(std::string_view(text).substr(0, statusEnd), kOk);
    std::size_t end = statusEnd + kLineEnd.size();
    if (multiLine && positive) {
        // As in ReadMultiLine: the terminator's first CR LF may be the status
        // line's own, so the lines kept match what one exchange gives.
        scanned = statusEnd;
        std::size_t at;
        while ((at = text.find(kTerminator, scanned)) == std::string::npos) {
            if (text.size() > limit) return fail(localerr::kResponseTooLong);
            scanned = std::max(statusEnd, text.size() - (kTerminator.size() - 1));
            if (ReceiveInto(text, kMaxBlock) < 1) return fail(0);
        }
        end = at + kTerminator.size();
    }
    m_pending.assign(text, end, std::string::npos);
    text.resize(end);
    m_lastResponse = text.substr(0, statusEnd + kLineEnd.size());
    return true;
}

bool CPopMail::ListUniqueIds(int count, std::vector<UniqueId>& ids,
                             const std::function<bool(const std::string& id)>& keep) {
    ids.clear();
    if (count < 0) return false;
    LogLine("UIDL\r\n");
    if (!SendAll("UIDL\r\n")) return false;
    auto fail = [&](int code) {
        ids.clear();
        return FailReceive(code);
    };
    // A line per message, each at most an id and a number long.
    const std::size_t limit =
        std::min(kMaxMessageResponse, static_cast<std::size_t>(count) * (kMaxUniqueId + 16) + 64 * 1024);
    std::string buffer = std::exchange(m_pending, {});
    std::size_t statusEnd;
    while ((statusEnd = buffer.find(kLineEnd)) == std::string::npos) {
        if (buffer.size() > kMaxReplyLine) return fail(localerr::kReplyTooLong);
        if (ReceiveInto(buffer, kMaxBlock) < 1) return fail(0);
    }
    m_exchangeOk = 1;
    const std::string status = buffer.substr(0, statusEnd + kLineEnd.size());
    m_lastResponse = status;
    if (!Contains(std::string_view(status).substr(0, statusEnd), kOk)) {
        m_pending = buffer.substr(status.size());
        LogLine(status);
        return false;
    }
    // The lines are taken as they arrive, so reading them costs no more
    // than waiting for the rest of the listing.
    std::vector<bool> seen(static_cast<std::size_t>(count) + 1, false);
    ids.reserve(static_cast<std::size_t>(count));
    std::string first, last;
    bool wellFormed = true;
    std::size_t pos = status.size();
    std::size_t taken = 0;  // bytes of the listing before the buffer
    std::size_t listed = 0;
    for (bool ended = false; !ended;) {
        std::size_t eol;
        while ((eol = buffer.find(kLineEnd, pos)) != std::string::npos) {
            const std::string_view line = std::string_view(buffer).substr(pos, eol - pos);
            pos = eol + kLineEnd.size();
            if (line == ".") {
                ended = true;
                break;
            }
            if (first.empty()) first = line;
            last = line;
            ReplyScanner scan(line);
            long long n = 0;
            UniqueId entry;
            if (!scan.Number(n) || n < 1 || n > count || seen[static_cast<std::size_t>(n)] ||
                !scan.Word(entry.id, kMaxUniqueId + 1) || entry.id.size() > kMaxUniqueId) {
                wellFormed = false;
                continue;
            }
            seen[static_cast<std::size_t>(n)] = true;
            ++listed;
            entry.number = static_cast<int>(n);
            if (!keep || keep(entry.id)) ids.push_back(std::move(entry));
        }
        if (ended) break;
        taken += pos;
        buffer.erase(0, pos);
        pos = 0;
        if (buffer.size() > kMaxReplyLine) return fail(localerr::kReplyTooLong);
        if (taken + buffer.size() > limit) return fail(localerr::kResponseTooLong);
        if (ReceiveInto(buffer, kMaxBlock) < 1) return fail(0);
    }
    m_pending = buffer.substr(pos);
    // The conversation as it happened, without a line per message.
    std::string summary = status;
    if (!first.empty()) summary += first + "\r\n";
    if (listed > 2) summary += "... " + std::to_string(listed) + " ids in all ...\r\n";
    if (listed > 1) summary += last + "\r\n";
    summary += ".\r\n";
    LogLine(summary);
    if (!wellFormed || listed != static_cast<std::size_t>(count)) {
        LogLine("The id listing does not name each message once; asking one message at a time.\r\n");
        ids.clear();
        return false;
    }
    // Servers list in order; a shuffled listing is put in order.
    auto byNumber = [](const UniqueId& a, const UniqueId& b) { return a.number < b.number; };
    if (!std::is_sorted(ids.begin(), ids.end(), byNumber)) std::sort(ids.begin(), ids.end(), byNumber);
    return true;
}

bool CPopMail::SupportsPipelining() {
    if (!SendAll("CAPA\r\n")) return false;
    std::string text;
    bool positive = false;
    if (!TakeReply(text, true, kMaxReplyLine, positive) || !positive) return false;
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper.find("\r\nPIPELINING") != std::string::npos;
}

bool CPopMail::GetHeaders(const std::vector<UniqueId>& which, bool pipelining,
                          const std::function<bool(const UniqueId&, CMailHeader&)>& got) {
    const std::size_t window = pipelining ? kPipelineWindow : 1;
    bool allFetched = true;
    for (std::size_t start = 0; start < which.size(); start += window) {
        const std::size_t stop = std::min(which.size(), start + window);
        std::string batch;
        for (std::size_t i = start; i < stop; ++i) {
            const std::string n = std::to_string(which[i].number);
            batch += "LIST " + n + "\r\nTOP " + n + " 0\r\n";
        }
        LogLine(batch);
        if (!SendAll(batch)) return false;
        for (std::size_t i = start; i < stop; ++i) {
            std::string listReply, topReply;
            bool listPositive = false, topPositive = false;
            if (!TakeReply(listReply, false, kMaxReplyLine, listPositive)) return false;
            // The size as the one-at-a-time exchange reads it; the TOP went
            // out already, so its reply is read (and dropped) in any case.
            const int size = listPositive ? ListedSize(listReply) : -1;
            const std::size_t limit = size >= 1 ? MessageResponseLimit(size, kMaxHeaderResponse) : kMaxHeaderResponse;
            if (!TakeReply(topReply, true, limit, topPositive)) return false;
            LogLine(topReply.substr(0, std::min<std::size_t>(topReply.size(), kMaxBlock)));
            if (size < 1 || !topPositive) {
                allFetched = false;
                continue;
            }
            CMailHeader record;
            record.SetMessageInfo(which[i].number, Crc32::Of(which[i].id), size);
            record.ParseHeader(topReply.substr(topReply.find(kLineEnd) + kLineEnd.size()));
            if (!got(which[i], record)) return allFetched;
        }
    }
    return allFetched;
}

void CPopMail::ReportSocketError(SocketStage stage) {
    ReportFailure(m_socket ? m_socket->LastError() : wsa::kNotConnected, stage);
}

void CPopMail::ReportFailure(int code, SocketStage stage, bool log) {
    m_lastSocketError = code;
    m_exchangeOk = 0;
    m_lastResponse = "LOCAL ERROR: " + m_host + " - " + SocketErrorText(code, stage);
    if (log) LogLine(m_lastResponse);
}

void CPopMail::DropConnection() {
    m_pending.clear();
    if (m_socket) {
        m_socket->Close();
        m_socket.reset();
    }
    m_connected = false;
}

void CPopMail::LogLine(const std::string& text, bool banner) {
    if (!m_output) return;
    const std::tm now = m_clock();
    if (banner) m_output->AppendOutput("\r\n" + FormatBannerTime(now) + " - Connected to " + m_host + "\r\n");
    m_output->AppendOutput("[" + FormatClockTime(now) + "] " + text);
}

}  // namespace velto
