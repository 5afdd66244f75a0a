// The header store and the parser on 100,000 realistic headers (about 150 MB),
// each beside the bare zlib cost of the same bytes in memory and beside a
// bare parse. Ends with a summary of rates, ratios and the load's peak memory
// (measured in a fresh child process).
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/HeaderStore.h"

namespace {

using velto::CMailHeader;

constexpr int kRecords = 100000;

struct QuietReporter : velto::HeaderStoreReporter {
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
    void LogDetail(const std::string& text) override { std::fprintf(stderr, "detail: %s", text.c_str()); }
};

class HeaderMaker {
public:
    std::string Make() {
        static const char* kFirst[] = {"Anna", "Ben", "Carla", "Dmitri", "Eve", "Farid", "Grace", "Hiro"};
        static const char* kLast[] = {"Smith", "Okafor", "Lindqvist", "Moreau", "Tanaka", "Alvarez", "Novak"};
        static const char* kWords[] = {"meeting", "report", "invoice", "lunch", "update", "quarterly", "draft",
                                       "review", "tickets", "holiday", "build", "release", "notes", "photos"};
        const std::string domain = Pick({"example.com", "mail.example.org", "lists.example.net", "corp.example"});
        const std::string sender = Lower(kFirst[Rand(8)]) + "." + Lower(kLast[Rand(7)]);
        std::string h = "Return-Path: <" + sender + "@" + domain + ">\r\n";
        const int hops = 2 + Rand(6);
        for (int i = 0; i < hops; ++i) {
            h += "Received: from mx" + Num(Rand(40)) + "." + domain + " (mx." + domain + " [" + Ip() + "])\r\n\tby mail" +
                 Num(Rand(9)) + ".example.com (Postfix) with ESMTPS id " + Hex(10) + "\r\n\tfor <me@example.com>; " +
                 Date() + "\r\n";
        }
        if (Rand(2)) {
            h += "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=" + domain +
                 "; s=s1;\r\n\th=from:to:subject:date:message-id; bh=" + Base64(44) + ";\r\n\tb=";
            for (int i = 0; i < 4; ++i) h += Base64(76) + "\r\n\t ";
            h += Base64(40) + "\r\n";
        }
        h += "Message-ID: <" + Hex(16) + "." + Hex(8) + "@" + domain + ">\r\n";
        h += "Date: " + Date() + "\r\n";
        h += "From: \"" + std::string(kFirst[Rand(8)]) + " " + kLast[Rand(7)] + "\" <" + sender + "@" + domain + ">\r\n";
        h += "To: me@example.com\r\n";
        std::string subject;
        for (int i = 0, n = 2 + Rand(6); i < n; ++i) subject += std::string(i ? " " : "") + kWords[Rand(14)];
        h += "Subject: " + subject + "\r\n";
        h += "MIME-Version: 1.0\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" + Hex(24) + "\"\r\n";
        if (Rand(3) == 0) h += "X-Mailer: Example Mail " + Num(Rand(20)) + "." + Num(Rand(10)) + "\r\n";
        h += "X-Spam-Status: No, score=" + Num(Rand(5)) + "." + Num(Rand(10)) + "\r\n";
        return h;
    }

private:
    int Rand(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    static std::string Num(int n) { return std::to_string(n); }
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::string Pick(std::initializer_list<const char*> options) { return options.begin()[Rand(int(options.size()))]; }
    std::string Ip() { return Num(Rand(223) + 1) + "." + Num(Rand(256)) + "." + Num(Rand(256)) + "." + Num(Rand(256)); }
    std::string Hex(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += "0123456789ABCDEF"[Rand(16)];
        return s;
    }
    std::string Base64(int n) {
        static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string s;
        for (int i = 0; i < n; ++i) s += kAlphabet[Rand(64)];
        return s;
    }
    std::string Date() {
        static const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s, %d %s %d %02d:%02d:%02d +0000", kDays[Rand(7)], 1 + Rand(28),
                      kMonths[Rand(12)], 1998 + Rand(28), Rand(24), Rand(60), Rand(60));
        return buf;
    }

