#pragma once
// Starts a helper server program as a child process and stops it by its PID.
#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace velto::test {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Output (stdout and stderr) goes to logPath. With pipeStdio, the child's
    // stdin and stdout are pipes to us instead (stdin: the child can watch it
    // to end itself when we go away; stdout: ReadLine).
    bool Start(const std::vector<std::string>& argv, const std::string& logPath, bool pipeStdio,
               std::string* error);
    // One line of the child's stdout (pipeStdio), within the limit.
    bool ReadLine(std::string& line, std::chrono::milliseconds limit);
    // A line to the child's stdin (pipeStdio).
    bool WriteLine(const std::string& line);
    // Whether it is still running (reaps it when it has ended).
    bool Running();
    // SIGTERM, then SIGKILL to its process group when it does not end in time.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(10'000));
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_buffer;
};

// Polls until a TCP connection to 127.0.0.1:port succeeds, the child ends,
// or the limit passes.
bool WaitForLoopbackPort(int port, ChildProcess& child, std::chrono::milliseconds limit);
// A loopback port that was free a moment ago.
int PickFreeLoopbackPort();

}  // namespace velto::test
