#pragma once
// The "Output Window": the running conversation log, read-only, always
// scrolled to its newest line. Texts arrive with their own line ends.
#include <QPlainTextEdit>
#include <QTimer>

namespace velto {

class COutputWindow : public QPlainTextEdit {
    Q_OBJECT
public:
    // A long session keeps its newest lines; older ones drop off the top,
    // a batch at a time (one line at a time would double the cost of every
    // append once the limit is reached).
    static constexpr int kLineLimit = 50'000;
    static constexpr int kTrimBatch = 2'000;
    // During a fast conversation the window is painted at most this often.
    static constexpr int kPaintIntervalMs = 40;

    explicit COutputWindow(QWidget* parent = nullptr);
    // Appends the text as it is (CR LF or LF line ends) and scrolls to the
    // end; costs the text's own length, not the whole log's.
    void AppendOutput(const QString& text);
    void ScrollToEnd();
    // Arial, 13 pixels high, normal weight, or the closest the system has.
    static QFont OutputFont();

private:
    QTimer m_paintHold;
};

}  // namespace velto
