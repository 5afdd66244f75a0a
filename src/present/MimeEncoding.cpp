#include "present/MimeEncoding.h"

#include <QByteArray>

namespace velto {

namespace {

// 52 base64 characters: a 64-character word, so "Subject: " and the first
// word stay within 76 characters.
constexpr std::size_t kMaxWordBytes = 39;
constexpr std::size_t kMaxQpLine = 76;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string Base64(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

}  // namespace

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

std::string EncodeHeaderWords(const std::string& utf8) {
    std::string out;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = std::min(utf8.size(), start + kMaxWordBytes);
        // Back off to a character's first byte (a lone broken byte still goes).
        while (end < utf8.size() && end > start + 1 && IsContinuation(static_cast<unsigned char>(utf8[end]))) --end;
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(utf8.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string EncodeQuotedPrintable(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::string line;  // the encoded line being built
    auto softBreak = [&](std::size_t adding) {
        // "=" takes the last place of a full line.
        if (line.size() + adding > kMaxQpLine - 1) {
            out += line + "=\r\n";
            line.clear();
        }
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            out += line + "\r\n";
            line.clear();
            continue;
        }
        const bool atLineEnd = i + 1 == bytes.size() || bytes[i + 1] == '\r' || bytes[i + 1] == '\n';
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd);
        if (literal) {
            softBreak(1);
            line += static_cast<char>(c);
        } else {
            softBreak(3);
            line += '=';
            line += kHex[c >> 4];
            line += kHex[c & 0x0F];
        }
    }
    return out + line;
}

}  // namespace velto
