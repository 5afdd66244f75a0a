#pragma once
// A one-connection TCP server on a loopback port the system picks, run by a
// thread of the test process. Either plays a conversation (Conversation.h)
// or hands the connection to a function of the test's own.
#include <memory>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/Conversation.h"

namespace velto::test {

// The accepted connection, with bounded blocking helpers. Every wait ends by
// itself (deadline), so no test can hang on a client that misbehaves.
class ServerConnection {
public:
    explicit ServerConnection(int fd) : m_fd(fd) {}
    bool SendBytes(const std::string& bytes);
    // Reads exactly count bytes; false on close, error or deadline.
    bool ReadExactly(std::size_t count, std::string& out, std::chrono::milliseconds limit);
    // Reads until the client closes; false on deadline. Appends to out.
    bool ReadUntilClosed(std::string& out, std::chrono::milliseconds limit);
    // Reads up to and including the next LF.
    bool ReadLine(std::string& line, std::chrono::milliseconds limit);
    void Reset();  // abortive close (RST)
    int fd() const { return m_fd; }
    // Records how the client strayed from what the test expects.
    void Problem(const std::string& text);
    std::string received;  // every byte read so far
    std::vector<std::string> problems;

private:
    bool WaitReadable(std::chrono::steady_clock::time_point deadline);
    int m_fd;
    std::string m_buffer;  // read ahead by ReadLine
};

class LoopbackServer {
public:
    using Handler = std::function<void(ServerConnection&)>;
    static constexpr std::chrono::milliseconds kStepLimit{10'000};
    // ipv6: listen on ::1 instead of 127.0.0.1. acceptLimit: how long the
    // server waits for its client.
    explicit LoopbackServer(Handler handler, bool ipv6 = false, std::chrono::milliseconds acceptLimit = kStepLimit);
    // Plays the conversation; Problems() tells how the client strayed.
    static std::unique_ptr<LoopbackServer> Scripted(const std::string& conversation, bool ipv6 = false);
    ~LoopbackServer();

    int port() const { return m_port; }
    // Waits for the handler to finish; then the problems and bytes are final.
    void Join();
    std::string Problems();
    std::string ClientBytes();

private:
    void AddProblem(const std::string& text);
    int m_listenFd = -1;
    int m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_problems;
    std::string m_clientBytes;
};

}  // namespace velto::test
