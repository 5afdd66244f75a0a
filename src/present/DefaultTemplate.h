#pragma once
// The template that comes with the program, so that "As WebPage" shows
// something before the user has made a template of their own.
#include <string>

namespace velto {

inline constexpr const char* kStandardProfile = "Standard";

// At the first start of a settings file (no templates key yet): writes the
// bundled template into folder and registers it as the default profile
// "Standard". Returns the template's path when it registered one, else empty
// (templates were set up before, or the folder cannot be written).
std::string EnsureDefaultTemplate(const std::string& folder);

}  // namespace velto
