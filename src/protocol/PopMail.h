#pragma once
// POP3 client: one blocking session per account, commands judged by "+OK",
// the conversation written to the output window.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/LocalTime.h"
#include "protocol/LogSink.h"
#include "protocol/MailHeader.h"
#include "protocol/SocketErrors.h"
#include "protocol/Transport.h"

namespace velto {

class CPopMail {
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

    void SetOutputWindow(ILogSink* output) { m_output = output; }
    void SetClock(LocalClock clock) { m_clock = std::move(clock); }

    bool Connect(const std::string& host, int port);
    bool Login(const std::string& user, const std::string& password);
    bool GetMailboxStatus(int& count, int& size);
    int GetMessageSize(int n);
    bool GetUniqueId(int n, std::string& uid);
    static bool HashUniqueId(const std::string& text, std::uint32_t& hash);
    bool GetHeader(int n, CMailHeader& record);
    bool GetMessage(int n, std::string& text);
    bool DeleteMessage(int n);
    bool Quit();
    bool WasAnswered() const { return m_exchangeOk == 1; }

    const std::string& GetLastResponse() const { return m_lastResponse; }
    int GetLastSocketError() const { return m_lastSocketError; }
    bool IsConnected() const { return m_connected; }
    bool IsLoggedIn() const { return m_loggedIn; }

    // Turns the body of a RETR response (everything after the status line,
    // through the terminator) into the message text: the terminator and the
    // last line end go, dot-stuffed lines lose their extra dot.
    static std::string UnstuffMessage(const std::string& response);

private:
    bool SendCommand(const std::string& command, std::string& reply);
    bool ReadMultiLine(const std::string& command, std::string& text, int size, std::size_t limit);
    bool SendAll(const std::string& command);
    bool ReadLine(std::string& line);
    long ReceiveInto(std::string& text, std::size_t capacity);
    void ReportSocketError(SocketStage stage);
    void ReportFailure(int code, SocketStage stage, bool log = true);
    void DropConnection();
    void LogLine(const std::string& text, bool banner = false);

    std::unique_ptr<ITransport> m_socket;
    int m_exchangeOk = 0;
    int m_lastSocketError = 0;
    bool m_loggedIn = false;
    bool m_connected = false;
    ILogSink* m_output;
    std::string m_lastResponse;
    std::string m_host;
    std::string m_user;
    std::string m_password;

    std::shared_ptr<ITransportFactory> m_transports;
    LocalClock m_clock;
    std::string m_reply;  // reused by the single-line exchanges
};

}  // namespace velto
