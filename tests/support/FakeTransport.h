#pragma once
// An in-process stream that plays a conversation (Conversation.h) against a
// mail client, with exact packet boundaries: each server line is one
// Receive at most, never merged with the next.
#include <memory>
#include <string>
#include <vector>

#include "protocol/Transport.h"
#include "support/Conversation.h"

namespace velto::test {

class ScriptedTransportFactory : public ITransportFactory {
public:
    struct State {
        std::vector<ScriptStep> steps;
        std::size_t step = 0;    // next step
        std::size_t offset = 0;  // bytes of it already played
        bool strict = true;      // check what the client sends
        int connectError = 0;    // nonzero: Connect fails with this code
        int connects = 0;
        std::string host;
        int port = 0;
        std::string clientBytes;  // everything the client sent
        std::vector<std::string> problems;
        int receives = 0;
    };

    // Strict: the client's bytes must match the conversation's C lines, in
    // turn. Lenient: anything the client sends is taken, and the server's
    // lines are played in order (fuzzing).
    explicit ScriptedTransportFactory(const std::string& conversation, bool strict = true);
    ScriptedTransportFactory(std::vector<ScriptStep> steps, bool strict);

    std::unique_ptr<ITransport> Create() override;

    State& state() { return *m_state; }
    const std::string& ClientBytes() const { return m_state->clientBytes; }
    // Empty when the client said exactly what was expected and the whole
    // conversation was played; else what went wrong.
    std::string Problems() const;
    bool Played() const;

private:
    std::shared_ptr<State> m_state;
};

// "Encryption" that hands the stream back as it is: for tests of what goes
// over TLS (sign-in, tokens) without a handshake.
class PassThroughTls : public ITlsLayer {
public:
    std::unique_ptr<ITransport> Secure(std::unique_ptr<ITransport> plain, const std::string&, const std::string&,
                                       PeerCertificate&, int&) override {
        return plain;
    }
};

}  // namespace velto::test
