#include "protocol/ImapMail.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>

#include "protocol/SaslText.h"
#include "settings/Crc32.h"
#include "settings/Settings.h"

namespace velto {

namespace {

// The output window shows this much of one response (a whole message would
// drown the conversation).
constexpr std::size_t kMaxLogged = 64 * 1024;
// More unseen messages than a mailbox holds: a server gone wrong.
constexpr std::size_t kMaxSearchResults = 1'000'000;
constexpr std::string_view kHidden = "xxxxxxx";

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == prefix;
}

// "UIDVALIDITY 3857529045" in a response code.
bool CodeNumber(std::string_view code, std::string_view key, std::uint32_t& out) {
    if (!StartsWithNoCase(code, key) || code.size() <= key.size() || code[key.size()] != ' ') return false;
    ImapItem number;
    number.text = std::string(code.substr(key.size() + 1));
    return number.Number(out);
}

// SASL's "," and "=" in an OAUTHBEARER user name.
std::string SaslName(std::string_view user) {
    std::string out;
    for (char c : user) {
        if (c == ',') out += "=2C";
        else if (c == '=') out += "=3D";
        else out += c;
    }
    return out;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// One code point off the front of UTF-8 text; false on a malformed one.
bool NextCodePoint(std::string_view& text, std::uint32_t& cp) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = b(0);
    std::size_t n = 0;
    if (lead < 0x80) {
        cp = lead;
        n = 1;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        n = 2;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        n = 3;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        n = 4;
    } else {
        return false;
    }
    if (text.size() < n) return false;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b(i) & 0x3F);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    text.remove_prefix(n);
    return true;
}

}  // namespace

std::string CImapMail::Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

CImapMail::CImapMail(ILogSink* output, std::shared_ptr<ITransportFactory> transports)
    : MailSession(output, std::move(transports)) {}

CImapMail::~CImapMail() { DropConnection(); }

bool CImapMail::Connect(const std::string& host, int port) { return Open(host, port, nullptr, {}); }

bool CImapMail::ConnectTls(const std::string& host, int port, ITlsLayer& tls, const std::string& pinned) {
    return Open(host, port, &tls, pinned);
}

bool CImapMail::Open(const std::string& host, int port, ITlsLayer* tls, const std::string& pinned) {
    m_lastSocketError = 0;
    m_reader.SetLimits(m_limits);
    m_port = port;
    if (!OpenSocket(host, port)) return false;
    if (tls && !Secure(*tls, pinned)) return false;
    return Greeting();
}

bool CImapMail::Greeting() {
    ImapResponse greeting;
    m_untagged = 0;
    if (!m_reader.Next(greeting)) return FailReceive(m_reader.Failure());
    m_lastResponse = m_reader.Raw();
    LogLine(m_lastResponse, true);
    if (greeting.kind != ImapResponse::Untagged || (greeting.name != "OK" && greeting.name != "PREAUTH")) {
        DropConnection();
        return false;
    }
    Common(greeting);
    m_connected = true;
    m_loggedIn = greeting.name == "PREAUTH";
    return true;
}

bool CImapMail::StartTls(ITlsLayer& tls, const std::string& pinned) {
    if (!m_connected) return false;
    if (!Send("STARTTLS") || !Await()) return false;
    const bool positive = m_tagged.name == "OK";
    // Bytes after the go-ahead would be read as if they came encrypted:
    // only someone between us and the server puts them there.
    if (!positive || m_reader.HasPending()) {
        ReportFailure(positive ? localerr::kTlsFailed : localerr::kTlsRefused, SocketStage::Receive);
        DropConnection();
        return false;
    }
    // What the server said in clear may have been someone else's words.
    m_capabilities.clear();
    m_capabilitiesKnown = false;
    return Secure(tls, pinned);
}

bool CImapMail::Capability() {
    if (m_capabilitiesKnown) return true;
    return Command("CAPABILITY") && m_capabilitiesKnown;
}

bool CImapMail::HasCapability(std::string_view name) const {
    const std::string wanted = Upper(name);
    return std::find(m_capabilities.begin(), m_capabilities.end(), wanted) != m_capabilities.end();
}

bool CImapMail::Id(const std::vector<std::pair<std::string, std::string>>& fields) {
    if (!Capability() || !HasCapability("ID")) return false;
    std::string list;
    for (const auto& [key, value] : fields) {
        if (!ArgumentOk(key) || !ArgumentOk(value)) return false;
        list += (list.empty() ? "(" : " ") + Quote(key) + " " + Quote(value);
    }
    return Command("ID " + (list.empty() ? std::string("NIL") : list + ")"));
}

