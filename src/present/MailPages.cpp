#include "present/MailPages.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <utility>
#include <vector>

namespace velto {

namespace {

QPlainTextEdit* MakePane(bool readOnly, bool wrap) {
    auto* pane = new QPlainTextEdit;
    pane->setReadOnly(readOnly);
    pane->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    return pane;
}

QLineEdit* MakeLine(bool readOnly) {
    auto* edit = new QLineEdit;
    edit->setReadOnly(readOnly);
    return edit;
}

// "From :" / "Subject :" rows above a text pane.
void LayOut(QWidget* page, const std::vector<std::pair<QString, QLineEdit*>>& rows, QPlainTextEdit* pane) {
    auto* grid = new QGridLayout(page);
    int row = 0;
    for (const auto& [label, edit] : rows) {
        auto* caption = new QLabel(label);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        ++row;
    }
    grid->addWidget(pane, row, 0, 1, 2);
    grid->setRowStretch(row, 1);
}

}  // namespace

CMailReaderPage::CMailReaderPage(QWidget* parent)
    : CMailPage(parent), m_fromEdit(MakeLine(true)), m_subjectEdit(MakeLine(true)), m_bodyEdit(MakePane(true, true)) {
    LayOut(this, {{QStringLiteral("From :"), m_fromEdit}, {QStringLiteral("Subject :"), m_subjectEdit}}, m_bodyEdit);
}

void CMailReaderPage::Push() {
    m_fromEdit->setText(m_from);
    m_fromEdit->setCursorPosition(0);
    m_subjectEdit->setText(m_subject);
    m_subjectEdit->setCursorPosition(0);
    m_bodyEdit->setPlainText(m_body);
}

CMailReplyPage::CMailReplyPage(QWidget* parent)
    : CMailPage(parent),
      m_recipientEdit(MakeLine(false)),
      m_subjectEdit(MakeLine(false)),
      m_bodyEdit(MakePane(false, true)) {
    // "Reipient" is the label's established spelling.
    LayOut(this, {{QStringLiteral("Reipient :"), m_recipientEdit}, {QStringLiteral("Subject :"), m_subjectEdit}},
           m_bodyEdit);
}

void CMailReplyPage::Push() {
    m_recipientEdit->setText(m_recipient);
    m_subjectEdit->setText(m_subject);
    m_bodyEdit->setPlainText(m_body);
}

void CMailReplyPage::Pull() {
    m_recipient = m_recipientEdit->text();
    m_subject = m_subjectEdit->text();
    m_body = m_bodyEdit->toPlainText();
}

CMailStatsPage::CMailStatsPage(QWidget* parent) : CMailPage(parent), m_headerEdit(MakePane(true, false)) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Raw Message Header from Server")));
    layout->addWidget(m_headerEdit, 1);
}

void CMailStatsPage::Push() { m_headerEdit->setPlainText(m_rawHeader); }

}  // namespace velto
