#include "present/WindowFit.h"
#include "present/MessageCenter.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QFontDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

#include "engine/Ending.h"
#include "present/Commands.h"
#include "present/Questions.h"
#include "present/MailFont.h"
#include "present/WidgetText.h"
#include "present/ReplyText.h"
#include "settings/AtomicFile.h"

namespace velto {

namespace {

const QString kAppCaption = QStringLiteral("VeltoMail");

// The pictures of Send Reply (a letter with an arrow) and Choose Font (a
// letter A), drawn at toolbar size.
QIcon DrawnIcon(int id) {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    if (id == ID_SEND_REPLY) {
        p.setPen(QPen(QColor(64, 64, 64), 1));
        p.setBrush(QColor(255, 255, 224));
        p.drawRect(QRectF(1.5, 4.5, 11, 8));
        p.drawLine(QPointF(1.5, 4.5), QPointF(7, 9));
        p.drawLine(QPointF(7, 9), QPointF(12.5, 4.5));
        p.setPen(QPen(QColor(0, 96, 0), 2));
        p.drawLine(QPointF(9, 13.5), QPointF(15, 13.5));
        p.drawLine(QPointF(12.5, 11), QPointF(15, 13.5));
        p.drawLine(QPointF(12.5, 16), QPointF(15, 13.5));
    } else {
        QFont font(QStringLiteral("Serif"));
        font.setPixelSize(15);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(0, 0, 128));
        p.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("A"));
    }
    return QIcon(picture);
}

QIcon CommandIcon(QWidget* window, int id) {
    if (id == ID_SAVE_MESSAGE) return window->style()->standardIcon(QStyle::SP_DialogSaveButton);
    return DrawnIcon(id);
}

}  // namespace

MessageCenterPrompts DefaultMessageCenterPrompts() {
    MessageCenterPrompts prompts;
    prompts.saveFileName = [](QWidget* parent) {
        // The dialog asks before it replaces a file.
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Message"), SaveFolder(),
                                            QStringLiteral("All Files (*)"));
    };
    prompts.chooseFont = [](QWidget* parent, QFont& font) {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font, parent, QStringLiteral("Choose Font"));
        if (ok) font = chosen;
        return ok;
    };
    prompts.messageBox = [](QWidget* parent, const QString& caption, const QString& text) {
        Questions::Instance().Tell(parent, caption, text);
    };
    prompts.askYesNo = [](QWidget* parent, const QString& question, std::function<void(bool)> answer) {
        Questions::Instance().Ask(parent, kAppCaption, question, std::move(answer));
    };
    prompts.chooseAttachment = [](QWidget* parent, const QStringList& names) {
        bool ok = false;
        const QString name = QInputDialog::getItem(parent, QStringLiteral("Save Attachment"), QStringLiteral("Attachment:"),
                                                   names, 0, false, &ok);
        return ok ? static_cast<int>(names.indexOf(name)) : -1;
    };
    prompts.saveAttachmentName = [](QWidget* parent, const QString& suggested) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Attachment"),
                                            QDir(SaveFolder()).filePath(QFileInfo(suggested).fileName()),
                                            QStringLiteral("All Files (*)"));
    };
    return prompts;
}

QString SaveFolder() {
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir()) return downloads;
    return QDir::homePath();
}

bool SaveMessageFile(const QString& path, const CMessageText& message, QString& error) {
    // As the server sent it: the header, CR LF, the body.
    const std::string text = message.m_header + "\r\n" + message.m_body;
    // Written aside and put in place whole: a failure leaves no half file.
    std::string reason;
    if (!WriteFileAtomically(ToFileName(path), text, AtomicWrite(), reason)) {
        error = QStringLiteral("The message could not be saved to \"%1\":\n%2").arg(path, FromUtf8(reason));
        return false;
    }
    return true;
}

CMessageCenter::CMessageCenter(MessageCenterPrompts prompts, TransportMaker transports, QWidget* parent)
    : QMainWindow(parent),
      m_prompts(std::move(prompts)),
      m_dispatch(this, m_prompts, std::move(transports),
                 {.sendAgain = [this] { OnSendReply(); },
                  .sending = [this](bool on) { m_actions[ID_SEND_REPLY]->setEnabled(!on); },
                  .sent = [this] { m_replySent = true; }}) {
    setWindowTitle(QStringLiteral("VeltoMail 98 - Mail Center"));
    m_tabs = new QTabWidget;
    m_reader = new CMailReaderPage;
    m_reply = new CMailReplyPage;
    m_stats = new CMailStatsPage;
    m_tabs->addTab(m_reader, QStringLiteral("Email Message"));
    m_tabs->addTab(m_reply, QStringLiteral("Reply"));
    m_tabs->addTab(m_stats, QStringLiteral("Intelligence"));
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CMessageCenter::OnPageChanged);
    BuildCommands();
    statusBar();  // for the commands' descriptions
    ApplyFont(FontFromLogFont(LoadMailFont()));
    // Escape closes, that is hides, as the close box does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    resize(640, 480);
}

