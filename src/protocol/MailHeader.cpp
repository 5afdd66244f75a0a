#include "protocol/MailHeader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace velto {

namespace {

struct HeaderName {
    std::string_view name;  // upper case, colon included
    std::string CMailHeader::*field;
};

// Matched in this order; several names share a field, so the last matching
// line of a group wins.
constexpr std::array<HeaderName, 18> kHeaderNames = {{
    {"RETURN-PATH:", &CMailHeader::m_returnPath},
    {"RECEIVED:", &CMailHeader::m_received},
    {"MESSAGE-ID:", &CMailHeader::m_messageId},
    {"DATE:", &CMailHeader::m_date},
    {"SENDER:", &CMailHeader::m_from},
    {"ORIGINATOR:", &CMailHeader::m_from},
    {"FROM:", &CMailHeader::m_from},
    {"REPLY-TO:", &CMailHeader::m_replyTo},
    {"MAILER:", &CMailHeader::m_mailer},
    {"MIME-VERSION:", &CMailHeader::m_mimeVersion},
    {"RECIPIENTS:", &CMailHeader::m_to},
    {"TO:", &CMailHeader::m_to},
    {"SUBJECT:", &CMailHeader::m_subject},
    {"CONTENT-TYPE:", &CMailHeader::m_contentType},
    {"CONTENT-TRANSFER-ENCODING:", &CMailHeader::m_transferEncoding},
    {"UIDL:", &CMailHeader::m_uidl},
    {"STATUS:", &CMailHeader::m_status},
    {"ORGANIZATION:", &CMailHeader::m_organization},
}};

constexpr std::size_t LongestName() {
    std::size_t n = 0;
    for (const auto& h : kHeaderNames) n = std::max(n, h.name.size());
    return n;
}
constexpr std::size_t kLongestName = LongestName();

constexpr std::array<std::string CMailHeader::*, 15> kParsedFields = {
    &CMailHeader::m_returnPath,  &CMailHeader::m_received,     &CMailHeader::m_messageId,
    &CMailHeader::m_date,        &CMailHeader::m_from,         &CMailHeader::m_replyTo,
    &CMailHeader::m_mailer,      &CMailHeader::m_mimeVersion,  &CMailHeader::m_to,
    &CMailHeader::m_subject,     &CMailHeader::m_contentType,  &CMailHeader::m_transferEncoding,
    &CMailHeader::m_uidl,        &CMailHeader::m_status,       &CMailHeader::m_organization,
};

inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool IsBreak(char c) { return c == '\r' || c == '\n'; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

inline std::uint32_t GetLe32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

inline void PutLe32(std::string& out, std::uint32_t v) {
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
    out.append(b, 4);
}

// Splits at every single space: two spaces in a row give an empty field, an
// empty text gives no field at all.
class SpaceFields {
public:
    explicit SpaceFields(std::string_view text) : m_rest(text), m_done(text.empty()) {}
    bool Next(std::string_view& field) {
        if (m_done) return false;
        const std::size_t space = m_rest.find(' ');
        if (space == std::string_view::npos) {
            field = m_rest;
            m_done = true;
        } else {
            field = m_rest.substr(0, space);
            m_rest.remove_prefix(space + 1);
        }
        return true;
    }

private:
    std::string_view m_rest;
    bool m_done;
};

// Value of the leading decimal digits (none gives 0). Capped so that no
// field can overflow an int, whatever its length.
int LeadingNumber(std::string_view s, bool* hadDigits = nullptr) {
    int value = 0;
    std::size_t i = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value < 100000000) value = value * 10 + (s[i] - '0');
    }
    if (hadDigits) *hadDigits = i > 0;
    return value;
}

int MonthNumber(std::string_view s) {
    static constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (s == kMonths[i]) return static_cast<int>(i) + 1;
    }
    return 0;
}

}  // namespace

std::string MailDate::Format() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", month, day, year, hour, minute, second);
    return buf;
}

void CMailHeader::Reset() {
    for (auto field : kParsedFields) (this->*field).clear();
    m_accountServer.clear();
    m_accountAddress.clear();
    m_accountOutgoing.clear();
    m_rawHeader.clear();
    m_size = -1;
    m_messageNumber = -1;
    m_uidlHash = 0xFFFFFFFFu;
}

void CMailHeader::SetMessageInfo(int number, std::uint32_t hash, int size) {
    m_messageNumber = number;
    m_uidlHash = hash;
    m_size = size;
}

void CMailHeader::SetAccountInfo(const std::string& server, const std::string& address, const std::string& outgoing) {
    m_accountServer = server;
    m_accountAddress = address;
    m_accountOutgoing = outgoing;
}

void CMailHeader::ParseHeader(const std::string& text) {
    // Through a copy: the text may be one of this record's own fields.
    std::string raw = text;
    ParseFields(raw);
    m_rawHeader = std::move(raw);
}

