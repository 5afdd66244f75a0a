#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "protocol/LogSink.h"

namespace velto::test {

// Keeps every text the client writes to the conversation log.
class RecordingLogSink : public ILogSink {
public:
    void AppendOutput(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(text);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::string Text() const {
        std::lock_guard lock(m_mutex);
        std::string all;
        for (const auto& l : m_lines) all += l;
        return all;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace velto::test
