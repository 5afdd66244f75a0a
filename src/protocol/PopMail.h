#pragma once
// POP3 client: one blocking session per account, commands judged by "+OK",
// the conversation written to the output window.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/LocalTime.h"
#include "protocol/LogSink.h"
#include "protocol/MailHeader.h"
#include "protocol/MailSession.h"
#include "protocol/ReplyReader.h"
#include "protocol/SocketErrors.h"
#include "protocol/Transport.h"

namespace velto {

class CPopMail final : public MailSession {
public:
    // Limits on what a server may make us hold. A broken or hostile server
    // that exceeds one gets its connection dropped.
    static constexpr std::size_t kMaxReplyLine = 64 * 1024;
    static constexpr std::size_t kMaxHeaderResponse = 1024 * 1024;
    static constexpr std::size_t kMaxMessageResponse = 256 * 1024 * 1024;
    // Bounds of the reply scans.
    static constexpr std::size_t kMaxStatusWord = 96;
    static constexpr std::size_t kMaxUniqueId = 1024;

    CPopMail(ILogSink* output, std::shared_ptr<ITransportFactory> transports);
    ~CPopMail();
    CPopMail(const CPopMail&) = delete;
    CPopMail& operator=(const CPopMail&) = delete;

    bool Connect(const std::string& host, int port);
    // POP3S: TLS from the first byte, then the same exchange as in clear.
    bool ConnectTls(const std::string& host, int port, ITlsLayer& tls, const std::string& pinned);
    // STLS right after the greeting. Any failure (refused, handshake,
    // certificate) drops the connection: nothing more goes out in clear.
    bool StartTls(ITlsLayer& tls, const std::string& pinned);
    bool Login(const std::string& user, const std::string& password);
    // OAuth2 instead of USER/PASS: "AUTH XOAUTH2", then the address and the
    // token after the server's "+ " (tokens outgrow the first line). Only
    // over TLS. False with GetLastSocketError() kTokenRefused when the server
    // refused the token (a refreshed one may do), kTokenNeedsTls in clear.
    bool LoginXOAuth2(const std::string& user, const std::string& token);
    bool GetMailboxStatus(int& count, int& size);
    int GetMessageSize(int n);
    bool GetUniqueId(int n, std::string& uid);
    // The checksum a message is known by: CRC-32 of its unique id.
    static std::uint32_t HashUniqueId(std::string_view text);
    bool GetHeader(int n, CMailHeader& record);
    bool GetMessage(int n, std::string& text);
    bool DeleteMessage(int n);
    bool Quit();
    bool WasAnswered() const { return m_exchangeOk == 1; }

    // The quick check: every id in one listing, new headers fetched in
    // batches where the server allows it. Same records as asking one message
    // at a time, in a handful of round trips instead of one per message.
    struct UniqueId {
        int number = 0;
        std::string id;
    };
    // How many LIST/TOP pairs go out before their replies are read.
    static constexpr std::size_t kPipelineWindow = 64;
    // "UIDL" without argument. False when it fails or when the listing does
    // not name each message 1..count exactly once; the connection is then
    // still usable unless a socket failure dropped it.
    // keep, when given, sees each id as it arrives and says whether it goes
    // into ids (the listing is still checked whole): the caller's lookups
    // then overlap the wait for the rest of the listing.
    bool ListUniqueIds(int count, std::vector<UniqueId>& ids,
                       const std::function<bool(const std::string& id)>& keep = {});
    // "CAPA": whether the server announces PIPELINING. Not logged.
    bool SupportsPipelining();
    // The headers of the listed messages (LIST n, TOP n 0), handed to got()
    // in order as they arrive; got() returns false to stop. Each record gets
    // the number, the checksum of its listed id and the listed size. False
    // when a header could not be had (that record is skipped, the rest still
    // come) or the connection failed (what arrived before stays delivered).
    bool GetHeaders(const std::vector<UniqueId>& which, bool pipelining,
                    const std::function<bool(const UniqueId&, CMailHeader&)>& got);

    // Turns the body of a RETR response (everything after the status line,
    // through the terminator) into the message text: the terminator and the
    // last line end go, dot-stuffed lines lose their extra dot.
    static std::string UnstuffMessage(const std::string& response);

private:
    void Attach(ITransport* stream) override { m_replies.Attach(stream); }
    void Failed() override { m_exchangeOk = 0; }
    bool Open(const std::string& host, int port, ITlsLayer* tls, const std::string& pinned);
    bool SendCommand(const std::string& command, std::string& reply);
    bool ReadMultiLine(const std::string& command, std::string& text, int size, std::size_t limit);
    bool SendAll(const std::string& command);
    // Every reply is read through m_replies; a read that fails is reported
    // and drops the connection, so later calls fail quietly.
    bool ReadLine(std::string_view& line, std::size_t receive);
    // A status line that counts as the answer to the last command.
    bool ReadStatus(std::string_view& line);
    bool ReadBlock(std::string_view& block, std::size_t limit);
    // A receive failed (code 0: the socket's own error): reported, the
    // connection dropped; always false.
    bool FailReceive(int code);

    int m_exchangeOk = 0;
    std::string m_reply;  // reused by the single-line exchanges
    ReplyReader m_replies;
};

}  // namespace velto
