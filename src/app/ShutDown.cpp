#include "app/ShutDown.h"

#include <QApplication>
#include <QDialog>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "app/AppWiring.h"
#include "app/CorvaneApp.h"
#include "engine/Ending.h"
#include "present/Questions.h"
#include "settings/Settings.h"

namespace velto {

void ShutDown::CloseDialogs() {
    // Questions still waiting are dropped, each asker hearing no.
    Questions::Instance().Clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
}

void ShutDown::Now() {
    CloseDialogs();
    Run();
}

void ShutDown::Run() {
    if (m_ended) {
        QCoreApplication::exit(0);
        return;
    }
    m_ended = true;
    // From here nothing new starts: no check, no send, no sign-in.
    BeginEnd();
    // A worker's log line must not wait for this thread any more.
    m_parts.Output().Close();
    CCorvaneView& view = m_parts.View();
    view.OnDestroy();
    // Folder listings are cut; the end waits for them only briefly.
    m_threadsLeft = !m_parts.StopListers(std::chrono::milliseconds(300)) || view.ThreadsLeft();
    const HeaderStoreOutcome& saved = view.SaveOutcome();
    if (!saved.ok) {
        // Too late for a box: the log, standard error, and the next start.
        const std::string database = ConfigurationOptions(keys::kConfiguration).GetDatabase();
        std::fprintf(stderr, "VeltoMail: the message headers could not be saved to %s\n", database.c_str());
        for (const auto& line : saved.details) {
            std::fprintf(stderr, "VeltoMail: %s", line.c_str());
            m_parts.Frame().AppendOutput(line);
        }
        CCorvaneApp::LeaveUnsavedHeadersNote(database, saved.details);
        m_headersLost = true;
    }
    if (!m_hive->Flush())
        std::fprintf(stderr, "VeltoMail: the settings could not be saved to %s: %s\n", m_hive->Location().c_str(),
                     m_hive->LastWriteError().c_str());
    // exit(), not quit(): quit() first asks every window to close, and one
    // that refuses would keep the program running.
    QCoreApplication::exit(0);
    // Everything is saved; nothing may keep the process alive now.
    m_watchdog = std::jthread([](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any never;
        std::unique_lock lock(mutex);
        never.wait_for(lock, stop, std::chrono::seconds(10), [] { return false; });
        if (stop.stop_requested()) return;
        std::fprintf(stderr, "VeltoMail: shut-down took too long; ending\n");
        std::fflush(nullptr);
        ::_exit(0);
    });
}

ShutDown::~ShutDown() = default;  // the watchdog's stop is asked, and it is joined

}  // namespace velto
