#include "protocol/SocketErrors.h"

namespace velto {

namespace {

struct Row {
    int code;
    const char* text;
};

constexpr Row kTexts[] = {
    {wsa::kAccess, "The requested address is a broadcast address, but the appropriate flag was not set\r\n"},
    {wsa::kFault, "The nSockAddrLen argument is incorrect\r\n"},
    {wsa::kInvalid, "The socket is not already bound to an address. Check Mail Server Address\r\n"},
    {wsa::kTooManyFiles, "No more file descriptors are available\r\n"},
    {wsa::kWouldBlock, "The socket is marked as nonblocking and the Receive operation would block\r\n"},
    {wsa::kInProgress, "A blocking Windows Sockets operation is in progress\r\n"},
    {wsa::kNotSocket, "The descriptor is not a socket\r\n"},
    {wsa::kDestinationRequired, "A destination address is required\r\n"},
    {wsa::kMessageSize, "The datagram was too large to fit into the specified buffer and was truncated\r\n"},
    {wsa::kNotSupported, "MSG_OOB was specified, but the socket is not of type SOCK_STREAM\r\n"},
    {wsa::kFamilyNotSupported, "Addresses in the specified family cannot be used with this socket\r\n"},
    {wsa::kAddressInUse, "The specified address is already in use\r\n"},
    {wsa::kAddressNotAvailable, "The specified address is not available from the local machine\r\n"},
    {wsa::kNetworkDown, "The Windows Sockets implementation detected that the network subsystem failed\r\n"},
    {wsa::kNetworkUnreachable, "The network cannot be reached from this host at this time\r\n"},
    {wsa::kNetworkReset, "The connection must be reset because the Windows Sockets implementation dropped it\r\n"},
    {wsa::kConnectionAborted, "The virtual circuit was aborted due to timeout or other failure\r\n"},
    {wsa::kConnectionReset, "The virtual circuit was reset by the remote side\r\n"},
    {localerr::kCancelled, "Cancelled by the user\r\n"},
    {wsa::kNoBuffers, "The Windows Sockets implementation reports a buffer deadlock\r\n"},
    {wsa::kIsConnected, "The socket is already connected\r\n"},
    {wsa::kNotConnected, "The socket is not connected\r\n"},
    {wsa::kShutDown,
     "The socket has been shut down; it is not possible to call Receive on a socket after ShutDown has been "
     "invoked with nHow set to 0 or 2\r\n"},
    {wsa::kTimedOut, "Attempt to connect timed out without establishing a connection\r\n"},
    {wsa::kConnectionRefused, "The attempt to connect was rejected\r\n"},
    {wsa::kHostDown, "The mail server's host is down\r\n"},
    {wsa::kHostUnreachable, "There is no route to the mail server's host\r\n"},
    {wsa::kHostNotFound, "The mail server's name could not be found. Check Mail Server Address\r\n"},
    {wsa::kTryAgain, "The mail server's name could not be looked up now (name service not answering)\r\n"},
    {localerr::kReplyTooLong, "The server sent a reply line longer than the client accepts; connection dropped\r\n"},
    {localerr::kResponseTooLong, "The server sent a response larger than the client accepts; connection dropped\r\n"},
    {localerr::kLineBreakInArgument, "A command argument contains a line break; nothing was sent\r\n"},
    {localerr::kTlsFailed, "The secure connection could not be set up; nothing was sent in clear\r\n"},
    {localerr::kCertificateUntrusted, "The server's certificate is not trusted; nothing was sent\r\n"},
    {localerr::kTlsRefused, "The server would not start a secure connection; nothing was sent in clear\r\n"},
    {localerr::kTokenNeedsTls, "An OAuth2 sign-in is only sent over a secure connection; nothing was sent\r\n"},
    {localerr::kTokenRefused, "The server refused the OAuth2 sign-in: it has expired or was revoked\r\n"},
    {localerr::kTokenNotTaken, "The server does not take OAuth2 sign-ins (AUTH XOAUTH2)\r\n"},
    {localerr::kLoginDisabled, "The server takes no password on this connection (LOGINDISABLED); nothing was sent\r\n"},
    {localerr::kPasswordNeedsTls, "A password is only sent over a secure connection; nothing was sent\r\n"},
};

}  // namespace

std::string SocketErrorText(int code, SocketStage stage) {
    if (code == wsa::kTimedOut && stage != SocketStage::Connect)
        return "The server did not answer in time; connection dropped\r\n";
    for (const Row& row : kTexts)
        if (row.code == code) return row.text;
    return "Unknown GetLastError() relating to sockets\r\n";
}

std::string UntrustedCertificateLine(const std::string& host, const PeerCertificate& certificate) {
    return "LOCAL ERROR: " + host + " - The server's certificate is not trusted (" + certificate.problem +
           "); SHA-256 fingerprint " + certificate.fingerprint + "\r\n";
}

}  // namespace velto
