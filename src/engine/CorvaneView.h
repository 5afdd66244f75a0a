#pragma once
// The message-list view's engine: owner of the accounts, the message list,
// the mailbox filter, the busy and new-mail state, the timers and the tray
// icon. It needs no widgets; the windows reach it through its handlers and
// it reaches them through IEngineUi. The tray animations, the dial-up policy
// and the worker threads are classes of their own; workers reach the view
// only through its typed message handlers (IViewMessages). Every public
// method runs on the user-interface thread.
#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/CheckFollowUps.h"
#include "engine/CheckTimers.h"
#include "engine/DialupPolicy.h"
#include "engine/EngineServices.h"
#include "engine/EngineUi.h"
#include "engine/HeaderStoreFile.h"
#include "engine/ImapWatch.h"
#include "engine/MailWorkers.h"
#include "engine/MailboxNames.h"
#include "engine/ManualResetEvent.h"
#include "engine/MessageListModel.h"
#include "engine/MessageStore.h"
#include "engine/NewMailAnnouncer.h"
#include "engine/Notifications.h"
#include "engine/StoredHeaders.h"
#include "engine/TrayAnimator.h"
#include "engine/UiChannel.h"
#include "engine/ViewMessages.h"
#include "engine/WorkOrder.h"
#include "engine/WorkerThreads.h"
#include "settings/Settings.h"

namespace velto {

class ILogSink;
class ITransportFactory;
class ITlsLayer;

inline const std::string kAllMailboxes = "All MailBoxes";

class CCorvaneView : public QObject, public IViewMessages {
    Q_OBJECT
public:
    struct Services {
        IEngineUi* ui = nullptr;
        ITray* tray = nullptr;
        // New mail told with Read and Show; without it, the tray's balloon.
        INotifications* notifications = nullptr;
        ISound* sound = nullptr;
        IDockCount* dock = nullptr;  // the new-mail count on a dock
        ITimerHost* timers = nullptr;
        IDialup* dialup = nullptr;
        IHeaderStoreFile* store = nullptr;
        ILogSink* output = nullptr;  // the conversation log
        std::shared_ptr<ITransportFactory> transports;
        // Connections of one piece of work, so its Cancel cuts nothing else;
        // none: every piece of work shares transports.
        std::function<std::shared_ptr<ITransportFactory>()> workTransports;
        // Save the data file after each check that changed the list (on a
        // thread of its own), not only at the end.
        bool saveAfterEachCheck = false;
        std::shared_ptr<ITlsLayer> tls;
        std::shared_ptr<ISignIn> signIn;  // passwords and tokens
        // Connections for the IMAP accounts' push, a factory per watch;
        // none: IMAP accounts are checked at the interval only.
        ImapWatch::Transports watchTransports;
    };
    // How long shut-down waits for a running worker to stop, so that its
    // records are saved too; then for the watches, once the headers are saved.
    static constexpr std::chrono::milliseconds kWorkerStopWait{1000};
    static constexpr std::chrono::milliseconds kWatchStopWait{500};

    explicit CCorvaneView(Services services, QObject* parent = nullptr);
    ~CCorvaneView() override;

    // Start-up: the view's initial update.
    void OnInitialUpdate();
    // Shut-down: stops the workers, removes the tray icon, saves the data
    // file, drops the records. Runs once; shows nothing. What the save came
    // to is in SaveOutcome().
    void OnDestroy();
    const HeaderStoreOutcome& SaveOutcome() const { return m_stored.FinalOutcome(); }
    // After OnDestroy: a thread that had not returned in time (one inside a
    // name lookup). Everything is saved by then; the program need not wait.
    bool ThreadsLeft() const { return m_threadsLeft; }

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
    // Mark as Read: the IMAP accounts' messages among the rows, on their
    // servers. Offered while an IMAP account is configured; for rows that
    // hold one of its messages.
    void OnMarkRead(const std::vector<int>& selectedRows);
    bool HasImapAccount() const;
    bool AnyImapRow(const std::vector<int>& rows) const;
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
    // The network is back after a time without it; the machine woke up.
    void OnConnectivityBack();
    void OnResumed();

    // An IMAP account's watch heard of new mail; a watch stands or fell.
    void OnImapNews(const std::string& account);
    // The account was signed in anew (the browser): its watches follow.
    void OnSignedIn(const std::string& account);
    void OnWatchState(const std::string& account, const std::string& folder, const std::string& reason);
    // A watch followed up its news on its own connection: records came or went.
    void OnWatchNews(const WatchNews& news);
    int WatchesStanding() const { return m_watch ? m_watch->Standing() : 0; }

    // IViewMessages: the workers' messages.
    void OnListRefresh() override { RefreshList(); }
    void OnRetrieveDone(const WorkOrder& order, RetrieveResult result, const std::string& text) override;
    void OnCheckFailed() override {}  // the failure is already in the conversation log
    void OnDeleteDone() override;
    void OnMarkedRead(const WorkOrder& order) override;
    void OnWorkerDone() override;
    void OnProgressStart(const std::string& text, int range) override;
    void OnProgressStep(const std::string& text, int position) override;
    void OnProgressEnd() override;
    void OnProgressText(const std::string& text) override;
    void OnProgressRange(int upper) override;
    void OnProgressAdvance(int step) override;
    void OnProgressReset() override;
    void OnUntrustedCertificate(const WorkOrder& order, const std::string& account,
                                const PeerCertificate& certificate) override;
    void OnSignInExpired(const WorkOrder& order, const std::string& account) override;
    void OnAccountsChecked(const std::vector<AccountCheck>& results) override;

