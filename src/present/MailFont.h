#pragma once
// The "Mail Font" font description (the Windows LOGFONT block) as a Qt font
// and back, so a value written by either version loads in the other.
#include <QFont>

#include "settings/Settings.h"

namespace velto {

// The stored face, or the nearest installed font of its family kind when the
// face is missing (Arial: the system's sans-serif).
QFont FontFromLogFont(const LogFont& logFont);
LogFont LogFontFromFont(const QFont& font);

// The "Mail Font" value under the Environment key; the default when it is
// missing or short.
LogFont LoadMailFont();
void SaveMailFont(const LogFont& logFont);

}  // namespace velto