    std::mt19937 m_rng{19981207};
};

struct Data {
    std::vector<std::string> raw;       // the raw headers
    std::vector<CMailHeader> list;      // the message list to save
    std::string content;                // the uncompressed store content
    std::string packed;                 // content after compress2 level 9
    std::uint64_t rawBytes = 0;
    std::string folder, database;
};

Data& TheData() {
    static Data d = [] {
        Data d;
        HeaderMaker maker;
        d.raw.reserve(kRecords);
        d.list.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            d.raw.push_back(maker.Make());
            d.rawBytes += d.raw.back().size();
            CMailHeader h;
            h.SetMessageInfo(i + 1, 0x10000000u + std::uint32_t(i), 4000 + i);
            h.SetAccountInfo("pop.example.com", "me@example.com", "smtp.example.com");
            h.ParseHeader(d.raw.back());
            d.list.push_back(std::move(h));
        }
        const char magic[4] = {char(0x83), 0x0C, 0x03, 0x00};
        d.content.assign(magic, 4);
        for (const auto& h : d.list) h.Write(d.content);
        uLongf size = compressBound(d.content.size());
        d.packed.resize(size);
        compress2(reinterpret_cast<Bytef*>(d.packed.data()), &size,
                  reinterpret_cast<const Bytef*>(d.content.data()), d.content.size(), 9);
        d.packed.resize(size);
        char dir[] = "/tmp/velto-bench-XXXXXX";
        d.folder = mkdtemp(dir);
        d.database = d.folder + "/maildata.vlt";
        return d;
    }();
    return d;
}

void SetBytes(benchmark::State& state, std::uint64_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * state.iterations()));
}

void BM_ZlibCompress2Level9(benchmark::State& state) {
    Data& d = TheData();
    std::string out(compressBound(d.content.size()), '\0');
    for (auto _ : state) {
        uLongf size = out.size();
        compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(d.content.data()),
                  d.content.size(), 9);
        benchmark::DoNotOptimize(size);
    }
    SetBytes(state, d.content.size());
}

void BM_SaveHeaderStore(benchmark::State& state) {
    Data& d = TheData();
    QuietReporter reporter;
    for (auto _ : state) {
        if (!velto::SaveHeaderStore(d.list, d.database, reporter)) state.SkipWithError("save failed");
    }
    SetBytes(state, d.content.size());
}

void BM_ZlibUncompress(benchmark::State& state) {
    Data& d = TheData();
    std::string out(d.content.size(), '\0');
    for (auto _ : state) {
        uLongf size = out.size();
        uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(d.packed.data()),
                   d.packed.size());
        benchmark::DoNotOptimize(size);
    }
    SetBytes(state, d.content.size());
}

// Parse into fresh records appended to a list: what a load must do at least.
void BM_ParseIntoNewList(benchmark::State& state) {
    Data& d = TheData();
    for (auto _ : state) {
        std::vector<CMailHeader> list;
        list.reserve(d.raw.size());
        for (const auto& raw : d.raw) list.emplace_back().ParseHeader(raw);
        benchmark::DoNotOptimize(list.data());
        state.PauseTiming();
        list = {};
        state.ResumeTiming();
    }
    SetBytes(state, d.rawBytes);
}

void BM_LoadHeaderStore(benchmark::State& state) {
    Data& d = TheData();
    QuietReporter reporter;
    velto::SaveHeaderStore(d.list, d.database, reporter);
    for (auto _ : state) {
        std::vector<CMailHeader> list;
        if (!velto::LoadHeaderStore(list, d.database, reporter) || list.size() != d.list.size())
            state.SkipWithError("load failed");
        state.PauseTiming();
        list = {};
        state.ResumeTiming();
    }
    SetBytes(state, d.content.size());
}

// ParseHeader alone, into one record.
void BM_ParseHeader(benchmark::State& state) {
    Data& d = TheData();
    CMailHeader h;
    for (auto _ : state) {
        for (const auto& raw : d.raw) h.ParseHeader(raw);
        benchmark::DoNotOptimize(h.m_subject.data());
    }
    SetBytes(state, d.rawBytes);
}

// A bare parse: the same line splitting and colon search, no fields kept.
void BM_BareParse(benchmark::State& state) {
    Data& d = TheData();
    for (auto _ : state) {
        std::size_t named = 0;
        for (const auto& raw : d.raw) {
            const char* p = raw.data();
            const char* end = p + raw.size();
            while (p < end) {
                while (p < end && (*p == '\r' || *p == '\n')) ++p;
                const char* line = p;
                while (p < end && *p != '\r' && *p != '\n') ++p;
                if (p > line && std::memchr(line, ':', std::min<std::size_t>(p - line, 26))) ++named;
            }
        }
        benchmark::DoNotOptimize(named);
    }
    SetBytes(state, d.rawBytes);
}

