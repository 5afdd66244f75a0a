#pragma once
// One message as the engine knows it: parsed header fields, its identity on
// the server, the account it came from and the raw header text. Also the
// record format of the local data file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace velto {

// A calendar date and time read from a Date header (local time, no zone).
struct MailDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // The same moment as seconds since 1970-01-01 UTC (64-bit, so any year
    // from 1900 to 9999 fits); for sorting by date.
    std::int64_t time = 0;
    // "%m/%d/%Y %H:%M:%S", as the message list shows it.
    std::string Format() const;
};

class CMailHeader {
public:
    CMailHeader() { Reset(); }

    void Reset();
    void SetMessageInfo(int number, std::uint32_t hash, int size);
    void SetAccountInfo(const std::string& server, const std::string& address, const std::string& outgoing);
    bool MatchesHash(std::uint32_t hash) const { return m_uidlHash == hash; }
    void ParseHeader(const std::string& text);
    // Safe on any thread.
    bool GetDate(MailDate& date) const;

    // Data-file encoding (little-endian head of six 32-bit integers, then
    // the four strings). Write appends to out.
    void Write(std::string& out) const;
    // Reads one record from data[pos..size), advancing pos. Lengths are
    // checked against what is left: a record that does not fit returns false
    // and leaves the record and pos unchanged.
    bool Read(const char* data, std::size_t size, std::size_t& pos);
    static constexpr std::size_t kHeadSize = 24;
    // Most text one record may carry in the data file. Far above any real
    // header; Write cuts the raw header to fit and Read refuses more, so a
    // damaged length can never make a reader allocate beyond it.
    static constexpr std::uint64_t kMaxTextBytes = 16u << 20;
    // Whole encoded size (head included) announced by a 24-byte head.
    static std::uint64_t EncodedSize(const char* head);

    // A field of the raw header as the sender wrote it, its folded lines
    // joined (the record's parsed field keeps only the first line). The
    // last field of any of the names counts, as in the parsed record where
    // names share a field; found is false when the header has none.
    static std::string UnfoldedField(std::string_view rawHeader, std::initializer_list<std::string_view> names,
                                     bool& found);
    static std::string UnfoldedField(std::string_view rawHeader, std::string_view name, bool& found) {
        return UnfoldedField(rawHeader, {name}, found);
    }
    // For display: the field whole from the raw header, else the parsed one
    // (a record without a raw header).
    std::string Unfolded(std::initializer_list<std::string_view> names, const std::string& parsed) const {
        bool found = false;
        std::string whole = UnfoldedField(m_rawHeader, names, found);
        return found ? whole : parsed;
    }
    std::string Unfolded(std::string_view name, const std::string& parsed) const { return Unfolded({name}, parsed); }
    // The from field whole: the last of Sender:, Originator: and From:, the
    // field the parsed record's from keeps the first line of.
    std::string UnfoldedFrom() const { return Unfolded({"Sender", "Originator", "From"}, m_from); }

    std::string m_returnPath, m_received, m_messageId, m_date, m_from, m_replyTo, m_mailer, m_mimeVersion,
        m_to, m_subject, m_contentType, m_transferEncoding, m_uidl, m_status, m_organization;
    std::string m_accountServer, m_accountAddress, m_accountOutgoing;
    std::int32_t m_size = -1;
    std::int32_t m_messageNumber = -1;
    std::uint32_t m_uidlHash = 0xFFFFFFFFu;
    std::string m_rawHeader;

private:
    friend class StoredHeader;
    void ParseFields(std::string_view text);
};

// A message as the message list keeps it, in little more than the room of
// its raw header: its identity, the account it came from (one copy for all
// of the account's records) and the raw header. The parsed fields are read
// from the raw header when a full record is asked for. Copies share their
// text, which never changes. Its data-file record is the full record's.
class StoredHeader {
public:
    StoredHeader() = default;
    explicit StoredHeader(const CMailHeader& record);
    CMailHeader Full() const;

    std::uint32_t Id() const { return m_text ? m_text->id : 0xFFFFFFFFu; }
    std::int32_t Size() const { return m_text ? m_text->size : -1; }
    const std::string& AccountServer() const;
    const std::string& AccountAddress() const;

    // The data-file record, as CMailHeader::Write and Read have it.
    void Write(std::string& out) const;
    bool Read(const char* data, std::size_t size, std::size_t& pos);

private:
    struct Account {
        std::string address, server, outgoing;
    };
    struct Text {
        std::shared_ptr<const Account> account;
        std::string raw;
        std::uint32_t id = 0xFFFFFFFFu;
        std::int32_t size = -1;
        std::int32_t number = -1;
    };
    static std::shared_ptr<const Account> SharedAccount(std::string_view address, std::string_view server,
                                                        std::string_view outgoing);
    std::shared_ptr<const Text> m_text;
};

}  // namespace velto
