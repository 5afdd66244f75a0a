#pragma once
// The network workers: check and scan (every account, headers of unseen
// messages), retrieve (one message's text) and delete. Each runs on its own
// thread with copies of what it needs; it reaches the view only through its
// messages.
#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/EngineServices.h"
#include "engine/ManualResetEvent.h"
#include "engine/MessageStore.h"
#include "engine/ViewMessages.h"
#include "engine/WorkOrder.h"
#include "settings/Settings.h"

namespace velto {

class ILogSink;
class ITransportFactory;
class ITlsLayer;

// Everything one worker uses, its own from the start: the accounts as they
// were when it was asked for, its targets, its cancel and its connections.
struct WorkerContext {
    WorkerKind kind = WorkerKind::Scan;
    // The accounts to visit.
    std::vector<AccountSettings> accounts;
    std::vector<MessageKey> selected;  // retrieve: the first one; delete, mark read: every one
    // Whose records are whose, from every configured account: a check of one
    // account decides about that account's records only.
    MessageOwners owners;
    std::shared_ptr<MessageStore> messages;
    // This work's cancel: set by its Cancel or the end, nothing else's.
    std::shared_ptr<ManualResetEvent> cancelRequest;
    std::stop_token stop;  // the same cut, for the sign-in and keyring waits
    ViewMessenger view;
    std::shared_ptr<std::atomic<bool>> newMailFound;
    std::shared_ptr<std::atomic<int>> newCount;
    std::shared_ptr<std::atomic<bool>> active;
    std::shared_ptr<ITransportFactory> transports;  // this work's connections
    ILogSink* output = nullptr;
    bool quickCheck = false;  // every id in one listing, headers in batches
    std::shared_ptr<ITlsLayer> tls;  // for accounts with SSL/TLS or STARTTLS
    std::shared_ptr<ISignIn> signIn;  // passwords and tokens

    // Marks the worker finished before its last message goes out, so the view
    // knows the worker is done when it handles that message.
    void Finish() { active->store(false); }
};

// Worker thread entry.
void RunMailWorker(WorkerContext& context);

}  // namespace velto