BENCHMARK(BM_ZlibCompress2Level9)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_SaveHeaderStore)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ParseIntoNewList)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_LoadHeaderStore)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ParseHeader)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const std::string name = run.benchmark_name();
            ms[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

long StatusKb(const char* key) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (f && std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atol(line + std::strlen(key));
    }
    if (f) std::fclose(f);
    return kb;
}

// Child mode: load the file in this fresh process and report its memory.
int MeasureLoad(const char* path) {
    QuietReporter reporter;
    std::vector<CMailHeader> list;
    const long before = StatusKb("VmRSS:");
    const bool ok = velto::LoadHeaderStore(list, path, reporter);
    const long peak = StatusKb("VmHWM:");
    const long after = StatusKb("VmRSS:");
    std::uint64_t raw = 0;
    for (const auto& h : list) raw += h.m_rawHeader.size();
    std::printf("%d %zu %ld %ld %ld %llu\n", ok ? 1 : 0, list.size(), before, peak, after,
                static_cast<unsigned long long>(raw));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure-load") == 0) return MeasureLoad(argv[2]);
    benchmark::Initialize(&argc, argv);
    Data& d = TheData();
    std::printf("%d records, raw headers %.1f MB, store content %.1f MB, compressed %.1f MB\n", kRecords,
                d.rawBytes / 1e6, d.content.size() / 1e6, d.packed.size() / 1e6);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    auto rate = [](double bytes, double ms) { return ms > 0 ? bytes / 1e6 / (ms / 1e3) : 0.0; };
    const double content = static_cast<double>(d.content.size()), raw = static_cast<double>(d.rawBytes);
    std::printf("\nSummary (MB/s of uncompressed content, parse rates of raw header bytes)\n");
    std::printf("  save  %.0f ms (%.1f MB/s)   bare deflate-9 %.0f ms (%.1f MB/s)   ratio %.3f (goal <= 1.2)\n",
                t("BM_SaveHeaderStore"), rate(content, t("BM_SaveHeaderStore")), t("BM_ZlibCompress2Level9"),
                rate(content, t("BM_ZlibCompress2Level9")), t("BM_SaveHeaderStore") / t("BM_ZlibCompress2Level9"));
    const double bare = t("BM_ZlibUncompress") + t("BM_ParseIntoNewList");
    std::printf("  load  %.0f ms (%.1f MB/s)   bare inflate %.0f ms + parse into new list %.0f ms = %.0f ms   "
                "ratio %.3f (goal <= 1.3)\n",
                t("BM_LoadHeaderStore"), rate(content, t("BM_LoadHeaderStore")), t("BM_ZlibUncompress"),
                t("BM_ParseIntoNewList"), bare, t("BM_LoadHeaderStore") / bare);
    std::printf("  ParseHeader %.1f MB/s   parse into new list %.1f MB/s   bare parse %.1f MB/s\n",
                rate(raw, t("BM_ParseHeader")), rate(raw, t("BM_ParseIntoNewList")), rate(raw, t("BM_BareParse")));

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
        QuietReporter quiet;
        velto::SaveHeaderStore(d.list, d.database, quiet);
        const std::string command = std::string("'") + self + "' --measure-load '" + d.database + "'";
        if (std::FILE* child = popen(command.c_str(), "r")) {
            int ok = 0;
            std::size_t count = 0;
            long before = 0, peak = 0, after = 0;
            unsigned long long held = 0;
            if (std::fscanf(child, "%d %zu %ld %ld %ld %llu", &ok, &count, &before, &peak, &after, &held) == 6) {
                std::printf("  load peak memory %.1f MB over %.1f MB of raw headers held: %.2fx (goal <= 2); "
                            "list at rest %.2fx; %zu records, ok=%d\n",
                            (peak - before) * 1024.0 / 1e6, held / 1e6, (peak - before) * 1024.0 / held,
                            (after - before) * 1024.0 / held, count, ok);
            }
            pclose(child);
        }
    }
    std::filesystem::remove_all(d.folder);
    benchmark::Shutdown();
    return 0;
}
