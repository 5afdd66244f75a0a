#include "present/Questions.h"

#include <QMessageBox>
#include <QTimer>

#include "present/WindowFit.h"

namespace velto {

Questions& Questions::Instance() {
    static Questions* queue = new Questions;  // lives to the end of the process
    return *queue;
}

void Questions::Tell(QWidget* owner, const QString& caption, const QString& text) {
    m_waiting.push_back({owner, owner != nullptr, caption, text, {}, false, {}});
    ShowNext();
}

void Questions::Ask(QWidget* owner, const QString& caption, const QString& text, Answer answer, const QString& key) {
    if (!key.isEmpty()) {
        if (m_shown && m_current.key == key) {
            m_current.answers.push_back(std::move(answer));
            m_shown->raise();
            m_shown->activateWindow();
            return;
        }
        for (Item& waiting : m_waiting)
            if (waiting.key == key) {
                waiting.answers.push_back(std::move(answer));
                return;
            }
    }
    m_waiting.push_back({owner, owner != nullptr, caption, text, key, true, {std::move(answer)}});
    ShowNext();
}

void Questions::Clear() {
    std::vector<Answer> dropped;
    for (Item& item : m_waiting)
        for (Answer& a : item.answers) dropped.push_back(std::move(a));
    m_waiting.clear();
    for (Answer& a : m_current.answers) dropped.push_back(std::move(a));
    m_current = {};
    if (m_shown) {
        m_shown->disconnect(this);
        m_shown->close();
        m_shown->deleteLater();
    }
    for (Answer& a : dropped)
        if (a) a(false);
}

void Questions::ShowNext() {
    if (m_shown || m_waiting.empty()) return;
    m_current = std::move(m_waiting.front());
    m_waiting.pop_front();
    // An owner closed meanwhile: the box stands alone.
    QWidget* owner = m_current.hasOwner ? m_current.owner.data() : nullptr;
    auto* box = new QMessageBox(m_current.question ? QMessageBox::Question : QMessageBox::Information,
                                m_current.caption, m_current.text,
                                m_current.question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Certificates, folders and failures come from servers: shown as text.
    box->setTextFormat(Qt::PlainText);
    if (m_current.question) box->setDefaultButton(QMessageBox::No);
    WidenForTitle(*box);
    m_shown = box;
    connect(box, &QMessageBox::finished, this, [this, box](int result) {
        if (box != m_shown) return;
        Answered(result == QMessageBox::Yes);
    });
    box->open();
}

void Questions::Answered(bool yes) {
    Item done = std::move(m_current);
    m_current = {};
    m_shown = nullptr;
    for (Answer& a : done.answers)
        if (a) a(yes);
    // The next one after this event: an answer may have asked again.
    QTimer::singleShot(0, this, [this] { ShowNext(); });
}

}  // namespace velto