bool CImapMail::Login(const std::string& user, const std::string& password, bool allowClear) {
    m_lastSocketError = 0;
    if (!m_connected || !ArgumentOk(user) || !ArgumentOk(password)) return false;
    if (!Capability()) return false;
    if (HasCapability("LOGINDISABLED")) {
        ReportFailure(localerr::kLoginDisabled, SocketStage::Send);
        return false;
    }
    if (!m_encrypted && !allowClear) {
        ReportFailure(localerr::kPasswordNeedsTls, SocketStage::Send);
        return false;
    }
    bool ok = false;
    if (HasCapability("AUTH=PLAIN") && HasCapability("SASL-IR")) {
        std::string plain;
        plain += '\0';
        plain += user;
        plain += '\0';
        plain += password;
        std::string initial = Base64(plain);
        std::fill(plain.begin(), plain.end(), '\0');
        ok = Authenticate("PLAIN", initial, "*");
        std::fill(initial.begin(), initial.end(), '\0');
    } else {
        std::string command = "LOGIN " + Quote(user) + " " + Quote(password);
        const std::string logged = "LOGIN " + Quote(user) + " " + std::string(kHidden);
        ok = Send(command, logged) && Await() && m_tagged.name == "OK";
        std::fill(command.begin(), command.end(), '\0');
    }
    m_loggedIn = ok;
    return ok;
}

bool CImapMail::LoginOAuth(const std::string& user, const std::string& token, ImapOAuth mechanism) {
    m_lastSocketError = 0;
    if (!m_connected) return false;
    if (!m_encrypted) {
        ReportFailure(localerr::kTokenNeedsTls, SocketStage::Send);
        return false;
    }
    if (!Capability()) return false;
    const std::string name = mechanism == ImapOAuth::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
    if (!HasCapability("AUTH=" + name)) {
        ReportFailure(localerr::kTokenNotTaken, SocketStage::Send);
        return false;
    }
    std::string initial;
    if (mechanism == ImapOAuth::XOAuth2) {
        initial = XOAuth2Response(user, token);
    } else {
        std::string text = "n,a=" + SaslName(user) + ",\x01host=" + m_host + "\x01port=" + std::to_string(m_port) +
                           "\x01" "auth=Bearer " + token + "\x01\x01";
        initial = Base64(text);
        std::fill(text.begin(), text.end(), '\0');
    }
    // The failure challenge of XOAUTH2 is answered with an empty line,
    // OAUTHBEARER's with ^A (RFC 7628).
    const bool ok = Authenticate(name, initial, mechanism == ImapOAuth::XOAuth2 ? "" : "AQ==");
    std::fill(initial.begin(), initial.end(), '\0');
    m_loggedIn = ok;
    if (!ok && m_connected)
        ReportFailure(m_tagged.name == "NO" ? localerr::kTokenRefused : localerr::kTokenNotTaken,
                      SocketStage::Receive);
    return ok;
}

bool CImapMail::Authenticate(const std::string& mechanism, const std::string& initial, const std::string& cancel) {
    const std::string command = "AUTHENTICATE " + mechanism;
    bool continuation = false;
    if (HasCapability("SASL-IR")) {
        if (!Send(command + " " + initial, command + " " + std::string(kHidden)) || !Await({}, &continuation))
            return false;
    } else {
        if (!Send(command) || !Await({}, &continuation)) return false;
        if (continuation) {
            LogLine(std::string(kHidden) + "\r\n");
            if (!SendRaw(initial + "\r\n") || !Await({}, &continuation)) return false;
        }
    }
    // A challenge now carries the server's reasons for refusing; the
    // mechanism's cancel answer brings the tagged NO.
    if (continuation) {
        LogLine(cancel + "\r\n");
        if (!SendRaw(cancel + "\r\n") || !Await()) return false;
    }
    return m_tagged.name == "OK";
}

