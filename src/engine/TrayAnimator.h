#pragma once
// The tray icon's two animations on the view's timers: the busy frames
// while a network worker runs, and the new-mail blink. Only the UI thread
// touches them. The blink pauses at the end of a cycle while busy frames
// run, so the two never fight over the icon.
#include <functional>

#include "engine/EngineServices.h"

namespace velto {

class TrayAnimator {
public:
    static constexpr int kBusyTimerId = 1001;
    static constexpr int kBlinkTimerId = 1002;

    TrayAnimator(ITimerHost& timers, std::function<void(int icon)> setIcon);

    // A worker starts: busy frames (one animation at a time).
    void StartBusy();
    // The worker is done: the busy frames end at their next frame.
    void StopBusy();
    // New mail: the blink starts (at most one blinker).
    void StartBlink();
    // The user looked: the blink ends at the end of its cycle.
    void StopBlink();
    // Shut-down: both end now.
    void StopAll();
    // One of the animation timers fired; false for any other id.
    bool OnTimer(int id);

    bool Blinking() const { return m_blink != State::Idle; }

private:
    enum class State { Idle, Running, WaitingForBusy };
    void BusyTick();
    void FinishBusy();
    void BlinkTick();
    void FinishBlink();
    void ShowBlinkFrame(int frame);

    ITimerHost& m_timers;
    std::function<void(int)> m_setIcon;
    State m_busy = State::Idle;
    int m_busyFrame = 0;
    bool m_busyStop = false;
    // Whether busy frames started, and whether they ended, since the blink
    // last looked: a blink cycle waits only for frames still running.
    bool m_busyStarted = false;
    bool m_busyEnded = false;
    State m_blink = State::Idle;
    int m_blinkFrame = 0;
    bool m_blinkStop = false;
};

}  // namespace velto
