#pragma once
// The message-list view's engine: owner of the accounts, the message list,
// the mailbox filter, the busy and new-mail state, the timers and the tray
// icon. It needs no widgets; the windows reach it through its handlers and
// it reaches them through IEngineUi. Every public method runs on the
// user-interface thread unless it says otherwise.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineMessages.h"
#include "engine/EngineServices.h"
#include "engine/EngineUi.h"
#include "engine/HeaderStoreFile.h"
#include "engine/ManualResetEvent.h"
#include "engine/MessageListModel.h"
#include "engine/MessageStore.h"
#include "engine/UiChannel.h"
#include "settings/Settings.h"

namespace velto {

class ILogSink;
class ITransportFactory;
struct WorkerContext;

inline const std::string kAllMailboxes = "All MailBoxes";
inline const std::string kIdleTip = "VeltoMail 98";
inline const std::string kCheckingTip = "VeltoMail 98 - Checking For New Mail";

class CCorvaneView : public QObject {
    Q_OBJECT
public:
    struct Services {
        IEngineUi* ui = nullptr;
        ITray* tray = nullptr;
        ISound* sound = nullptr;
        ITimerHost* timers = nullptr;
        IDialup* dialup = nullptr;
        IHeaderStoreFile* store = nullptr;
        ILogSink* output = nullptr;  // the conversation log
        std::shared_ptr<ITransportFactory> transports;
    };
    // Which network worker to run.
    enum class WorkerKind { CheckMail, Scan, Retrieve, Delete };

    explicit CCorvaneView(Services services, QObject* parent = nullptr);
    ~CCorvaneView() override;

    // Start-up: the view's initial update.
    void OnInitialUpdate();
    // Shut-down: events, tray, data file, records, browser. Runs once.
    void OnDestroy();

    // Accounts and the list.
    void LoadAccounts();
    void RefreshList();
    void OnMailboxSelChange(const std::string& text);
    void OnMailProperties();

    // Commands.
    void OnGetMail();
    void OnRefresh();  // also the tray's "Check Mail Now"
    void OnReadMessage();
    void OnReadAsWebPage();
    void OnMessageStatistics();
    void OnDeleteMessage(const std::vector<int>& selectedRows);
    void OnPerformMaintenance();
    void OnWebBrowser();
    void OnOpen();
    void OnAbout();
    bool CommandsEnabled() const { return !m_busy; }

    // The list widget: clicks, and which rows are selected.
    void SetSelectionSource(std::function<std::vector<int>()> selectedRows);
    void OnListClick();
    void OnListDoubleClick();

    // The progress window's Cancel ("MessageToParent" 1088).
    void OnProgressCancel();
    // The web browser window closed ("MessageToParent" 1426).
    void OnBrowserClosed();

    // Window timers (ids 17 and 19, and the tray animations).
    void OnTimer(int id);

    // "Posted" and "sent" view messages; any thread.
    void PostMessage(unsigned message, std::intptr_t lParam = 0);
    void SendMessage(unsigned message, const std::string& text = {}, std::intptr_t lParam = 0);

    // State, for the windows and for tests.
    bool IsBusy() const { return m_busy; }
    const std::string& Filter() const { return m_filter; }
    const std::vector<AccountSettings>& Accounts() const { return m_accounts; }
    MessageStore& Messages() { return *m_messages; }
    MessageListModel* Model() { return &m_model; }
    int NewCount() const { return m_newCount->load(); }
    bool DialledByUs() const { return m_dialledByUs; }
    bool ReloadPending() const { return m_reloadPending; }
    int ViewMode() const { return m_viewMode; }
    int MessageCenterPage() const { return m_messageCenterPage; }
    EngineEvents& Events() { return *m_events; }
    // True while a network worker thread has not yet finished.
    bool WorkerActive() const { return m_workerActive->load(); }
    // For tests and shut-down: wait for the worker thread (any thread but the
    // worker's own). False when it did not end in time.
    bool JoinWorker(int timeoutMs);

    // Online check before a timer scan.
    bool EnsureOnline(bool dialAllowed);
    void SetTrayTip(const std::string& tip);
    void SetTrayIcon(int icon);

    // Seams for tests of the alert and the animations: what a check leaves
    // behind, and the start of a worker's busy frames.
    void SetNewMailForTest(int newCount) {
        m_newMailFound->store(true);
        m_newCount->store(newCount);
    }
    void StartBusyAnimationForTest() {
        StartBusyAnimation();
        m_events->busyAnimationStop.Reset();
    }

    static constexpr int kBusyAnimationTimerId = 1001;
    static constexpr int kBlinkTimerId = 1002;

private:
    friend struct WorkerContext;
    void DispatchMessage(unsigned message, const std::string& text, std::intptr_t lParam);
    void StartGetMail();
    void StartScan();
    void StartRead(int viewMode, int page, bool setPage);
    void StartWorker(WorkerKind kind);
    void OnWorkerDone();
    void ShowFetchedMessage(std::intptr_t fetched, const std::string& text);
    void NewMailAlert();
    void HangUpAfterCheck();
    void ReloadAccounts();
    void TakeFirstSelectedRow();
    void RunOptionsSheetAndReload();
    bool IsOnline();

    // Tray animations on the UI thread's timers.
    void StartBusyAnimation();
    void BusyAnimationTick();
    void FinishBusyAnimation();
    void StartBlink();
    void BlinkTick();
    void FinishBlink();

    Services m_s;
    std::shared_ptr<UiChannel> m_channel;
    std::shared_ptr<EngineEvents> m_events;
    std::shared_ptr<MessageStore> m_messages;
    MessageListModel m_model;

    std::vector<AccountSettings> m_accounts;
    std::string m_filter = kAllMailboxes;
    std::vector<int> m_selectedRows;
    std::vector<std::uint32_t> m_selectedIds;
    std::function<std::vector<int>()> m_selectionSource;
    bool m_busy = false;
    // Written by the worker, read by the UI thread.
    std::shared_ptr<std::atomic<bool>> m_newMailFound;
    std::shared_ptr<std::atomic<int>> m_newCount;
    std::shared_ptr<std::atomic<bool>> m_workerActive;
    std::shared_ptr<ManualResetEvent> m_workerFinished;
    std::thread m_worker;
    bool m_reloadPending = false;
    bool m_dialledByUs = false;
    bool m_checkEnding = false;  // the next rebuild ends a check
    int m_viewMode = 0;
    int m_messageCenterPage = 0;
    std::string m_retrievedText;
    bool m_destroyed = false;
    bool m_initialised = false;
    std::string m_trayTip;
    int m_trayIcon = kIconIdle;

    enum class Anim { Idle, Running, WaitingForBusy };
    Anim m_busyAnim = Anim::Idle;
    int m_busyFrame = 0;
    Anim m_blink = Anim::Idle;
    int m_blinkFrame = 0;
};

}  // namespace velto