bool CImapMail::List(std::vector<ImapFolder>& folders) {
    folders.clear();
    std::size_t unkept = 0;
    const bool ok = Command("LIST \"\" \"*\"", [&](const ImapResponse& r) {
        if (r.name != "LIST" || r.items.size() < 3 || r.items[0].kind != ImapItem::List) return;
        ImapFolder folder;
        for (const ImapItem& flag : r.items[0].items)
            if (flag.Is("\\Noselect") || flag.Is("\\NonExistent")) folder.selectable = false;
            else if (flag.Is("\\Trash")) folder.trash = true;
        if (r.items[1].kind == ImapItem::String && r.items[1].text.size() == 1) folder.delimiter = r.items[1].text[0];
        if (r.items[2].kind != ImapItem::String && r.items[2].kind != ImapItem::Atom) return;
        folder.wireName = r.items[2].text;
        // Offered only under a name that leads back to this folder and that
        // the settings keep as it is. Not modified UTF-7, a control character
        // (a line break would become a second watched folder) or another
        // spelling of what the name encodes to: left out.
        std::string again;
        if (!DecodeFolderName(folder.wireName, folder.name) || !AccountSettings::IsStorableFolderName(folder.name) ||
            !EncodeFolderName(folder.name, again) || again != folder.wireName) {
            ++unkept;
            return;
        }
        folders.push_back(std::move(folder));
    });
    if (unkept) LogLine(std::to_string(unkept) + " folder names that cannot be kept as they are were left out.\r\n");
    return ok;
}

bool CImapMail::Examine(const std::string& folder, ImapFolderState& state) {
    return OpenFolder(folder, true, state);
}

bool CImapMail::Select(const std::string& folder, ImapFolderState& state) { return OpenFolder(folder, false, state); }

bool CImapMail::OpenFolder(const std::string& folder, bool readOnly, ImapFolderState& state) {
    std::string wire;
    if (!EncodeFolderName(folder, wire) || !ArgumentOk(wire)) return false;
    m_folder.clear();
    m_state = {};
    if (!Command(std::string(readOnly ? "EXAMINE " : "SELECT ") + Quote(wire))) return false;
    m_state.readOnly = readOnly || StartsWithNoCase(m_tagged.code, "READ-ONLY");
    m_folder = folder;
    state = m_state;
    return true;
}

bool CImapMail::Status(const std::string& folder, std::uint32_t& uidNext, std::uint32_t& unseen) {
    std::string wire;
    if (!EncodeFolderName(folder, wire) || !ArgumentOk(wire)) return false;
    bool got = false;
    const bool ok = Command("STATUS " + Quote(wire) + " (UIDNEXT UNSEEN)", [&](const ImapResponse& r) {
        if (r.name != "STATUS" || r.items.size() < 2 || r.items[0].text != wire || r.items[1].kind != ImapItem::List)
            return;
        const auto& pairs = r.items[1].items;
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            if (pairs[i].Is("UIDNEXT")) got = pairs[i + 1].Number(uidNext) || got;
            if (pairs[i].Is("UNSEEN")) got = pairs[i + 1].Number(unseen) || got;
        }
    });
    return ok && got;
}

bool CImapMail::SearchUnseen(std::vector<std::uint32_t>& uids) {
    uids.clear();
    // A message flagged \Deleted is gone for the user, though not expunged
    // (a server without UIDPLUS keeps it so).
    bool tooMany = false;
    const bool ok = Command("UID SEARCH UNSEEN UNDELETED", [&](const ImapResponse& r) {
        if (r.name != "SEARCH" || tooMany) return;
        for (const ImapItem& item : r.items) {
            std::uint32_t uid = 0;
            if (item.Number(uid) && uid != 0) uids.push_back(uid);
        }
        // SEARCH lines without end would pile up UIDs without end.
        tooMany = uids.size() > kMaxSearchResults;
    });
    if (tooMany) {
        uids = {};
        ReportFailure(localerr::kResponseTooLong, SocketStage::Receive);
        DropConnection();
        return false;
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    if (!ok) uids.clear();
    return ok;
}

namespace {

// The attributes of a FETCH response, by name.
struct FetchData {
    std::uint32_t uid = 0;
    bool hasUid = false;
    std::uint32_t size = 0;
    bool hasSize = false;
    const std::string* section = nullptr;  // BODY[HEADER] or BODY[]

    FetchData(const ImapResponse& r, std::string_view sectionName) {
        if (r.name != "FETCH" || r.items.empty() || r.items[0].kind != ImapItem::List) return;
        const auto& pairs = r.items[0].items;
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            if (pairs[i].Is("UID")) hasUid = pairs[i + 1].Number(uid);
            else if (pairs[i].Is("RFC822.SIZE")) hasSize = pairs[i + 1].Number(size);
            else if (pairs[i].Is(sectionName) && pairs[i + 1].kind == ImapItem::String) section = &pairs[i + 1].text;
        }
    }
};

}  // namespace

