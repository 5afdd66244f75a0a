#include "app/CorvaneApp.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "engine/CorvaneView.h"
#include "platform/FileHiveStorage.h"
#include "platform/HeaderStoreFile.h"
#include "platform/NoDialup.h"
#include "platform/RoutedTransport.h"
#include "platform/PosixTransport.h"
#include "platform/QtDesktop.h"
#include "platform/QtSound.h"
#include "platform/QtTimerHost.h"
#include "platform/QtTray.h"
#include "platform/SignalWatcher.h"
#include "platform/WindowLogSink.h"
#include "settings/Settings.h"
#include "shell/MailPropertySheet.h"
#include "shell/MainFrame.h"
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

std::string CCorvaneApp::EnsureDatabasePath() {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.GetDatabase().empty()) return config.GetDatabase();
    const std::string folder = UserFolder("XDG_DATA_HOME", ".local/share") + "/VeltoMail";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    config.SetDatabase(folder + "/maildata.vlt");
    config.Save(keys::kConfiguration);
    return config.GetDatabase();
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
            if (!frame.grab().save(QString::fromStdString(path), "PNG"))
                std::fprintf(stderr, "VeltoMail: cannot save %s\n", path.c_str());
            frame.close();
        });
    });
    poll->start(250);
}

}  // namespace

int CCorvaneApp::Main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("VeltoMail");
    // No display name: the toolkit would append it to every window title,
    // and the titles are the program's own ("About Velto Mail", ...).
    // The desktop entry gives the windows their icon and group.
    QGuiApplication::setDesktopFileName("veltomail");
    // The window can live in the tray: only an explicit exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Asked to end (kill, Ctrl+C) at any moment, start-up included: the same
    // orderly path as closing the window, so nothing is lost.
    bool endRequested = false;
    // A modal dialog runs its own loop: close it so the end is not held up.
    auto closeDialogs = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
    };
    std::function<void()> onEnd = [&] {
        endRequested = true;
        closeDialogs();
    };
    SignalWatcher signalWatcher([&](int signo) {
        std::fprintf(stderr, "VeltoMail: signal %d, shutting down\n", signo);
        onEnd();
    });

    // The settings hive.
    auto hive = std::make_shared<RegistryHive>(std::make_unique<FileHiveStorage>(FileHiveStorage::DefaultPath()));
    const std::string hiveProblem = hive->Load();
    RegistryHive::SetCurrent(hive);
    if (!hiveProblem.empty()) QMessageBox::warning(nullptr, "VeltoMail", QString::fromLocal8Bit(hiveProblem.c_str()));

    Environment env;
    env.startSockets = StartSockets;
    env.queryVersion = QueryCommonControlsVersion;
    env.messageBox = [](const std::string& text) {
        QMessageBox::critical(nullptr, "VeltoMail", QString::fromLocal8Bit(text.c_str()));
    };
    env.showOutdatedWarning = [](unsigned major, unsigned minor) {
        COutdatedControlsDlg dlg(major, minor);
        dlg.exec();
    };
    if (!CheckSystem(env)) return 1;
    EnsureDatabasePath();

    // The main frame, the view's engine and the services it uses.
    QtDesktop desktop;
    auto frame = std::make_unique<CMainFrame>(desktop);
    std::unique_ptr<CCorvaneView> view;
    QtTray tray(QtTray::Commands{
        [&] { frame->ShowMainWindow(); },
        [&] { view->OnRefresh(); },
        [&] { frame->ShowAbout(); },
        [&] { frame->close(); },
    });
    QtSound sound;
    QtTimerHost timers([&](int id) {
        if (view) view->OnTimer(id);
    });
    NoDialup dialup;
    HeaderStoreFile store(frame.get());
    WindowLogSink output(frame.get(), [&](const std::string& text) { frame->AppendOutput(text); });

    CCorvaneView::Services services;
    services.ui = frame.get();
    services.tray = &tray;
    services.sound = &sound;
    services.timers = &timers;
    services.dialup = &dialup;
    services.store = &store;
    services.output = &output;
    services.transports = WithPop3PortFromEnvironment(MakePosixTransportFactory());
    view = std::make_unique<CCorvaneView>(services);

    // Where the user left the window, kept apart from the settings.
    const std::string layoutFile = UserFolder("XDG_STATE_HOME", ".local/state") + "/VeltoMail/window.ini";
    frame->SetLayoutFile(QString::fromStdString(layoutFile));
    frame->SetTrayAvailable(tray.IsAvailable());
    frame->SetOptionsSheetRunner([&](QWidget* parent) { return RunMailPropertySheet(parent, &sound, &dialup); });
    frame->SetStopSound([&] { sound.Stop(); });
    frame->AttachView(view.get());

    bool ended = false;
    auto shutDown = [&] {
        if (ended) return;
        ended = true;
        output.Close();
        view->OnDestroy();
        hive->Flush();
        QApplication::quit();
    };
    QObject::connect(frame.get(), &CMainFrame::closing, shutDown);
    // The desktop session ends, or a signal came: close what is open, then
    // shut down.
    auto endNow = [&] {
        closeDialogs();
        shutDown();
    };
    onEnd = endNow;
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&](QSessionManager&) { endNow(); });
    if (endRequested) endNow();

    if (!ended) view->OnInitialUpdate();
    int status = 0;
    if (!ended) {
        frame->show();
        if (const char* picture = std::getenv("VELTOMAIL_SCREENSHOT"); picture && *picture)
            SaveScreenshotWhenFilled(*frame, *view, picture);
        status = app.exec();
    }
    shutDown();
    // A worker blocked on a silent server holds only shared state; it must
    // not hold up the end of the program.
    if (!view->JoinWorker(2000)) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    view.reset();
    return status;
}

}  // namespace velto
