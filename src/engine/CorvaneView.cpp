#include "engine/CorvaneView.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <QPointer>

#include "engine/Ending.h"
#include "protocol/LogSink.h"
#include "protocol/MessageText.h"
#include "protocol/Transport.h"

namespace velto {


CCorvaneView::CCorvaneView(Services services, QObject* parent)
    : QObject(parent),
      m_s(std::move(services)),
      m_channel(std::make_shared<UiChannel>(this)),
      m_cancelRequest(std::make_shared<ManualResetEvent>()),
      m_messages(std::make_shared<MessageStore>()),
      m_animator(*m_s.timers, [this](int icon) { SetTrayIcon(icon); }),
      m_dialup(m_s.dialup),
      m_stored(m_s.store, m_messages, m_s.saveAfterEachCheck,
               [channel = m_channel, this](const std::string& path, const HeaderStoreOutcome& outcome) {
                   channel->Post([this, path, outcome] { OnBackgroundSaveFailed(path, outcome); });
               }),
      m_newMailFound(std::make_shared<std::atomic<bool>>(false)),
      m_newCount(std::make_shared<std::atomic<int>>(0)),
      m_announcer({m_s.tray, m_s.notifications, m_s.sound, m_s.store, m_s.dock}, m_messages, [this] { OnOpen(); },
                  [this](const MessageKey& key) { ReadFromNotice(key); }),
      m_checkTimers(*m_s.timers, m_dialup, [this] { return !m_busy && !m_destroyed; },
                    [this] {
                        SetTrayTip(kCheckingTip);
                        StartWorker(WorkerKind::Scan);
                    }) {
    if (m_s.watchTransports) {
        // The watches' threads reach the view through the channel only.
        ImapWatch::Hooks hooks;
        hooks.news = [channel = m_channel, this](const std::string& account) {
            channel->Post([this, account] { OnImapNews(account); });
        };
        hooks.state = [channel = m_channel, this](const std::string& account, const std::string& reason) {
            channel->Post([this, account, reason] { OnWatchState(account, reason); });
        };
        m_watch = std::make_unique<ImapWatch>(m_s.watchTransports, m_s.tls, m_s.signIn, std::move(hooks));
    }
}

CCorvaneView::~CCorvaneView() {
    OnDestroy();
    m_channel->Close();
}

// ---- start-up and shut-down ------------------------------------------------

void CCorvaneView::OnInitialUpdate() {
    if (m_initialised) return;
    m_initialised = true;
    // 1. The options that start-up needs.
    ConfigurationOptions config(keys::kConfiguration);
    EnvironmentOptions environment(keys::kEnvironment);
    // 2. Nothing of the framework's own is left to do here.
    if (m_s.dialup) m_s.dialup->SetNetworkListener([this] { OnConnectivityBack(); }, [this] { OnResumed(); });
    // 3. Tray icon.
    if (m_s.tray) m_s.tray->Add(kIconIdle, kIdleTip);
    // 4. The list: report style, five columns, images, full-row selection.
    m_s.ui->SetupList();
    // 5. Accounts into the chooser (posts a list refresh).
    LoadAccounts();
    // 6. No account yet: the options sheet, so the user can make one.
    if (m_accounts.empty()) RunOptionsSheetAndReload();
    if (m_destroyed) return;  // the program was told to end meanwhile
    // 7. Stored headers.
    const std::string database = config.GetDatabase();
    if (m_s.store && environment.m_saveHeaders && !database.empty() && m_s.store->Exists(database))
        LoadStoredHeaders(database);
    // 8. Online check, dialling allowed; its answer is not needed here.
    m_dialup.EnsureOnline(true);
    if (m_destroyed) return;
    // 9. Timers, with the options read again.
    config.Load(keys::kConfiguration);
    if (config.m_startupScan && !m_s.timers->SetTimer(kStartupTimerId, kStartupTimerMs))
        m_s.ui->MessageBox("SetTimer() error");
    if (config.m_autoScan && !m_s.timers->SetTimer(kPeriodicTimerId, CheckTimers::PeriodicIntervalMs(config)))
        m_s.ui->MessageBox("SetTimer() error");
}

void CCorvaneView::LoadStoredHeaders(const std::string& database) {
    const HeaderStoreOutcome outcome = m_stored.Load(database);
    for (const auto& detail : outcome.details)
        if (m_s.output) m_s.output->AppendOutput(detail);
    // The boxes about a damaged file come once the main window is up and the
    // loop runs (queued).
    for (const auto& text : outcome.messages)
        m_channel->Post([this, text] { m_s.ui->MessageBox(text); });
    m_channel->Post([this] { OnListRefresh(); });
}

void CCorvaneView::OnDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    EnvironmentOptions environment(keys::kEnvironment);
    // Every worker stops at its next check; a sender waiting on this thread
    // is let go, and a worker blocked on a silent server has its connection
    // cut, so its records can still be saved.
    m_cancelRequest->Set();
    m_channel->Close();
    if (m_s.transports) m_s.transports->AbortAll();
    if (m_s.signIn) m_s.signIn->AbortAll();
    if (m_watch) m_watch->Stop();
    m_workers.JoinAll(kWorkerStopWait);
    m_animator.StopAll();
    m_checkTimers.Stop();
    if (m_s.tray && m_initialised) m_s.tray->Remove();
    if (environment.m_saveHeaders) m_stored.Finish(ConfigurationOptions(keys::kConfiguration).GetDatabase());
    m_messages->Clear();
    m_s.ui->DestroyBrowser();
}