void CMailHeader::ParseFields(std::string_view text) {
    // Fields of an earlier message must not survive into this one.
    for (auto field : kParsedFields) (this->*field).clear();

    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        while (p < end && IsBreak(*p)) ++p;
        const char* const line = p;
        while (p < end && !IsBreak(*p)) ++p;
        const std::size_t length = static_cast<std::size_t>(p - line);
        if (length == 0) continue;

        // A colon further in than the longest name cannot end a known name.
        const auto* colon = static_cast<const char*>(std::memchr(line, ':', std::min(length, kLongestName)));
        if (!colon) continue;
        const std::size_t nameLength = static_cast<std::size_t>(colon - line) + 1;
        char upper[kLongestName];
        for (std::size_t i = 0; i < nameLength; ++i) upper[i] = UpperAscii(line[i]);
        const std::string_view name(upper, nameLength);
        for (const auto& h : kHeaderNames) {
            if (h.name == name) {
                const std::string_view value = Trim(std::string_view(line + nameLength, length - nameLength));
                (this->*h.field).assign(value.data(), value.size());
                break;
            }
        }
    }
}

std::string CMailHeader::UnfoldedField(std::string_view raw, std::initializer_list<std::string_view> names,
                                       bool& found) {
    found = false;
    std::string value;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = raw.size();
        const std::string_view line = raw.substr(pos, end - pos);
        pos = raw.find_first_not_of("\r\n", end);
        if (pos == std::string_view::npos) pos = raw.size();
        const auto named = [&line](std::string_view name) {
            if (line.size() <= name.size() || line[name.size()] != ':') return false;
            for (std::size_t i = 0; i < name.size(); ++i)
                if (UpperAscii(line[i]) != UpperAscii(name[i])) return false;
            return true;
        };
        const auto name = std::find_if(names.begin(), names.end(), named);
        if (name == names.end()) continue;
        found = true;
        value.assign(line.substr(name->size() + 1));
        // Continuation lines begin with a blank; unfolding removes only the
        // line break before it.
        while (pos < raw.size() && (raw[pos] == ' ' || raw[pos] == '\t')) {
            std::size_t next = raw.find_first_of("\r\n", pos);
            if (next == std::string_view::npos) next = raw.size();
            value.append(raw.substr(pos, next - pos));
            pos = raw.find_first_not_of("\r\n", next);
            if (pos == std::string_view::npos) pos = raw.size();
        }
    }
    const std::string_view trimmed = Trim(value);
    return std::string(trimmed);
}

bool CMailHeader::GetDate(MailDate& date) const {
    std::string upper(m_date);
    for (char& c : upper) c = UpperAscii(c);

    SpaceFields fields(upper);
    std::string_view field;
    if (!upper.empty() && upper[0] >= 'A' && upper[0] <= 'Z') fields.Next(field);  // weekday

    const int day = fields.Next(field) ? LeadingNumber(field) : 0;
    if (!fields.Next(field)) return false;
    const int month = MonthNumber(field);
    if (month == 0) return false;

    // Without a year there is no date to show; the caller shows the text.
    if (!fields.Next(field)) return false;
    bool hadDigits = false;
    int year = LeadingNumber(field, &hadDigits);
    if (!hadDigits) return false;
    if (field.size() < 4) year += (year < 50) ? 2000 : 1900;  // 00-49 -> 20xx, 50-999 -> 19xx

    int hms[3] = {0, 0, 0};
    if (fields.Next(field)) {
        for (int i = 0; i < 3 && !field.empty(); ++i) {
            const std::size_t colon = field.find(':');
            hms[i] = LeadingNumber(field.substr(0, colon));
            field = colon == std::string_view::npos ? std::string_view() : field.substr(colon + 1);
        }
    }
    if (year < 1900 || year > 9999) return false;

    // mktime rolls over out-of-range parts (day 0, hour 24) as the system's
    // calendar does and decides daylight saving; time_t is 64-bit here.
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hms[0];
    tm.tm_min = hms[1];
    tm.tm_sec = hms[2];
    tm.tm_isdst = -1;
    errno = 0;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && errno != 0) return false;
    if (tm.tm_year + 1900 < 1900 || tm.tm_year + 1900 > 9999) return false;

    date.year = tm.tm_year + 1900;
    date.month = tm.tm_mon + 1;
    date.day = tm.tm_mday;
    date.hour = tm.tm_hour;
    date.minute = tm.tm_min;
    date.second = tm.tm_sec;
    date.time = static_cast<std::int64_t>(t);
    return true;
}

std::uint64_t CMailHeader::EncodedSize(const char* head) {
    return kHeadSize + std::uint64_t(GetLe32(head + 8)) + GetLe32(head + 12) + GetLe32(head + 16) +
           GetLe32(head + 20);
}

