#pragma once
// Where text crosses into and out of the widgets. The program keeps text as
// bytes in std::string, and the same bytes mean different things by where
// they come from; each kind has its pair here, named after it.
#include <QString>
#include <string>

namespace velto {

// Settings text: 8-bit, in the local encoding, as the options pages have
// always stored it.
QString FromSetting(const std::string& text);
std::string ToSetting(const QString& text);

// Message text, the bytes a server sent: UTF-8 where they are valid, else
// Latin-1, so every byte shows as some character; lines end in LF for the
// edit controls.
QString FromMessageText(const std::string& raw);
// What an edit control holds, as message text to send: UTF-8, lines ending
// in CR LF.
std::string ToMessageText(const QString& text);

// Program text: what the program writes itself (boxes, log lines, error
// reasons) and text already decoded to UTF-8 (encoded words, MIME names).
QString FromUtf8(const std::string& text);
std::string ToUtf8(const QString& text);

// File names, as the file system takes them.
QString FromFileName(const std::string& path);
std::string ToFileName(const QString& path);

}  // namespace velto
