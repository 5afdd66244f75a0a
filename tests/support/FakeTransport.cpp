#include "support/FakeTransport.h"

#include <algorithm>
#include <cstring>

#include "protocol/SocketErrors.h"

namespace velto::test {

namespace {

class ScriptedTransport : public ITransport {
public:
    explicit ScriptedTransport(std::shared_ptr<ScriptedTransportFactory::State> state) : m_s(std::move(state)) {}

    bool Connect(const std::string& host, int port) override {
        m_s->connects++;
        m_s->host = host;
        m_s->port = port;
        if (m_s->connectError != 0) {
            m_error = m_s->connectError;
            return false;
        }
        m_open = true;
        return true;
    }

    long Send(const char* data, std::size_t length) override {
        if (!m_open) return Fail(wsa::kNotConnected);
        auto& s = *m_s;
        s.clientBytes.append(data, length);
        if (Current() && (Current()->kind == ScriptStep::Reset)) return Fail(wsa::kConnectionReset);
        if (!s.strict) return static_cast<long>(length);
        std::size_t done = 0;
        while (done < length) {
            const ScriptStep* step = Current();
            if (!step || step->kind != ScriptStep::ClientSends) {
                s.problems.push_back("client sent \"" + Printable(std::string(data + done, length - done)) +
                                     "\" where the conversation " +
                                     (step ? "expects the server to speak" : "has ended"));
                return static_cast<long>(length);
            }
            const std::size_t n = std::min(length - done, step->bytes.size() - s.offset);
            if (std::memcmp(data + done, step->bytes.data() + s.offset, n) != 0) {
                s.problems.push_back("client sent \"" + Printable(std::string(data + done, length - done)) +
                                     "\", expected \"" + Printable(step->bytes.substr(s.offset)) + "\"");
                s.step = s.steps.size();  // nothing after a mismatch is meaningful
                return static_cast<long>(length);
            }
            done += n;
            Advance(n);
        }
        m_error = 0;
        return static_cast<long>(length);
    }

    long Receive(char* buffer, std::size_t capacity) override {
        if (!m_open) return Fail(wsa::kNotConnected);
        auto& s = *m_s;
        s.receives++;
        // Lenient play skips what the client was to say.
        while (!s.strict && Current() && Current()->kind == ScriptStep::ClientSends) Advance(Current()->bytes.size());
        const ScriptStep* step = Current();
        if (!step || step->kind == ScriptStep::Close) {
            m_error = 0;
            return 0;
        }
        switch (step->kind) {
        case ScriptStep::Reset: return Fail(wsa::kConnectionReset);
        case ScriptStep::Silence: return Fail(wsa::kTimedOut);
        case ScriptStep::ClientSends:
            // A real server would wait here, and the client's time limit fire.
            s.problems.push_back("client waited for a reply where it should send \"" +
                                 Printable(step->bytes.substr(s.offset)) + "\"");
            return Fail(wsa::kTimedOut);
        default: break;
        }
        const std::size_t n = std::min(capacity, step->bytes.size() - s.offset);
        std::memcpy(buffer, step->bytes.data() + s.offset, n);
        Advance(n);
        m_error = 0;
        return static_cast<long>(n);
    }

    // A silence here is the server saying nothing for the whole wait; the
    // script goes on after it.
    int WaitReadable(long) override {
        if (!m_open) return static_cast<int>(Fail(wsa::kNotConnected));
        auto& s = *m_s;
        while (!s.strict && Current() && Current()->kind == ScriptStep::ClientSends) Advance(Current()->bytes.size());
        const ScriptStep* step = Current();
        if (step && step->kind == ScriptStep::Silence) {
            Advance(0);
            return 0;
        }
        return step && step->kind == ScriptStep::ClientSends ? 0 : 1;
    }

    void Close() override { m_open = false; }
    int LastError() const override { return m_error; }

private:
    const ScriptStep* Current() const { return m_s->step < m_s->steps.size() ? &m_s->steps[m_s->step] : nullptr; }
    void Advance(std::size_t n) {
        m_s->offset += n;
        if (m_s->offset >= m_s->steps[m_s->step].bytes.size()) {
            m_s->step++;
            m_s->offset = 0;
        }
    }
    long Fail(int code) {
        m_error = code;
        return -1;
    }

    std::shared_ptr<ScriptedTransportFactory::State> m_s;
    bool m_open = false;
    int m_error = 0;
};

}  // namespace

ScriptedTransportFactory::ScriptedTransportFactory(const std::string& conversation, bool strict)
    : ScriptedTransportFactory(ParseConversation(conversation), strict) {}

ScriptedTransportFactory::ScriptedTransportFactory(std::vector<ScriptStep> steps, bool strict)
    : m_state(std::make_shared<State>()) {
    m_state->steps = std::move(steps);
    m_state->strict = strict;
}

std::unique_ptr<ITransport> ScriptedTransportFactory::Create() { return std::make_unique<ScriptedTransport>(m_state); }

bool ScriptedTransportFactory::Played() const {
    const auto& s = *m_state;
    for (std::size_t i = s.step; i < s.steps.size(); ++i) {
        const auto k = s.steps[i].kind;
        if (k == ScriptStep::ServerSends || k == ScriptStep::ClientSends) return false;
    }
    return true;
}

std::string ScriptedTransportFactory::Problems() const {
    std::string out;
    for (const auto& p : m_state->problems) out += p + "\n";
    if (!Played() && m_state->step < m_state->steps.size())
        out += "conversation not played to its end; next: \"" +
               Printable(m_state->steps[m_state->step].bytes.substr(m_state->offset)) + "\"\n";
    return out;
}

}  // namespace velto::test
