#include "protocol/PopMail.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string_view>
#include <utility>

#include "protocol/SaslText.h"
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
    : MailSession(output, std::move(transports)) {}

CPopMail::~CPopMail() { DropConnection(); }

bool CPopMail::Connect(const std::string& host, int port) { return Open(host, port, nullptr, {}); }

bool CPopMail::ConnectTls(const std::string& host, int port, ITlsLayer& tls, const std::string& pinned) {
    return Open(host, port, &tls, pinned);
}

bool CPopMail::Open(const std::string& host, int port, ITlsLayer* tls, const std::string& pinned) {
    if (!OpenSocket(host, port)) return false;
    if (tls && !Secure(*tls, pinned)) return false;
    std::string_view greeting;
    if (!ReadLine(greeting, kLineBlock)) return false;
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
    std::string_view reply;
    if (!ReadLine(reply, kMaxBlock)) return false;
    m_exchangeOk = 1;
    m_lastResponse = reply;
    LogLine(reply);
    const bool positive = Contains(reply, kOk);
    // Bytes after the go-ahead would be read as if they came encrypted:
    // only someone between us and the server puts them there.
    if (!positive || m_replies.HasPending()) {
        ReportFailure(positive ? localerr::kTlsFailed : localerr::kTlsRefused, SocketStage::Receive);
        DropConnection();
        return false;
    }
    return Secure(tls, pinned);
}

