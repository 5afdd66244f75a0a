#pragma once
// The real program run by a test, offscreen, in folders of its own.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>

#include "support/TestEnvironment.h"

namespace velto {

inline const std::string kKey = "[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\";

// "Save Headers" on, one account that is not checked (without any, start-up
// opens the options sheet), and a "Database" value when one is given.
inline std::string ProgramSettings(const std::string& database, const std::string& more = {}) {
    return kKey + "Environment]\r\n\"Save Headers\"=dword:00000001\r\n\r\n" + kKey +
           "Accounts\\Off]\r\n\"Account Name\"=\"Off\"\r\n\"Server Name\"=\"pop.off.example\"\r\n"
           "\"Disabled\"=dword:00000001\r\n\r\n" +
           (database.empty() ? "" : kKey + "Configuration]\r\n\"Database\"=\"" + database + "\"\r\n\r\n") + more;
}

// One run of the program in folders of its own.
struct Program {
    // A new user with these settings; or, with settingsBody empty, the user
    // of an earlier run.
    explicit Program(const std::string& settingsBody, std::string existingHome = {})
        : home(existingHome.empty() ? test::MakeTempDir("velto-run") : existingHome) {
        if (!existingHome.empty()) return;
        QDir().mkpath(QString::fromStdString(home + "/config/VeltoMail"));
        std::ofstream(SettingsPath(), std::ios::binary) << "REGEDIT4\r\n\r\n" << settingsBody;
    }
    std::string DefaultDatabase() const { return home + "/data/VeltoMail/maildata.vlt"; }
    std::string SettingsPath() const { return home + "/config/VeltoMail/registry.reg"; }
    std::string NotePath() const { return home + "/state/VeltoMail/headers-not-saved"; }

    // adjust: changes to the environment (another session bus, ...).
    void Start(const QStringList& arguments = {}, const std::function<void(QProcessEnvironment&)>& adjust = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(home));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/config"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(home + "/data"));
        env.insert("XDG_STATE_HOME", QString::fromStdString(home + "/state"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (adjust) adjust(env);
        process.setProcessEnvironment(env);
        process.start(QString::fromLatin1(VELTO_BINARY_DIR "/src/app/veltomail"), arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Waits (while the program runs) until done() holds.
    bool WaitFor(const std::function<bool()>& done, int limitMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limitMs || process.state() == QProcess::NotRunning) return false;
            process.waitForReadyRead(50);
        }
        return true;
    }
    // Start-up saves the data file's path when the settings have none (or
    // one that cannot be used): from then on a signal is caught.
    bool WaitForSettings(const std::string& text) {
        return WaitFor([&] { return test::ReadFile(SettingsPath()).find(text) != std::string::npos; });
    }
    // SIGTERM; true when the program ended within the limit.
    bool Terminate(int limitMs) {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        QElapsedTimer clock;
        clock.start();
        const bool ended = process.waitForFinished(limitMs);
        elapsedMs = clock.elapsed();
        if (!ended) process.kill();
        Errors();
        return ended;
    }
    // Standard error so far.
    const std::string& Errors() {
        errors += process.readAllStandardError().toStdString();
        return errors;
    }
    int ExitCode() const { return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1; }

    std::string home;
    QProcess process;
    std::string errors;
    qint64 elapsedMs = 0;
};

}  // namespace velto
