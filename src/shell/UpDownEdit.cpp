#include "shell/UpDownEdit.h"

#include <QLineEdit>
#include <algorithm>

namespace velto {

// The base accepts any text and corrects nothing on leaving: the owner reads
// the text as typed.
CUpDownEdit::CUpDownEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    // Room for a few digits beside the arrows.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 24);
}

void CUpDownEdit::SetRange(int minimum, int maximum) {
    m_min = minimum;
    m_max = std::max(minimum, maximum);
}

QString CUpDownEdit::Text() const { return lineEdit()->text(); }

void CUpDownEdit::SetText(const QString& text) { lineEdit()->setText(text); }

void CUpDownEdit::stepBy(int steps) {
    bool ok = false;
    const long long typed = Text().trimmed().toLongLong(&ok);
    long long value;
    if (!ok)
        value = m_min;
    else if (typed < m_min)
        value = m_min;
    else if (typed > m_max)
        value = m_max;
    else
        value = std::clamp<long long>(typed + steps, m_min, m_max);
    SetText(QString::number(value));
}

QAbstractSpinBox::StepEnabled CUpDownEdit::stepEnabled() const {
    bool ok = false;
    const long long typed = Text().trimmed().toLongLong(&ok);
    if (!ok) return StepUpEnabled | StepDownEnabled;
    StepEnabled enabled = StepNone;
    if (typed < m_max) enabled |= StepUpEnabled;
    if (typed > m_min) enabled |= StepDownEnabled;
    return enabled;
}

}  // namespace velto
