// Arbitrary server bytes through one SMTP send: connect, HELO, MAIL, RCPT,
// DATA, QUIT.
#include <cstdint>

#include "FuzzServer.h"
#include "protocol/SmtpMail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string body = data.ConsumeRandomLengthString(512);
    auto server = velto::fuzz::ServerPackets(data);
    velto::CSmtpMail smtp("smtp.example.com", 25, server);
    if (!smtp.Connect()) return 0;
    velto::COutgoingMessage message;
    message.m_sender = "me@example.com";
    message.m_subject = "Re: fuzz";
    message.m_body = body;
    message.AddRecipient("ann@example.com", "Ann");
    message.AddRecipient("bob@example.com");
    smtp.SendMail(message);
    smtp.SendMail(message);
    smtp.Disconnect();
    return 0;
}
