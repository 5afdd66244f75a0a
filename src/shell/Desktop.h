#pragma once
// What the windows ask of the desktop: the clipboard, the default handler
// for an address, the alert sounds and message boxes. The real one lives in
// the platform layer; tests put a recording fake in its place, so nothing
// here may block or touch the real desktop under test.
#include <QString>
#include <functional>

class QWidget;

namespace velto {

class IDesktop {
public:
    enum class Beep { Information, Warning };

    virtual ~IDesktop() = default;

    // The clipboard's plain text, empty when it holds none. False when the
    // clipboard cannot be read at this moment (another program holds it).
    virtual bool ClipboardText(QString& text) = 0;
    // changed runs on the UI thread after every later change of the
    // clipboard; what is on it already is never reported.
    virtual void WatchClipboard(std::function<void()> changed) = 0;
    // Hands the text to the desktop's default handler ("open"). Failures are
    // silent.
    virtual void Open(const QString& target) = 0;
    virtual void Sound(Beep kind) = 0;
    // A message box captioned "VeltoMail", after those before it; returns
    // at once.
    virtual void MessageBox(QWidget* owner, const QString& text) = 0;
    // A Yes/No question captioned "VeltoMail", No the default; returns at
    // once, answer(true) for Yes comes later. A question of the same key
    // still open is not asked again: both hear its answer.
    virtual void AskYesNo(QWidget* owner, const QString& text, std::function<void(bool yes)> answer,
                          const QString& key = {}) = 0;
    // Raises the window and gives it the focus; with the desktop's token
    // for the user's action that led here, when one was handed over.
    virtual void BringToFront(QWidget* window) = 0;
};

}  // namespace velto
