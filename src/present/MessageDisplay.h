#pragma once
// The one place where a message's bytes become the text the windows show.
// Today the raw text is shown as it came; decoding MIME parts belongs here.
#include <QString>
#include <string>

#include "protocol/Transport.h"

namespace velto {

// Lines end in LF for the edit controls; bytes that are not valid UTF-8 are
// read as Latin-1, so every byte shows as some character.
QString DisplayText(const std::string& raw);
// What an edit control holds, as the message text to send: UTF-8, lines
// ending in CR LF.
std::string MessageTextFromDisplay(const QString& text);
// The question put to the user about a server's certificate that could not
// be verified: what is wrong, whose it is, and its fingerprint.
std::string CertificateQuestion(const std::string& account, const PeerCertificate& certificate);

}  // namespace velto
