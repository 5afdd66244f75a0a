#pragma once
// The reply prepared for a message: recipient, subject and quoted body, as
// the Reply page starts out.
#include <string>

namespace velto {

// The address between the first "<" and the next "<" (or the end), with its
// first ">" dropped; the whole From when that leaves nothing.
std::string ReplyRecipient(const std::string& from);
// "Re: " is always put in front, also before an existing "Re:".
std::string ReplySubject(const std::string& subject);
// Every non-empty line as ">line\r\n"; blank lines are left out.
std::string QuoteBody(const std::string& body);

}  // namespace velto