bool CImapMail::FetchHeaders(const std::vector<std::uint32_t>& wanted,
                             const std::function<bool(std::uint32_t uid, CMailHeader&)>& got) {
    std::vector<std::uint32_t> uids = wanted;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::erase(uids, 0u);
    bool all = true;
    bool stopped = false;
    for (std::size_t start = 0; start < uids.size() && !stopped; start += kFetchBatch) {
        const std::size_t count = std::min(kFetchBatch, uids.size() - start);
        const std::uint32_t* batch = uids.data() + start;
        std::vector<bool> came(count, false);
        const bool ok = Command("UID FETCH " + UidSet(batch, count) + " (UID RFC822.SIZE BODY.PEEK[HEADER])",
                                [&](const ImapResponse& r) {
                                    const FetchData data(r, "BODY[HEADER]");
                                    if (stopped || !data.hasUid || !data.section) return;
                                    const auto at = std::lower_bound(batch, batch + count, data.uid);
                                    if (at == batch + count || *at != data.uid || came[at - batch]) return;
                                    came[at - batch] = true;
                                    CMailHeader record;
                                    record.SetMessageInfo(
                                        static_cast<int>(std::min<std::uint32_t>(data.uid, INT_MAX)),
                                        Crc32::Of(MessageId(m_folder, m_state.uidValidity, data.uid)),
                                        data.hasSize ? static_cast<int>(std::min<std::uint32_t>(data.size, INT_MAX))
                                                     : -1);
                                    record.ParseHeader(*data.section);
                                    if (!got(data.uid, record)) stopped = true;
                                });
        if (!ok) return false;
        if (!stopped && std::find(came.begin(), came.end(), false) != came.end()) all = false;
    }
    return all;
}

bool CImapMail::FetchMessage(std::uint32_t uid, std::string& text) {
    text.clear();
    ImapLimits limits = m_limits;
    limits.literal = std::max(limits.literal, kMaxMessageLiteral);
    limits.response = std::max(limits.response, kMaxMessageLiteral);
    m_reader.SetLimits(limits);
    bool found = false;
    const bool ok = Command("UID FETCH " + std::to_string(uid) + " (BODY.PEEK[])", [&](const ImapResponse& r) {
        const FetchData data(r, "BODY[]");
        if (data.hasUid && data.uid == uid && data.section) {
            text = *data.section;
            found = true;
        }
    });
    m_reader.SetLimits(m_limits);
    return ok && found;
}

bool CImapMail::Delete(const std::vector<std::uint32_t>& wanted, bool expungeAllIsSafe, bool& expunged) {
    expunged = false;
    std::vector<std::uint32_t> uids = wanted;
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    std::erase(uids, 0u);
    if (uids.empty() || m_folder.empty()) return false;
    if (m_state.readOnly) {
        // The UIDs belong to the folder as examined; reopened with another
        // UIDVALIDITY they would name other messages.
        const std::uint32_t validity = m_state.uidValidity;
        ImapFolderState state;
        if (!Select(std::string(m_folder), state)) return false;
        if (state.uidValidity != validity) {
            LogLine("The folder changed its UIDVALIDITY; nothing was deleted.\r\n");
            return false;
        }
    }
    if (!Capability()) return false;
    const std::string set = UidSet(uids.data(), uids.size());
    if (!Command("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)")) return false;
    if (HasCapability("UIDPLUS")) {
        expunged = Command("UID EXPUNGE " + set);
    } else if (expungeAllIsSafe) {
        expunged = Command("EXPUNGE");
    } else {
        LogLine("Without UIDPLUS an EXPUNGE would also remove other messages marked deleted; "
                "these stay marked until then.\r\n");
        return true;
    }
    return expunged;
}

