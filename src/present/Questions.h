#pragma once
// The program's boxes and questions, shown one at a time and never waited
// for: whoever raises one goes on at once and hears the answer later, on the
// user-interface thread. A question already waiting or shown under the same
// key is not asked twice: its answer goes to both askers.
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace velto {

class Questions : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(bool yes)>;

    // The one queue of the program.
    static Questions& Instance();

    // A box captioned caption with OK.
    void Tell(QWidget* owner, const QString& caption, const QString& text);
    // A Yes/No question, No the default; answer(true) for Yes.
    void Ask(QWidget* owner, const QString& caption, const QString& text, Answer answer, const QString& key = {});
    // The end has begun: what waits or shows is dropped, every asker
    // hearing no.
    void Clear();
    // The box on screen, if any (tests answer it).
    QMessageBox* Current() const { return m_shown; }
    bool Idle() const { return !m_shown && m_waiting.empty(); }

private:
    struct Item {
        QPointer<QWidget> owner;
        bool hasOwner = false;
        QString caption, text, key;
        bool question = false;
        std::vector<Answer> answers;
    };
    void ShowNext();
    void Answered(bool yes);

    std::deque<Item> m_waiting;
    Item m_current;
    QPointer<QMessageBox> m_shown;
};

}  // namespace velto
