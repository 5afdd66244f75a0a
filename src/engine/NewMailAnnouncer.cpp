#include "engine/NewMailAnnouncer.h"

#include <cstdio>

#include "engine/MessageListModel.h"
#include "settings/Settings.h"

namespace velto {

namespace {
// The tray keeps 64 bytes of tooltip, terminator included.
constexpr std::size_t kMaxTipLength = 63;
}  // namespace

void NewMailAnnouncer::SetTip(const std::string& tip) {
    if (!m_s.tray) return;
    // The designed text as it always was; accounts that could not be checked
    // follow it, one a line.
    std::string text = tip.substr(0, kMaxTipLength);
    for (const auto& line : m_failures.Lines()) text += "\n" + line;
    m_s.tray->SetTip(text);
}

namespace {
std::string NewMailTip(int count) {
    char tip[128];
    std::snprintf(tip, sizeof tip, "VeltoMail 98 - You have %d New Messages!!", count);
    return tip;
}
}  // namespace

void NewMailAnnouncer::Recount(int count) {
    SetTip(count > 0 ? NewMailTip(count) : kIdleTip);
    ShowCount(count);
    if (count == 0 && m_s.notifications) m_s.notifications->Withdraw(kNewMailTag);
}

void NewMailAnnouncer::NewMail(int count, std::function<void()> markRead) {
    const std::string tip = NewMailTip(count);
    SetTip(tip);
    ShowCount(count);
    NoticeOfNewest(tip, std::move(markRead));
    ConfigurationOptions config(keys::kConfiguration);
    const std::string sound = config.GetSoundFilename();
    if (config.m_enableSound && m_s.sound && m_s.store && !sound.empty() && m_s.store->Exists(sound))
        m_s.sound->PlayAsync(sound);
}

void NewMailAnnouncer::ShowCount(int count) {
    // Every list click clears; the dock hears only of changes.
    if (!m_s.dock || count == m_dockCount) return;
    m_dockCount = count;
    m_s.dock->SetCount(count);
}

void NewMailAnnouncer::NoticeOfNewest(const std::string& title, std::function<void()> markRead) {
    if (!m_s.notifications) {
        if (m_s.tray) m_s.tray->Notify("VeltoMail 98", title.substr(0, kMaxTipLength));
        return;
    }
    // New records are appended: the last one is the newest new message.
    StoredHeader stored;
    m_messages->WithList([&](const std::vector<StoredHeader>& list) {
        if (!list.empty()) stored = list.back();
    });
    const MessageListModel::Row row = MessageListModel::MakeRow(stored.Full());
    Notice notice;
    notice.tag = kNewMailTag;
    notice.title = title;
    notice.text = row.subject + (row.sender.empty() ? "" : "\n" + row.sender);
    const MessageKey key = MessageKey::Of(stored);
    notice.actions = {{"read", "Read", [read = m_read, key] { read(key); }}, {"show", "Show", m_show}};
    if (markRead) notice.actions.push_back({"mark-read", "Mark as Read", std::move(markRead)});
    notice.onClick = m_show;
    m_s.notifications->Show(std::move(notice));
}

std::string NewMailAnnouncer::Checked(const std::vector<std::string>& enabledAccounts,
                                      const std::vector<AccountCheck>& results) {
    m_failures.Keep(enabledAccounts);
    const bool hadFailures = !m_failures.Empty();
    // One notification for an account's first failure, not one per tick;
    // it goes when every account is checked again.
    const std::vector<std::string> firstFailures = m_failures.Update(results);
    if (!firstFailures.empty()) NoticeOfFailures(firstFailures);
    if (hadFailures && m_failures.Empty() && m_s.notifications) m_s.notifications->Withdraw(kCheckFailedTag);
    std::string pane;
    for (const auto& line : m_failures.Lines()) pane += (pane.empty() ? "" : "; ") + line;
    return pane.empty() ? "Ready" : pane;
}

void NewMailAnnouncer::NoticeOfFailures(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += (text.empty() ? "" : "\n") + line;
    if (!m_s.notifications) {
        if (m_s.tray) m_s.tray->Notify("VeltoMail 98", text);
        return;
    }
    Notice notice;
    notice.tag = kCheckFailedTag;
    notice.title = "VeltoMail 98";
    notice.text = text;
    notice.actions = {{"show", "Show", m_show}};
    notice.onClick = m_show;
    m_s.notifications->Show(std::move(notice));
}

}  // namespace velto