namespace {

// One data-file record: the head of six 32-bit integers, then the four texts.
struct RecordText {
    std::uint32_t id = 0;
    std::int32_t size = 0;
    std::string_view address, server, outgoing, raw;
};

void WriteRecord(std::string& out, const RecordText& r) {
    // Every text is clamped to what is left of the record's text budget;
    // only an absurd raw header is ever cut.
    std::uint64_t budget = CMailHeader::kMaxTextBytes;
    auto fit = [&budget](std::string_view s) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(s.size(), budget));
        budget -= n;
        return s.substr(0, n);
    };
    const std::string_view a = fit(r.address), b = fit(r.server), c = fit(r.outgoing), d = fit(r.raw);
    out.reserve(out.size() + CMailHeader::kHeadSize + a.size() + b.size() + c.size() + d.size());
    PutLe32(out, r.id);
    PutLe32(out, static_cast<std::uint32_t>(r.size));
    for (std::string_view s : {a, b, c, d}) PutLe32(out, static_cast<std::uint32_t>(s.size()));
    for (std::string_view s : {a, b, c, d}) out.append(s);
}

// Lengths are checked against what is left: a record that does not fit
// returns false and leaves pos unchanged.
bool ReadRecord(const char* data, std::size_t size, std::size_t& pos, RecordText& r) {
    if (pos > size || size - pos < CMailHeader::kHeadSize) return false;
    const char* head = data + pos;
    const std::uint64_t total = CMailHeader::EncodedSize(head);
    if (total - CMailHeader::kHeadSize > CMailHeader::kMaxTextBytes || total > size - pos) return false;
    const std::size_t a = GetLe32(head + 8), b = GetLe32(head + 12), c = GetLe32(head + 16), d = GetLe32(head + 20);
    const char* text = head + CMailHeader::kHeadSize;
    r.id = GetLe32(head);
    r.size = static_cast<std::int32_t>(GetLe32(head + 4));
    r.address = std::string_view(text, a);
    r.server = std::string_view(text + a, b);
    r.outgoing = std::string_view(text + a + b, c);
    r.raw = std::string_view(text + a + b + c, d);
    pos += static_cast<std::size_t>(total);
    return true;
}

}  // namespace

void CMailHeader::Write(std::string& out) const {
    WriteRecord(out, {m_uidlHash, m_size, m_accountAddress, m_accountServer, m_accountOutgoing, m_rawHeader});
}

bool CMailHeader::Read(const char* data, std::size_t size, std::size_t& pos) {
    RecordText r;
    if (!ReadRecord(data, size, pos, r)) return false;
    m_uidlHash = r.id;
    m_size = r.size;
    m_accountAddress = r.address;
    m_accountServer = r.server;
    m_accountOutgoing = r.outgoing;
    m_rawHeader = r.raw;
    ParseFields(m_rawHeader);
    return true;
}

// ---- StoredHeader ------------------------------------------------------------

std::shared_ptr<const StoredHeader::Account> StoredHeader::SharedAccount(std::string_view address,
                                                                         std::string_view server,
                                                                         std::string_view outgoing) {
    // A user has a handful of accounts; a file naming more (damaged or
    // hostile) still loads, its records just keep their own copies.
    constexpr std::size_t kMaxShared = 64;
    static std::mutex mutex;
    static std::vector<std::shared_ptr<const Account>> shared;
    std::lock_guard lock(mutex);
    for (const auto& a : shared)
        if (a->address == address && a->server == server && a->outgoing == outgoing) return a;
    auto made = std::make_shared<const Account>(
        Account{std::string(address), std::string(server), std::string(outgoing)});
    if (shared.size() < kMaxShared) shared.push_back(made);
    return made;
}

StoredHeader::StoredHeader(const CMailHeader& record) {
    auto text = std::make_shared<Text>();
    text->account = SharedAccount(record.m_accountAddress, record.m_accountServer, record.m_accountOutgoing);
    text->raw = record.m_rawHeader;
    text->raw.shrink_to_fit();
    text->id = record.m_uidlHash;
    text->size = record.m_size;
    text->number = record.m_messageNumber;
    m_text = std::move(text);
}

CMailHeader StoredHeader::Full() const {
    CMailHeader record;
    if (!m_text) return record;
    record.SetAccountInfo(m_text->account->server, m_text->account->address, m_text->account->outgoing);
    record.SetMessageInfo(m_text->number, m_text->id, m_text->size);
    record.m_rawHeader = m_text->raw;
    record.ParseFields(record.m_rawHeader);
    return record;
}

const std::string& StoredHeader::AccountServer() const {
    static const std::string none;
    return m_text ? m_text->account->server : none;
}

const std::string& StoredHeader::AccountAddress() const {
    static const std::string none;
    return m_text ? m_text->account->address : none;
}

void StoredHeader::Write(std::string& out) const {
    if (!m_text) return CMailHeader().Write(out);
    const Account& a = *m_text->account;
    WriteRecord(out, {m_text->id, m_text->size, a.address, a.server, a.outgoing, m_text->raw});
}

bool StoredHeader::Read(const char* data, std::size_t size, std::size_t& pos) {
    RecordText r;
    if (!ReadRecord(data, size, pos, r)) return false;
    auto text = std::make_shared<Text>();
    text->account = SharedAccount(r.address, r.server, r.outgoing);
    text->raw = r.raw;
    text->id = r.id;
    text->size = r.size;
    m_text = std::move(text);
    return true;
}

}  // namespace velto
