#pragma once
// The application object: start-up in order, the event loop, shut-down.
#include <functional>
#include <string>
#include <vector>

namespace velto {

class CCorvaneApp {
public:
    // What start-up asks of the system; tests replace each one.
    struct Environment {
        std::function<bool()> startSockets;
        // Status (negative on failure) and the toolkit's major and minor version.
        std::function<long(unsigned* major, unsigned* minor)> queryVersion;
        std::function<void(const std::string&)> messageBox;
        std::function<void(unsigned major, unsigned minor)> showOutdatedWarning;
    };

    // Steps 1 and 2 of start-up: sockets, then the toolkit version rule.
    // False ends the program.
    static bool CheckSystem(const Environment& env);
    // The version rule: a failed query, a major above 4 or a minor of 71 or
    // more lets the program run.
    static bool VersionAccepted(long status, unsigned major, unsigned minor);
    // The running Qt library's version (the counterpart of the common
    // controls library the program was built for).
    static long QueryCommonControlsVersion(unsigned* major, unsigned* minor);
    // A "Database" value that is empty or not an absolute path gets the
    // per-user data folder's maildata.vlt (and the value is saved); a missing
    // folder is created, private.
    static std::string EnsureDatabasePath();
    // The same path, read only: what the settings name or the default.
    static std::string DatabasePath();
    // Names the running copy after the settings it uses: empty for the
    // user's usual folder, a checksum of the settings path for another.
    static std::string InstanceKey();
    // When the headers could not be saved at the end of a run, a note is
    // left for the next start, which shows it once.
    static std::string UnsavedHeadersNotePath();
    static void LeaveUnsavedHeadersNote(const std::string& database, const std::vector<std::string>& reasons);
    // The note's text for the user (empty when there is none); the note goes.
    static std::string TakeUnsavedHeadersNote();

    // Runs the program; returns the process exit status.
    static int Main(int argc, char** argv);
};

}  // namespace velto
