#pragma once
// The view's messages, one typed handler each, named after its message
// (numbers in EngineMessages.h), and the worker's side that delivers them:
// "post" queues the call, "send" waits until the UI thread has handled it.
// Texts travel by value, so nothing a worker owns is read after it moved on.
#include <memory>
#include <string>

#include <vector>

#include "engine/CheckFailures.h"
#include "engine/EngineMessages.h"
#include "engine/WorkOrder.h"
#include "protocol/Transport.h"

namespace velto {

class UiChannel;

// What the fetch of one message came to (UWM_RETRIEVE_DONE).
enum class RetrieveResult : long {
    Nothing = kRetrieveNothing,        // connection or login failed, cancelled
    Fetched = kRetrieveFetched,        // the text is here
    NotOnServer = kRetrieveNotOnServer,  // the whole mailbox was read; not there
};

// UI thread only. The messages that end a piece of work, or leave a question
// after it, carry that work's order.
class IViewMessages {
public:
    virtual ~IViewMessages() = default;
    virtual void OnListRefresh() = 0;                                           // UWM_LIST_REFRESH
    virtual void OnRetrieveDone(const WorkOrder& order, RetrieveResult result,
                                const std::string& text) = 0;  // UWM_RETRIEVE_DONE
    virtual void OnCheckFailed() = 0;                                           // UWM_CHECK_FAILED
    virtual void OnDeleteDone() = 0;                                            // UWM_DELETE_DONE
    // Mark as Read is over: the order's messages that left the list were read.
    virtual void OnMarkedRead(const WorkOrder& order) = 0;
    virtual void OnWorkerDone() = 0;                                            // UWM_WORKER_DONE
    virtual void OnProgressStart(const std::string& text, int range) = 0;       // UWM_PROGRESS_START
    virtual void OnProgressStep(const std::string& text, int position) = 0;     // UWM_PROGRESS_STEP
    virtual void OnProgressEnd() = 0;                                           // UWM_PROGRESS_END
    // The Get Mail window's messages, through the view.
    virtual void OnProgressText(const std::string& text) = 0;  // UWM_PROGRESS_TEXT
    virtual void OnProgressRange(int upper) = 0;               // UWM_PROGRESS_RANGE
    virtual void OnProgressAdvance(int step) = 0;              // UWM_PROGRESS_ADVANCE
    virtual void OnProgressReset() = 0;                        // UWM_PROGRESS_RESET
    // A check or scan ran to its end: how each account it tried went.
    virtual void OnAccountsChecked(const std::vector<AccountCheck>& results) = 0;
    // An account's server showed a certificate that failed verification.
    virtual void OnUntrustedCertificate(const WorkOrder& order, const std::string& account,
                                        const PeerCertificate& certificate) = 0;
    // An account's OAuth2 sign-in was refused even with a fresh token.
    virtual void OnSignInExpired(const WorkOrder& order, const std::string& account) = 0;
};

// Any thread. The target is reached only through the channel, so after the
// channel closes nothing reaches it.
class ViewMessenger {
public:
    ViewMessenger() = default;
    ViewMessenger(std::shared_ptr<UiChannel> channel, IViewMessages* target, WorkOrder order = {})
        : m_channel(std::move(channel)), m_target(target), m_order(std::make_shared<const WorkOrder>(std::move(order))) {}

    void PostListRefresh();
    void PostCheckFailed();
    void PostWorkerDone();
    void PostAccountsChecked(std::vector<AccountCheck> results);
    void PostUntrustedCertificate(std::string account, PeerCertificate certificate);
    void PostSignInExpired(std::string account);
    void SendRetrieveDone(RetrieveResult result);
    void PostRetrieveDone(RetrieveResult result, std::string text);
    void SendDeleteDone();
    void PostMarkedRead();
    void SendProgressStart(std::string text, int range);
    void SendProgressStep(std::string text, int position);
    void SendProgressEnd();
    void PostProgressEnd();
    void PostProgressText(std::string text);
    void PostProgressRange(int upper);
    void PostProgressAdvance(int step);
    void PostProgressReset();

private:
    template <typename Fn>
    void Post(Fn fn);
    template <typename Fn>
    void Send(Fn fn);
    std::shared_ptr<UiChannel> m_channel;
    IViewMessages* m_target = nullptr;
    std::shared_ptr<const WorkOrder> m_order;
};

}  // namespace velto
