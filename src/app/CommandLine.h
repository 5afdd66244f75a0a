#pragma once
// The program's few options. The toolkit's own (-platform, -display,
// -session, ...) pass through to it.
#include <string>

namespace velto {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::string text;  // what Help and Version print, or the error line

    static CommandLine Parse(int argc, const char* const* argv);
    // Prints the answer of Help, Version or Error; returns the exit status.
    int Answer() const;
};

}  // namespace velto
