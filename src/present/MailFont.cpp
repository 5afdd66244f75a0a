#include "present/MailFont.h"

#include <QFontInfo>
#include <algorithm>
#include <cstring>

#include "settings/Settings.h"

namespace velto {

namespace {

// The family bits of pitchAndFamily, and the pitch bits.
constexpr std::uint8_t kFamilyMask = 0xF0;
constexpr std::uint8_t kRoman = 0x10, kSwiss = 0x20, kModern = 0x30, kScript = 0x40, kDecorative = 0x50;
constexpr std::uint8_t kFixedPitch = 0x01, kVariablePitch = 0x02;

QFont::StyleHint HintFor(std::uint8_t pitchAndFamily) {
    switch (pitchAndFamily & kFamilyMask) {
    case kRoman: return QFont::Serif;
    case kModern: return QFont::TypeWriter;
    case kScript: return QFont::Cursive;
    case kDecorative: return QFont::Decorative;
    default: return QFont::SansSerif;
    }
}

std::uint8_t FamilyFor(const QFont& font) {
    const bool fixed = QFontInfo(font).fixedPitch();
    std::uint8_t family = kSwiss;
    switch (font.styleHint()) {
    case QFont::Serif: family = kRoman; break;
    case QFont::TypeWriter: family = kModern; break;
    case QFont::Cursive: family = kScript; break;
    case QFont::Decorative: family = kDecorative; break;
    default: family = fixed ? kModern : kSwiss; break;
    }
    return family | (fixed ? kFixedPitch : kVariablePitch);
}

}  // namespace

QFont FontFromLogFont(const LogFont& lf) {
    QFont font;
    const std::size_t faceLength = strnlen(lf.faceName.data(), lf.faceName.size());
    font.setFamily(QString::fromLatin1(lf.faceName.data(), static_cast<qsizetype>(faceLength)));
    font.setStyleHint(HintFor(lf.pitchAndFamily));
    // A negative height is the character height in pixels; a positive one
    // the cell height, of which the character takes about seven eighths.
    if (lf.height < 0) font.setPixelSize(-lf.height);
    else if (lf.height > 0) font.setPixelSize(std::max(1, lf.height * 7 / 8));
    if (lf.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp(lf.weight, 1, 1000)));
    font.setItalic(lf.italic != 0);
    font.setUnderline(lf.underline != 0);
    font.setStrikeOut(lf.strikeOut != 0);
    if ((lf.pitchAndFamily & 0x03) == kFixedPitch) font.setFixedPitch(true);
    return font;
}

LogFont LogFontFromFont(const QFont& font) {
    LogFont lf;
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    lf.height = -pixels;
    lf.weight = font.weight();
    lf.italic = font.italic() ? 1 : 0;
    lf.underline = font.underline() ? 1 : 0;
    lf.strikeOut = font.strikeOut() ? 1 : 0;
    lf.pitchAndFamily = FamilyFor(font);
    lf.faceName.fill('\0');
    // Room for the terminating zero; a face with letters beyond Latin-1
    // cannot be named in the block and falls back to its family kind.
    const QByteArray face = font.family().toLatin1().left(static_cast<qsizetype>(lf.faceName.size() - 1));
    std::memcpy(lf.faceName.data(), face.constData(), static_cast<std::size_t>(face.size()));
    return lf;
}

LogFont LoadMailFont() { return MailFontSettings(keys::kEnvironment).m_font; }

void SaveMailFont(const LogFont& logFont) {
    MailFontSettings settings;
    settings.m_font = logFont;
    settings.Save(keys::kEnvironment);
}

}  // namespace velto
