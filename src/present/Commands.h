#pragma once
// The commands of the program's windows, made one way: an action that keeps
// its command id, its prompt and what it runs.
#include <QAction>
#include <QString>
#include <functional>

namespace velto {

// prompt: the status bar line, then after a line break the tooltip (without
// one a button shows its caption). Tooltips stay within 79 characters.
void SetPrompt(QAction* action, const QString& prompt);

// The action for command id, owned by parent; without run it is disabled
// (nothing handles it).
QAction* MakeCommand(QObject* parent, int id, const QString& text, const QString& prompt, std::function<void()> run);

}  // namespace velto
