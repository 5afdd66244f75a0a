#pragma once
// Fakes for the engine's windows and services. Each records what it was
// asked, in one shared journal, so tests can check order as well as effect.
#include <QTimer>
#include <algorithm>
#include <functional>
#include <thread>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/EngineServices.h"
#include "protocol/MessageText.h"
#include "settings/Settings.h"
#include "engine/EngineUi.h"
#include "engine/HeaderStoreFile.h"
#include "engine/Notifications.h"
#include "support/RecordingLogSink.h"

namespace velto::test {

using Journal = std::vector<std::string>;

// A keyring that gives one secret for every key, or does not answer; the
// answers of its asynchronous calls come from the event loop, as a real
// keyring's do.
struct FakeKeyring : ISecretStore {
    bool answers = true;
    std::vector<std::string> written, removed;
    SecretAnswer Read(const std::string&, std::stop_token) override {
        if (!answers) return {false, false, {}, "no keyring answered"};
        return {true, false, "from-keyring", {}};
    }
    bool Write(const std::string& key, const std::string&, std::string* why) override {
        if (answers) written.push_back(key);
        else if (why) *why = "no keyring answered";
        return answers;
    }
    void ReadAsync(const std::string& key, std::function<void(const SecretAnswer&)> done) override {
        QTimer::singleShot(0, [done, answer = Read(key, {})] { done(answer); });
    }
    void WriteAsync(const std::string& key, const std::string& secret,
                    std::function<void(bool, const std::string&)> done) override {
        std::string why;
        const bool ok = Write(key, secret, &why);
        QTimer::singleShot(0, [done, ok, why] {
            if (done) done(ok, why);
        });
    }
    void RemoveAsync(const std::string& key) override { removed.push_back(key); }
};

// Signs in with the name and password the settings hold: no keyring, no
// tokens (the real service's policy has tests of its own).
struct SettingsSignIn : ISignIn {
    SignInResult Run(const AccountSettings& a, SignInDirection direction, const Attempt& attempt, ILogSink*,
                     std::stop_token) override {
        const bool out = direction == SignInDirection::Outgoing;
        const SignInTry tried =
            attempt(false, out ? a.OutgoingUser() : a.GetUserName(), out ? a.OutgoingPassword() : a.GetUserPassword());
        return {tried.verdict == SignInTry::Done, tried.why.empty() ? "the server refused the password" : tried.why,
                false};
    }
};

class FakeUi : public IEngineUi {
public:
    explicit FakeUi(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    std::string title;
    std::vector<std::string> chooser;
    int chooserSel = -1;
    bool optionsResult = false;
    std::function<void()> onOptionsSheet;
    std::vector<std::string> messageBoxes;
    std::string paneText = "Ready";
    int progressPos = -1, progressRange = 0;
    bool waitCursor = false;
    bool progressWindow = false;
    std::vector<std::string> progressTexts;
    int progressUpper = 0, progressAdvanced = 0;
    int messageCenterShows = 0, browserShows = 0, lastPage = -1;
    std::string lastBody;

    void SetFrameTitle(const std::string& t) override { title = t; }
    void ShowMainWindow() override { m_journal.push_back("ui.show"); }
    void SetWaitCursor(bool on) override { waitCursor = on; }
    void ShowAbout() override { m_journal.push_back("ui.about"); }
    // What runs while a box is up (a real one runs an event loop).
    std::function<void()> whileMessageBox;
    void MessageBox(const std::string& text) override {
        messageBoxes.push_back(text);
        m_journal.push_back("ui.messagebox " + text);
        if (whileMessageBox) std::exchange(whileMessageBox, nullptr)();
    }
    // The sheet closes at once with optionsResult, unless held (then
    // sheetDone closes it).
    bool holdSheet = false;
    std::function<void(bool)> sheetDone;
    void OpenOptionsSheet(std::function<void(bool)> done) override {
        m_journal.push_back("ui.options");
        if (onOptionsSheet) onOptionsSheet();
        if (holdSheet) sheetDone = std::move(done);
        else done(optionsResult);
    }
    // Answers for AskTrustCertificate (at once, unless held); what was asked.
    bool trustAnswer = false;
    bool holdAnswers = false;
    std::vector<std::function<void(bool)>> heldAnswers;
    std::thread::id trustThread;
    std::vector<std::pair<std::string, PeerCertificate>> trustQuestions;
    void AskTrustCertificate(const std::string& account, const PeerCertificate& certificate,
                             std::function<void(bool)> answer) override {
        trustQuestions.emplace_back(account, certificate);
        trustThread = std::this_thread::get_id();
        m_journal.push_back("ui.trust " + account);
        if (holdAnswers) heldAnswers.push_back(std::move(answer));
        else answer(trustAnswer);
    }
    std::vector<std::string> signInQuestions;  // never signs in
    void AskSignInAgain(const std::string& account, std::function<void(bool)> answer) override {
        signInQuestions.push_back(account);
        answer(false);
    }
    void SetupList() override { m_journal.push_back("ui.setuplist"); }
    void ChooserResetContent() override {
        chooser.clear();
        m_journal.push_back("chooser.reset");
    }
    void ChooserInsertAtTop(const std::string& text) override { chooser.insert(chooser.begin(), text); }
    void ChooserSetCurSel(int index) override { chooserSel = index; }
    void SetPaneText(const std::string& text, int pane) override {
        if (pane == 0) paneText = text;
    }
    void SetProgress(int position, int range) override {
        progressPos = position;
        if (range > 0) progressRange = range;
    }
    void ClearMessages(bool) override {}
    bool HasProgressWindow() const override { return progressWindow; }
    void CreateProgressWindow() override { progressWindow = true; }
    void ShowProgressWindow(const std::string& caption) override { m_journal.push_back("progress " + caption); }
    void DestroyProgressWindow() override { progressWindow = false; }
    void ProgressText(const std::string& text) override { progressTexts.push_back(text); }
    void ProgressRange(int upper) override {
        progressUpper = upper;
        progressAdvanced = 0;
    }
    void ProgressAdvance(int step) override { progressAdvanced += step; }
    void ProgressReset() override { progressUpper = 0; }
    CMailHeader lastHeader;
    void ShowInMessageCenter(const CMailHeader& header, const CMessageText& message, int page) override {
        ++messageCenterShows;
        lastHeader = header;
        lastPage = page;
        lastBody = message.m_body;
    }
    void ShowInBrowser(const CMailHeader&, const CMessageText& message) override {
        ++browserShows;
        lastBody = message.m_body;
    }
    void OpenBrowser() override {}
    void DestroyBrowser() override {}
};

class FakeTray : public ITray {
public:
    explicit FakeTray(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    int icon = 0;
    std::string tip;
    std::vector<int> icons;  // every icon set, in order
    std::vector<std::string> notifications;
    bool present = false;
    bool IsAvailable() const override { return true; }
    void Add(int i, const std::string& t) override {
        present = true;
        icon = i;
        tip = t;
        m_journal.push_back("tray.add " + t);
    }
    void SetIcon(int i) override {
        icon = i;
        icons.push_back(i);
    }
    void SetTip(const std::string& t) override { tip = t; }
    void Remove() override {
        present = false;
        m_journal.push_back("tray.remove");
    }
    void Notify(const std::string&, const std::string& text) override { notifications.push_back(text); }
};

// Desktop notices: what was shown, and the user choosing one's button.
class FakeNotices : public INotifications {
public:
    explicit FakeNotices(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    std::vector<Notice> shown;
    void Show(Notice notice) override {
        m_journal.push_back("notice " + notice.tag);
        shown.push_back(std::move(notice));
    }
    void Withdraw(const std::string& tag) override { m_journal.push_back("notice.withdraw " + tag); }
    // The button of that key on the last notice; false when it has none.
    bool Choose(const std::string& key) {
        if (shown.empty()) return false;
        for (const auto& action : shown.back().actions)
            if (action.key == key) {
                action.run();
                return true;
            }
        return false;
    }
};

class FakeSound : public ISound {
public:
    std::vector<std::string> played;
    int stops = 0;
    void PlayAsync(const std::string& path) override { played.push_back(path); }
    void Stop() override { ++stops; }
};

// Timers that fire only when the test says so: a controllable clock.
class FakeTimers : public ITimerHost {
public:
    explicit FakeTimers(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    std::map<int, int> armed;  // id -> interval
    bool failNext = false;
    bool SetTimer(int id, int ms) override {
        if (failNext) {
            failNext = false;
            return false;
        }
        armed[id] = ms;
        if (id < 1000) m_journal.push_back("timer.set " + std::to_string(id) + " " + std::to_string(ms));
        return true;
    }
    void KillTimer(int id) override { armed.erase(id); }
    bool IsArmed(int id) const { return armed.count(id) != 0; }
    int Interval(int id) const {
        auto it = armed.find(id);
        return it == armed.end() ? -1 : it->second;
    }
};

class FakeDialup : public IDialup {
public:
    explicit FakeDialup(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    long enumStatus = 0;
    std::vector<DialupConnection> connections;
    // What dialling does: by default a connection of that entry comes up.
    bool dialSucceeds = true;
    // Off: the dialog stays open until CloseDialog, as one the user has not
    // answered yet.
    bool closesAtOnce = true;
    std::vector<long> hungUp;
    long EnumConnections(std::vector<DialupConnection>& out) override {
        m_journal.push_back("dialup.enum");
        out = connections;
        return enumStatus;
    }
    void EnumEntryNames(std::vector<std::string>& names) override { names = {"Work", "Home"}; }
    void RunDialDialog(const std::string& entry, std::function<void()> closed) override {
        m_journal.push_back("dialup.dial " + entry);
        m_dialling = entry;
        m_closed = std::move(closed);
        if (closesAtOnce) CloseDialog();
    }
    bool DialogOpen() const { return static_cast<bool>(m_closed); }
    void CloseDialog() {
        if (dialSucceeds) connections.push_back({m_dialling, 77});
        std::exchange(m_closed, {})();
    }
    std::string m_dialling;
    std::function<void()> m_closed;
    long HangUp(long handle) override {
        hungUp.push_back(handle);
        std::erase_if(connections, [&](const DialupConnection& c) { return c.handle == handle; });
        return 0;
    }
    bool connectivity = true;
    std::function<void()> connectivityBack, resumed;
    bool HasConnectivity() override { return connectivity; }
    void SetNetworkListener(std::function<void()> back, std::function<void()> woke) override {
        connectivityBack = std::move(back);
        resumed = std::move(woke);
    }
};

class FakeStoreFile : public IHeaderStoreFile {
public:
    explicit FakeStoreFile(Journal& journal) : m_journal(journal) {}
    Journal& m_journal;
    std::map<std::string, std::vector<CMailHeader>> files;
    std::vector<std::string> existing;  // other paths that exist (sound files)
    bool Exists(const std::string& path) override {
        return files.count(path) || std::find(existing.begin(), existing.end(), path) != existing.end();
    }
    HeaderStoreOutcome Load(std::vector<StoredHeader>& list, const std::string& path) override {
        m_journal.push_back("store.load");
        auto it = files.find(path);
        if (it == files.end()) return {false, {"Decompression failed"}, {}};
        for (const auto& r : it->second) list.emplace_back(r);
        return {true, {}, {}};
    }
    HeaderStoreOutcome Save(const std::vector<StoredHeader>& list, const std::string& path) override {
        m_journal.push_back("store.save " + std::to_string(list.size()));
        auto& file = files[path];
        file.clear();
        for (const auto& r : list) file.push_back(r.Full());
        return {true, {}, {}};
    }
};

}  // namespace velto::test
