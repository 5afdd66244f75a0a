#include "engine/WindowLogSink.h"

namespace velto {

WindowLogSink::WindowLogSink(QObject* receiver, std::function<void(const std::string&)> append)
    : m_channel(std::make_shared<UiChannel>(receiver)), m_append(std::move(append)) {}

void WindowLogSink::AppendOutput(const std::string& text) {
    // By value: after Close() the sender is let go before the call is dropped.
    m_channel->Send([append = m_append, text] { append(text); });
}

}  // namespace velto
