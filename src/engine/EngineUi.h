#pragma once
// What the engine asks of its windows (main frame, chooser, status bar,
// progress window, dialogs). Called on the user-interface thread only.
#include <functional>
#include <string>

#include "protocol/Transport.h"

namespace velto {

class CMailHeader;
class CMessageText;

class IEngineUi {
public:
    virtual ~IEngineUi() = default;

    // Main window.
    virtual void SetFrameTitle(const std::string& title) = 0;
    virtual void ShowMainWindow() = 0;  // "Open": normal state, also when hidden
    virtual void SetWaitCursor(bool on) = 0;
    virtual void ShowAbout() = 0;
    // Shown after the boxes and questions before it; returns at once.
    virtual void MessageBox(const std::string& text) = 0;
    // "Velto Mail Options", or the one open raised; returns at once. done
    // hears, when it closes, whether settings were written (OK, or Apply
    // and then Cancel).
    virtual void OpenOptionsSheet(std::function<void(bool written)> done) = 0;
    // The questions return at once; the answer comes later on this thread,
    // no when the question was dropped (the end began).
    // Whether to trust, for this account, a certificate that failed
    // verification: subject, issuer, validity and fingerprint are shown.
    virtual void AskTrustCertificate(const std::string& account, const PeerCertificate& certificate,
                                     std::function<void(bool yes)> answer) = 0;
    // Whether to sign the account in again (OAuth2), and doing it: true once
    // the user is signed in.
    virtual void AskSignInAgain(const std::string& account, std::function<void(bool signedIn)> answer) {
        (void)account;
        answer(false);
    }

    // The message list: report style, the five columns, the two images,
    // full-row selection.
    virtual void SetupList() = 0;
    // Which commands there are may have changed (an IMAP account came or went).
    virtual void CommandsChanged() {}

    // "Mail Folders" chooser.
    virtual void ChooserResetContent() = 0;
    virtual void ChooserInsertAtTop(const std::string& text) = 0;  // index 0, image 0
    virtual void ChooserSetCurSel(int index) = 0;

    // Status bar.
    virtual void SetPaneText(const std::string& text, int pane) = 0;
    virtual void SetProgress(int position, int range) = 0;  // -1 hides the bar
    virtual void ClearMessages(bool update) = 0;

    // The Get Mail progress window (modeless; its Cancel reaches the engine
    // through OnProgressCancel).
    virtual bool HasProgressWindow() const = 0;
    virtual void CreateProgressWindow() = 0;
    virtual void ShowProgressWindow(const std::string& caption) = 0;
    virtual void DestroyProgressWindow() = 0;
    virtual void ProgressText(const std::string& text) = 0;
    virtual void ProgressRange(int upper) = 0;
    virtual void ProgressAdvance(int step) = 0;
    virtual void ProgressReset() = 0;

    // Reading a message (the Message Center, the web browser window).
    enum MessageCenterPage : int { kMessagePage = 0, kReplyPage = 1, kHeaderPage = 2 };
    virtual void ShowInMessageCenter(const CMailHeader& header, const CMessageText& message, int page) = 0;
    virtual void ShowInBrowser(const CMailHeader& header, const CMessageText& message) = 0;
    virtual void OpenBrowser() = 0;
    virtual void DestroyBrowser() = 0;
};

}  // namespace velto
