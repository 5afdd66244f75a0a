#include "engine/CorvaneView.h"

#include <algorithm>
#include <cstdio>

#include "engine/MailWorkers.h"

namespace velto {

namespace {
// The tray keeps 64 bytes of tooltip, terminator included.
constexpr std::size_t kMaxTipLength = 63;
constexpr int kMinutesToMs = 60000;

// The periodic check's interval: a stored 0 would check without pause and a
// huge value would overflow the timer, so it is kept between one minute and
// what the timer can hold.
int PeriodicIntervalMs(const ConfigurationOptions& config) {
    constexpr std::uint32_t kMaxMinutes = 35791;  // INT_MAX milliseconds
    const std::uint32_t minutes = std::clamp<std::uint32_t>(config.m_checkMailInterval, 1, kMaxMinutes);
    return static_cast<int>(minutes) * kMinutesToMs;
}
}  // namespace

CCorvaneView::CCorvaneView(Services services, QObject* parent)
    : QObject(parent),
      m_s(std::move(services)),
      m_channel(std::make_shared<UiChannel>(this)),
      m_events(std::make_shared<EngineEvents>()),
      m_messages(std::make_shared<MessageStore>()),
      m_newMailFound(std::make_shared<std::atomic<bool>>(false)),
      m_newCount(std::make_shared<std::atomic<int>>(0)),
      m_workerActive(std::make_shared<std::atomic<bool>>(false)),
      m_workerFinished(std::make_shared<ManualResetEvent>()) {
    m_events->ResetAll();
    m_workerFinished->Set();
}

CCorvaneView::~CCorvaneView() {
    OnDestroy();
    m_channel->Close();
    if (m_worker.joinable()) {
        // A worker blocked on a silent server must not hold up the end of the
        // program; it only holds shared state and ends with the process.
        if (m_workerFinished->IsSet()) {
            m_worker.join();
        } else {
            m_worker.detach();
        }
    }
}

// ---- start-up and shut-down ------------------------------------------------

void CCorvaneView::OnInitialUpdate() {
    if (m_initialised) return;
    m_initialised = true;
    // 1. The options that start-up needs.
    ConfigurationOptions config(keys::kConfiguration);
    EnvironmentOptions environment(keys::kEnvironment);
    // 2. Nothing of the framework's own is left to do here.
    // 3. Tray icon.
    m_trayTip = kIdleTip;
    m_trayIcon = kIconIdle;
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
    if (m_s.store && environment.m_saveHeaders && !database.empty() && m_s.store->Exists(database)) {
        m_messages->Modify([&](std::vector<CMailHeader>& list) { m_s.store->Load(list, database); });
        PostMessage(UWM_LIST_REFRESH);
    }
    // 8. Online check, dialling allowed; its answer is not needed here.
    EnsureOnline(true);
    // 9. Timers, with the options read again.
    config.Load(keys::kConfiguration);
    if (config.m_startupScan && !m_s.timers->SetTimer(kStartupTimerId, kStartupTimerMs))
        m_s.ui->MessageBox("SetTimer() error");
    if (config.m_autoScan && !m_s.timers->SetTimer(kPeriodicTimerId, PeriodicIntervalMs(config)))
        m_s.ui->MessageBox("SetTimer() error");
}

void CCorvaneView::OnDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    EnvironmentOptions environment(keys::kEnvironment);
    // Every worker and animation stops at its next check.
    m_events->SignalAll();
    m_s.timers->KillTimer(kBusyAnimationTimerId);
    m_s.timers->KillTimer(kBlinkTimerId);
    m_s.timers->KillTimer(kPeriodicTimerId);
    m_s.timers->KillTimer(kStartupTimerId);
    if (m_s.tray && m_initialised) m_s.tray->Remove();
    if (m_s.store && environment.m_saveHeaders && !m_messages->Empty()) {
        ConfigurationOptions config(keys::kConfiguration);
        const std::string database = config.GetDatabase();
        if (!database.empty())
            m_messages->WithList([&](const std::vector<CMailHeader>& list) { m_s.store->Save(list, database); });
    }
    m_messages->Clear();
    m_s.ui->DestroyBrowser();
}

// ---- accounts and the list ------------------------------------------------

void CCorvaneView::LoadAccounts() {
    m_s.ui->ChooserResetContent();
    auto insertAtTop = [&](const std::string& name) {
        m_s.ui->ChooserInsertAtTop(name);
        m_s.ui->ChooserSetCurSel(0);
        m_filter = name;
    };
    for (const auto& name : RegistryDatabase::SubkeyNames(keys::kAccounts)) {
        m_accounts.emplace_back(keys::Join(keys::kAccounts, name));
        insertAtTop(m_accounts.back().GetServerName());
    }
    insertAtTop(kAllMailboxes);
    PostMessage(UWM_LIST_REFRESH);
}

