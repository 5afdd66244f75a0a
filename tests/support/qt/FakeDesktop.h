#pragma once
// A desktop that records what the windows asked of it: the clipboard is a
// string the test sets, and nothing opens, sounds or blocks.
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "shell/Desktop.h"

namespace velto::test {

class FakeDesktop : public IDesktop {
public:
    QString clipboard;
    bool clipboardHeld = false;  // another program has it open
    std::function<void()> watcher;
    std::vector<QString> opened;
    std::vector<Beep> beeps;
    std::vector<QString> messageBoxes;

    bool ClipboardText(QString& text) override {
        if (clipboardHeld) return false;
        text = clipboard;
        return true;
    }
    void WatchClipboard(std::function<void()> changed) override { watcher = std::move(changed); }
    void Open(const QString& target) override { opened.push_back(target); }
    void Sound(Beep kind) override { beeps.push_back(kind); }
    void MessageBox(QWidget*, const QString& text) override { messageBoxes.push_back(text); }
    bool answerYes = false;
    std::vector<QString> questions;
    void AskYesNo(QWidget*, const QString& text, std::function<void(bool)> answer, const QString& = {}) override {
        questions.push_back(text);
        answer(answerYes);
    }

    void BringToFront(QWidget* window) override {
        window->raise();
        window->activateWindow();
    }

    // Something was copied: the clipboard changes and the watcher hears of it.
    void Copy(const QString& text) {
        clipboard = text;
        if (watcher) watcher();
    }
};

}  // namespace velto::test
