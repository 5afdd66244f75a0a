#pragma once
// Socket failures are reported with the Windows Sockets codes the program has
// always shown (so the user sees the same texts on every platform), plus a
// few codes of our own for failures the socket layer has no code for.
#include <string>

#include "protocol/Transport.h"

namespace velto {

namespace wsa {
inline constexpr int kAccess = 10013;
inline constexpr int kFault = 10014;
inline constexpr int kInvalid = 10022;
inline constexpr int kTooManyFiles = 10024;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kInProgress = 10036;
inline constexpr int kNotSocket = 10038;
inline constexpr int kDestinationRequired = 10039;
inline constexpr int kMessageSize = 10040;
inline constexpr int kNotSupported = 10045;
inline constexpr int kFamilyNotSupported = 10047;
inline constexpr int kAddressInUse = 10048;
inline constexpr int kAddressNotAvailable = 10049;
inline constexpr int kNetworkDown = 10050;
inline constexpr int kNetworkUnreachable = 10051;
inline constexpr int kNetworkReset = 10052;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNoBuffers = 10055;
inline constexpr int kIsConnected = 10056;
inline constexpr int kNotConnected = 10057;
inline constexpr int kShutDown = 10058;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostDown = 10064;
inline constexpr int kHostUnreachable = 10065;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
}  // namespace wsa

// Codes of our own, outside the Windows Sockets range: the server broke one
// of the client's limits and the connection was dropped.
namespace localerr {
inline constexpr int kReplyTooLong = 90001;
inline constexpr int kResponseTooLong = 90002;
inline constexpr int kLineBreakInArgument = 90003;
// TLS: the handshake failed; the certificate was not trusted; the server
// would not start TLS although the account asks for it.
inline constexpr int kTlsFailed = 90004;
inline constexpr int kCertificateUntrusted = 90005;
inline constexpr int kTlsRefused = 90006;
// OAuth2: a token is only ever sent encrypted; the server refused the token;
// the server does not take OAuth2 sign-ins.
inline constexpr int kTokenNeedsTls = 90007;
inline constexpr int kTokenRefused = 90008;
inline constexpr int kTokenNotTaken = 90009;
// The user (Cancel) or the end of the program cut the connection.
inline constexpr int kCancelled = 90010;
// Passwords: the server refuses them on this connection (IMAP's
// LOGINDISABLED); the account asks for protection the connection lacks.
inline constexpr int kLoginDisabled = 90011;
inline constexpr int kPasswordNeedsTls = 90012;
}  // namespace localerr

// Where a failure happened; a time-out means something else while waiting
// for a reply than while connecting.
enum class SocketStage { Connect, Send, Receive };

// Text for a code, ending in CR LF. Unknown codes, 0 included, give the
// catch-all text.
std::string SocketErrorText(int code, SocketStage stage);

// The log line for a certificate that failed verification: the reason and
// the fingerprint, what the user needs to judge it.
std::string UntrustedCertificateLine(const std::string& host, const PeerCertificate& certificate);

}  // namespace velto