bool CPopMail::Login(const std::string& user, const std::string& password) {
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

bool CPopMail::LoginXOAuth2(const std::string& user, const std::string& token) {
    m_lastSocketError = 0;  // one connection object serves every account of a check
    if (!m_encrypted) {
        ReportFailure(localerr::kTokenNeedsTls, SocketStage::Send);
        m_exchangeOk = 1;  // nothing went wrong with the connection itself
        return false;
    }
    LogLine("AUTH XOAUTH2\r\n");
    if (!SendCommand("AUTH XOAUTH2\r\n", m_reply)) return false;
    LogLine(m_reply);
    if (m_reply.rfind("+ ", 0) != 0 && m_reply != "+\r\n") {
        ReportFailure(localerr::kTokenNotTaken, SocketStage::Receive, false);
        m_exchangeOk = 1;
        return false;
    }
    std::string response = XOAuth2Response(user, token) + "\r\n";
    const bool sent = SendCommand(response, m_reply);
    std::fill(response.begin(), response.end(), '\0');
    if (!sent) return false;
    if (Contains(m_reply, kOk)) {
        m_loggedIn = true;
        LogLine(m_reply);
        return true;
    }
    // A refusal may come as a challenge (the server's reasons); an empty
    // line ends it and the -ERR follows.
    if (m_reply.rfind("+", 0) == 0 && !SendCommand("\r\n", m_reply)) return false;
    LogLine(m_reply);
    ReportFailure(localerr::kTokenRefused, SocketStage::Receive);
    m_exchangeOk = 1;
    return false;
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

std::uint32_t CPopMail::HashUniqueId(std::string_view text) { return Crc32::Of(text); }

bool CPopMail::GetHeader(int n, CMailHeader& record) {
    const std::string command = "TOP " + std::to_string(n) + " 0\r\n";
    LogLine(command);
    const int size = GetMessageSize(n);
    std::string text;
    if (!ReadMultiLine(command, text, size, MessageResponseLimit(size, kMaxHeaderResponse))) return false;
    std::string uid;
    record.SetMessageInfo(n, HashUniqueId(GetUniqueId(n, uid) ? uid : text), size);
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

bool CPopMail::ReadLine(std::string_view& line, std::size_t receive) {
    return m_replies.Line(line, kLineEnd, kMaxReplyLine, receive) || FailReceive(m_replies.Failure());
}

bool CPopMail::ReadStatus(std::string_view& line) {
    if (!ReadLine(line, kMaxBlock)) return false;
    m_exchangeOk = 1;
    m_lastResponse = line;
    return true;
}

bool CPopMail::ReadBlock(std::string_view& block, std::size_t limit) {
    return m_replies.DotBlock(block, limit, kMaxBlock) || FailReceive(m_replies.Failure());
}

bool CPopMail::SendCommand(const std::string& command, std::string& reply) {
    reply.clear();
    if (!SendAll(command)) return false;
    std::string_view line;
    const bool ok = m_replies.Line(line, kLineEnd, kMaxReplyLine, kLineBlock);
    reply.assign(ok ? line : m_replies.Unread());
    if (!ok) FailReceive(m_replies.Failure());
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
    const std::size_t receive = std::min(static_cast<std::size_t>(size) + 255, kMaxBlock);
    std::string_view status;
    const bool answered = m_replies.Line(status, kLineEnd, kMaxReplyLine, receive);
    // The log shows the first block of the response as it came.
    if (const std::string_view first = m_replies.FirstReceived(); !first.empty()) {
        LogLine(first);
        m_exchangeOk = 1;
        m_lastResponse = first;
    }
    if (!answered) return FailReceive(m_replies.Failure());
    if (!Contains(status, kOk)) return false;
    std::string_view block;
    if (!m_replies.DotBlock(block, limit - std::min(limit, status.size()), receive))
        return FailReceive(m_replies.Failure());
    text.assign(block);
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

bool CPopMail::ListUniqueIds(int count, std::vector<UniqueId>& ids,
                             const std::function<bool(const std::string& id)>& keep) {
    ids.clear();
    if (count < 0) return false;
    LogLine("UIDL\r\n");
    if (!SendAll("UIDL\r\n")) return false;
    std::string_view line;
    if (!ReadStatus(line)) return false;
    const std::string status(line);
    if (!Contains(status, kOk)) {
        LogLine(status);
        return false;
    }
    auto fail = [&](int code) {
        ids.clear();
        return FailReceive(code);
    };
    // A line per message, each at most an id and a number long.
    const std::size_t limit =
        std::min(kMaxMessageResponse, static_cast<std::size_t>(count) * (kMaxUniqueId + 16) + 64 * 1024);
    // The lines are taken as they arrive, so reading them costs no more
    // than waiting for the rest of the listing.
    std::vector<bool> seen(static_cast<std::size_t>(count) + 1, false);
    ids.reserve(static_cast<std::size_t>(count));
    std::string first, last;
    bool wellFormed = true;
    std::size_t taken = status.size();
    std::size_t listed = 0;
    for (;;) {
        if (!m_replies.Line(line, kLineEnd, kMaxReplyLine, kMaxBlock)) return fail(m_replies.Failure());
        taken += line.size();
        line.remove_suffix(kLineEnd.size());
        if (line == ".") break;
        if (taken > limit) return fail(localerr::kResponseTooLong);
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
    std::string_view line, block;
    if (!ReadStatus(line) || !Contains(line, kOk) || !ReadBlock(block, kMaxReplyLine)) return false;
    std::string upper = "\r\n" + std::string(block);
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
            std::string_view line;
            if (!ReadStatus(line)) return false;
            // The size as the one-at-a-time exchange reads it; the TOP went
            // out already, so its reply is read (and dropped) in any case.
            const int size = Contains(line, kOk) ? ListedSize(line) : -1;
            const std::size_t limit = size >= 1 ? MessageResponseLimit(size, kMaxHeaderResponse) : kMaxHeaderResponse;
            if (!ReadStatus(line)) return false;
            std::string logged(line);
            const bool topPositive = Contains(line, kOk);
            std::string_view block;
            if (topPositive && !ReadBlock(block, limit - std::min(limit, logged.size()))) return false;
            logged.append(block.substr(0, kMaxBlock - std::min(kMaxBlock, logged.size())));
            LogLine(logged);
            if (size < 1 || !topPositive) {
                allFetched = false;
                continue;
            }
            CMailHeader record;
            record.SetMessageInfo(which[i].number, HashUniqueId(which[i].id), size);
            record.ParseHeader(std::string(block));
            if (!got(which[i], record)) return allFetched;
        }
    }
    return allFetched;
}

}  // namespace velto