bool CImapMail::Idle(long limitMs, ImapIdleNews& news) {
    news = {};
    if (!m_connected || !Capability() || !HasCapability("IDLE")) return false;
    bool continuation = false;
    if (!Send("IDLE") || !Await({}, &continuation)) return false;
    if (!continuation) return false;  // refused at once
    auto note = [&](const ImapResponse& r) {
        if (r.kind != ImapResponse::Untagged) return false;
        if (r.name == "EXISTS") {
            news.exists = true;
            news.count = r.number;
        } else if (r.name == "EXPUNGE") {
            news.expunge = true;
        } else if (r.name == "FETCH") {
            news.fetch = true;
        } else {
            return false;
        }
        return true;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(limitMs, 0L));
    for (;;) {
        if (!m_reader.HasPending()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            const int ready = m_socket ? m_socket->WaitReadable(std::max<long>(static_cast<long>(left.count()), 0))
                                       : -1;
            if (ready < 0) {
                ReportSocketError(SocketStage::Receive);
                DropConnection();
                return false;
            }
            if (ready == 0) {
                news.timeUp = true;
                break;
            }
        }
        ImapResponse r;
        if (!Read(r)) return false;
        if (r.kind == ImapResponse::Tagged && r.tag == m_tag) {
            // The server ended the idle itself.
            m_tagged = std::move(r);
            return m_tagged.name == "OK";
        }
        if (r.name == "BYE") {
            news.bye = true;
            DropConnection();
            return false;
        }
        Common(r);
        if (note(r)) break;
    }
    LogLine("DONE\r\n");
    if (!SendRaw("DONE\r\n")) return false;
    // A server that does not answer DONE in the transport's time is gone.
    if (!Await([&](const ImapResponse& r) { note(r); })) return false;
    return m_tagged.name == "OK";
}

bool CImapMail::Noop() { return Command("NOOP"); }

bool CImapMail::Logout() {
    if (!m_connected) {
        DropConnection();
        return false;
    }
    m_loggingOut = true;
    const bool ok = Command("LOGOUT");
    m_loggingOut = false;
    DropConnection();
    return ok;
}

std::string CImapMail::MessageId(std::string_view folder, std::uint32_t uidValidity, std::uint32_t uid) {
    // The numbers first: a folder name may hold any character.
    return std::to_string(uidValidity) + "." + std::to_string(uid) + "." + std::string(folder);
}

bool CImapMail::DecodeFolderName(std::string_view wire, std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        const char c = wire[i];
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
        if (c != '&') {
            out += c;
            continue;
        }
        const std::size_t end = wire.find('-', i + 1);
        if (end == std::string_view::npos) return false;
        if (end == i + 1) {
            out += '&';
            i = end;
            continue;
        }
        std::uint32_t bits = 0;
        int held = 0;
        std::uint32_t high = 0;  // a pending high surrogate
        for (std::size_t k = i + 1; k < end; ++k) {
            const char* at = std::strchr(kBase64, wire[k]);
            if (!at || !*at) return false;
            bits = (bits << 6) | static_cast<std::uint32_t>(at - kBase64);
            held += 6;
            if (held < 16) continue;
            held -= 16;
            const std::uint32_t unit = (bits >> held) & 0xFFFF;
            bits &= (1u << held) - 1;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                if (high) return false;
                high = unit;
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                if (!high) return false;
                AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                high = 0;
            } else {
                if (high) return false;
                AppendUtf8(out, unit);
            }
        }
        // Leftover bits are padding: fewer than six, all zero.
        if (high || held >= 6 || bits != 0) return false;
        i = end;
    }
    utf8 = std::move(out);
    return true;
}

