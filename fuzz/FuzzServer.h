#pragma once
// Turns a fuzz input into what a server sends: a series of packets (each one
// receive at most), with anything the client sends accepted.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <string>
#include <vector>

#include "protocol/LogSink.h"
#include "support/FakeTransport.h"

namespace velto::fuzz {

inline std::shared_ptr<test::ScriptedTransportFactory> ServerPackets(FuzzedDataProvider& data) {
    std::vector<test::ScriptStep> steps;
    while (data.remaining_bytes() > 0)
        steps.push_back({test::ScriptStep::ServerSends, data.ConsumeRandomLengthString(8192)});
    return std::make_shared<test::ScriptedTransportFactory>(std::move(steps), false);
}

// Reads every logged byte, so that a bad pointer or length shows.
class TouchingLogSink : public ILogSink {
public:
    void AppendOutput(const std::string& text) override {
        for (char c : text) m_sum += static_cast<unsigned char>(c);
    }
    unsigned long m_sum = 0;
};

}  // namespace velto::fuzz
