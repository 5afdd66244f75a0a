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
    static constexpr int kLineLimit = 20'000;
    static constexpr int kTrimBatch = 2'000;
    // Lines count, and so do characters: a server that sends long lines
    // must not fill memory with fewer of them. A line is shown up to its
    // first kLineCut characters, the rest marked as cut; the oldest lines go
    // once the log holds more than kCharacterBudget, down to three quarters
    // of it at once.
    static constexpr int kLineCut = 2'000;
    static constexpr int kCharacterBudget = 2 * 1024 * 1024;
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
    // The text with each line cut to kLineCut, counting what the last line
    // of the log already holds.
    QString CutLongLines(const QString& text);
    void DropOldest();

    QTimer m_paintHold;
    int m_openLine = 0;  // characters of the last line so far (it has no end yet)
};

}  // namespace velto