    // State, for the windows and for tests.
    bool IsBusy() const { return m_busy; }
    const std::string& Filter() const { return m_filter; }
    const std::vector<AccountSettings>& Accounts() const { return m_accounts; }
    MessageStore& Messages() { return *m_messages; }
    MessageListModel* Model() { return &m_model; }
    int NewCount() const { return m_newCount->load(); }
    int MessageCenterPage() const { return m_messageCenterPage; }
    const DialupPolicy& Dialup() const { return m_dialup; }
    const TrayAnimator& Animator() const { return m_animator; }
    // Whether the last piece of work was told to stop.
    bool CancelRequested() const { return m_running.cancel && m_running.cancel->IsSet(); }
    // True while a network worker has not yet marked itself finished.
    bool WorkerActive() const { return m_workers.Active(); }
    // Waits for every worker thread to return. False when one did not in time.
    bool JoinWorker(int timeoutMs) { return m_workers.JoinAll(std::chrono::milliseconds(timeoutMs)); }

    void SetTrayTip(const std::string& tip);

private:
    void StartGetMail();
    void StartScan();
    // page: the Message Center page to show; none keeps the last one.
    void StartRead(ReadIn where, std::optional<int> page);
    // Starts the work as ordered; false (nothing started) while busy.
    bool StartWorker(const WorkOrder& order);
    // Starts it now, or once the work running now has ended.
    void RunAgain(const WorkOrder& order);
    // The busy state of the work that ended is over.
    void EndWork();
    // Then the questions it left go up, and what waits starts.
    void AfterWork();
    void CancelRunning();
    void ShowFetchedMessage(const WorkOrder& order, const std::string& text);
    void RebuildRows();
    void NewMailAlert();
    void ReloadAccounts();
    // The rest of start-up, once the first start's options sheet closed.
    void ContinueStartUp();
    void ArmStartTimers();
    std::optional<MessageKey> FirstSelected();
    // The notice's Read: the message of that id, as "View Type" says.
    void ReadFromNotice(const MessageKey& key);
    // The notice's Mark as Read: the messages it told of.
    void MarkReadFromNotice(const std::vector<MessageKey>& keys);
    // The IMAP account the record counts for; null when none.
    const AccountSettings* ImapAccountOf(const MessageKey& key) const;
    // Accounts gone from the settings take their rows with them.
    void DropRowsOfRemovedAccounts(const std::vector<AccountSettings>& before);
    void RunOptionsSheetAndReload();
    void LoadStoredHeaders(const std::string& database);
    void OnBackgroundSaveFailed(const std::string& path, const HeaderStoreOutcome& outcome);
    void SetTrayIcon(int icon);

    Services m_s;
    std::shared_ptr<UiChannel> m_channel;
    // The piece of work running (or the last one): its order and its cuts.
    struct Running {
        WorkOrder order;
        std::shared_ptr<ManualResetEvent> cancel;
        std::shared_ptr<std::stop_source> stop;
        std::shared_ptr<ITransportFactory> transports;
    };
    Running m_running;
    std::shared_ptr<MessageStore> m_messages;
    MessageListModel m_model;
    TrayAnimator m_animator;
    DialupPolicy m_dialup;
    WorkerThreads m_workers;
    StoredHeaders m_stored;
    bool m_toldSaveFailure = false;

    std::vector<AccountSettings> m_accounts;
    MessageOwners m_owners;  // whose records are whose, among m_accounts
    MailboxNames m_names;    // the chooser's entries and the MailBox column
    std::string m_filter = kAllMailboxes;
    // The new messages the count is made of, oldest first, until the user
    // looks at the list.
    std::vector<MessageKey> m_newKeys;
    std::function<std::vector<int>()> m_selectionSource;
    bool m_busy = false;
    // Written by the worker, read by the UI thread.
    std::shared_ptr<std::atomic<bool>> m_newMailFound;
    std::shared_ptr<std::atomic<int>> m_newCount;
    bool m_reloadPending = false;
    bool m_checkEnding = false;     // the next rebuild ends a check
    bool m_checkCancelled = false;  // the running check was cancelled
    // Questions after a check, and what runs again after a yes.
    CheckFollowUps m_followUps;
    NewMailAnnouncer m_announcer;
    CheckTimers m_checkTimers;
    std::unique_ptr<ImapWatch> m_watch;
    // Why a watched folder cannot be watched, by account and folder: told
    // when an account's word changes, not at every retry.
    std::map<std::string, std::map<std::string, std::string>> m_watchProblems;
    int m_messageCenterPage = IEngineUi::kMessagePage;
    bool m_destroyed = false;
    bool m_initialised = false;
    bool m_threadsLeft = false;
};

}  // namespace velto
