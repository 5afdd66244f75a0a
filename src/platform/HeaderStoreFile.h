#pragma once
// The view's data file: the compressed header store, with its messages
// shown in message boxes and its detail texts in the conversation log.
#include "engine/HeaderStore.h"
#include "engine/HeaderStoreFile.h"

namespace velto {

class CMainFrame;

class HeaderStoreFile : public IHeaderStoreFile, public HeaderStoreReporter {
public:
    explicit HeaderStoreFile(CMainFrame* frame) : m_frame(frame) {}
    bool Exists(const std::string& path) override { return HeaderStoreExists(path); }
    bool Load(std::vector<CMailHeader>& list, const std::string& path) override {
        return LoadHeaderStore(list, path, *this);
    }
    bool Save(const std::vector<CMailHeader>& list, const std::string& path) override {
        return SaveHeaderStore(list, path, *this);
    }
    void ShowMessage(const std::string& text) override;
    void LogDetail(const std::string& text) override;

private:
    CMainFrame* m_frame;
};

}  // namespace velto
