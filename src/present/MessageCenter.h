#pragma once
// The Message Center: a top-level window that shows a fetched message on
// three pages (the message, a reply to it, the raw header), saves the
// message to a file, sends the reply and sets the font of its text panes.
// Created once and kept; closing it only hides it.
#include <QMainWindow>
#include <QProgressDialog>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "present/MailPages.h"
#include "present/ReplyDispatch.h"
#include "protocol/MimeMessage.h"
#include "protocol/MailHeader.h"
#include "protocol/MessageText.h"

class QAction;
class QTabWidget;

namespace velto {

class ITransportFactory;

enum MessageCenterCommand : int {
    ID_SAVE_MESSAGE = 32805,
    ID_SEND_REPLY = 32806,
    ID_CHOOSE_FONT = 32817,
    ID_SAVE_ATTACHMENT = 32819,  // beyond the Windows version: MIME parts
};

// The boxes and dialogs the window opens; tests put recorders in their place.
struct MessageCenterPrompts {
    // The file to save to; empty when cancelled.
    std::function<QString(QWidget* parent)> saveFileName;
    // Which attachment to save (-1: none) and where, the name suggested.
    std::function<int(QWidget* parent, const QStringList& names)> chooseAttachment;
    std::function<QString(QWidget* parent, const QString& suggested)> saveAttachmentName;
    // True when the user chose a font (in font).
    std::function<bool(QWidget* parent, QFont& font)> chooseFont;
    // The boxes return at once; an answer comes later.
    std::function<void(QWidget* parent, const QString& caption, const QString& text)> messageBox;
    std::function<void(QWidget* parent, const QString& question, std::function<void(bool yes)> answer)> askYesNo;
    // Whether to sign the account in again, and doing it (true once signed in).
    std::function<void(const std::string& account, std::function<void(bool signedIn)> answer)> signInAgain;
};
MessageCenterPrompts DefaultMessageCenterPrompts();
// Where Save Message and Save Attachment open: the user's Downloads folder
// where it exists, else home; never the folder the program was started in.
QString SaveFolder();

// Writes raw header, CR LF, body and nothing else; on failure the file is
// left as it was and error names the file and the reason.
bool SaveMessageFile(const QString& path, const CMessageText& message,
                     QString& error);

class CMessageCenter : public QMainWindow {
    Q_OBJECT
public:
    using TransportMaker = CReplyDispatch::TransportMaker;
    enum Page { kMessagePage = 0, kReplyPage = 1, kHeaderPage = 2 };

    // transports: a fresh factory for each send, so Cancel ends only it.
    explicit CMessageCenter(MessageCenterPrompts prompts, TransportMaker transports, QWidget* parent = nullptr);
    // Encryption for replies sent over SSL/TLS or STARTTLS.
    void SetTlsLayer(std::shared_ptr<ITlsLayer> tls) { m_dispatch.SetTlsLayer(std::move(tls)); }
    // How replies sign in: passwords, the keyring, OAuth2 tokens.
    void SetSignIn(std::shared_ptr<ISignIn> signIn) { m_dispatch.SetSignIn(std::move(signIn)); }
    ~CMessageCenter() override;

    // The message to show next: its header record and its text. Over a
    // reply the user edited for another message, the user is asked first;
    // then runs once it is settled (the message replaced only on a yes).
    // Messages read while the question is up wait, and are taken in turn
    // after the answer.
    void SetMessage(const CMailHeader& header, const CMessageText& message, std::function<void()> then = {});
    // Fill the pages; the message page in front, or the named one.
    void ShowMessage();
    void ShowReply();
    void ShowHeader();

    void OnSaveMessage();
    void OnSendReply();
    void OnChooseFont();
    void OnSaveAttachment();

    QAction* Action(int id) const;
    QTabWidget* Tabs() const { return m_tabs; }
    CMailReaderPage* Reader() const { return m_reader; }
    CMailReplyPage* Reply() const { return m_reply; }
    CMailStatsPage* Stats() const { return m_stats; }
    // The window that says a reply is being sent; null when none is.
    QProgressDialog* SendingWindow() const { return m_dispatch.SendingWindow(); }
    bool Sending() const { return m_dispatch.Busy(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildCommands();
    void Fill();
    void SetPage(Page page);
    void OnPageChanged(int index);
    void ApplyFont(const QFont& font);
    static bool SameMessage(const CMailHeader& a, const CMailHeader& b);
    void TakeWaitingReads();

    MessageCenterPrompts m_prompts;
    CMailHeader m_header;
    CMessageText m_message;
    std::unique_ptr<MimeMessage> m_mime;  // the message as a person reads it
    QTabWidget* m_tabs = nullptr;
    CMailReaderPage* m_reader = nullptr;
    CMailReplyPage* m_reply = nullptr;
    CMailStatsPage* m_stats = nullptr;
    // The reply as built for the message on show, to tell the user's edits.
    struct BuiltReply {
        QString m_recipient, m_subject, m_body;
    } m_builtReply;
    bool m_replyBuilt = false;
    bool m_replySent = false;
    bool m_asking = false;  // the discard question is up
    struct WaitingRead {
        CMailHeader header;
        CMessageText message;
        std::function<void()> then;
    };
    std::deque<WaitingRead> m_waiting;  // read while it is up, oldest first
    int m_currentPage = 0;
    bool m_placed = false;
    std::map<int, QAction*> m_actions;
    // Last, so a reply still going is cancelled before the rest goes.
    CReplyDispatch m_dispatch;
};

}  // namespace velto
