#include "platform/DialupDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/NetworkManager.h"

namespace velto {

CDialupDialog::CDialupDialog(NetworkManager& nm, const QString& entry, const QString& profilePath, Timing timing,
                             QWidget* parent)
    : QDialog(parent), m_nm(nm), m_entry(entry), m_profile(profilePath), m_timing(timing) {
    setWindowTitle("Please Wait...");
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel("Status:", this);
    m_status->setMinimumWidth(320);
    // NetworkManager's reasons are longer than the dialog is wide.
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDialupDialog::reject);
    layout->addWidget(buttons);
    m_start = new QTimer(this);
    m_start->setSingleShot(true);
    connect(m_start, &QTimer::timeout, this, &CDialupDialog::Dial);
    m_close = new QTimer(this);
    m_close->setSingleShot(true);
    connect(m_close, &QTimer::timeout, this, &CDialupDialog::accept);
    connect(&m_nm, &NetworkManager::activeStateChanged, this, &CDialupDialog::OnState);
    connect(&m_nm, &NetworkManager::dialStageChanged, this, &CDialupDialog::OnStage);
}

QString CDialupDialog::StatusText() const { return m_status->text(); }

void CDialupDialog::open() {
    // Nothing to dial: closed at once, as Cancel.
    if (m_entry.isEmpty()) {
        done(QDialog::Rejected);
        return;
    }
    m_start->start(m_timing.startMs);
    QDialog::open();
}

void CDialupDialog::Dial() {
    setWindowTitle(QString("Connecting to %1").arg(m_entry));
    if (m_profile.isEmpty()) {
        // Like an entry that cannot be dialled: the dialog waits for Cancel.
        SetStatus(QString("Status: No network connection is named %1").arg(m_entry));
        return;
    }
    m_activating = true;
    m_nm.Activate(m_profile, this, [this](const QString& active, const QString& error) {
        m_activating = false;
        m_active = active;
        if (m_terminating) {
            // Cancel came first: its hang-up waited for this connection.
            if (m_hangUpDue) Terminate();
            return;
        }
        if (m_active.isEmpty()) {
            SetStatus(error);
            return;
        }
        m_nm.Watch(m_active);
        // It may be up already (or have failed) before the watch began.
        m_nm.ReadActiveState(m_active, this, [this, path = m_active](unsigned state) {
            if (state != NetworkManager::Unknown) OnState(path, state, 0);
        });
    });
}

void CDialupDialog::OnState(const QString& path, unsigned state, unsigned reason) {
    if (path != m_active || m_terminating) return;
    switch (state) {
    case NetworkManager::Activating:
        SetStatus("Status: Dialing..");
        break;
    case NetworkManager::Activated:
        SetStatus("Status: Connected Successfully to Network");
        if (!m_close->isActive()) m_close->start(m_timing.closeMs);
        break;
    case NetworkManager::Deactivated: {
        // A failure with a reason stays on screen until Cancel; NetworkManager
        // has taken the connection down already. No reason, or the user's own
        // disconnect, is the plain disconnect: nothing failed to wait on.
        const QString why = NetworkManager::ReasonText(reason);
        m_active.clear();
        if (reason <= NetworkManager::kReasonUserDisconnected || why.isEmpty()) {
            SetStatus(QStringLiteral("Status: Disconnected or failed connection"));
            reject();
        } else {
            SetStatus(why);
        }
        break;
    }
    default:
        break;
    }
}

void CDialupDialog::OnStage(const QString& path, NetworkManager::DialStage stage) {
    if (path != m_active || m_terminating) return;
    switch (stage) {
    case NetworkManager::DialStage::OpeningPort: SetStatus("Status: Opening Communications Port"); break;
    case NetworkManager::DialStage::Dialing: SetStatus("Status: Dialing.."); break;
    case NetworkManager::DialStage::Authenticating: SetStatus("Status: Authentication process is starting"); break;
    case NetworkManager::DialStage::Authenticated: SetStatus("Status: Authenticated"); break;
    case NetworkManager::DialStage::LoggingOn: SetStatus("Status: Logging on to network"); break;
    }
}

void CDialupDialog::reject() {
    if (m_terminating) return;
    m_terminating = true;
    m_start->stop();
    m_close->stop();
    setWindowTitle("Terminating Connection...");
    QTimer::singleShot(m_timing.terminateMs, this, [this] {
        m_hangUpDue = true;
        if (!m_activating) Terminate();
    });
}

void CDialupDialog::Terminate() {
    if (!m_active.isEmpty()) m_nm.Deactivate(m_active);
    done(QDialog::Rejected);
}

void CDialupDialog::SetStatus(const QString& text) {
    m_status->setText(text);
    // A long reason wraps onto more lines: the dialog grows down to show
    // them all (a window on screen does not follow its label's height).
    const int needed = heightForWidth(width());
    if (needed > height()) resize(width(), needed);
}

}  // namespace velto