void CCorvaneView::ReloadAccounts() {
    m_accounts.clear();
    LoadAccounts();
    m_reloadPending = false;
}

void CCorvaneView::RunOptionsSheetAndReload() {
    if (!m_s.ui->RunOptionsSheet()) return;
    if (m_busy) {
        m_reloadPending = true;
    } else {
        ReloadAccounts();
    }
}

void CCorvaneView::OnMailProperties() { RunOptionsSheetAndReload(); }

void CCorvaneView::RefreshList() {
    ConfigurationOptions config(keys::kConfiguration);
    EnvironmentOptions environment(keys::kEnvironment);
    if (m_s.ui->HasProgressWindow()) m_s.ui->DestroyProgressWindow();

    std::vector<MessageListModel::Row> rows;
    m_messages->WithList([&](const std::vector<CMailHeader>& list) {
        rows.reserve(list.size());
        const bool all = m_filter == kAllMailboxes;
        for (const auto& record : list) {
            if (!all && record.m_accountServer != m_filter) continue;
            rows.push_back(MessageListModel::RawRow(record));
        }
    });
    const int shown = static_cast<int>(rows.size());
    m_model.Reset(std::move(rows));

    char title[600];
    std::snprintf(title, sizeof title, "VeltoMail 98 - %s - %d Messages", m_filter.c_str(), shown);
    m_s.ui->SetFrameTitle(title);

    PostMessage(UWM_WORKER_DONE);
    NewMailAlert();
    // A connection we dialled goes down once the check that needed it is over:
    // not in the middle of one (the filter changed), and not at a rebuild
    // that no check asked for (start-up dials before its first scan).
    if (m_checkEnding && !WorkerActive()) {
        m_checkEnding = false;
        HangUpAfterCheck();
    }
}

void CCorvaneView::OnMailboxSelChange(const std::string& text) {
    m_filter = text;
    RefreshList();
}

// ---- new-mail alert, tray ---------------------------------------------------

void CCorvaneView::SetTrayTip(const std::string& tip) {
    m_trayTip = tip.substr(0, kMaxTipLength);
    if (m_s.tray) m_s.tray->SetTip(m_trayTip);
}

void CCorvaneView::SetTrayIcon(int icon) {
    m_trayIcon = icon;
    if (m_s.tray) m_s.tray->SetIcon(icon);
}

void CCorvaneView::NewMailAlert() {
    if (m_newMailFound->load()) {
        char tip[128];
        std::snprintf(tip, sizeof tip, "VeltoMail 98 - You have %d New Messages!!", m_newCount->load());
        SetTrayTip(tip);
        if (m_s.tray) m_s.tray->Notify("VeltoMail 98", m_trayTip);
        ConfigurationOptions config(keys::kConfiguration);
        const std::string sound = config.GetSoundFilename();
        if (config.m_enableSound && m_s.sound && m_s.store && !sound.empty() && m_s.store->Exists(sound))
            m_s.sound->PlayAsync(sound);
        m_events->blinkStop.Reset();
        StartBlink();
        m_newMailFound->store(false);
    } else {
        SetTrayTip(kIdleTip);
    }
}

void CCorvaneView::OnListClick() {
    m_events->blinkStop.Set();
    m_newCount->store(0);
    SetTrayTip(kIdleTip);
}

void CCorvaneView::OnListDoubleClick() {
    OnListClick();
    m_viewMode = 0;
    m_messageCenterPage = 0;
    if (m_busy) return;
    m_selectedRows.clear();
    m_selectedIds.clear();
    TakeFirstSelectedRow();
    if (!m_selectedRows.empty()) StartWorker(WorkerKind::Retrieve);
}

// ---- dial-up ----------------------------------------------------------------

bool CCorvaneView::EnsureOnline(bool dialAllowed) {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || !m_s.dialup) return true;
    std::vector<DialupConnection> connections;
    if (m_s.dialup->EnumConnections(connections) != 0 || !connections.empty() || !dialAllowed) return true;
    m_s.dialup->RunDialDialog(config.GetActiveRas());
    connections.clear();
    if (m_s.dialup->EnumConnections(connections) == 0 && !connections.empty()) {
        m_dialledByUs = true;
        return true;
    }
    return false;
}

bool CCorvaneView::IsOnline() {
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || !m_s.dialup) return true;
    std::vector<DialupConnection> connections;
    return m_s.dialup->EnumConnections(connections) != 0 || !connections.empty();
}

