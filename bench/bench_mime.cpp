// Decoding for display:
//  - the list's texts of 100,000 stored headers (a third plain ASCII, the
//    rest encoded words in UTF-8, ISO-8859-1 and ISO-2022-JP, or raw 8-bit),
//    cooked as rows are when shown, beside the bare GMime word decoder on the
//    same values and beside rows cooked from plain ASCII texts;
//  - a 10 MB message with 200 parts read as a reader would (parse, body
//    text, attachment list with sizes), beside a bare GMime parse of the same
//    bytes, and every attachment's bytes taken once.
// Ends with a summary of the quickest runs and their ratios.
#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/MessageListModel.h"
#include "protocol/MimeMessage.h"

namespace {

using velto::CMailHeader;
using velto::MessageListModel;
using velto::MimeMessage;

constexpr int kRecords = 100'000;
constexpr int kParts = 200;
std::map<std::string, double> g_best;  // name -> quickest wall seconds

void Keep(const std::string& name, double seconds) {
    auto it = g_best.find(name);
    if (it == g_best.end() || seconds < it->second) g_best[name] = seconds;
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<CMailHeader> MakeRecords(bool encoded) {
    static const char* kSubjects[] = {
        "=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=", "=?ISO-8859-1?B?3GJlcndlaXN1bmcgZvxyIENhZuk=?=",
        "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= meeting", "Re: caf\xe9 \x80 5", "=?utf-8?b?5bGx55Sw44GV44KT?="};
    static const char* kSenders[] = {"\"=?UTF-8?Q?J=C3=B6rg_M=C3=BCller?=\" <j@example.de>",
                                     "=?ISO-8859-1?Q?Andr=E9?= <a@example.fr>",
                                     "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?= <t@example.jp>", "Ren\xe9 <r@example.com>",
                                     "\"Ann Smith\" <ann@example.com>"};
    std::mt19937 rng(19981207);
    std::vector<CMailHeader> records(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        CMailHeader& h = records[static_cast<std::size_t>(i)];
        const bool plain = !encoded || i % 3 == 0;
        const std::size_t k = rng() % 5;
        h.m_subject = plain ? "quarterly report " + std::to_string(i) : kSubjects[k];
        h.m_from = plain ? "\"Ann Smith\" <ann@example.com>" : kSenders[(k + 1) % 5];
        h.m_to = "me@example.com";
        h.m_date = "Mon, 7 Dec 1998 14:05:09 -0500";
        h.SetAccountInfo("pop.example.com", "me@example.com", "smtp.example.com");
        h.SetMessageInfo(i + 1, std::uint32_t(i), 4000 + i);
    }
    return records;
}

void CookAll(benchmark::State& state, bool encoded, const char* name) {
    const std::vector<CMailHeader> records = MakeRecords(encoded);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::size_t shown = 0;
        for (const auto& r : records) {
            const MessageListModel::Row row = MessageListModel::MakeRow(r);
            shown += row.subject.size() + row.sender.size();
        }
        benchmark::DoNotOptimize(shown);
        Keep(name, Since(t0));
    }
}

void BM_CookEncodedRows(benchmark::State& state) { CookAll(state, true, "cook 100k rows, encoded"); }
void BM_CookPlainRows(benchmark::State& state) { CookAll(state, false, "cook 100k rows, plain"); }

void BM_DecodeHeaderTexts(benchmark::State& state) {
    const std::vector<CMailHeader> records = MakeRecords(true);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::size_t shown = 0;
        for (const auto& r : records)
            shown += velto::DecodeHeaderText(r.m_subject).size() + velto::DecodeHeaderText(r.m_from).size();
        benchmark::DoNotOptimize(shown);
        Keep("decode 100k subjects+senders", Since(t0));
    }
}

void BM_BareGMimeDecode(benchmark::State& state) {
    const std::vector<CMailHeader> records = MakeRecords(true);
    GMimeParserOptions* options = g_mime_parser_options_get_default();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::size_t shown = 0;
        for (const auto& r : records) {
            for (const std::string* value : {&r.m_subject, &r.m_from}) {
                char* text = g_mime_utils_header_decode_text(options, value->c_str());
                shown += std::char_traits<char>::length(text);
                g_free(text);
            }
        }
        benchmark::DoNotOptimize(shown);
        Keep("bare GMime decode 100k", Since(t0));
    }
}

const std::string& BigMessage() {
    static const std::string message = [] {
        std::mt19937 rng(7);
        std::string m = "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.de>\r\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
                        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"==b==\"\r\n\r\n";
        m += "--==b==\r\nContent-Type: text/plain; charset=utf-8\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
        for (int i = 0; i < 200; ++i) m += "Gr=C3=BC=C3=9Fe, line " + std::to_string(i) + " of the body text.\r\n";
        static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int p = 1; p < kParts; ++p) {
            m += "\r\n--==b==\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                 "filename*=UTF-8''%C3%A9t%C3%A9-" + std::to_string(p) + ".bin\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\n";
            for (int line = 0; line < 680; ++line) {
                for (int c = 0; c < 76; ++c) m += kAlphabet[rng() % 64];
                m += "\r\n";
            }
        }
        return m + "\r\n--==b==--\r\n";
    }();
    return message;
}

void BM_ReadBigMessage(benchmark::State& state) {
    const std::string& bytes = BigMessage();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const MimeMessage m(bytes);
        if (m.Attachments().size() != kParts - 1 || m.Text().empty()) std::abort();
        Keep("read 10 MB / 200 parts", Since(t0));
    }
}

void BM_BareGMimeParse(benchmark::State& state) {
    const std::string& bytes = BigMessage();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
        if (!message) std::abort();
        g_object_unref(message);
        g_object_unref(parser);
        g_object_unref(stream);
        Keep("bare GMime parse 10 MB", Since(t0));
    }
}

void BM_AllAttachmentBytes(benchmark::State& state) {
    const MimeMessage m(BigMessage());
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        std::size_t total = 0;
        for (std::size_t i = 0; i < m.Attachments().size(); ++i) total += m.AttachmentBytes(i).size();
        benchmark::DoNotOptimize(total);
        Keep("all 199 attachments' bytes", Since(t0));
    }
}

BENCHMARK(BM_CookPlainRows)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CookEncodedRows)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeHeaderTexts)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareGMimeDecode)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadBigMessage)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareGMimeParse)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AllAttachmentBytes)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // The wrapper sets GMime up on first use; the bare runs may come first.
    velto::DecodeHeaderText("=?UTF-8?Q?x?=");
    benchmark::Initialize(&argc, argv);
    std::printf("%d records; message of %.1f MB with %d parts\n", kRecords, BigMessage().size() / 1e6, kParts);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nquickest runs:\n");
    for (const auto& [name, seconds] : g_best) std::printf("  %-32s %8.1f ms\n", name.c_str(), seconds * 1e3);
    auto ratio = [](const char* a, const char* b) {
        if (g_best.count(a) && g_best.count(b)) std::printf("%s / %s = %.2f\n", a, b, g_best[a] / g_best[b]);
    };
    ratio("decode 100k subjects+senders", "bare GMime decode 100k");
    ratio("cook 100k rows, encoded", "cook 100k rows, plain");
    ratio("read 10 MB / 200 parts", "bare GMime parse 10 MB");
    if (g_best.count("read 10 MB / 200 parts"))
        std::printf("read rate %.0f MB/s\n", BigMessage().size() / 1e6 / g_best["read 10 MB / 200 parts"]);
    return 0;
}
