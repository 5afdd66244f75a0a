#include "app/CorvaneApp.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <unistd.h>

#include "app/AppWiring.h"
#include "app/CommandLine.h"
#include "app/ShutDown.h"
#include "engine/Ending.h"
#include "platform/FileHiveStorage.h"
#include "platform/SignalWatcher.h"
#include "platform/SingleInstance.h"
#include "platform/WindowActivation.h"
#include "present/DefaultTemplate.h"
#include "present/WidgetText.h"
#include "settings/Crc32.h"
#include "settings/Settings.h"
#include "shell/MessageListView.h"
#include "shell/OutdatedControlsDlg.h"
#include "shell/OutputWindow.h"
#include "shell/UtilityBar.h"

namespace velto {

constexpr long kErrorInvalidArgument = -2147024809;  // E_INVALIDARG

bool CCorvaneApp::VersionAccepted(long status, unsigned major, unsigned minor) {
    return status < 0 || major > 4 || minor >= 71;
}

long CCorvaneApp::QueryCommonControlsVersion(unsigned* major, unsigned* minor) {
    if (!major || !minor) return kErrorInvalidArgument;
    unsigned patch = 0;
    if (std::sscanf(qVersion(), "%u.%u.%u", major, minor, &patch) < 2) return -1;
    return 0;
}

bool CCorvaneApp::CheckSystem(const Environment& env) {
    if (!env.startSockets()) {
        env.messageBox("Windows sockets initialization failed.");
        return false;
    }
    unsigned major = 0, minor = 0;
    const long status = env.queryVersion(&major, &minor);
    if (!VersionAccepted(status, major, minor)) {
        env.showOutdatedWarning(major, minor);
        return false;
    }
    return true;
}

std::string CCorvaneApp::DatabasePath() {
    const std::string path = ConfigurationOptions(keys::kConfiguration).GetDatabase();
    // A path that is not an absolute path of this system (empty, or one from
    // the Windows version such as "C:\\...\\maildata.vlt") would be a file of
    // that literal name in whatever folder the program started from: the
    // headers would be found at one start and lost at the next.
    if (path.empty() || path.front() != '/')
        return UserFolder("XDG_DATA_HOME", ".local/share") + "/VeltoMail/maildata.vlt";
    return path;
}

std::string CCorvaneApp::EnsureDatabasePath() {
    ConfigurationOptions config(keys::kConfiguration);
    const std::string path = DatabasePath();
    if (path != config.GetDatabase()) {
        config.SetDatabase(path);
        config.Save(keys::kConfiguration);
    }
    // The save at the end cannot create a missing folder; do it now.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    }
    return path;
}

std::string CCorvaneApp::InstanceKey() {
    const std::string settings = FileHiveStorage::DefaultPath();
    const char* home = std::getenv("HOME");
    if (home && settings == std::string(home) + "/.config/VeltoMail/registry.reg") return {};
    char key[16];
    std::snprintf(key, sizeof key, "%08x", Crc32::Of(settings));
    return key;
}

std::string CCorvaneApp::UnsavedHeadersNotePath() {
    return UserFolder("XDG_STATE_HOME", ".local/state") + "/VeltoMail/headers-not-saved";
}

std::string CCorvaneApp::TakeUnsavedHeadersNote() {
    const std::string path = UnsavedHeadersNotePath();
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    in.close();
    std::remove(path.c_str());
    return "The message headers of the last session could not be saved:\n" + text.str() +
           "\nMessages still on the server are listed again at the next check.";
}

void CCorvaneApp::LeaveUnsavedHeadersNote(const std::string& database, const std::vector<std::string>& reasons) {
    std::string text = database + "\n";
    for (const auto& r : reasons) text += r;
    std::string error;
    WriteFileAtomically(UnsavedHeadersNotePath(), text, 0600, error);
}

namespace {

// For the README's picture: once a check has filled the list and the log,
// save the main window as a PNG and end the program.
void SaveScreenshotWhenFilled(CMainFrame& frame, CCorvaneView& view, const std::string& path) {
    auto* poll = new QTimer(&frame);
    QObject::connect(poll, &QTimer::timeout, &frame, [&frame, &view, path, poll] {
        const bool filled = view.Model()->rowCount() > 0 && !view.IsBusy() &&
                            frame.OutputWindow()->document()->blockCount() > 5;
        if (!filled) return;
        poll->stop();
        // Room for a good part of the conversation too.
        frame.resize(960, 720);
        frame.resizeDocks({frame.Utility()}, {250}, Qt::Vertical);
        frame.ListView()->setCurrentIndex(view.Model()->index(1, 0));
        frame.activateWindow();
        // Let the last changes paint before the picture is taken.
        QTimer::singleShot(500, &frame, [&frame, path] {
            if (!frame.grab().save(FromFileName(path), "PNG"))
                std::fprintf(stderr, "VeltoMail: cannot save %s\n", path.c_str());
            frame.close();
        });
    });
    poll->start(250);
}

// The settings hive, made the current one; a damaged file is told.
std::shared_ptr<RegistryHive> LoadSettings() {
    auto hive = std::make_shared<RegistryHive>(std::make_unique<FileHiveStorage>(FileHiveStorage::DefaultPath()));
    const std::string problem = hive->Load();
    RegistryHive::SetCurrent(hive);
    if (!problem.empty()) QMessageBox::warning(nullptr, "VeltoMail", FromSetting(problem));
    return hive;
}

// Another copy runs for these settings: it was asked to show its window,
// and this start ends with the status returned.
std::optional<int> HandOver(SingleInstance& instance, const std::string& token,
                            SingleInstance::OnActivate onActivate) {
    switch (instance.Acquire(token, std::move(onActivate))) {
        case SingleInstance::Claim::First:
            return std::nullopt;
        case SingleInstance::Claim::HandedOver:
            return 0;
        case SingleInstance::Claim::NoAnswer:
            break;
    }
    std::fprintf(stderr, "VeltoMail: already running (%s), but it does not answer\n", instance.BusName().c_str());
    return 1;
}

// A copy in another session or display holds the data file: this one must
// not write it, nor the settings beside it.
bool LockDataFile(DataFileLock& lock) {
    std::string holder;
    if (lock.TryLock(holder)) {
        if (!lock.Problem().empty())
            std::fprintf(stderr, "VeltoMail: the stored headers are not locked: %s\n", lock.Problem().c_str());
        return true;
    }
    const std::string text = "VeltoMail is already running for this user (" + holder +
                             ", in another session or display).\nOnly one copy may keep the stored headers in " +
                             lock.Path().substr(0, lock.Path().size() - 5) + ".";
    std::fprintf(stderr, "VeltoMail: %s\n", text.c_str());
    QMessageBox::information(nullptr, "VeltoMail", FromUtf8(text));
    return false;
}

CCorvaneApp::Environment SystemEnvironment() {
    CCorvaneApp::Environment env;
    env.startSockets = StartSockets;
    env.queryVersion = CCorvaneApp::QueryCommonControlsVersion;
    env.messageBox = [](const std::string& text) {
        QMessageBox::critical(nullptr, "VeltoMail", FromSetting(text));
    };
    env.showOutdatedWarning = [](unsigned major, unsigned minor) {
        COutdatedControlsDlg dlg(major, minor);
        dlg.exec();
    };
    return env;
}

}  // namespace

int CCorvaneApp::Main(int argc, char** argv) {
    const CommandLine options = CommandLine::Parse(argc, argv);
    if (options.action != CommandLine::Action::Run) return options.Answer();
    // The web engine, loaded on first use, shares its GL contexts: this must
    // be said before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Taken before the toolkit starts: its X11 connection would take the
    // startup id out of the environment for itself.
    const std::string startToken = WindowActivation::TakeEnvironmentToken();
    QApplication app(argc, argv);
    QApplication::setApplicationName("VeltoMail");
    // No display name: the toolkit would append it to every window title,
    // and the titles are the program's own ("About Velto Mail", ...).
    // The desktop entry gives the windows their icon and group.
    QGuiApplication::setDesktopFileName("veltomail");
    // The window can live in the tray: only an explicit exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // One copy per user: a second start shows the first one's window.
    AppWiring* running = nullptr;
    SingleInstance instance(InstanceKey());
    if (const auto ended = HandOver(instance, startToken, [&](const std::string& token) {
            if (running) running->Activate(token);
        }))
        return *ended;

    // Asked to end (kill, Ctrl+C) at any moment, start-up included: the same
    // orderly path as closing the window, so nothing is lost.
    std::unique_ptr<ShutDown> shutDown;
    bool endRequested = false;
    SignalWatcher signalWatcher([&](int signo) {
        std::fprintf(stderr, "VeltoMail: signal %d, shutting down\n", signo);
        endRequested = true;
        BeginEnd();
        if (shutDown) shutDown->Now();
        else ShutDown::CloseDialogs();
    });

    const auto hive = LoadSettings();
    if (!CheckSystem(SystemEnvironment())) return 1;
    DataFileLock dataLock(DatabasePath());
    if (!LockDataFile(dataLock)) return 1;
    EnsureDatabasePath();
    EnsureDefaultTemplate(UserFolder("XDG_DATA_HOME", ".local/share") + "/VeltoMail/templates");

    AppWiring parts;
    running = &parts;
    CMainFrame& frame = parts.Frame();
    CCorvaneView& view = parts.View();
    // A failed settings write is told once, from the loop: never from inside
    // the settings record that wrote (a box runs an event loop).
    hive->SetWriteFailureHandler([&frame](const std::string& text) {
        QMetaObject::invokeMethod(&frame, [&frame, text] { frame.MessageBox(text); }, Qt::QueuedConnection);
    });
    shutDown = std::make_unique<ShutDown>(parts, hive);
    QObject::connect(&frame, &CMainFrame::closing, [&] { shutDown->Run(); });
    // The desktop session ends: close what is open, then shut down.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&](QSessionManager&) { shutDown->Now(); });
    if (endRequested) shutDown->Now();

    int status = 0;
    if (!shutDown->Ended()) {
        view.OnInitialUpdate();
        std::fprintf(stderr, "VeltoMail: started with %zu stored message headers\n", view.Messages().Size());
    }
    if (!shutDown->Ended()) {
        frame.show();
        // After "Start Minimized" has had its turn.
        if (!startToken.empty()) QTimer::singleShot(0, &frame, [&parts, startToken] { parts.Started(startToken); });
        if (const std::string note = TakeUnsavedHeadersNote(); !note.empty())
            QTimer::singleShot(0, &frame, [&frame, note] { frame.MessageBox(note); });
        if (const char* picture = std::getenv("VELTOMAIL_SCREENSHOT"); picture && *picture)
            SaveScreenshotWhenFilled(frame, view, picture);
        status = app.exec();
    }
    shutDown->Run();
    // The headers of this run are gone: not a success.
    if (status == 0 && shutDown->HeadersLost()) status = 1;
    // A worker or watch still blocked (a name lookup that does not answer)
    // holds only shared state and what it logs goes nowhere now; it must not
    // hold up the end of the program, whose headers and settings are saved.
    if (shutDown->ThreadsLeft() || !view.JoinWorker(0)) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    parts.ReleaseView();
    return status;
}

}  // namespace velto
