// The output window under a long session: 100,000 conversation lines
// appended one by one, each followed by a turn of the event loop (as when a
// worker hands each line over), with the window shown. The cost of a line
// must not grow with what was logged before it: the last thousand lines are
// timed against the first thousand.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "shell/OutputWindow.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 100'000;
constexpr int kChunk = 1'000;

// Microseconds per line of each chunk of a run.
std::vector<double> g_first, g_last;

void BM_AppendOutput(benchmark::State& state) {
    for (auto _ : state) {
        velto::COutputWindow output;
        output.resize(700, 200);
        output.show();
        QCoreApplication::processEvents();
        std::vector<double> chunks;
        auto start = Clock::now();
        for (int i = 1; i <= kLines; ++i) {
            const QString line = QString("[14:05:%1] +OK %2 msg%3 from the server\r\n")
                                     .arg(i % 60, 2, 10, QChar('0'))
                                     .arg(i)
                                     .arg(i, 5, 10, QChar('0'));
            output.AppendOutput(line);
            QCoreApplication::processEvents();
            if (i % kChunk == 0) {
                const auto now = Clock::now();
                chunks.push_back(std::chrono::duration<double, std::micro>(now - start).count() / kChunk);
                start = now;
            }
        }
        // BENCH_PROFILE=1: every fifth chunk's cost, to see where it grows.
        if (std::getenv("BENCH_PROFILE")) {
            for (std::size_t c = 0; c < chunks.size(); c += 5)
                std::fprintf(stderr, "%zu:%.1f ", (c + 1) * kChunk, chunks[c]);
            std::fprintf(stderr, "\n");
        }
        g_first.push_back(chunks.front());
        g_last.push_back(chunks.back());
        state.counters["first_1k_us_per_line"] = chunks.front();
        state.counters["last_1k_us_per_line"] = chunks.back();
        state.counters["last_over_first"] = chunks.back() / chunks.front();
        state.counters["lines_kept"] = output.document()->blockCount();
    }
}

BENCHMARK(BM_AppendOutput)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!g_first.empty()) {
        double first = g_first.front(), last = g_last.front();
        for (std::size_t i = 1; i < g_first.size(); ++i) {
            first = std::min(first, g_first[i]);
            last = std::min(last, g_last[i]);
        }
        std::printf("\nquickest runs: first 1,000 lines %.1f us/line, last 1,000 lines %.1f us/line, ratio %.2f\n",
                    first, last, last / first);
    }
    benchmark::Shutdown();
    return 0;
}
