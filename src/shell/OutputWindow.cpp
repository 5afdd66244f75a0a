#include "shell/OutputWindow.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

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
        cursor.insertText(plain);
        const int excess = document()->blockCount() - kLineLimit;
        if (excess >= kTrimBatch) {
            QTextCursor trim(document());
            trim.setPosition(document()->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
            trim.removeSelectedText();
        }
    }
    ScrollToEnd();
}

void COutputWindow::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace velto
