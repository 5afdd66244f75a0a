#include "platform/HeaderStoreFile.h"

#include "shell/MainFrame.h"

namespace velto {

void HeaderStoreFile::ShowMessage(const std::string& text) {
    if (m_frame) m_frame->MessageBox(text);
}

void HeaderStoreFile::LogDetail(const std::string& text) {
    if (m_frame) m_frame->AppendOutput(text);
}

}  // namespace velto
