#include "engine/CorvaneView.h"

#include <algorithm>
#include <cstdio>
#include <set>
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
                        StartWorker(WorkOrder::Of(WorkerKind::Scan));
                    }) {
    if (m_s.watchTransports) {
        // The watches' threads reach the view through the channel only.
        ImapWatch::Hooks hooks;
        hooks.news = [channel = m_channel, this](const std::string& account) {
            channel->Post([this, account] { OnImapNews(account); });
        };
        hooks.state = [channel = m_channel, this](const std::string& account, const std::string& folder,
                                                   const std::string& reason) {
            channel->Post([this, account, folder, reason] { OnWatchState(account, folder, reason); });
        };
        hooks.fetched = [channel = m_channel, this](const WatchNews& news) {
            channel->Post([this, news] { OnWatchNews(news); });
        };
        m_watch = std::make_unique<ImapWatch>(m_s.watchTransports, m_s.tls, m_s.signIn, std::move(hooks),
                                              std::chrono::minutes(9), m_messages);
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
    // 1. The options that start-up needs are read where they are used,
    // after the first start's sheet may have changed them.
    // 2. Nothing of the framework's own is left to do here.
    if (m_s.dialup) m_s.dialup->SetNetworkListener([this] { OnConnectivityBack(); }, [this] { OnResumed(); });
    // 3. Tray icon.
    if (m_s.tray) m_s.tray->Add(kIconIdle, kIdleTip);
    // 4. The list: report style, five columns, images, full-row selection.
    m_s.ui->SetupList();
    // 5. Accounts into the chooser (posts a list refresh).
    LoadAccounts();
    // 6. No account yet: the options sheet, so the user can make one.
    // Start-up goes on once it closes, with what it saved, whatever the
    // answer: the timers the user just chose are armed then.
    if (m_accounts.empty()) {
        m_s.ui->OpenOptionsSheet([self = QPointer<CCorvaneView>(this)](bool written) {
            if (!self || self->m_destroyed) return;
            if (written) self->ReloadAccounts();
            self->ContinueStartUp();
        });
        return;
    }
    ContinueStartUp();
}

void CCorvaneView::ContinueStartUp() {
    if (m_destroyed) return;  // the program was told to end meanwhile
    // 7. Stored headers.
    const ConfigurationOptions config(keys::kConfiguration);
    const EnvironmentOptions environment(keys::kEnvironment);
    const std::string database = config.GetDatabase();
    if (m_s.store && environment.m_saveHeaders && !database.empty() && m_s.store->Exists(database))
        LoadStoredHeaders(database);
    // 8. Online check, dialling allowed; its answer is not needed here, but
    // the timers wait for the dial dialog to close.
    m_dialup.EnsureOnline(true, [self = QPointer<CCorvaneView>(this)](bool) {
        if (self) self->ArmStartTimers();
    });
}

void CCorvaneView::ArmStartTimers() {
    if (m_destroyed) return;
    // 9. Timers, with the options read again.
    const ConfigurationOptions config(keys::kConfiguration);
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
    // The worker stops at its next check; a sender waiting on this thread
    // is let go, and a worker blocked on a silent server has its connection
    // cut, so its records can still be saved. The watches are cut too, but
    // waited for only once the headers are saved: one may be inside a name
    // lookup, which nothing cuts.
    if (!m_running.cancel) m_running.cancel = std::make_shared<ManualResetEvent>();
    CancelRunning();
    m_channel->Close();
    if (m_s.transports) m_s.transports->AbortAll();
    if (m_s.signIn) m_s.signIn->AbortAll();
    if (m_watch) m_watch->Stop(std::chrono::milliseconds(0));
    const bool workerReturned = m_workers.JoinAll(kWorkerStopWait);
    m_animator.StopAll();
    m_checkTimers.Stop();
    if (m_s.tray && m_initialised) m_s.tray->Remove();
    if (environment.m_saveHeaders) m_stored.Finish(ConfigurationOptions(keys::kConfiguration).GetDatabase());
    m_messages->Clear();
    m_s.ui->DestroyBrowser();
    const bool watchesReturned = !m_watch || m_watch->Stop(kWatchStopWait);
    m_threadsLeft = !workerReturned || !watchesReturned;
}

// ---- accounts and the list ------------------------------------------------

void CCorvaneView::LoadAccounts() {
    // Passwords kept in the keyring are not read here: the workers ask for
    // them when they sign in.
    const std::vector<AccountSettings> before = std::exchange(m_accounts, LoadAllAccounts());
    DropRowsOfRemovedAccounts(before);
    m_owners = MessageOwners(m_accounts);
    m_names = MailboxNames(m_accounts);
    m_model.SetMailboxNames(m_names);
    if (m_watch && m_initialised && !m_destroyed) m_watch->Watch(m_accounts);
    m_s.ui->ChooserResetContent();
    auto insertAtTop = [&](const std::string& name) {
        m_s.ui->ChooserInsertAtTop(name);
        m_s.ui->ChooserSetCurSel(0);
        m_filter = name;
    };
    for (const std::string& name : m_names.Entries()) insertAtTop(name);
    insertAtTop(kAllMailboxes);
    m_s.ui->CommandsChanged();
    m_channel->Post([this] { OnListRefresh(); });
}

void CCorvaneView::DropRowsOfRemovedAccounts(const std::vector<AccountSettings>& before) {
    // By server and address, as the records hold their account; an account
    // left with the same two (renamed, say) keeps them.
    std::set<std::pair<std::string, std::string>> gone;
    for (const AccountSettings& old : before) {
        auto same = [&](const AccountSettings& now) {
            return now.GetServerName() == old.GetServerName() && now.GetEmailAddress() == old.GetEmailAddress();
        };
        if (std::none_of(m_accounts.begin(), m_accounts.end(), same)) gone.emplace(old.GetServerName(), old.GetEmailAddress());
    }
    if (gone.empty()) return;
    m_messages->Modify([&](std::vector<StoredHeader>& list) {
        std::erase_if(list, [&](const StoredHeader& r) { return gone.contains({r.AccountServer(), r.AccountAddress()}); });
    });
}

void CCorvaneView::ReloadAccounts() {
    LoadAccounts();
    m_reloadPending = false;
}

void CCorvaneView::RunOptionsSheetAndReload() {
    m_s.ui->OpenOptionsSheet([self = QPointer<CCorvaneView>(this)](bool written) {
        if (!self || !written || self->m_destroyed) return;
        if (!self->m_busy) return self->ReloadAccounts();
        self->m_reloadPending = true;
        // The watches follow at once, not after the running check.
        if (self->m_watch) self->m_watch->Watch(LoadAllAccounts());
    });
}

void CCorvaneView::OnMailProperties() { RunOptionsSheetAndReload(); }

void CCorvaneView::RebuildRows() {
    std::vector<StoredHeader> rows;
    m_messages->WithList([&](const std::vector<StoredHeader>& list) {
        rows.reserve(list.size());
        const bool all = m_filter == kAllMailboxes;
        for (const auto& record : list) {
            if (!all && !m_names.Shows(m_filter, record.AccountServer(), record.AccountAddress())) continue;
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
    for (MessageKey& key : m_messages->TakeFresh()) m_newKeys.push_back(std::move(key));
    std::erase_if(m_newKeys, [&](const MessageKey& key) { return !m_messages->Contains(key); });
    // Only an IMAP account's mail can be marked read: the notice offers it
    // when every message it tells of is one, and carries them.
    std::function<void()> markRead;
    if (!m_newKeys.empty() &&
        std::all_of(m_newKeys.begin(), m_newKeys.end(), [&](const MessageKey& key) { return ImapAccountOf(key); }))
        markRead = [self = QPointer<CCorvaneView>(this), keys = m_newKeys] {
            if (self) self->MarkReadFromNotice(keys);
        };
    m_announcer.NewMail(m_newCount->load(), std::move(markRead));
    m_animator.StartBlink();
    m_newMailFound->store(false);
}

const AccountSettings* CCorvaneView::ImapAccountOf(const MessageKey& key) const {
    for (const AccountSettings& account : m_accounts)
        if (m_owners.CountsFor(key, account)) return account.IsImap() && !account.m_disabled ? &account : nullptr;
    return nullptr;
}

bool CCorvaneView::HasImapAccount() const {
    return std::any_of(m_accounts.begin(), m_accounts.end(), [](const AccountSettings& a) { return a.IsImap(); });
}

bool CCorvaneView::AnyImapRow(const std::vector<int>& rows) const {
    return std::any_of(rows.begin(), rows.end(), [&](int row) {
        return row >= 0 && row < m_model.rowCount() && ImapAccountOf(m_model.KeyAt(row));
    });
}

void CCorvaneView::MarkReadFromNotice(const std::vector<MessageKey>& keys) {
    if (m_destroyed) return;
    WorkOrder order = WorkOrder::Of(WorkerKind::MarkRead);
    for (const MessageKey& key : keys) {
        const AccountSettings* account = ImapAccountOf(key);
        if (!account || !m_messages->Contains(key)) continue;
        order.targets.push_back(key);
        if (std::find(order.accounts.begin(), order.accounts.end(), account->GetAccountName()) == order.accounts.end())
            order.accounts.push_back(account->GetAccountName());
    }
    // Now, or once the work running now is over.
    if (!order.targets.empty()) RunAgain(order);
}

void CCorvaneView::OnWatchNews(const WatchNews& news) {
    if (m_destroyed) return;
    if (news.added > 0) {
        m_newCount->fetch_add(news.added);
        m_newMailFound->store(true);
    }
    RebuildRows();
    // Mail read elsewhere changes nothing in the count, as after a check.
    if (news.added > 0) NewMailAlert();
    if (EnvironmentOptions(keys::kEnvironment).m_saveHeaders)
        m_stored.SaveIfChanged(ConfigurationOptions(keys::kConfiguration).GetDatabase());
}

void CCorvaneView::ReadFromNotice(const MessageKey& key) {
    OnOpen();
    OnListClick();
    m_messageCenterPage = IEngineUi::kMessagePage;
    if (m_busy || !m_messages->Contains(key)) return;
    WorkOrder order = WorkOrder::Of(WorkerKind::Retrieve);
    order.targets = {key};
    order.page = m_messageCenterPage;
    StartWorker(order);
}

void CCorvaneView::OnListClick() {
    m_animator.StopBlink();
    m_newCount->store(0);
    m_newKeys.clear();
    m_messages->TakeFresh();
    SetTrayTip(kIdleTip);
    m_announcer.Seen();
}

void CCorvaneView::OnListDoubleClick() {
    OnListClick();
    m_messageCenterPage = IEngineUi::kMessagePage;
    if (m_busy) return;
    if (const auto key = FirstSelected()) {
        WorkOrder order = WorkOrder::Of(WorkerKind::Retrieve);
        order.targets = {*key};
        order.page = m_messageCenterPage;
        StartWorker(order);
    }
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
    WorkOrder order = WorkOrder::Of(WorkerKind::Scan);
    order.accounts = {account};
    RunAgain(order);
}

void CCorvaneView::OnSignedIn(const std::string& account) {
    if (m_watch && !m_destroyed) m_watch->Renew(account);
}

void CCorvaneView::OnWatchState(const std::string& account, const std::string& folder, const std::string& reason) {
    if (m_destroyed) return;
    auto& folders = m_watchProblems[account];
    auto word = [&] {
        for (const auto& [name, why] : folders)
            if (!why.empty()) return why;
        return std::string();
    };
    const std::string before = word();
    if (reason.empty()) folders.erase(folder);
    else folders[folder] = reason;
    const std::string now = word();
    // A watch that retries says the same again: told once, kept until it changes.
    if (now == before) return;
    std::vector<std::string> names;
    for (const auto& a : m_accounts)
        if (!a.m_disabled) names.push_back(a.GetAccountName());
    m_s.ui->SetPaneText(m_announcer.Checked(names, {{account, now}}), 0);
}

// ---- commands ---------------------------------------------------------------------

void CCorvaneView::OnGetMail() { StartGetMail(); }

void CCorvaneView::StartGetMail() {
    if (m_busy) return;  // one worker at a time, whatever the menus show
    if (!m_s.ui->HasProgressWindow()) m_s.ui->CreateProgressWindow();
    m_s.ui->ShowProgressWindow("Getting New Mail");
    StartWorker(WorkOrder::Of(WorkerKind::CheckMail));
    SetTrayTip(kCheckingTip);
}

void CCorvaneView::OnRefresh() { StartScan(); }

void CCorvaneView::StartScan() {
    if (m_busy) return;
    StartWorker(WorkOrder::Of(WorkerKind::Scan));
}

void CCorvaneView::SetSelectionSource(std::function<std::vector<int>()> selectedRows) {
    m_selectionSource = std::move(selectedRows);
}

std::optional<MessageKey> CCorvaneView::FirstSelected() {
    if (!m_selectionSource) return std::nullopt;
    const auto rows = m_selectionSource();
    if (rows.empty()) return std::nullopt;
    const int row = rows.front();
    if (row < 0 || row >= m_model.rowCount()) return std::nullopt;
    return m_model.KeyAt(row);
}

void CCorvaneView::StartRead(ReadIn where, std::optional<int> page) {
    if (page) m_messageCenterPage = *page;
    if (m_busy) return;
    const auto key = FirstSelected();
    if (!key) return;
    // Where and what to show travel with the read: a question or a check
    // in between changes neither.
    WorkOrder order = WorkOrder::Of(WorkerKind::Retrieve);
    order.targets = {*key};
    order.readIn = where;
    order.page = m_messageCenterPage;
    StartWorker(order);
}

void CCorvaneView::OnReadMessage() { StartRead(ReadIn::MessageCenter, IEngineUi::kMessagePage); }
void CCorvaneView::OnReadAsWebPage() { StartRead(ReadIn::Browser, std::nullopt); }
void CCorvaneView::OnMessageStatistics() { StartRead(ReadIn::MessageCenter, IEngineUi::kHeaderPage); }

void CCorvaneView::OnDeleteMessage(const std::vector<int>& selectedRows) {
    if (m_busy) return;  // the command is disabled while busy; keep one worker
    WorkOrder order = WorkOrder::Of(WorkerKind::Delete);
    for (int row : selectedRows) {
        if (row < 0 || row >= m_model.rowCount()) continue;
        order.targets.push_back(m_model.KeyAt(row));
    }
    StartWorker(order);
}

void CCorvaneView::OnMarkRead(const std::vector<int>& selectedRows) {
    if (m_busy) return;  // the command is disabled while busy
    WorkOrder order = WorkOrder::Of(WorkerKind::MarkRead);
    for (int row : selectedRows) {
        if (row < 0 || row >= m_model.rowCount()) continue;
        const MessageKey key = m_model.KeyAt(row);
        // Nothing is sent for a POP3 row: it has no such flag to set.
        const AccountSettings* account = ImapAccountOf(key);
        if (!account) continue;
        order.targets.push_back(key);
        if (std::find(order.accounts.begin(), order.accounts.end(), account->GetAccountName()) == order.accounts.end())
            order.accounts.push_back(account->GetAccountName());
    }
    if (!order.targets.empty()) StartWorker(order);
}

void CCorvaneView::OnPerformMaintenance() {
    if (m_busy) return;
    m_model.Clear();
    m_messages->Clear();
    StartWorker(WorkOrder::Of(WorkerKind::Scan));
}

void CCorvaneView::OnWebBrowser() { m_s.ui->OpenBrowser(); }
void CCorvaneView::OnOpen() { m_s.ui->ShowMainWindow(); }
void CCorvaneView::OnAbout() { m_s.ui->ShowAbout(); }

void CCorvaneView::CancelRunning() {
    if (m_running.cancel) m_running.cancel->Set();
    if (m_running.stop) m_running.stop->request_stop();
    if (m_running.transports) m_running.transports->AbortAll();
}

void CCorvaneView::OnProgressCancel() {
    // The window destroys itself. This check's connection and its sign-in
    // waits are cut, so a silent server cannot hold it; it stops at once and
    // makes no other. Nothing else is cut: not the watches, not a reply.
    if (WorkerActive()) {
        CancelRunning();
        m_checkCancelled = true;
    }
}

void CCorvaneView::OnBrowserClosed() {}

// ---- workers ------------------------------------------------------------------------

bool CCorvaneView::StartWorker(const WorkOrder& order) {
    // Never two network workers, and none before the last one's end was handled.
    if (m_destroyed || EndBegun() || m_busy || m_workers.Active()) return false;
    std::vector<AccountSettings> accounts;
    for (const auto& account : m_accounts)
        if (order.accounts.empty() ||
            std::find(order.accounts.begin(), order.accounts.end(), account.GetAccountName()) != order.accounts.end())
            accounts.push_back(account);
    m_running = Running{order, std::make_shared<ManualResetEvent>(), std::make_shared<std::stop_source>(),
                        m_s.workTransports ? m_s.workTransports() : m_s.transports};
    // A shared factory may still be cut by the Cancel of the work before.
    if (m_running.transports) m_running.transports->Resume();
    auto context = std::make_shared<WorkerContext>();
    context->kind = order.kind;
    context->accounts = std::move(accounts);
    context->selected = order.targets;
    context->owners = MessageOwners(m_accounts);
    context->messages = m_messages;
    context->cancelRequest = m_running.cancel;
    context->stop = m_running.stop->get_token();
    context->view = ViewMessenger(m_channel, this, order);
    context->newMailFound = m_newMailFound;
    context->newCount = m_newCount;
    context->active = m_workers.ActiveFlag();
    context->transports = m_running.transports;
    context->output = m_s.output;
    context->quickCheck = EnvironmentOptions(keys::kEnvironment).m_quickCheck != 0;
    context->tls = m_s.tls;
    context->signIn = m_s.signIn;
    m_busy = true;
    m_s.ui->SetWaitCursor(true);
    m_animator.StartBusy();
    m_checkCancelled = false;
    m_checkEnding = order.IsCheck();
    m_workers.Start([context] { RunMailWorker(*context); });
    return true;
}

void CCorvaneView::EndWork() {
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
}

void CCorvaneView::AfterWork() {
    if (m_destroyed) return;
    // The questions the work left; the answers come later, and a yes runs
    // the order the question belongs to again, for that account.
    m_followUps.Ask(*m_s.ui, [self = QPointer<CCorvaneView>(this)](const WorkOrder& order, const std::string& account,
                                                                    const std::string& fingerprint) {
        if (!self || self->m_destroyed) return;
        if (!fingerprint.empty()) {
            for (AccountSettings& held : self->m_accounts)
                if (held.GetAccountName() == account) held.m_incomingCertificate = fingerprint;
            // The account changed: its watches are made anew with the trust.
            if (self->m_watch) self->m_watch->Watch(self->m_accounts);
        } else if (self->m_watch) {
            self->m_watch->Renew(account);  // signed in anew
        }
        WorkOrder again = order;
        again.accounts = {account};
        self->RunAgain(again);
    });
    if (!m_busy && !m_workers.Active())
        if (auto later = m_followUps.TakeLater()) RunAgain(*later);
}

void CCorvaneView::OnWorkerDone() {
    // A rebuild of the list while the worker still runs (the user picked
    // another mailbox) must not end the busy state: one worker at a time.
    if (m_workers.Active()) return;
    EndWork();
    AfterWork();
}

void CCorvaneView::OnSignInExpired(const WorkOrder& order, const std::string& account) {
    m_followUps.SignInExpired(order, account);
}

void CCorvaneView::RunAgain(const WorkOrder& order) {
    if (m_destroyed || EndBegun()) return;
    if (m_busy || m_workers.Active()) {  // after the work that runs now
        m_followUps.Later(order);
        return;
    }
    if (order.kind == WorkerKind::CheckMail) {
        if (!m_s.ui->HasProgressWindow()) m_s.ui->CreateProgressWindow();
        m_s.ui->ShowProgressWindow("Getting New Mail");
        SetTrayTip(kCheckingTip);
    }
    StartWorker(order);
}

void CCorvaneView::OnUntrustedCertificate(const WorkOrder& order, const std::string& account,
                                          const PeerCertificate& certificate) {
    m_followUps.UntrustedCertificate(order, account, certificate);
}

void CCorvaneView::OnAccountsChecked(const std::vector<AccountCheck>& results) {
    std::vector<std::string> names;
    for (const auto& account : m_accounts)
        if (!account.m_disabled) names.push_back(account.GetAccountName());
    // A check's word on an account replaces what its watches said.
    for (const auto& result : results) m_watchProblems.erase(result.account);
    m_s.ui->SetPaneText(m_announcer.Checked(names, results), 0);
}

void CCorvaneView::OnDeleteDone() { m_channel->Post([this] { OnListRefresh(); }); }

void CCorvaneView::OnMarkedRead(const WorkOrder& order) {
    // The new messages now read leave the count, the tooltip and the dock's.
    int read = 0;
    for (const MessageKey& key : order.targets) {
        if (m_messages->Contains(key)) continue;
        const auto it = std::find_if(m_newKeys.begin(), m_newKeys.end(), [&](const MessageKey& k) {
            return k.id == key.id && k.server == key.server && k.address == key.address;
        });
        if (it == m_newKeys.end()) continue;
        m_newKeys.erase(it);
        ++read;
    }
    if (read > 0) {
        const int left = std::max(0, m_newCount->load() - read);
        m_newCount->store(left);
        m_announcer.Recount(left);
        if (left == 0) m_animator.StopBlink();
    }
    RebuildRows();
    if (EnvironmentOptions(keys::kEnvironment).m_saveHeaders)
        m_stored.SaveIfChanged(ConfigurationOptions(keys::kConfiguration).GetDatabase());
    OnWorkerDone();
}

void CCorvaneView::OnRetrieveDone(const WorkOrder& order, RetrieveResult result, const std::string& text) {
    EndWork();
    // The message first, then whatever waits (news, a yes): a read that
    // came back is never dropped for other work.
    if (result == RetrieveResult::NotOnServer) {
        // The worker read every message of the mailbox and none was this
        // one: the stored header is stale. Failed connections or logins say
        // nothing here; their reason is in the conversation log.
        m_s.ui->MessageBox(
            "The Message does not exist on your server. It may have been removed\t\t\t\t\t\t\tby another email "
            "client. Please Perform Maintainance to rescan your\t\t\t\t\t\t\tmail server, or turn off \"Save "
            "Headers Locally\" in the VeltoMail \t\t\t\t\t\t\tEnvironment Options");
    } else if (result == RetrieveResult::Fetched) {
        ShowFetchedMessage(order, text);
    }
    AfterWork();
}

void CCorvaneView::ShowFetchedMessage(const WorkOrder& order, const std::string& text) {
    CMailHeader record;
    if (order.targets.empty() || !m_messages->FindFirst(order.targets.front(), record)) return;
    ReadIn where = order.readIn;
    if (where == ReadIn::AsViewTypeSays) {
        const EnvironmentOptions environment(keys::kEnvironment);
        if (environment.m_viewType == kViewAsWebPage) where = ReadIn::Browser;
        else if (environment.m_viewType == kViewInMessageCenter) where = ReadIn::MessageCenter;
    }
    const CMessageText message = CMessageText::ForReading(record, text);
    if (where != ReadIn::MessageCenter) m_s.ui->ShowInBrowser(record, message);
    if (where != ReadIn::Browser) {
        const int page = (order.page >= 0 && order.page <= IEngineUi::kHeaderPage) ? order.page : IEngineUi::kMessagePage;
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