// ---- accounts and the list ------------------------------------------------

void CCorvaneView::LoadAccounts() {
    // Passwords kept in the keyring are not read here: the workers ask for
    // them when they sign in.
    m_accounts = LoadAllAccounts();
    if (m_watch && m_initialised && !m_destroyed) m_watch->Watch(m_accounts);
    m_s.ui->ChooserResetContent();
    auto insertAtTop = [&](const std::string& name) {
        m_s.ui->ChooserInsertAtTop(name);
        m_s.ui->ChooserSetCurSel(0);
        m_filter = name;
    };
    for (const auto& account : m_accounts) insertAtTop(account.GetServerName());
    insertAtTop(kAllMailboxes);
    m_channel->Post([this] { OnListRefresh(); });
}

void CCorvaneView::ReloadAccounts() {
    LoadAccounts();
    m_reloadPending = false;
}

void CCorvaneView::RunOptionsSheetAndReload() {
    m_s.ui->OpenOptionsSheet([self = QPointer<CCorvaneView>(this)](bool written) {
        if (!self || !written || self->m_destroyed) return;
        if (self->m_busy) self->m_reloadPending = true;
        else self->ReloadAccounts();
    });
}

void CCorvaneView::OnMailProperties() { RunOptionsSheetAndReload(); }

void CCorvaneView::RebuildRows() {
    std::vector<StoredHeader> rows;
    m_messages->WithList([&](const std::vector<StoredHeader>& list) {
        rows.reserve(list.size());
        const bool all = m_filter == kAllMailboxes;
        for (const auto& record : list) {
            if (!all && record.AccountServer() != m_filter) continue;
            rows.push_back(record);
        }
    });
    const int shown = static_cast<int>(rows.size());
    m_model.Reset(std::move(rows));
    char title[600];
    std::snprintf(title, sizeof title, "VeltoMail 98 - %s - %d Messages", m_filter.c_str(), shown);
    m_s.ui->SetFrameTitle(title);
}

void CCorvaneView::RefreshList() {
    if (m_s.ui->HasProgressWindow()) m_s.ui->DestroyProgressWindow();
    RebuildRows();
    m_channel->Post([this] { OnWorkerDone(); });
    NewMailAlert();
    // A connection we dialled goes down once the check that needed it is over:
    // not in the middle of one (the filter changed), and not at a rebuild
    // that no check asked for (start-up dials before its first scan).
    if (m_checkEnding && !WorkerActive()) {
        m_checkEnding = false;
        m_dialup.HangUpAfterCheck();
    }
    if (!m_destroyed && EnvironmentOptions(keys::kEnvironment).m_saveHeaders)
        m_stored.SaveIfChanged(ConfigurationOptions(keys::kConfiguration).GetDatabase());
}

void CCorvaneView::OnBackgroundSaveFailed(const std::string& path, const HeaderStoreOutcome& outcome) {
    if (m_s.output)
        for (const auto& detail : outcome.details) m_s.output->AppendOutput(detail);
    // Once a run: the next saves are tried all the same, and the end of the
    // program says so again if the last one fails too.
    if (std::exchange(m_toldSaveFailure, true)) return;
    m_s.ui->MessageBox("The message headers could not be saved to " + path +
                       ".\nThey are kept while VeltoMail runs and saved again after the next check.");
}

void CCorvaneView::OnMailboxSelChange(const std::string& text) {
    m_filter = text;
    RefreshList();
}

// ---- new-mail alert, tray ---------------------------------------------------

void CCorvaneView::SetTrayTip(const std::string& tip) { m_announcer.SetTip(tip); }

