#pragma once
// The engine's window messages keep their names and numbers. Posted ones are
// queued to the UI thread; sent ones make the worker wait until the UI
// thread has handled them.
namespace velto {

constexpr unsigned WM_USER = 0x0400;

// To the message-list view.
constexpr unsigned UWM_LIST_REFRESH = WM_USER + 21;
constexpr unsigned UWM_TRAY_NOTIFY = WM_USER + 23;
constexpr unsigned UWM_RETRIEVE_DONE = WM_USER + 24;
constexpr unsigned UWM_CHECK_FAILED = WM_USER + 25;
constexpr unsigned UWM_DELETE_DONE = WM_USER + 26;
constexpr unsigned UWM_WORKER_DONE = WM_USER + 27;
constexpr unsigned UWM_PROGRESS_START = WM_USER + 28;
constexpr unsigned UWM_PROGRESS_STEP = WM_USER + 29;
constexpr unsigned UWM_PROGRESS_END = WM_USER + 30;

// To the Get Mail progress window.
constexpr unsigned UWM_PROGRESS_TEXT = WM_USER + 60;
constexpr unsigned UWM_PROGRESS_RANGE = WM_USER + 61;
constexpr unsigned UWM_PROGRESS_ADVANCE = WM_USER + 62;
constexpr unsigned UWM_PROGRESS_RESET = WM_USER + 63;

// To the output window: one conversation log text.
constexpr unsigned UWM_APPEND_OUTPUT = WM_USER + 0x13F;
// To the dial-up dialog.
constexpr unsigned UWM_RAS_NOTIFY = WM_USER + 130;

// "MessageToParent" codes from child windows.
constexpr unsigned kChildProgressCancel = 1088;
constexpr unsigned kChildBrowserClosed = 1426;

// UWM_RETRIEVE_DONE results: nothing to show (connection or login failed,
// cancelled), the text was fetched, or the mailbox no longer holds it.
constexpr long kRetrieveNothing = 0;
constexpr long kRetrieveFetched = 1;
constexpr long kRetrieveNotOnServer = 2;

// Timer ids.
constexpr int kPeriodicTimerId = 17;
constexpr int kStartupTimerId = 19;
constexpr int kStartupTimerMs = 10000;

}  // namespace velto
