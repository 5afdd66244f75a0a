#pragma once
// The "Output Window": the running conversation log, read-only, always
// scrolled to its newest line. Texts arrive with their own line ends.
#include <QPlainTextEdit>

namespace velto {

class COutputWindow : public QPlainTextEdit {
    Q_OBJECT
public:
    // A long session keeps its newest lines; older ones drop off the top.
    static constexpr int kLineLimit = 50'000;

    explicit COutputWindow(QWidget* parent = nullptr);
    // Appends the text as it is (CR LF or LF line ends) and scrolls to the
    // end; costs the text's own length, not the whole log's.
    void AppendOutput(const QString& text);
    void ScrollToEnd();
    // Arial, 13 pixels high, normal weight, or the closest the system has.
    static QFont OutputFont();
};

}  // namespace velto
