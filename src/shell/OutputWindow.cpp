#include "shell/OutputWindow.h"

#include <QScrollBar>
#include <QTextCursor>

namespace velto {

COutputWindow::COutputWindow(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("outputWindow");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);  // both scroll bars
    setFrameShadow(QFrame::Sunken);
    setMaximumBlockCount(kLineLimit);
    setFont(OutputFont());
    setUndoRedoEnabled(false);
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
    if (!text.isEmpty()) {
        QString plain = text;
        plain.replace("\r\n", "\n");
        plain.remove(QChar('\r'));
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(plain);
    }
    ScrollToEnd();
}

void COutputWindow::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace velto
