// The engine's own cost, beside what it cannot avoid:
//  - a steady check of 10,000 messages on a loopback Dovecot with 100,000
//    records stored, through the view's scan worker (known-id lookups,
//    progress messages to the UI thread), beside the bare POP3 client doing
//    the same exchanges in the same run;
//  - rebuilding the list of 100,000 records and painting it once
//    (offscreen), beside a bare model reset of the same rows and the same paint.
#include <benchmark/benchmark.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTreeView>
#include <chrono>
#include <cstdio>

#include "engine/CorvaneView.h"
#include "net/PosixTransport.h"
#include "protocol/PopMail.h"
#include "settings/Crc32.h"
#include "support/DovecotServer.h"
#include "support/qt/EngineFakes.h"
#include "support/MemoryHiveStorage.h"

namespace {

using namespace velto;

constexpr int kMessages = 10'000;
constexpr int kStored = 100'000;
test::DovecotServer* g_server = nullptr;
std::map<std::string, double> g_best;  // name -> quickest wall seconds

void Keep(const std::string& name, double seconds) {
    auto it = g_best.find(name);
    if (it == g_best.end() || seconds < it->second) g_best[name] = seconds;
}

std::string Uid(int n) {
    char uid[32];
    std::snprintf(uid, sizeof uid, "m%05d", n);
    return uid;
}

CMailHeader Record(int i, bool onServer) {
    CMailHeader r;
    char header[600];
    std::snprintf(header, sizeof header,
                  "Received: from mx%d.example.org by pop.test\r\nFrom: \"Sender %d\" <s%d@example.org>\r\n"
                  "To: ann@example.com\r\nSubject: Stored message %d\r\nDate: Mon, %d Dec 2026 10:%02d:%02d +0000\r\n",
                  i, i, i, i, 1 + i % 28, i % 60, i % 59);
    r.ParseHeader(header);
    r.SetAccountInfo("pop.test", "ann@example.com", "");
    const std::string uid = onServer ? Uid(i) : "elsewhere-" + std::to_string(i);
    r.SetMessageInfo(-1, Crc32::Of(uid), 1500 + i % 1000);
    return r;
}

// Connections to "pop.test" go to the loopback server.
class ToServer : public ITransportFactory {
public:
    std::unique_ptr<ITransport> Create() override {
        struct T : ITransport {
            std::unique_ptr<ITransport> inner = MakePosixTransportFactory()->Create();
            bool Connect(const std::string&, int) override { return inner->Connect("127.0.0.1", g_server->Port()); }
            long Send(const char* d, std::size_t n) override { return inner->Send(d, n); }
            long Receive(char* b, std::size_t n) override { return inner->Receive(b, n); }
            void Close() override { inner->Close(); }
            int LastError() const override { return inner->LastError(); }
        };
        return std::make_unique<T>();
    }
};

void BM_ClientSteadyCheck(benchmark::State& state) {
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        CPopMail pop(nullptr, std::make_shared<ToServer>());
        int count = 0, size = 0;
        if (!pop.Connect("pop.test", 110) || !pop.Login("bench", "bench-pw") || !pop.GetMailboxStatus(count, size))
            std::abort();
        std::string uid;
        for (int n = 1; n <= count; ++n) pop.GetUniqueId(n, uid);
        pop.Quit();
        Keep("client steady check", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}

struct Engine {
    Engine()
        : hive("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Dunmere\\Velto Mail\\Accounts\\Bench]\r\n"
               "\"Account Name\"=\"Bench\"\r\n\"Server Name\"=\"pop.test\"\r\n\"User Name\"=\"bench\"\r\n"
               "\"User Password\"=\"bench-pw\"\r\n"),
          ui(journal), tray(journal), timers(journal), dialup(journal), store(journal) {
        CCorvaneView::Services s;
        s.ui = &ui;
        s.tray = &tray;
        s.sound = &sound;
        s.timers = &timers;
        s.dialup = &dialup;
        s.store = &store;
        s.transports = std::make_shared<ToServer>();
        view = std::make_unique<CCorvaneView>(s);
        view->OnInitialUpdate();
        Drain();
        view->Messages().Modify([](std::vector<StoredHeader>& list) {
            list.reserve(kStored);
            for (int i = 1; i <= kStored; ++i) list.emplace_back(Record(i, i <= kMessages));
        });
    }
    void Drain() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
    test::Journal journal;
    test::ScopedHive hive;
    test::FakeUi ui;
    test::FakeTray tray;
    test::FakeSound sound;
    test::FakeTimers timers;
    test::FakeDialup dialup;
    test::FakeStoreFile store;
    std::unique_ptr<CCorvaneView> view;
};

void BM_EngineSteadyCheck(benchmark::State& state) {
    Engine engine;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        engine.view->OnRefresh();
        // The worker's part: until it has said its last word.
        // Sleep until the worker has something for this thread: a spinning
        // loop would take a core from the worker.
        while (engine.view->WorkerActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto t1 = std::chrono::steady_clock::now();
        while (engine.view->IsBusy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const auto t2 = std::chrono::steady_clock::now();
        if (engine.view->NewCount() != 0 || engine.view->Messages().Size() != kStored) std::abort();
        Keep("engine steady check", std::chrono::duration<double>(t1 - t0).count());
        Keep("engine final rebuild", std::chrono::duration<double>(t2 - t1).count());
        engine.view->JoinWorker(10000);
    }
}

// The bare model: the same row texts, copied without parsing or cleaning.
class BareModel : public QAbstractTableModel {
public:
    std::vector<MessageListModel::Row> rows;
    int rowCount(const QModelIndex& = {}) const override { return static_cast<int>(rows.size()); }
    int columnCount(const QModelIndex& = {}) const override { return 5; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        const auto& r = rows[rows.size() - 1 - static_cast<std::size_t>(index.row())];
        const std::string* cols[5] = {&r.subject, &r.sender, &r.date, &r.size, &r.mailbox};
        return QString::fromStdString(*cols[index.column()]);
    }
    void Reset(std::vector<MessageListModel::Row> next) {
        beginResetModel();
        rows = std::move(next);
        endResetModel();
    }
};

double Paint(QTreeView& view) {
    QElapsedTimer t;
    t.start();
    QPixmap pm(view.size());
    view.render(&pm);
    return t.nsecsElapsed() / 1e9;
}

void BM_RefreshList(benchmark::State& state) {
    Engine engine;
    QTreeView tree;
    tree.setUniformRowHeights(true);
    tree.resize(900, 500);
    tree.setModel(engine.view->Model());
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        engine.view->RefreshList();
        const double paint = Paint(tree);
        Keep("refresh 100k + paint",
             std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        Keep("  of which paint", paint);
        engine.Drain();
    }
}

void BM_BareModelReset(benchmark::State& state) {
    Engine engine;
    BareModel model;
    QTreeView tree;
    tree.setUniformRowHeights(true);
    tree.resize(900, 500);
    tree.setModel(&model);
    // The same records kept whole, as the list once kept them.
    std::vector<CMailHeader> list;
    engine.view->Messages().WithList([&](const std::vector<StoredHeader>& stored) {
        for (const auto& r : stored) list.push_back(r.Full());
    });
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<MessageListModel::Row> rows;
        {
            rows.reserve(list.size());
            for (const auto& r : list) {
                MessageListModel::Row row;
                row.subject = r.m_subject;
                row.sender = r.m_from;
                row.date = r.m_date;
                row.size = std::to_string(r.m_size);
                row.mailbox = r.m_accountServer;
                row.id = r.m_uidlHash;
                rows.push_back(std::move(row));
            }
        }
        model.Reset(std::move(rows));
        Paint(tree);
        Keep("bare reset 100k + paint",
             std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}

BENCHMARK(BM_ClientSteadyCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineSteadyCheck)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefreshList)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareModelReset)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const bool server = test::DovecotServer::Installed();
    if (server) {
        g_server = new test::DovecotServer();
        g_server->AddUser("bench", "bench-pw");
        for (int n = 1; n <= kMessages; ++n) g_server->AddMessage("bench", Uid(n), "Subject: x\r\n\r\nbody\r\n");
        std::string why;
        if (!g_server->Start(&why)) {
            std::fprintf(stderr, "Dovecot did not start: %s\n", why.c_str());
            return 1;
        }
        CPopMail warm(nullptr, std::make_shared<ToServer>());  // the first session indexes the maildir
        int count = 0, size = 0;
        warm.Connect("pop.test", 110) && warm.Login("bench", "bench-pw") && warm.GetMailboxStatus(count, size);
        warm.Quit();
    } else {
        benchmark::AddCustomContext("dovecot", "not installed: the check benchmarks are skipped");
        ::benchmark::RegisterBenchmark("skip", [](benchmark::State& s) { s.SkipWithError("no dovecot"); });
    }
    benchmark::RunSpecifiedBenchmarks(server ? nullptr : nullptr);
    std::printf("\nquickest runs:\n");
    for (const auto& [name, seconds] : g_best) std::printf("  %-28s %8.1f ms\n", name.c_str(), seconds * 1e3);
    if (g_best.count("client steady check") && g_best.count("engine steady check"))
        std::printf("engine steady check / client alone = %.3f [goal <= 1.10]\n",
                    g_best["engine steady check"] / g_best["client steady check"]);
    if (g_best.count("refresh 100k + paint") && g_best.count("bare reset 100k + paint"))
        std::printf("refresh / bare reset = %.2f [goal <= 2]\n",
                    g_best["refresh 100k + paint"] / g_best["bare reset 100k + paint"]);
    delete g_server;
    return 0;
}