bool CImapMail::EncodeFolderName(std::string_view utf8, std::string& wire) {
    std::string out;
    std::vector<std::uint16_t> units;
    auto flush = [&] {
        if (units.empty()) return;
        out += '&';
        std::uint32_t bits = 0;
        int held = 0;
        for (std::uint16_t unit : units) {
            bits = (bits << 16) | unit;
            held += 16;
            while (held >= 6) {
                held -= 6;
                out += kBase64[(bits >> held) & 0x3F];
            }
            bits &= (1u << held) - 1;
        }
        if (held > 0) out += kBase64[(bits << (6 - held)) & 0x3F];
        out += '-';
        units.clear();
    };
    while (!utf8.empty()) {
        std::uint32_t cp = 0;
        if (!NextCodePoint(utf8, cp)) return false;
        if (cp >= 0x20 && cp <= 0x7E) {
            flush();
            out += cp == '&' ? std::string("&-") : std::string(1, static_cast<char>(cp));
        } else if (cp >= 0x10000) {
            units.push_back(static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    flush();
    wire = std::move(out);
    return true;
}

std::string CImapMail::UidSet(const std::uint32_t* uids, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count;) {
        std::size_t j = i;
        while (j + 1 < count && uids[j + 1] == uids[j] + 1) ++j;
        if (!out.empty()) out += ',';
        out += std::to_string(uids[i]);
        if (j > i) out += ":" + std::to_string(uids[j]);
        i = j + 1;
    }
    return out;
}

// ---- the conversation ---------------------------------------------------------

std::string CImapMail::NextTag() { return "a" + std::to_string(++m_tagNumber); }

bool CImapMail::ArgumentOk(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) return true;
    // A line break would let the rest of the text run as a command.
    ReportFailure(localerr::kLineBreakInArgument, SocketStage::Send);
    return false;
}

bool CImapMail::SendRaw(const std::string& bytes) {
    if (!m_socket) {
        ReportFailure(wsa::kNotConnected, SocketStage::Send, false);
        return false;
    }
    if (m_socket->Send(bytes.data(), bytes.size()) < 0) {
        ReportSocketError(SocketStage::Send);
        DropConnection();
        return false;
    }
    return true;
}

bool CImapMail::Send(const std::string& command, std::string_view logged) {
    m_tag = NextTag();
    m_untagged = 0;
    m_tagged = {};
    LogLine(m_tag + " " + std::string(logged.empty() ? std::string_view(command) : logged) + "\r\n");
    std::string line = m_tag + " " + command + "\r\n";
    const bool sent = SendRaw(line);
    std::fill(line.begin(), line.end(), '\0');
    return sent;
}

bool CImapMail::Read(ImapResponse& response) {
    if (!m_reader.Next(response)) return FailReceive(m_reader.Failure());
    const std::string_view raw = m_reader.Raw();
    if (raw.size() <= kMaxLogged) {
        LogLine(raw);
    } else {
        LogLine(std::string(raw.substr(0, kMaxLogged)) + "\r\n... (" + std::to_string(raw.size()) + " bytes)\r\n");
    }
    // Every line of the answer counts: continuations and other tags as much
    // as untagged data, or a flood of them would pass uncounted.
    if (++m_untagged > m_limits.untagged) return FailReceive(localerr::kResponseTooLong);
    return true;
}

bool CImapMail::Await(const Untagged& onData, bool* continuation) {
    if (continuation) *continuation = false;
    for (;;) {
        ImapResponse r;
        if (!Read(r)) return false;
        if (r.kind == ImapResponse::Continuation) {
            if (continuation) {
                *continuation = true;
                return true;
            }
            continue;  // nothing of ours waits for one
        }
        if (r.kind == ImapResponse::Tagged) {
            if (r.tag != m_tag) continue;
            m_lastResponse = m_reader.Raw().substr(0, kMaxLogged);
            Common(r);
            m_tagged = std::move(r);
            return true;
        }
        if (r.name == "BYE") {
            m_lastResponse = m_reader.Raw().substr(0, kMaxLogged);
            if (m_loggingOut) continue;
            DropConnection();
            return false;
        }
        Common(r);
        if (onData) onData(r);
    }
}

bool CImapMail::Command(const std::string& command, const Untagged& onData, std::string_view logged) {
    return Send(command, logged) && Await(onData) && m_tagged.name == "OK";
}

void CImapMail::Common(const ImapResponse& r) {
    if (r.name == "CAPABILITY" && r.kind == ImapResponse::Untagged) {
        m_capabilities.clear();
        for (const ImapItem& item : r.items)
            if (item.kind == ImapItem::Atom) m_capabilities.push_back(Upper(item.text));
        m_capabilitiesKnown = true;
    } else if (StartsWithNoCase(r.code, "CAPABILITY ")) {
        TakeCapabilities(std::string_view(r.code).substr(11));
    }
    if (r.kind != ImapResponse::Untagged) return;
    std::uint32_t n = 0;
    if (CodeNumber(r.code, "UIDVALIDITY", n)) m_state.uidValidity = n;
    if (CodeNumber(r.code, "UIDNEXT", n)) m_state.uidNext = n;
    if (r.hasNumber && r.name == "EXISTS") m_state.exists = r.number;
    if (r.hasNumber && r.name == "EXPUNGE" && m_state.exists > 0) --m_state.exists;
}

void CImapMail::TakeCapabilities(std::string_view list) {
    m_capabilities.clear();
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        const std::string_view word = list.substr(0, space);
        if (!word.empty()) m_capabilities.push_back(Upper(word));
        if (space == std::string_view::npos) break;
        list.remove_prefix(space + 1);
    }
    m_capabilitiesKnown = true;
}

bool CImapMail::FailReceive(int code) {
    if (code) {
        ReportFailure(code, SocketStage::Receive);
    } else {
        ReportSocketError(SocketStage::Receive);
    }
    DropConnection();
    return false;
}

void CImapMail::Forget() {
    m_loggedIn = false;
    m_capabilities.clear();
    m_capabilitiesKnown = false;
    m_folder.clear();
}

}  // namespace velto
