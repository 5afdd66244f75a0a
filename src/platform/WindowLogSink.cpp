#include "platform/WindowLogSink.h"

namespace velto {

WindowLogSink::WindowLogSink(QObject* receiver, std::function<void(const std::string&)> append)
    : m_channel(std::make_shared<UiChannel>(receiver)), m_append(std::move(append)) {}

void WindowLogSink::AppendOutput(const std::string& text) {
    m_channel->Send([this, &text] { m_append(text); });
}

}  // namespace velto
