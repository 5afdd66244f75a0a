#pragma once
// The network workers: check and scan (every account, headers of unseen
// messages), retrieve (one message's text) and delete. Each runs on its own
// thread with copies of what it needs; it reaches the view only through
// posted and sent messages.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/CorvaneView.h"

namespace velto {

struct WorkerContext {
    CCorvaneView::WorkerKind kind = CCorvaneView::WorkerKind::Scan;
    std::vector<AccountSettings> accounts;
    std::vector<std::uint32_t> selectedIds;  // retrieve: the first one; delete: every one
    std::shared_ptr<MessageStore> messages;
    std::shared_ptr<EngineEvents> events;
    std::shared_ptr<UiChannel> channel;
    std::shared_ptr<std::atomic<bool>> newMailFound;
    std::shared_ptr<std::atomic<int>> newCount;
    std::shared_ptr<std::atomic<bool>> active;
    std::shared_ptr<ManualResetEvent> finished;
    std::shared_ptr<ITransportFactory> transports;
    ILogSink* output = nullptr;
    CCorvaneView* view = nullptr;  // only touched on the UI thread, through the channel

    // Worker thread: view messages.
    void Post(unsigned message, std::intptr_t lParam = 0);
    void Send(unsigned message, const std::string& text = {}, std::intptr_t lParam = 0);
    // Posted with an owned copy of the text (the Get Mail window's status
    // lines, the fetched message).
    void PostText(unsigned message, const std::string& text, std::intptr_t value = 0);
    // Marks the worker finished before its last message goes out, so the view
    // knows the thread is done when it handles that message.
    void Finish();
};

// Worker thread entry.
void RunMailWorker(std::shared_ptr<WorkerContext> context);

}  // namespace velto
