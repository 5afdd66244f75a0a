#include "shell/GetMailProgressDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace velto {

CGetMailProgressDlg::CGetMailProgressDlg(std::function<void()> onCancel, QWidget* parent)
    : QDialog(parent), m_onCancel(std::move(onCancel)) {
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);  // account and server texts, never markup
    m_status->setMinimumWidth(320);
    m_bar = new QProgressBar(this);
    m_bar->setTextVisible(false);
    ResetRange();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CGetMailProgressDlg::reject);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    layout->addWidget(buttons);
}

void CGetMailProgressDlg::SetStatusText(const QString& text) { m_status->setText(text); }

void CGetMailProgressDlg::SetRange(int upper) {
    // An empty range shows an empty bar, not the toolkit's busy indicator.
    m_bar->setRange(0, upper > 0 ? upper : 1);
    m_bar->setValue(0);
}

void CGetMailProgressDlg::Advance(int step) { m_bar->setValue(std::min(m_bar->maximum(), m_bar->value() + step)); }

void CGetMailProgressDlg::ResetRange() { SetRange(0); }

QString CGetMailProgressDlg::StatusText() const { return m_status->text(); }
int CGetMailProgressDlg::Position() const { return m_bar->value(); }
int CGetMailProgressDlg::Maximum() const { return m_bar->maximum(); }

void CGetMailProgressDlg::reject() {
    // Cancel, Esc and the close box all end here: the engine is told once and
    // the window goes at once; it never waits for the worker to stop.
    if (auto cancel = std::exchange(m_onCancel, nullptr)) cancel();
    QDialog::reject();
    deleteLater();
}

}  // namespace velto
