#include "engine/TrayAnimator.h"

namespace velto {

namespace {
// Frames and intervals: busy 227/229/241 for 300/300/700 ms; blink 224/225
// for 300/300 ms.
constexpr int kBusyIcons[3] = {kIconBusy1, kIconBusy2, kIconBusy3};
constexpr int kBusyIntervals[3] = {300, 300, 700};
constexpr int kBlinkIcons[2] = {kIconBlink1, kIconBlink2};
constexpr int kBlinkInterval = 300;
}  // namespace

TrayAnimator::TrayAnimator(ITimerHost& timers, std::function<void(int icon)> setIcon)
    : m_timers(timers), m_setIcon(std::move(setIcon)) {}

void TrayAnimator::StartBusy() {
    m_busyStop = false;
    if (m_busy == State::Running) return;
    m_busy = State::Running;
    m_busyStarted = true;
    m_busyEnded = false;
    m_busyFrame = 0;
    m_setIcon(kBusyIcons[0]);
    m_timers.SetTimer(kBusyTimerId, kBusyIntervals[0]);
}

void TrayAnimator::StopBusy() { m_busyStop = true; }

void TrayAnimator::StartBlink() {
    m_blinkStop = false;
    if (m_blink != State::Idle) return;
    m_blink = State::Running;
    ShowBlinkFrame(0);
}

void TrayAnimator::StopBlink() { m_blinkStop = true; }

void TrayAnimator::StopAll() {
    m_timers.KillTimer(kBusyTimerId);
    m_timers.KillTimer(kBlinkTimerId);
    m_busy = State::Idle;
    m_blink = State::Idle;
}

bool TrayAnimator::OnTimer(int id) {
    if (id == kBusyTimerId) {
        BusyTick();
    } else if (id == kBlinkTimerId) {
        BlinkTick();
    } else {
        return false;
    }
    return true;
}

void TrayAnimator::BusyTick() {
    if (m_busy != State::Running) {
        m_timers.KillTimer(kBusyTimerId);
        return;
    }
    if (m_busyStop) {
        FinishBusy();
        return;
    }
    m_busyFrame = (m_busyFrame + 1) % 3;
    m_setIcon(kBusyIcons[m_busyFrame]);
    m_timers.SetTimer(kBusyTimerId, kBusyIntervals[m_busyFrame]);
}

void TrayAnimator::FinishBusy() {
    m_timers.KillTimer(kBusyTimerId);
    m_busy = State::Idle;
    m_busyStop = false;
    m_busyEnded = true;
    m_setIcon(kIconIdle);
    if (m_blink == State::WaitingForBusy) {
        m_busyStarted = m_busyEnded = false;
        m_blink = State::Running;
        ShowBlinkFrame(0);
    }
}

void TrayAnimator::BlinkTick() {
    if (m_blink != State::Running) {
        m_timers.KillTimer(kBlinkTimerId);
        return;
    }
    if (m_blinkFrame == 0) {
        ShowBlinkFrame(1);
        return;
    }
    // End of a cycle.
    if (m_blinkStop) {
        FinishBlink();
        return;
    }
    if (m_busyStarted) {
        if (!m_busyEnded) {
            m_timers.KillTimer(kBlinkTimerId);
            m_blink = State::WaitingForBusy;
            return;
        }
        m_busyStarted = m_busyEnded = false;
    }
    ShowBlinkFrame(0);
}

void TrayAnimator::FinishBlink() {
    m_timers.KillTimer(kBlinkTimerId);
    m_blink = State::Idle;
    m_blinkStop = false;
    m_setIcon(kIconIdle);
}

void TrayAnimator::ShowBlinkFrame(int frame) {
    m_blinkFrame = frame;
    m_setIcon(kBlinkIcons[frame]);
    m_timers.SetTimer(kBlinkTimerId, kBlinkInterval);
}

}  // namespace velto
