#pragma once
// The conversation log's receiver: the worker hands each text to the main
// window's output window and waits until the UI thread has appended it.
#include <functional>
#include <memory>

#include "engine/UiChannel.h"
#include "protocol/LogSink.h"

namespace velto {

class WindowLogSink : public ILogSink {
public:
    // append runs on the UI thread; receiver lives there.
    WindowLogSink(QObject* receiver, std::function<void(const std::string&)> append);
    // Any thread.
    void AppendOutput(const std::string& text) override;
    void Close() { m_channel->Close(); }

private:
    std::shared_ptr<UiChannel> m_channel;
    std::function<void(const std::string&)> m_append;
};

}  // namespace velto
