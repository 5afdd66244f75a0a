#pragma once
// The local data file as the view uses it; the real one is the compressed
// header store, tests use fakes. Loading and saving show nothing: what the
// user must be told is collected in the outcome, so the caller shows it once
// it holds no lock (a message box runs an event loop).
#include <string>
#include <vector>

#include "engine/HeaderStore.h"
#include "protocol/MailHeader.h"

namespace velto {

struct HeaderStoreOutcome {
    bool ok = false;
    std::vector<std::string> messages;  // message boxes for the user
    std::vector<std::string> details;   // texts for the conversation log
};

class IHeaderStoreFile {
public:
    virtual ~IHeaderStoreFile() = default;
    // The existence test used before loading.
    virtual bool Exists(const std::string& path) = 0;
    virtual HeaderStoreOutcome Load(std::vector<StoredHeader>& list, const std::string& path) = 0;
    virtual HeaderStoreOutcome Save(const std::vector<StoredHeader>& list, const std::string& path) = 0;
};

// The compressed header store on disk; full records too.
class HeaderStoreFile : public IHeaderStoreFile {
public:
    bool Exists(const std::string& path) override { return HeaderStoreExists(path); }
    HeaderStoreOutcome Load(std::vector<StoredHeader>& list, const std::string& path) override {
        return Run([&](HeaderStoreReporter& r) { return LoadHeaderStore(list, path, r); });
    }
    HeaderStoreOutcome Save(const std::vector<StoredHeader>& list, const std::string& path) override {
        return Run([&](HeaderStoreReporter& r) { return SaveHeaderStore(list, path, r); });
    }
    HeaderStoreOutcome Load(std::vector<CMailHeader>& list, const std::string& path) {
        return Run([&](HeaderStoreReporter& r) { return LoadHeaderStore(list, path, r); });
    }
    HeaderStoreOutcome Save(const std::vector<CMailHeader>& list, const std::string& path) {
        return Run([&](HeaderStoreReporter& r) { return SaveHeaderStore(list, path, r); });
    }

private:
    struct Collector : HeaderStoreReporter {
        HeaderStoreOutcome outcome;
        void ShowMessage(const std::string& text) override { outcome.messages.push_back(text); }
        void LogDetail(const std::string& text) override { outcome.details.push_back(text); }
    };
    template <typename Work>
    static HeaderStoreOutcome Run(Work work) {
        Collector c;
        c.outcome.ok = work(c);
        return std::move(c.outcome);
    }
};

}  // namespace velto
