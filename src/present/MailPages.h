#pragma once
// The Message Center's three pages. A page holds its fields and the
// controls they are shown in: it shows its fields when it becomes the
// current page and takes the user's edits back when it stops being it.
#include <QString>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace velto {

class CMailPage : public QWidget {
public:
    using QWidget::QWidget;
    virtual void Push() = 0;
    virtual void Pull() {}
    // The multi-line pane whose font the user chooses.
    virtual QPlainTextEdit* Pane() const = 0;
};

class CMailReaderPage : public CMailPage {
public:
    explicit CMailReaderPage(QWidget* parent = nullptr);
    void Push() override;
    QPlainTextEdit* Pane() const override { return m_bodyEdit; }
    QLineEdit* FromEdit() const { return m_fromEdit; }
    QLineEdit* SubjectEdit() const { return m_subjectEdit; }
    QString m_from, m_subject, m_body;

private:
    QLineEdit* m_fromEdit;
    QLineEdit* m_subjectEdit;
    QPlainTextEdit* m_bodyEdit;
};

class CMailReplyPage : public CMailPage {
public:
    explicit CMailReplyPage(QWidget* parent = nullptr);
    void Push() override;
    void Pull() override;
    QPlainTextEdit* Pane() const override { return m_bodyEdit; }
    QLineEdit* RecipientEdit() const { return m_recipientEdit; }
    QLineEdit* SubjectEdit() const { return m_subjectEdit; }
    QString m_recipient, m_subject, m_body;

private:
    QLineEdit* m_recipientEdit;
    QLineEdit* m_subjectEdit;
    QPlainTextEdit* m_bodyEdit;
};

class CMailStatsPage : public CMailPage {
public:
    explicit CMailStatsPage(QWidget* parent = nullptr);
    void Push() override;
    QPlainTextEdit* Pane() const override { return m_headerEdit; }
    QString m_rawHeader;

private:
    QPlainTextEdit* m_headerEdit;
};

}  // namespace velto