void CCorvaneView::HangUpAfterCheck() {
    if (!m_dialledByUs || !m_s.dialup) return;
    ConfigurationOptions config(keys::kConfiguration);
    if (!config.m_enableDialup || config.m_noDisconnect) return;
    std::vector<DialupConnection> connections;
    if (m_s.dialup->EnumConnections(connections) != 0 || connections.empty()) return;
    for (const auto& c : connections) {
        if (c.entryName == config.GetActiveRas()) {
            m_s.dialup->HangUp(c.handle);
            m_dialledByUs = false;
        }
    }
}

// ---- timers -------------------------------------------------------------------

void CCorvaneView::OnTimer(int id) {
    switch (id) {
    case kPeriodicTimerId: {
        ConfigurationOptions config(keys::kConfiguration);
        m_s.timers->KillTimer(kPeriodicTimerId);
        m_s.timers->SetTimer(kPeriodicTimerId, PeriodicIntervalMs(config));
        // "Check Mail Only When Online": skip the tick when offline instead of
        // dialling; without it the tick may dial.
        const bool online = config.m_strictScanning ? IsOnline() : EnsureOnline(true);
        if (online && !m_busy) {
            SetTrayTip(kCheckingTip);
            StartWorker(WorkerKind::Scan);
        }
        break;
    }
    case kStartupTimerId:
        m_s.timers->KillTimer(kStartupTimerId);
        if (!m_busy && EnsureOnline(false)) {
            SetTrayTip(kCheckingTip);
            StartWorker(WorkerKind::Scan);
        }
        break;
    case kBusyAnimationTimerId:
        BusyAnimationTick();
        break;
    case kBlinkTimerId:
        BlinkTick();
        break;
    default:
        break;
    }
}

// ---- tray animations ------------------------------------------------------------
// Frames and intervals: busy 227/229/241 for 300/300/700 ms; blink 224/225
// for 300/300 ms. The blink pauses after its second frame while a busy
// animation runs, so the two never fight over the icon.

namespace {
constexpr int kBusyIcons[3] = {kIconBusy1, kIconBusy2, kIconBusy3};
constexpr int kBusyIntervals[3] = {300, 300, 700};
constexpr int kBlinkIcons[2] = {kIconBlink1, kIconBlink2};
constexpr int kBlinkInterval = 300;
}  // namespace

void CCorvaneView::StartBusyAnimation() {
    if (m_busyAnim == Anim::Running) return;  // one animation at a time
    m_busyAnim = Anim::Running;
    m_events->busyAnimationRunning.Set();
    m_busyFrame = 0;
    SetTrayIcon(kBusyIcons[0]);
    m_s.timers->SetTimer(kBusyAnimationTimerId, kBusyIntervals[0]);
}

void CCorvaneView::BusyAnimationTick() {
    if (m_busyAnim != Anim::Running) {
        m_s.timers->KillTimer(kBusyAnimationTimerId);
        return;
    }
    if (m_events->busyAnimationStop.IsSet()) {
        FinishBusyAnimation();
        return;
    }
    m_busyFrame = (m_busyFrame + 1) % 3;
    SetTrayIcon(kBusyIcons[m_busyFrame]);
    m_s.timers->SetTimer(kBusyAnimationTimerId, kBusyIntervals[m_busyFrame]);
}

void CCorvaneView::FinishBusyAnimation() {
    m_s.timers->KillTimer(kBusyAnimationTimerId);
    m_busyAnim = Anim::Idle;
    SetTrayIcon(kIconIdle);
    m_events->busyAnimationStop.Reset();
    m_events->busyAnimationEnded.Set();
    if (m_blink == Anim::WaitingForBusy) {
        m_events->busyAnimationRunning.Reset();
        m_events->busyAnimationEnded.Reset();
        m_blink = Anim::Running;
        m_blinkFrame = 0;
        SetTrayIcon(kBlinkIcons[0]);
        m_s.timers->SetTimer(kBlinkTimerId, kBlinkInterval);
    }
}

void CCorvaneView::StartBlink() {
    if (m_blink != Anim::Idle) return;  // at most one blinker
    m_blink = Anim::Running;
    m_blinkFrame = 0;
    SetTrayIcon(kBlinkIcons[0]);
    m_s.timers->SetTimer(kBlinkTimerId, kBlinkInterval);
}

