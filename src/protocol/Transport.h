#pragma once
// One blocking stream connection to a mail server, and the factory the mail
// clients get their connections from. The clients speak only through Send and
// Receive, so an encrypting transport (POP3S, or one that upgrades itself for
// STLS/STARTTLS) can be handed in by a factory without touching them.
#include <cstddef>
#include <memory>
#include <string>

namespace velto {

class ITransport {
public:
    virtual ~ITransport() = default;
    // Resolves the host (dotted address, IPv6 literal or name) and connects.
    // Blocks until connected, refused or out of time.
    virtual bool Connect(const std::string& host, int port) = 0;
    // Sends every byte; returns length, or -1 on failure.
    virtual long Send(const char* data, std::size_t length) = 0;
    // Blocks until at least one byte arrives; returns the count (at most
    // capacity), 0 when the peer has closed, -1 on failure or time-out.
    virtual long Receive(char* buffer, std::size_t capacity) = 0;
    virtual void Close() = 0;
    // Waits at most milliseconds for something to read: 1 when there is (or
    // may be: a transport that cannot tell says so, and Receive then waits
    // with its own limit), 0 when the time ran out, -1 on failure. A client
    // that idles on the server's word wakes up by its own clock this way.
    virtual int WaitReadable(long milliseconds) {
        (void)milliseconds;
        return 1;
    }
    // Windows Sockets code (see SocketErrors.h) of the last failure; 0 when
    // the last call failed without a system error (e.g. the peer closed).
    virtual int LastError() const = 0;
};

// The server's certificate as a TLS handshake found it.
struct PeerCertificate {
    std::string subject;
    std::string issuer;
    std::string validFrom;
    std::string validUntil;
    std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:..."
    std::string problem;      // why verification failed; empty when it passed
    std::string host;         // the server it was shown for, as the account names it
};

// Encryption for a connection that is already open: POP3S and implicit-TLS
// SMTP right after connecting, STLS and STARTTLS after the server agreed.
class ITlsLayer {
public:
    virtual ~ITlsLayer() = default;
    // Runs the handshake (TLS 1.2 or later) as a client of the server called
    // host. A certificate that fails verification (chain, name, dates) is
    // still accepted when its SHA-256 fingerprint equals pinned. Returns the
    // encrypting transport; nullptr on failure, with error set to a code of
    // SocketErrors.h (the plain transport is then closed). certificate gets
    // what was seen, whenever the server sent one.
    virtual std::unique_ptr<ITransport> Secure(std::unique_ptr<ITransport> plain, const std::string& host,
                                               const std::string& pinned, PeerCertificate& certificate,
                                               int& error) = 0;
};

class ITransportFactory {
public:
    virtual ~ITransportFactory() = default;
    virtual std::unique_ptr<ITransport> Create() = 0;
    // Any thread: ends every connection made so far at once (a blocked call
    // fails) and makes later ones fail. A program that is ending must not
    // wait out a silent server's time limit.
    virtual void AbortAll() {}
    // Connections can be made again after AbortAll: a cancelled piece of
    // work is over and the next one starts.
    virtual void Resume() {}
};

}  // namespace velto
