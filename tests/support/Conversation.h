#pragma once
// A client/server conversation written as lines, played by the in-process
// fake transport and by the loopback scripted server alike:
//   S: text    the server sends text and CR LF (one packet)
//   S- text    the server sends text as it is (one packet, no line end)
//   C: text    the client must send exactly text and CR LF
//   C- text    the client must send exactly text
//   close      the server closes the connection (no error)
//   reset      the server resets the connection
//   silence    the server says nothing more (the client's time limit fires)
// Text may hold \r \n \t \\ \0 and \xNN escapes. Blank lines are ignored.
#include <string>
#include <vector>

namespace velto::test {

struct ScriptStep {
    enum Kind { ServerSends, ClientSends, Close, Reset, Silence };
    Kind kind;
    std::string bytes;
};

std::vector<ScriptStep> ParseConversation(const std::string& script);
std::string Unescape(const std::string& text);
// Bytes made readable for failure messages.
std::string Printable(const std::string& bytes, std::size_t limit = 200);

}  // namespace velto::test
