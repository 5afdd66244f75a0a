// What 100,000 stored headers of about 300 bytes cost to keep, in one run:
// as the list once kept them (whole records, each row with copies of its
// texts) and as it keeps them now (records that share their text with the
// rows, fields read when shown); and how long loading them from the data
// file and building the rows take each way.
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/HeaderStore.h"
#include "engine/MessageListModel.h"
#include "engine/MessageStore.h"
#include "settings/Crc32.h"

namespace {

using namespace velto;
constexpr int kRecords = 100'000;

double ResidentMb() {
    malloc_trim(0);
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

CMailHeader Typical(int i) {
    char header[512];
    std::snprintf(header, sizeof header,
                  "Received: from mx%d.example.org by pop.example.com; Mon, 7 Dec 2026 10:%02d:00\r\n"
                  "From: \"Sender %d\" <sender%d@example.org>\r\nTo: ann@example.com\r\n"
                  "Subject: About the plans for week %d\r\nDate: Mon, %d Dec 2026 10:%02d:%02d +0000\r\n"
                  "Message-ID: <%d.%d@mx.example.org>\r\nMIME-Version: 1.0\r\n"
                  "Content-Type: text/plain; charset=utf-8\r\n\r\n.\r\n",
                  i % 50, i % 60, i, i, i % 52, 1 + i % 28, i % 60, i % 59, i, i * 7);
    CMailHeader r;
    r.ParseHeader(header);
    r.SetAccountInfo("pop.example.com", "ann@example.com", "smtp.example.com");
    r.SetMessageInfo(-1, Crc32::Of("id-" + std::to_string(i)), 2000 + i % 5000);
    return r;
}

struct NoReport : HeaderStoreReporter {
    void ShowMessage(const std::string&) override {}
    void LogDetail(const std::string&) override {}
};

// A row as the list once made it: a copy of each text it might show.
struct CopiedRow {
    std::string subject, sender, date, size, mailbox, to, address;
    int image = 0;
    std::uint32_t id = 0;
    std::int32_t bytes = 0;
    bool cooked = false;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string folder = std::filesystem::temp_directory_path() / ("velto-memory-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/maildata.vlt";
    std::size_t rawBytes = 0;
    {
        std::vector<CMailHeader> list;
        for (int i = 0; i < kRecords; ++i) list.push_back(Typical(i));
        for (const auto& r : list) rawBytes += r.m_rawHeader.size();
        NoReport quiet;
        SaveHeaderStore(list, path, quiet);
    }
    const double rawMb = double(rawBytes) / (1024.0 * 1024.0);
    std::printf("%d stored headers, %.1f MB of raw header text\n", kRecords, rawMb);
    NoReport quiet;

    {  // Before: whole records, rows with copies.
        const double idle = ResidentMb();
        auto t0 = std::chrono::steady_clock::now();
        std::vector<CMailHeader> list;
        LoadHeaderStore(list, path, quiet);
        const double load = Since(t0);
        t0 = std::chrono::steady_clock::now();
        std::vector<CopiedRow> rows;
        rows.reserve(list.size());
        for (const auto& r : list)
            rows.push_back({r.m_subject, r.m_from, r.m_date, {}, r.m_accountServer, r.m_to, r.m_accountAddress, 0,
                            r.m_uidlHash, r.m_size, false});
        const double rebuild = Since(t0);
        std::printf("whole records, copied rows:  %6.1f MB (%.1f x raw)  load %6.1f ms  rows %6.1f ms\n",
                    ResidentMb() - idle, (ResidentMb() - idle) / rawMb, load, rebuild);
    }
    {  // Now: the message list and its model.
        const double idle = ResidentMb();
        auto t0 = std::chrono::steady_clock::now();
        MessageStore store;
        store.Modify([&](std::vector<StoredHeader>& list) { LoadHeaderStore(list, path, quiet); });
        const double load = Since(t0);
        t0 = std::chrono::steady_clock::now();
        MessageListModel model;
        std::vector<StoredHeader> rows;
        store.WithList([&](const std::vector<StoredHeader>& list) { rows = list; });
        model.Reset(std::move(rows));
        for (int r = 0; r < 40; ++r) model.RowAt(r);  // a screenful shown
        const double rebuild = Since(t0);
        std::printf("shared records, lazy rows:   %6.1f MB (%.1f x raw)  load %6.1f ms  rows %6.1f ms\n",
                    ResidentMb() - idle, (ResidentMb() - idle) / rawMb, load, rebuild);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