void CCorvaneView::SetTrayIcon(int icon) {
    if (m_s.tray) m_s.tray->SetIcon(icon);
}

void CCorvaneView::NewMailAlert() {
    if (!m_newMailFound->load()) {
        SetTrayTip(kIdleTip);
        return;
    }
    m_announcer.NewMail(m_newCount->load());
    m_animator.StartBlink();
    m_newMailFound->store(false);
}

void CCorvaneView::ReadFromNotice(const MessageKey& key) {
    OnOpen();
    OnListClick();
    m_readIn = ReadIn::AsViewTypeSays;
    m_messageCenterPage = IEngineUi::kMessagePage;
    if (m_busy || !m_messages->Contains(key)) return;
    m_selected = {key};
    // The row matters only as "something chosen": the id finds the message.
    m_selectedRows = {0};
    StartWorker(WorkerKind::Retrieve);
}

void CCorvaneView::OnListClick() {
    m_animator.StopBlink();
    m_newCount->store(0);
    SetTrayTip(kIdleTip);
    m_announcer.Seen();
}

void CCorvaneView::OnListDoubleClick() {
    OnListClick();
    m_readIn = ReadIn::AsViewTypeSays;
    m_messageCenterPage = IEngineUi::kMessagePage;
    if (m_busy) return;
    m_selectedRows.clear();
    m_selected.clear();
    TakeFirstSelectedRow();
    if (!m_selectedRows.empty()) StartWorker(WorkerKind::Retrieve);
}

// ---- timers -------------------------------------------------------------------

void CCorvaneView::OnTimer(int id) {
    if (m_destroyed || m_animator.OnTimer(id)) return;
    m_checkTimers.OnTimer(id);
}

void CCorvaneView::OnConnectivityBack() {
    if (m_watch) m_watch->Wake();
    m_checkTimers.OnConnectivityBack();
}

void CCorvaneView::OnResumed() {
    if (m_destroyed) return;
    if (m_watch) m_watch->Wake();
    m_checkTimers.OnResumed();
}

void CCorvaneView::OnImapNews(const std::string& account) {
    if (m_destroyed) return;
    // Only that account, and after a check that is running.
    RunAgainFor(WorkerKind::Scan, {account});
}

void CCorvaneView::OnWatchState(const std::string& account, const std::string& reason) {
    if (m_destroyed) return;
    std::vector<std::string> names;
    for (const auto& a : m_accounts)
        if (!a.m_disabled) names.push_back(a.GetAccountName());
    m_s.ui->SetPaneText(m_announcer.Checked(names, {{account, reason}}), 0);
}

// ---- commands ---------------------------------------------------------------------

void CCorvaneView::OnGetMail() { StartGetMail(); }

void CCorvaneView::StartGetMail() {
    if (m_busy) return;  // one worker at a time, whatever the menus show
    if (!m_s.ui->HasProgressWindow()) m_s.ui->CreateProgressWindow();
    m_s.ui->ShowProgressWindow("Getting New Mail");
    StartWorker(WorkerKind::CheckMail);
    SetTrayTip(kCheckingTip);
}

void CCorvaneView::OnRefresh() { StartScan(); }

void CCorvaneView::StartScan() {
    if (m_busy) return;
    StartWorker(WorkerKind::Scan);
}

void CCorvaneView::SetSelectionSource(std::function<std::vector<int>()> selectedRows) {
    m_selectionSource = std::move(selectedRows);
}

void CCorvaneView::TakeFirstSelectedRow() {
    if (!m_selectionSource) return;
    const auto rows = m_selectionSource();
    if (rows.empty()) return;
    const int row = rows.front();
    if (row < 0 || row >= m_model.rowCount()) return;
    m_selectedRows.push_back(row);
    m_selected.push_back(m_model.KeyAt(row));
}

void CCorvaneView::StartRead(ReadIn where, std::optional<int> page) {
    m_readIn = where;
    if (page) m_messageCenterPage = *page;
    if (m_busy) return;
    m_selectedRows.clear();
    m_selected.clear();
    TakeFirstSelectedRow();
    if (m_selectedRows.empty()) return;
    StartWorker(WorkerKind::Retrieve);
}

void CCorvaneView::OnReadMessage() { StartRead(ReadIn::MessageCenter, IEngineUi::kMessagePage); }
void CCorvaneView::OnReadAsWebPage() { StartRead(ReadIn::Browser, std::nullopt); }
void CCorvaneView::OnMessageStatistics() { StartRead(ReadIn::MessageCenter, IEngineUi::kHeaderPage); }

