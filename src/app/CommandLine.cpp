#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#ifndef VELTO_VERSION
#define VELTO_VERSION "unknown"
#endif

namespace velto {

namespace {

constexpr const char* kHelp =
    "Usage: veltomail [OPTION]\n"
    "Watches POP3 and IMAP mailboxes and tells of new mail (tray icon, sound,\n"
    "notification); IMAP mail comes as soon as the server has it.\n"
    "\n"
    "  -h, --help     show this help and end\n"
    "      --version  show the version and end\n"
    "\n"
    "Started while it already runs for the same settings, the program shows the\n"
    "running copy's window and ends.\n"
    "Settings:       ${XDG_CONFIG_HOME:-~/.config}/VeltoMail/registry.reg\n"
    "Stored headers: ${XDG_DATA_HOME:-~/.local/share}/VeltoMail/maildata.vlt\n"
    "Window layout:  ${XDG_STATE_HOME:-~/.local/state}/VeltoMail/window.ini\n"
    "See veltomail(1) for more.\n";

// The toolkit's options that take a value, and those that do not.
constexpr std::string_view kToolkitWithValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                                  "-display",  "-style",              "-stylesheet",    "-session",
                                                  "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-name",
                                                  "-geometry", "-title"};
constexpr std::string_view kToolkitFlags[] = {"-reverse", "-widgetcount", "-qmljsdebugger", "-nograb", "-dograb",
                                              "-sync"};

template <std::size_t N>
bool OneOf(std::string_view arg, const std::string_view (&list)[N]) {
    // Qt takes both -name and --name.
    if (arg.rfind("--", 0) == 0) arg.remove_prefix(1);
    for (std::string_view known : list)
        if (arg == known) return true;
    return false;
}

}  // namespace

CommandLine CommandLine::Parse(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") return {Action::Help, kHelp};
        if (arg == "--version") return {Action::Version, std::string("VeltoMail 98 ") + VELTO_VERSION + "\n"};
        if (OneOf(arg, kToolkitWithValue)) {
            ++i;
            continue;
        }
        if (OneOf(arg, kToolkitFlags)) continue;
        const std::string what = arg.size() > 1 && arg[0] == '-' ? "unknown option" : "unexpected argument";
        return {Action::Error, "veltomail: " + what + " '" + std::string(arg) + "'; see veltomail --help\n"};
    }
    return {};
}

int CommandLine::Answer() const {
    if (action == Action::Error) {
        std::fputs(text.c_str(), stderr);
        return 2;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}

}  // namespace velto
