#include "shell/OutputWindow.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace velto {

COutputWindow::COutputWindow(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("outputWindow");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);  // both scroll bars
    setFrameShadow(QFrame::Sunken);
    setFont(OutputFont());
    setUndoRedoEnabled(false);
    m_paintHold.setSingleShot(true);
    m_paintHold.setInterval(kPaintIntervalMs);
    connect(&m_paintHold, &QTimer::timeout, this, [this] {
        setUpdatesEnabled(true);
        repaint();
    });
}

QFont COutputWindow::OutputFont() {
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

void COutputWindow::AppendOutput(const QString& text) {
    // Painting costs far more than appending a line; a worker that hands
    // over line after line would otherwise have the window painted for each
    // one. The text goes in at once, the picture follows shortly.
    if (!m_paintHold.isActive()) {
        setUpdatesEnabled(false);
        m_paintHold.start();
    }
    if (!text.isEmpty()) {
        QString plain = text;
        plain.replace("\r\n", "\n");
        plain.remove(QChar('\r'));
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(CutLongLines(plain));
        DropOldest();
    }
    ScrollToEnd();
}

QString COutputWindow::CutLongLines(const QString& text) {
    static const QString kCutMark = QStringLiteral(" [...]");
    QString out;
    out.reserve(std::min<qsizetype>(text.size(), 64 * 1024));
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), at);
        const qsizetype end = newline < 0 ? text.size() : newline;
        const qsizetype room = std::max(0, kLineCut - m_openLine);
        const qsizetype kept = std::min(end - at, room);
        out += QStringView(text).mid(at, kept);
        m_openLine += static_cast<int>(kept);
        if (kept < end - at && m_openLine == kLineCut) {
            out += kCutMark;
            ++m_openLine;  // past the cut: nothing more of this line is shown
        }
        if (newline < 0) break;
        out += QLatin1Char('\n');
        m_openLine = 0;
        at = newline + 1;
    }
    return out;
}

void COutputWindow::DropOldest() {
    QTextDocument* doc = document();
    int first = doc->blockCount() - kLineLimit >= kTrimBatch ? doc->blockCount() - kLineLimit : 0;
    if (doc->characterCount() > kCharacterBudget) {
        // The first line that starts within the newest three quarters.
        const QTextBlock keep = doc->findBlock(doc->characterCount() - kCharacterBudget / 4 * 3);
        first = std::max(first, keep.next().isValid() ? keep.next().blockNumber() : keep.blockNumber());
    }
    if (first <= 0) return;
    QTextCursor trim(doc);
    trim.setPosition(doc->findBlockByNumber(first).position(), QTextCursor::KeepAnchor);
    trim.removeSelectedText();
}

void COutputWindow::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace velto