void CCorvaneView::OnDeleteMessage(const std::vector<int>& selectedRows) {
    if (m_busy) return;  // the command is disabled while busy; keep one worker
    m_selected.clear();
    for (int row : selectedRows) {
        if (row < 0 || row >= m_model.rowCount()) continue;
        m_selectedRows.push_back(row);
        m_selected.push_back(m_model.KeyAt(row));
    }
    StartWorker(WorkerKind::Delete);
}

void CCorvaneView::OnPerformMaintenance() {
    if (m_busy) return;
    m_model.Clear();
    m_messages->Clear();
    StartWorker(WorkerKind::Scan);
}

void CCorvaneView::OnWebBrowser() { m_s.ui->OpenBrowser(); }
void CCorvaneView::OnOpen() { m_s.ui->ShowMainWindow(); }
void CCorvaneView::OnAbout() { m_s.ui->ShowAbout(); }

void CCorvaneView::OnProgressCancel() {
    // The window destroys itself. The worker's connection is cut, so a
    // silent server cannot hold it; it stops at once and makes no other.
    if (WorkerActive()) {
        m_cancelRequest->Set();
        m_checkCancelled = true;
        if (m_s.transports) m_s.transports->AbortAll();
        if (m_s.signIn) m_s.signIn->AbortAll();
        // The watches' connections are cut too, and made anew.
        if (m_watch) m_watch->Wake();
    }
}

void CCorvaneView::OnBrowserClosed() {}

// ---- workers ------------------------------------------------------------------------

void CCorvaneView::StartWorker(WorkerKind kind, const std::vector<std::string>& only) {
    if (m_destroyed || EndBegun() || m_workers.Active()) return;  // never two network workers
    std::vector<AccountSettings> accounts;
    for (const auto& account : m_accounts)
        if (only.empty() || std::find(only.begin(), only.end(), account.GetAccountName()) != only.end())
            accounts.push_back(account);
    auto context = std::make_shared<WorkerContext>(WorkerContext{
        kind, std::move(accounts), m_selected, m_messages, m_cancelRequest, ViewMessenger(m_channel, this),
        m_newMailFound, m_newCount, m_workers.ActiveFlag(), m_s.transports, m_s.output,
        EnvironmentOptions(keys::kEnvironment).m_quickCheck != 0, m_s.tls, m_s.signIn});
    m_workerKind = kind;
    m_busy = true;
    m_s.ui->SetWaitCursor(true);
    m_animator.StartBusy();
    m_cancelRequest->Reset();
    // A Cancel before this one left the connections cut.
    if (m_s.transports) m_s.transports->Resume();
    if (m_s.signIn) m_s.signIn->Resume();
    m_checkCancelled = false;
    m_checkEnding = kind == WorkerKind::CheckMail || kind == WorkerKind::Scan;
    m_workers.Start([context] { RunMailWorker(*context); });
}

void CCorvaneView::OnWorkerDone() {
    // A rebuild of the list while the worker still runs (the user picked
    // another mailbox) must not end the busy state: one worker at a time.
    if (m_workers.Active()) return;
    // A Cancel cut the sign-in calls of this worker only: a reply sent now
    // needs them again.
    if (m_s.signIn) m_s.signIn->Resume();
    // Not busy first: the window reads the command states when the cursor
    // changes.
    const bool wasBusy = m_busy;
    m_busy = false;
    m_s.ui->SetWaitCursor(false);
    m_animator.StopBusy();
    if (m_reloadPending) ReloadAccounts();
    // A cancelled check sends no refresh: what it stored shows now; the alert
    // waits for the next refresh.
    if (wasBusy && m_checkCancelled) {
        m_checkCancelled = false;
        RebuildRows();
        // The user's cut, not a failure of the last check's accounts.
        m_s.ui->SetPaneText("Cancelled", 0);
    }
    if (m_destroyed) return;
    // Asked after a check the user started, once per account; the answers
    // come later, and a yes runs that work again for that account (after
    // whatever worker runs then).
    const WorkerKind kind = m_workerKind;
    m_followUps.Ask(*m_s.ui, kind,
                    [self = QPointer<CCorvaneView>(this), kind](const std::string& account, const std::string& fingerprint) {
                        if (!self || self->m_destroyed) return;
                        if (!fingerprint.empty())
                            for (AccountSettings& held : self->m_accounts)
                                if (held.GetAccountName() == account) held.m_incomingCertificate = fingerprint;
                        self->RunAgainFor(kind, {account});
                    });
    if (!m_workers.Active())
        if (auto later = m_followUps.TakeLater()) RunAgainFor(later->first, later->second);
}