CMessageCenter::~CMessageCenter() = default;

void CMessageCenter::showEvent(QShowEvent* event) {
    // The first time in the middle of the screen, whole: where the window
    // manager would put it, part of it may lie beyond the screen's edge.
    if (!m_placed && screen()) {
        m_placed = true;
        FitToScreen(*this);
    }
    QMainWindow::showEvent(event);
}

void CMessageCenter::BuildCommands() {
    struct Command {
        int id;
        const char* text;
        const char* tip;
        const char* description;
        void (CMessageCenter::*handler)();
    };
    const Command commands[] = {
        {ID_SAVE_MESSAGE, "Save Message", "Save Message", "Save the Current EMail Message",
         &CMessageCenter::OnSaveMessage},
        {ID_SEND_REPLY, "Send Reply", "Send Reply", "Send a Reply to the Current Message", &CMessageCenter::OnSendReply},
        {ID_CHOOSE_FONT, "Choose Font", "Change Font", "Change the default edit font", &CMessageCenter::OnChooseFont},
        {ID_SAVE_ATTACHMENT, "Save Attachment...", "Save Attachment", "Save a file attached to the message",
         &CMessageCenter::OnSaveAttachment},
    };
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Action"));
    QToolBar* bar = addToolBar(QStringLiteral("Message Center"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const Command& c : commands) {
        QAction* action = MakeCommand(this, c.id, QString::fromLatin1(c.text),
                                      QString::fromLatin1(c.description) + '\n' + QString::fromLatin1(c.tip),
                                      [this, handler = c.handler] { (this->*handler)(); });
        action->setIcon(CommandIcon(this, c.id));
        action->setIconVisibleInMenu(true);
        m_actions[c.id] = action;
        menu->addAction(action);
        if (c.id == ID_SAVE_ATTACHMENT) continue;  // the menu only: the toolbar keeps its three
        if (c.id == ID_CHOOSE_FONT) bar->addSeparator();
        bar->addAction(action);
    }
}

QAction* CMessageCenter::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMessageCenter::SetMessage(const CMailHeader& header, const CMessageText& message, std::function<void()> then) {
    auto replace = [this, header, message] {
        if (!SameMessage(header, m_header)) m_replyBuilt = false;
        m_header = header;
        m_message = message;
    };
    // One question at a time: a read while it is up is settled after it,
    // in the order read, so the newest is the one left on show.
    if (m_asking) {
        m_waiting.push_back({header, message, std::move(then)});
        return;
    }
    // A reply the user is writing survives hiding the window and showing
    // the same message again; another message over it is asked about once,
    // and a no keeps this message and its reply on show.
    if (m_replyBuilt && !SameMessage(header, m_header)) {
        if (m_tabs->currentIndex() == kReplyPage) m_reply->Pull();
        const bool edited = m_reply->m_recipient != m_builtReply.m_recipient ||
                            m_reply->m_subject != m_builtReply.m_subject || m_reply->m_body != m_builtReply.m_body;
        if (edited && !m_replySent) {
            if (!m_prompts.askYesNo) {
                if (then) then();
                return;
            }
            m_asking = true;
            m_prompts.askYesNo(this,
                               QStringLiteral("The reply you are writing has not been sent. Discard it "
                                              "and show the other message?"),
                               [self = QPointer<CMessageCenter>(this), replace, then](bool yes) {
                                   if (!self) return;
                                   self->m_asking = false;
                                   if (yes) replace();
                                   if (then) then();
                                   if (self) self->TakeWaitingReads();
                               });
            return;
        }
    }
    replace();
    if (then) then();
}

void CMessageCenter::TakeWaitingReads() {
    // Each through the same rule: after a yes the reply is no longer edited
    // and the newest ends on show; after a no the next one asks again.
    while (!m_asking && !m_waiting.empty()) {
        WaitingRead next = std::move(m_waiting.front());
        m_waiting.pop_front();
        SetMessage(next.header, next.message, std::move(next.then));
    }
}

bool CMessageCenter::SameMessage(const CMailHeader& a, const CMailHeader& b) {
    return a.m_uidlHash == b.m_uidlHash && a.m_accountServer == b.m_accountServer &&
           a.m_accountAddress == b.m_accountAddress && a.m_rawHeader == b.m_rawHeader;
}

void CMessageCenter::SetPage(Page page) {
    if (m_tabs->currentIndex() == page) {
        // Already in front: its controls are what the user sees; take them.
        static_cast<CMailPage*>(m_tabs->currentWidget())->Pull();
        return;
    }
    m_tabs->setCurrentIndex(page);
}

void CMessageCenter::OnPageChanged(int index) {
    if (auto* previous = static_cast<CMailPage*>(m_tabs->widget(m_currentPage))) previous->Pull();
    m_currentPage = index;
    if (auto* current = static_cast<CMailPage*>(m_tabs->widget(index))) current->Push();
}

void CMessageCenter::Fill() {
    SetPage(kMessagePage);
    // Read as a person reads mail: encoded words and MIME parts decoded.
    // Save Message and the header page keep the raw text.
    m_mime = std::make_unique<MimeMessage>(m_message.Whole());
    // A folded subject or name whole, as the list shows it.
    const std::string from = m_header.UnfoldedFrom();
    const std::string subject = m_header.Unfolded("Subject", m_header.m_subject);
    m_reader->m_from = FromUtf8(DecodeHeaderText(from));
    m_reader->m_subject = FromUtf8(DecodeHeaderText(subject));
    QString body = FromMessageText(m_mime->Text());
    if (!m_mime->Attachments().empty()) {
        body += QStringLiteral("\n\n---- Attachments (Action > Save Attachment...) ----\n");
        for (const auto& a : m_mime->Attachments())
            body += QStringLiteral("%1  (%2, %3 bytes)\n")
                        .arg(FromUtf8(a.name), FromUtf8(a.type))
                        .arg(a.size);
    }
    m_reader->m_body = body;
    m_actions[ID_SAVE_ATTACHMENT]->setEnabled(!m_mime->Attachments().empty());
    // Built for each new message (SetMessage has asked about any edits);
    // the quote is of the text as read.
    if (!m_replyBuilt) {
        m_builtReply.m_recipient = FromMessageText(ReplyRecipient(from));
        m_builtReply.m_subject = FromUtf8(DecodeHeaderText(ReplySubject(subject)));
        m_builtReply.m_body = FromMessageText(QuoteBody(m_mime->Text()));
        m_reply->m_recipient = m_builtReply.m_recipient;
        m_reply->m_subject = m_builtReply.m_subject;
        m_reply->m_body = m_builtReply.m_body;
        m_replyBuilt = true;
        m_replySent = false;
    }
    m_stats->m_rawHeader = FromMessageText(m_message.m_header);
    // The other pages show theirs when they are next chosen.
    m_reader->Push();
}

void CMessageCenter::ShowMessage() { Fill(); }

void CMessageCenter::ShowReply() {
    Fill();
    SetPage(kReplyPage);
}

void CMessageCenter::ShowHeader() {
    Fill();
    SetPage(kHeaderPage);
}

void CMessageCenter::OnSaveAttachment() {
    if (!m_mime || m_mime->Attachments().empty()) return;
    QStringList names;
    for (const auto& a : m_mime->Attachments()) names << FromUtf8(a.name);
    const int index = names.size() == 1 ? 0 : m_prompts.chooseAttachment(this, names);
    if (index < 0 || index >= names.size()) return;
    const QString path = m_prompts.saveAttachmentName(this, names[index]);
    if (path.isEmpty()) return;
    // The decoded bytes, written aside and put in place whole.
    const std::string bytes = m_mime->AttachmentBytes(static_cast<std::size_t>(index));
    std::string reason;
    if (!WriteFileAtomically(ToFileName(path), bytes, AtomicWrite(), reason))
        m_prompts.messageBox(this, kAppCaption,
                             QStringLiteral("The attachment could not be saved to \"%1\":\n%2").arg(path, FromUtf8(reason)));
}

void CMessageCenter::OnSaveMessage() {
    SetPage(kMessagePage);
    const QString path = m_prompts.saveFileName(this);
    if (path.isEmpty()) return;
    // The bytes the server sent, whatever the page shows.
    QString error;
    if (!SaveMessageFile(path, m_message, error)) m_prompts.messageBox(this, kAppCaption, error);
}

void CMessageCenter::OnChooseFont() {
    QFont font = m_reader->Pane()->font();
    if (!m_prompts.chooseFont(this, font)) return;
    // Through the stored form, so this run looks as the next one will.
    const LogFont stored = LogFontFromFont(font);
    ApplyFont(FontFromLogFont(stored));
    SaveMailFont(stored);
}

void CMessageCenter::ApplyFont(const QFont& font) {
    for (CMailPage* page : {static_cast<CMailPage*>(m_reader), static_cast<CMailPage*>(m_reply),
                            static_cast<CMailPage*>(m_stats)})
        page->Pane()->setFont(font);
}

void CMessageCenter::OnSendReply() {
    if (m_dispatch.Busy() || EndBegun()) return;
    SetPage(kReplyPage);
    m_dispatch.Send(m_header, m_reply->m_recipient, m_reply->m_subject, m_reply->m_body);
}

}  // namespace velto