void CCorvaneView::BlinkTick() {
    if (m_blink != Anim::Running) {
        m_s.timers->KillTimer(kBlinkTimerId);
        return;
    }
    if (m_blinkFrame == 0) {
        m_blinkFrame = 1;
        SetTrayIcon(kBlinkIcons[1]);
        m_s.timers->SetTimer(kBlinkTimerId, kBlinkInterval);
        return;
    }
    // End of a cycle.
    if (m_events->blinkStop.IsSet()) {
        FinishBlink();
        return;
    }
    if (m_events->busyAnimationRunning.IsSet()) {
        if (!m_events->busyAnimationEnded.IsSet()) {
            m_s.timers->KillTimer(kBlinkTimerId);
            m_blink = Anim::WaitingForBusy;
            return;
        }
        m_events->busyAnimationRunning.Reset();
        m_events->busyAnimationEnded.Reset();
    }
    m_blinkFrame = 0;
    SetTrayIcon(kBlinkIcons[0]);
    m_s.timers->SetTimer(kBlinkTimerId, kBlinkInterval);
}

void CCorvaneView::FinishBlink() {
    m_s.timers->KillTimer(kBlinkTimerId);
    m_blink = Anim::Idle;
    SetTrayIcon(kIconIdle);
    m_events->blinkStop.Reset();
}

// ---- commands ---------------------------------------------------------------------

void CCorvaneView::OnGetMail() { StartGetMail(); }

void CCorvaneView::StartGetMail() {
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
    m_selectedIds.push_back(m_model.IdAt(row));
}

void CCorvaneView::StartRead(int viewMode, int page, bool setPage) {
    m_viewMode = viewMode;
    if (setPage) m_messageCenterPage = page;
    if (m_busy) return;
    m_selectedRows.clear();
    m_selectedIds.clear();
    TakeFirstSelectedRow();
    if (m_selectedRows.empty()) return;
    StartWorker(WorkerKind::Retrieve);
}

void CCorvaneView::OnReadMessage() { StartRead(1, 0, true); }
void CCorvaneView::OnReadAsWebPage() { StartRead(2, 0, false); }
void CCorvaneView::OnMessageStatistics() { StartRead(1, 2, true); }