void CCorvaneView::OnSignInExpired(const std::string& account) { m_followUps.SignInExpired(account); }

void CCorvaneView::RunAgainFor(WorkerKind kind, const std::vector<std::string>& accounts) {
    if (m_destroyed || EndBegun()) return;
    if (m_workers.Active()) {  // after the worker that runs now
        m_followUps.Later(kind, accounts);
        return;
    }
    // The user just said yes: what failed for want of that trust runs again
    // at once, for those accounts only.
    if (kind == WorkerKind::CheckMail) {
        if (!m_s.ui->HasProgressWindow()) m_s.ui->CreateProgressWindow();
        m_s.ui->ShowProgressWindow("Getting New Mail");
        SetTrayTip(kCheckingTip);
    }
    StartWorker(kind, accounts);
}

void CCorvaneView::OnUntrustedCertificate(const std::string& account, const PeerCertificate& certificate) {
    m_followUps.UntrustedCertificate(account, certificate);
}

void CCorvaneView::OnAccountsChecked(const std::vector<AccountCheck>& results) {
    std::vector<std::string> names;
    for (const auto& account : m_accounts)
        if (!account.m_disabled) names.push_back(account.GetAccountName());
    m_s.ui->SetPaneText(m_announcer.Checked(names, results), 0);
}

void CCorvaneView::OnDeleteDone() {
    m_selectedRows.clear();
    m_channel->Post([this] { OnListRefresh(); });
}

void CCorvaneView::OnRetrieveDone(RetrieveResult result, const std::string& text) {
    OnWorkerDone();
    if (m_busy) return;  // a certificate trusted just now: the read runs again
    if (m_selectedRows.empty()) return;
    m_selectedRows.clear();
    // The worker read every message of the mailbox and none was this one:
    // the stored header is stale. Failed connections or logins say nothing
    // here; their reason is in the conversation log.
    if (result == RetrieveResult::NotOnServer) {
        m_s.ui->MessageBox(
            "The Message does not exist on your server. It may have been removed\t\t\t\t\t\t\tby another email "
            "client. Please Perform Maintainance to rescan your\t\t\t\t\t\t\tmail server, or turn off \"Save "
            "Headers Locally\" in the VeltoMail \t\t\t\t\t\t\tEnvironment Options");
        return;
    }
    if (result == RetrieveResult::Fetched) ShowFetchedMessage(text);
}

void CCorvaneView::ShowFetchedMessage(const std::string& text) {
    CMailHeader record;
    if (m_selected.empty() || !m_messages->FindFirst(m_selected.front(), record)) return;
    EnvironmentOptions environment(keys::kEnvironment);
    if (m_readIn == ReadIn::AsViewTypeSays) {
        if (environment.m_viewType == kViewAsWebPage) m_readIn = ReadIn::Browser;
        else if (environment.m_viewType == kViewInMessageCenter) m_readIn = ReadIn::MessageCenter;
    }
    const CMessageText message = CMessageText::ForReading(record, text);
    if (m_readIn != ReadIn::MessageCenter) m_s.ui->ShowInBrowser(record, message);
    if (m_readIn != ReadIn::Browser) {
        const int page = (m_messageCenterPage >= 0 && m_messageCenterPage <= IEngineUi::kHeaderPage)
                             ? m_messageCenterPage
                             : IEngineUi::kMessagePage;
        m_s.ui->ShowInMessageCenter(record, message, page);
    }
}

// ---- status bar and Get Mail window ----------------------------------------------------

void CCorvaneView::OnProgressStart(const std::string& text, int range) {
    m_s.ui->SetProgress(0, range);
    m_s.ui->SetPaneText(text, 0);
}

void CCorvaneView::OnProgressStep(const std::string& text, int position) {
    m_s.ui->SetPaneText(text, 0);
    m_s.ui->SetProgress(position, 0);
}

void CCorvaneView::OnProgressEnd() {
    m_s.ui->SetPaneText("Ready", 0);
    m_s.ui->SetProgress(-1, 0);
    m_s.ui->ClearMessages(false);
}

void CCorvaneView::OnProgressText(const std::string& text) {
    if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressText(text);
}

void CCorvaneView::OnProgressRange(int upper) {
    if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressRange(upper);
}

void CCorvaneView::OnProgressAdvance(int step) {
    if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressAdvance(step);
}

void CCorvaneView::OnProgressReset() {
    if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressReset();
}

}  // namespace velto
