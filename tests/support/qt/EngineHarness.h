#pragma once
// A view's engine over fakes and a private settings hive.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>

#include "engine/CorvaneView.h"
#include "settings/Crc32.h"
#include "support/FakeTransport.h"
#include "support/qt/EngineFakes.h"
#include "support/MemoryHiveStorage.h"

namespace velto::test {

// Runs queued calls until done() holds or the deadline passes.
inline bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct EngineHarness {
    // realStore: the data file to use instead of the fake one; realUi and
    // realOutput: real windows in place of the fake ones.
    explicit EngineHarness(const std::string& settings = {}, std::shared_ptr<ITransportFactory> transports = {},
                           IHeaderStoreFile* realStore = nullptr, IEngineUi* realUi = nullptr,
                           ILogSink* realOutput = nullptr, bool saveAfterEachCheck = false,
                           std::shared_ptr<ITlsLayer> tls = {}, std::shared_ptr<ISignIn> signIn = {},
                           ImapWatch::Transports watchTransports = {}, IDockCount* dock = nullptr)
        : hive(settings), ui(journal), tray(journal), notices(journal), timers(journal), dialup(journal),
          store(journal) {
        CCorvaneView::Services s;
        s.ui = realUi ? realUi : &ui;
        s.tray = &tray;
        s.notifications = &notices;
        s.sound = &sound;
        s.dock = dock;
        s.timers = &timers;
        s.dialup = &dialup;
        s.store = realStore ? realStore : &store;
        s.output = realOutput ? realOutput : &log;
        s.transports = std::move(transports);
        s.saveAfterEachCheck = saveAfterEachCheck;
        s.tls = std::move(tls);
        s.signIn = signIn ? std::move(signIn) : std::make_shared<SettingsSignIn>();
        s.watchTransports = std::move(watchTransports);
        view = std::make_unique<CCorvaneView>(s);
    }
    // The view goes first: its shut-down lets a worker go and waits for it.
    ~EngineHarness() { view.reset(); }

    // Runs queued calls until done() holds or the deadline passes.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000) { return RunEventsUntil(done, timeoutMs); }
    // The list row showing that subject; -1 when none does.
    int RowOf(const std::string& subject) const {
        for (int r = 0; r < view->Model()->rowCount(); ++r)
            if (view->Model()->RowAt(r).subject == subject) return r;
        return -1;
    }
    // Drains what is queued now.
    void Drain() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    // Waits for the running worker to end and its last messages to be handled.
    bool FinishWork(int timeoutMs = 30000) {
        return RunUntil([&] { return !view->IsBusy() && !view->WorkerActive(); }, timeoutMs);
    }

    Journal journal;
    ScopedHive hive;
    FakeUi ui;
    FakeTray tray;
    FakeNotices notices;
    FakeSound sound;
    FakeTimers timers;
    FakeDialup dialup;
    FakeStoreFile store;
    RecordingLogSink log;
    std::unique_ptr<CCorvaneView> view;
};

// An engine, started up, whose connections play one scripted conversation.
struct ScriptedEngine {
    ScriptedEngine(const std::string& settings, const std::string& script, std::shared_ptr<ITlsLayer> tls = {})
        : transports(std::make_shared<ScriptedTransportFactory>(script)),
          h(settings, transports, nullptr, nullptr, nullptr, false, std::move(tls)) {
        h.view->OnInitialUpdate();
        h.Drain();
    }
    // The list holds these records.
    void Holds(const std::vector<CMailHeader>& records) {
        for (const auto& r : records) h.view->Messages().Append(r);
        h.view->RefreshList();
        h.Drain();
    }
    int RowOf(const std::string& subject) const { return h.RowOf(subject); }
    std::shared_ptr<ScriptedTransportFactory> transports;
    EngineHarness h;
};

// A stored record of the account (as AccountsText makes it: NAME@example.com
// on server), its unique id the subject.
inline CMailHeader Record(const std::string& subject, const std::string& account, const std::string& server) {
    CMailHeader r;
    r.ParseHeader("Subject: " + subject + "\r\n");
    r.SetAccountInfo(server, account + "@example.com", "");
    r.SetMessageInfo(-1, Crc32::Of(subject), 100);
    return r;
}

// A settings text with the given accounts (name, server) in the hive.
std::string AccountsText(const std::vector<std::pair<std::string, std::string>>& accounts,
                         const std::string& extraKeys = {});

}  // namespace velto::test
