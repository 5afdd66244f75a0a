#include "present/Commands.h"

namespace velto {

void SetPrompt(QAction* action, const QString& prompt) {
    const qsizetype cut = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(prompt.left(cut));
    if (cut >= 0) action->setToolTip(prompt.mid(cut + 1).left(79));
}

QAction* MakeCommand(QObject* parent, int id, const QString& text, const QString& prompt, std::function<void()> run) {
    auto* action = new QAction(text, parent);
    action->setData(id);
    SetPrompt(action, prompt);
    if (run)
        QObject::connect(action, &QAction::triggered, parent, [run = std::move(run)] { run(); });
    else
        action->setEnabled(false);
    return action;
}

}  // namespace velto
