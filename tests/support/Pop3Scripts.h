#pragma once
// Pieces of scripted POP3 conversations (see Conversation.h) that the engine
// tests share: each account logs in as its name with password "pw-<name>".
#include <string>

namespace velto::test {

inline const char* const kPop3Quit = "C: QUIT\nS: +OK bye\n";

inline std::string Pop3Login(const std::string& user, int count) {
    return "S: +OK POP3 ready\nC: USER " + user + "\nS: +OK\nC: PASS pw-" + user + "\nS: +OK in\nC: STAT\nS: +OK " +
           std::to_string(count) + " 999\n";
}

// The unique id of message n.
inline std::string Pop3Uidl(int n, const std::string& uid) {
    const std::string num = std::to_string(n);
    return "C: UIDL " + num + "\nS: +OK " + num + " " + uid + "\n";
}

// A message not seen before: its id, size and header.
inline std::string Pop3NewHeader(int n, const std::string& uid, const std::string& subject) {
    const std::string num = std::to_string(n);
    return Pop3Uidl(n, uid) + "C: LIST " + num + "\nS: +OK " + num + " 120\nC: TOP " + num +
           " 0\nS: +OK\nS: Subject: " + subject + "\nS: To: B@example.com\nS: .\n" + Pop3Uidl(n, uid);
}

}  // namespace velto::test
