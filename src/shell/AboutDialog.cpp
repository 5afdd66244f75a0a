#include "shell/AboutDialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/ToolIcons.h"

namespace velto {

namespace {
const char* const kCredits =
    "VeltoMail 98\n\n"
    "Watches your POP3 and IMAP mailboxes\n"
    "and tells you when mail arrives.\n\n"
    "Engine, protocols and settings\n"
    "The VeltoMail developers\n\n"
    "Built with Qt and zlib\n\n"
    "Free software under the\n"
    "GNU General Public License,\n"
    "version 3 or any later version.\n"
    "It comes with no warranty.\n\n"
    "Thank you for checking your mail\n"
    "with VeltoMail 98.";
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Velto Mail");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);

    auto* head = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(MakeAppIcon().pixmap(48, 48));
    head->addWidget(icon, 0, Qt::AlignTop);
    auto* name = new QLabel("<b>VeltoMail 98</b><br>Version 1.1<br>A POP3 mail checker", this);
    name->setObjectName("aboutName");
    head->addWidget(name, 1);
    layout->addLayout(head);

    // The credits leave the window at the top and come back in from below:
    // a blank window's height above and below them.
    const QFontMetrics metrics = fontMetrics();
    const int window = kVisibleLines * metrics.lineSpacing();
    auto* credits = new QWidget(this);
    auto* creditsLayout = new QVBoxLayout(credits);
    creditsLayout->setContentsMargins(16, window, 16, window);
    auto* text = new QLabel(QString::fromLatin1(kCredits), credits);
    text->setObjectName("creditsText");
    text->setAlignment(Qt::AlignHCenter);
    creditsLayout->addWidget(text);
    m_credits = new QScrollArea(this);
    m_credits->setFrameShape(QFrame::StyledPanel);
    m_credits->setFrameShadow(QFrame::Sunken);
    m_credits->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_credits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_credits->setWidget(credits);
    m_credits->setWidgetResizable(true);
    const int frame = 2 * m_credits->frameWidth();
    m_credits->setFixedHeight(window + frame);
    // Never so narrow that the title is cut beside the window manager's buttons.
    m_credits->setMinimumWidth(
        std::max(credits->sizeHint().width() + frame, metrics.horizontalAdvance(windowTitle()) + 160));
    // A pointer resting on the credits holds them still for reading.
    m_credits->viewport()->installEventFilter(this);
    layout->addWidget(m_credits);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The first lines are in view from the start.
    m_credits->verticalScrollBar()->setRange(0, credits->sizeHint().height() - window);
    m_credits->verticalScrollBar()->setValue(window);

    m_crawl = new QTimer(this);
    connect(m_crawl, &QTimer::timeout, this, &CAboutDlg::Step);
    m_crawl->start(kStepMs);
}

void CAboutDlg::Step() {
    QScrollBar* bar = m_credits->verticalScrollBar();
    bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + 1);
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_credits->viewport()) {
        if (event->type() == QEvent::Enter) m_crawl->stop();
        if (event->type() == QEvent::Leave) m_crawl->start(kStepMs);
    }
    return QDialog::eventFilter(watched, event);
}

void CAboutDlg::done(int result) {
    m_crawl->stop();
    emit closed();
    QDialog::done(result);
}

}  // namespace velto