void CCorvaneView::OnDeleteMessage(const std::vector<int>& selectedRows) {
    if (m_busy) return;  // the command is disabled while busy; keep one worker
    m_selectedIds.clear();
    for (int row : selectedRows) {
        if (row < 0 || row >= m_model.rowCount()) continue;
        m_selectedRows.push_back(row);
        m_selectedIds.push_back(m_model.IdAt(row));
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
    m_events->cancelRequest.Set();
    // The window destroys itself; forget it.
}

void CCorvaneView::OnBrowserClosed() {}

// ---- workers ------------------------------------------------------------------------

void CCorvaneView::StartWorker(WorkerKind kind) {
    if (m_workerActive->load()) return;  // never two network workers
    if (m_worker.joinable()) m_worker.join();  // the last one has finished
    m_busy = true;
    m_s.ui->SetWaitCursor(true);
    StartBusyAnimation();
    m_events->busyAnimationStop.Reset();
    m_events->cancelRequest.Reset();

    auto context = std::make_shared<WorkerContext>();
    context->kind = kind;
    context->accounts = m_accounts;
    context->selectedIds = m_selectedIds;
    context->messages = m_messages;
    context->events = m_events;
    context->channel = m_channel;
    context->newMailFound = m_newMailFound;
    context->newCount = m_newCount;
    context->active = m_workerActive;
    context->finished = m_workerFinished;
    context->transports = m_s.transports;
    context->output = m_s.output;
    context->view = this;
    m_checkEnding = kind == WorkerKind::CheckMail || kind == WorkerKind::Scan;
    m_workerActive->store(true);
    m_workerFinished->Reset();
    m_worker = std::thread([context] { RunMailWorker(context); });
}

bool CCorvaneView::JoinWorker(int timeoutMs) {
    if (!m_workerFinished->WaitFor(std::chrono::milliseconds(timeoutMs))) return false;
    if (m_worker.joinable()) m_worker.join();
    return true;
}

void CCorvaneView::OnWorkerDone() {
    // A rebuild of the list while the worker still runs (the user picked
    // another mailbox) must not end the busy state: one worker at a time.
    if (m_workerActive->load()) return;
    // Not busy first: the window reads the command states when the cursor
    // changes.
    m_busy = false;
    m_s.ui->SetWaitCursor(false);
    m_events->busyAnimationStop.Set();
    if (m_reloadPending) ReloadAccounts();
}

void CCorvaneView::ShowFetchedMessage(std::intptr_t fetched, const std::string& text) {
    OnWorkerDone();
    if (m_selectedRows.empty()) return;
    const std::uint32_t id = m_selectedIds.empty() ? 0 : m_selectedIds.front();
    m_selectedRows.clear();
    // The worker read every message of the mailbox and none was this one:
    // the stored header is stale. Failed connections or logins say nothing
    // here; their reason is in the conversation log.
    if (fetched == kRetrieveNotOnServer) {
        m_s.ui->MessageBox(
            "The Message does not exist on your server. It may have been removed\t\t\t\t\t\t\tby another email "
            "client. Please Perform Maintainance to rescan your\t\t\t\t\t\t\tmail server, or turn off \"Save "
            "Headers Locally\" in the VeltoMail \t\t\t\t\t\t\tEnvironment Options");
        return;
    }
    if (fetched != kRetrieveFetched) return;
    m_retrievedText = text;
    CMailHeader record;
    if (!m_messages->FindFirst(id, record)) return;
    EnvironmentOptions environment(keys::kEnvironment);
    if (m_viewMode == 0) {
        if (environment.m_viewType == 1) m_viewMode = 2;
        else if (environment.m_viewType == 2) m_viewMode = 1;
    }
    // The windows get the body alone; a text without a header end goes whole.
    std::string body = m_retrievedText;
    if (const auto end = body.find("\r\n\r\n"); end != std::string::npos && end > 0) body.erase(0, end + 4);
    if (m_viewMode == 0 || m_viewMode == 2) m_s.ui->ShowInBrowser(record, body);
    if (m_viewMode == 0 || m_viewMode == 1) {
        const int page = (m_messageCenterPage >= 0 && m_messageCenterPage <= 2) ? m_messageCenterPage : 0;
        m_s.ui->ShowInMessageCenter(record, body, page);
    }
}

// ---- messages -------------------------------------------------------------------------

void CCorvaneView::PostMessage(unsigned message, std::intptr_t lParam) {
    m_channel->Post([this, message, lParam] { DispatchMessage(message, {}, lParam); });
}

void CCorvaneView::SendMessage(unsigned message, const std::string& text, std::intptr_t lParam) {
    m_channel->Send([this, message, &text, lParam] { DispatchMessage(message, text, lParam); });
}

void CCorvaneView::DispatchMessage(unsigned message, const std::string& text, std::intptr_t lParam) {
    if (m_destroyed) return;
    switch (message) {
    case UWM_LIST_REFRESH:
        RefreshList();
        break;
    case UWM_RETRIEVE_DONE:
        ShowFetchedMessage(lParam, text);
        break;
    case UWM_CHECK_FAILED:
        break;  // the failure is already in the conversation log
    case UWM_DELETE_DONE:
        m_selectedRows.clear();
        PostMessage(UWM_LIST_REFRESH);
        break;
    case UWM_WORKER_DONE:
        OnWorkerDone();
        break;
    case UWM_PROGRESS_START:
        m_s.ui->SetProgress(0, static_cast<int>(lParam));
        m_s.ui->SetPaneText(text, 0);
        break;
    case UWM_PROGRESS_STEP:
        m_s.ui->SetPaneText(text, 0);
        m_s.ui->SetProgress(static_cast<int>(lParam), 0);
        break;
    case UWM_PROGRESS_END:
        m_s.ui->SetPaneText("Ready", 0);
        m_s.ui->SetProgress(-1, 0);
        m_s.ui->ClearMessages(false);
        break;
    case UWM_PROGRESS_TEXT:
        if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressText(text);
        break;
    case UWM_PROGRESS_RANGE:
        if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressRange(static_cast<int>(lParam));
        break;
    case UWM_PROGRESS_ADVANCE:
        if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressAdvance(static_cast<int>(lParam));
        break;
    case UWM_PROGRESS_RESET:
        if (m_s.ui->HasProgressWindow()) m_s.ui->ProgressReset();
        break;
    default:
        break;
    }
}

// ---- worker side of the messages ---------------------------------------------------------

void WorkerContext::Post(unsigned message, std::intptr_t lParam) {
    CCorvaneView* target = view;
    channel->Post([target, message, lParam] { target->DispatchMessage(message, {}, lParam); });
}

void WorkerContext::Send(unsigned message, const std::string& text, std::intptr_t lParam) {
    CCorvaneView* target = view;
    channel->Send([target, message, &text, lParam] { target->DispatchMessage(message, text, lParam); });
}

void WorkerContext::PostText(unsigned message, const std::string& text, std::intptr_t value) {
    CCorvaneView* target = view;
    channel->Post([target, message, text, value] { target->DispatchMessage(message, text, value); });
}

void WorkerContext::Finish() { active->store(false); }

}  // namespace velto
