#include "shell/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "shell/ToolIcons.h"

namespace velto {

namespace {
const char* const kCredits =
    "VeltoMail 98\n\n"
    "Watches your POP3 mailboxes\n"
    "and tells you when mail arrives.\n\n"
    "Engine, protocols and settings\n"
    "The VeltoMail developers\n\n"
    "Built with Qt and zlib\n\n"
    "Thank you for checking your mail\n"
    "with VeltoMail 98.\n";
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Velto Mail");
    auto* layout = new QVBoxLayout(this);
    auto* head = new QLabel(this);
    head->setPixmap(MakeAppIcon().pixmap(48, 48));
    layout->addWidget(head, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel("VeltoMail 98 Version 1.1", this), 0, Qt::AlignHCenter);
    auto* area = new QScrollArea(this);
    area->setFixedHeight(110);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setFrameShape(QFrame::Box);
    m_credits = new QLabel(QString::fromLatin1(kCredits), area);
    m_credits->setAlignment(Qt::AlignHCenter);
    area->setWidget(m_credits);
    area->setWidgetResizable(true);
    layout->addWidget(area);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    m_scroll = new QTimer(this);
    connect(m_scroll, &QTimer::timeout, this, [area] {
        auto* bar = area->verticalScrollBar();
        bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + 1);
    });
    m_scroll->start(60);
}

void CAboutDlg::done(int result) {
    m_scroll->stop();
    emit closed();
    QDialog::done(result);
}

}  // namespace velto
